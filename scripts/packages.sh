# scripts/packages.sh, sourced by setup.sh and test.sh: installs the Debian packages
# named as arguments that are not installed yet; does nothing when all are there.
ensure_packages() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "Not a Debian system: make sure these are installed: $*" >&2
    return 0
  fi
  missing=
  for package in "$@"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q ' installed$' \
      || missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing. Run as root to install them." >&2
    exit 1
  fi
  echo "Installing$missing"
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}
