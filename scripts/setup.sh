#!/bin/sh
# Installs what building Veltra needs (when missing), builds it in Release mode into
# build/ and runs it on examples/hello.dl. Run from anywhere in a clone, as root on a
# fresh Debian machine.
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages cmake make g++ flex bison libgtest-dev

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELTRA_SANITIZE=OFF
cmake --build build -j"$(nproc)" --target veltra
echo "== build/veltra examples/hello.dl"
./build/veltra examples/hello.dl
