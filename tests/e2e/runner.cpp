// tests/e2e/runner.cpp: runs the end-to-end cases of one case file through the veltra
// binary in a scratch directory and compares stdout, stderr and exit status byte for byte.
// The case-file format is described in tests/e2e/README.md.
//   veltra_e2e --binary PATH [--root DIR] CASEFILE [CASE]
// Without CASE every case of the file runs. With VELTRA_BLESS=1 in the environment a
// mismatching case gets its expected sections rewritten from the actual run.
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace veltra {

const size_t NONE = static_cast<size_t>(-1);
const int SANITIZERSTATUS = 86;  // the exit status sanitizer reports are given

// One "--- kind ..." section: its header line, the lines it spans and what they mean.
struct SECTION {
    std::string kind;     // args, stdin, file, stdout, stderr, status
    std::string name;     // the file name of a "file" section
    std::string source;   // "< PATH": content is read from PATH under the root
    bool noeol = false;   // the content's last newline is not part of it
    bool unordered = false;  // stdout/stderr compared as a multiset of lines
    size_t header = 0;    // line index of the header
    size_t end = 0;       // one past the last content line
    std::string content;  // decoded content (stdin, file, stdout, stderr)
    std::vector<std::string> words;  // args
    int status = 0;       // status
};

// A case, or the shared prelude of a table file (header NONE).
struct CASE {
    std::string name;
    size_t header = NONE;  // line index of "=== name"
    size_t begin = 0;      // first line after the header
    size_t trimmedEnd = 0; // end of the block without its trailing empty lines
    size_t end = 0;        // end of the block (next "=== " line or end of file)
    std::vector<SECTION> sections;

    const SECTION* find(const std::string& kind) const {
        for (const SECTION& s : sections)
            if (s.kind == kind) return &s;
        return nullptr;
    }
};

struct CASEFILE {
    std::string path;
    std::vector<std::string> lines;
    bool finalNewline = true;
    bool table = false;  // holds "=== " lines
    CASE prelude;        // sections before the first case of a table file
    std::vector<CASE> cases;
};

struct OUTCOME {
    std::string out, err;
    int status = 0;         // exit status when exited
    int signal = 0;         // terminating signal, 0 when exited
    bool timedOut = false;
    std::string execError;  // non-empty when the binary could not be started
};

std::string binaryPath, rootDir;
int timeoutSeconds = 120;

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// True when s holds the n bytes of data at position pos.
bool holdsAt(const std::string& s, size_t pos, const char* data, size_t n) {
    return pos <= s.size() && s.size() - pos >= n && memcmp(s.data() + pos, data, n) == 0;
}

bool readFile(const std::string& path, std::string& out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out.clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool writeFile(const std::string& path, const std::string& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

// Reads a case file under a shared lock: a parallel blessing rewrites it in place.
bool readLocked(const std::string& path, std::string& out) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    bool ok = flock(fd, LOCK_SH) == 0 && readFile(path, out);
    close(fd);
    return ok;
}

// Lines without their '\n'; a final '\n' does not start another line.
std::vector<std::string> splitLines(const std::string& text, bool& finalNewline) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    finalNewline = text.empty() || text.back() == '\n';
    return lines;
}

// A content line that would read as a header gets one more leading backslash.
bool isEscapable(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && line[i] == '\\') ++i;
    return holdsAt(line, i, "--- ", 4) || holdsAt(line, i, "=== ", 4);
}
std::string escapeLine(const std::string& line) {
    return isEscapable(line) ? "\\" + line : line;
}
std::string unescapeLine(const std::string& line) {
    return !line.empty() && line[0] == '\\' && isEscapable(line) ? line.substr(1) : line;
}

[[noreturn]] void caseFileError(const CASEFILE& file, size_t line, const std::string& message) {
    std::cerr << file.path << ":" << line + 1 << ": " << message << "\n";
    std::exit(2);
}

std::vector<std::string> headerWords(const std::string& line) {
    std::vector<std::string> words;
    size_t pos = 4;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
        if (pos > start) words.push_back(line.substr(start, pos - start));
    }
    return words;
}

bool validCaseName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!isalnum(static_cast<unsigned char>(c)) && !strchr("_.+-", c)) return false;
    return true;
}

// A relative path without empty, "." or ".." components.
bool validRelativePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return false;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(pos, slash - pos);
        if (part.empty() || part == "." || part == "..") return false;
        pos = slash + 1;
    }
    return true;
}

void parseHeader(const CASEFILE& file, size_t lineIndex, SECTION& s) {
    std::vector<std::string> words = headerWords(file.lines[lineIndex]);
    if (words.empty()) caseFileError(file, lineIndex, "section header without a kind");
    s.kind = words[0];
    size_t w = 1;
    if (s.kind == "file") {
        if (words.size() < 2 || !validRelativePath(words[1]))
            caseFileError(file, lineIndex, "\"--- file\" needs a relative file name");
        s.name = words[1];
        w = 2;
    } else if (s.kind != "args" && s.kind != "stdin" && s.kind != "stdout" &&
               s.kind != "stderr" && s.kind != "status") {
        caseFileError(file, lineIndex, "unknown section kind \"" + s.kind + "\"");
    }
    for (; w < words.size(); ++w) {
        const std::string& word = words[w];
        bool input = s.kind == "file" || s.kind == "stdin";
        bool output = s.kind == "stdout" || s.kind == "stderr";
        if (word == "noeol" && (input || output)) {
            s.noeol = true;
        } else if (word == "unordered" && output) {
            s.unordered = true;
        } else if (word == "<" && input && w + 1 < words.size()) {
            s.source = words[++w];
            if (!validRelativePath(s.source))
                caseFileError(file, lineIndex, "\"<\" needs a path relative to the project root");
        } else {
            caseFileError(file, lineIndex, "unexpected \"" + word + "\" in section header");
        }
    }
    if (!s.source.empty() && s.noeol)
        caseFileError(file, lineIndex, "\"noeol\" and \"<\" exclude each other");
}

// Splits the args lines into words: blanks separate, '...' quotes literally,
// lines starting with '#' are comments.
void parseArgs(const CASEFILE& file, SECTION& s) {
    for (size_t i = s.header + 1; i < s.end; ++i) {
        const std::string& line = file.lines[i];
        size_t pos = line.find_first_not_of(" \t");
        if (pos == std::string::npos || line[pos] == '#') continue;
        while (pos < line.size()) {
            if (line[pos] == ' ' || line[pos] == '\t') {
                ++pos;
                continue;
            }
            std::string word;
            while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
                if (line[pos] == '\'') {
                    size_t close = line.find('\'', pos + 1);
                    if (close == std::string::npos) caseFileError(file, i, "unterminated quote");
                    word += line.substr(pos + 1, close - pos - 1);
                    pos = close + 1;
                } else {
                    word += line[pos++];
                }
            }
            s.words.push_back(word);
        }
    }
}

void parseStatus(const CASEFILE& file, SECTION& s) {
    bool seen = false;
    for (size_t i = s.header + 1; i < s.end; ++i) {
        const std::string& line = file.lines[i];
        size_t pos = line.find_first_not_of(" \t");
        if (pos == std::string::npos || line[pos] == '#') continue;
        char* stop = nullptr;
        long value = strtol(line.c_str() + pos, &stop, 10);
        bool blankRest = strspn(stop, " \t") == strlen(stop);
        if (seen || stop == line.c_str() + pos || !blankRest || value < 0 || value > 255)
            caseFileError(file, i, "a status section holds one number from 0 to 255");
        s.status = static_cast<int>(value);
        seen = true;
    }
    if (!seen) caseFileError(file, s.header, "empty status section");
}

void decodeSection(const CASEFILE& file, SECTION& s) {
    if (s.kind == "args") return parseArgs(file, s);
    if (s.kind == "status") return parseStatus(file, s);
    if (!s.source.empty()) {
        for (size_t i = s.header + 1; i < s.end; ++i)
            if (!file.lines[i].empty())
                caseFileError(file, i, "a section read from a file has no content lines");
        if (!readFile(rootDir + "/" + s.source, s.content))
            caseFileError(file, s.header, "cannot read " + rootDir + "/" + s.source);
        return;
    }
    for (size_t i = s.header + 1; i < s.end; ++i) s.content += unescapeLine(file.lines[i]) + "\n";
    if (s.noeol && !s.content.empty()) s.content.pop_back();
}

// Ends block c at line `end`: trailing empty lines separate blocks and are no content.
void closeBlock(CASEFILE& file, CASE& c, size_t end) {
    c.end = end;
    size_t trimmed = end;
    size_t floor = c.sections.empty() ? c.begin : c.sections.back().header + 1;
    while (trimmed > floor && file.lines[trimmed - 1].empty()) --trimmed;
    c.trimmedEnd = trimmed;
    if (!c.sections.empty()) c.sections.back().end = trimmed;
    for (SECTION& s : c.sections) decodeSection(file, s);
}

void checkSections(const CASEFILE& file, const CASE& c, bool prelude) {
    for (size_t i = 0; i < c.sections.size(); ++i) {
        const SECTION& s = c.sections[i];
        if (prelude && s.kind != "args" && s.kind != "stdin" && s.kind != "file")
            caseFileError(file, s.header, "only args, stdin and file sections may precede the first case");
        for (size_t j = 0; j < i; ++j)
            if (c.sections[j].kind == s.kind && c.sections[j].name == s.name)
                caseFileError(file, s.header, "second \"" + s.kind + "\" section in one case");
    }
}

void parseCaseFile(const std::string& path, const std::string& text, CASEFILE& file) {
    file = CASEFILE();
    file.path = path;
    file.lines = splitLines(text, file.finalNewline);
    for (const std::string& line : file.lines)
        if (startsWith(line, "=== ")) file.table = true;
    CASE* current = &file.prelude;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string& line = file.lines[i];
        if (startsWith(line, "=== ")) {
            closeBlock(file, *current, i);
            file.cases.emplace_back();
            current = &file.cases.back();
            std::vector<std::string> words = headerWords(line);
            if (words.size() != 1 || !validCaseName(words[0]))
                caseFileError(file, i, "a case header is \"=== NAME\", NAME of [A-Za-z0-9_.+-]");
            current->name = words[0];
            current->header = i;
            current->begin = i + 1;
        } else if (startsWith(line, "--- ")) {
            if (!current->sections.empty()) current->sections.back().end = i;
            current->sections.emplace_back();
            current->sections.back().header = i;
            parseHeader(file, i, current->sections.back());
        }
    }
    closeBlock(file, *current, file.lines.size());
    if (!file.table) {
        // A file without "=== " lines is one case, named after the file.
        std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
        file.prelude.name = base.substr(0, base.rfind('.'));
        file.cases.push_back(file.prelude);
        file.prelude = CASE();
    }
    checkSections(file, file.prelude, file.table);
    for (size_t i = 0; i < file.cases.size(); ++i) {
        checkSections(file, file.cases[i], false);
        for (size_t j = 0; j < i; ++j)
            if (file.cases[j].name == file.cases[i].name)
                caseFileError(file, file.cases[i].header, "second case named " + file.cases[i].name);
    }
}

// ---------------------------------------------------------------- running

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

bool makeParents(const std::string& dir, const std::string& relative) {
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1)) {
        std::string sub = dir + "/" + relative.substr(0, slash);
        if (mkdir(sub.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Environment of the binary: ours, with sanitizer reports turned into status 86.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    std::string asan = "ASAN_OPTIONS=", ubsan = "UBSAN_OPTIONS=";
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (startsWith(entry, "ASAN_OPTIONS=")) asan = entry + ":";
        else if (startsWith(entry, "UBSAN_OPTIONS=")) ubsan = entry + ":";
        else if (!startsWith(entry, "LC_ALL=")) env.push_back(entry);
    }
    env.push_back(asan + "exitcode=86");
    env.push_back(ubsan + "halt_on_error=1:exitcode=86");
    env.push_back("LC_ALL=C");
    return env;
}

[[noreturn]] void childFail(int reportFd, const char* what) {
    int e = errno;
    ssize_t ignored = write(reportFd, what, strlen(what));
    ignored = write(reportFd, ": ", 2);
    ignored = write(reportFd, strerror(e), strlen(strerror(e)));
    (void)ignored;
    _exit(127);
}

double monotonicSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Runs the binary with args in dir/work, stdin from dir/stdin (or /dev/null).
OUTCOME runBinary(const std::string& dir, const std::vector<std::string>& args, bool haveStdin) {
    OUTCOME outcome;
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> argv, envp;
    std::string argv0 = "veltra";
    argv.push_back(&argv0[0]);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::string work = dir + "/work", in = haveStdin ? dir + "/stdin" : "/dev/null";
    std::string out = dir + "/stdout", err = dir + "/stderr";
    int report[2];  // close-on-exec pipe: carries the reason of a failed start
    if (pipe2(report, O_CLOEXEC) != 0) {
        outcome.execError = "pipe failed";
        return outcome;
    }
    std::cout.flush();
    std::cerr.flush();
    pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        if (chdir(work.c_str()) != 0) childFail(report[1], "chdir");
        int fdIn = open(in.c_str(), O_RDONLY);
        int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0) childFail(report[1], "open");
        if (dup2(fdIn, 0) < 0 || dup2(fdOut, 1) < 0 || dup2(fdErr, 2) < 0) childFail(report[1], "dup2");
        execve(binaryPath.c_str(), argv.data(), envp.data());
        childFail(report[1], binaryPath.c_str());
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        outcome.execError = "fork failed";
        return outcome;
    }
    char reason[512];
    ssize_t n = read(report[0], reason, sizeof reason);
    close(report[0]);
    if (n > 0) outcome.execError.assign(reason, n);
    // Poll with growing pauses so that a hanging binary is killed at the deadline.
    double deadline = monotonicSeconds() + timeoutSeconds;
    long pauseNs = 50000;
    int wstatus = 0;
    for (;;) {
        pid_t r = waitpid(pid, &wstatus, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) break;
        if (monotonicSeconds() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            outcome.timedOut = true;
            break;
        }
        timespec pause = {0, pauseNs};
        nanosleep(&pause, nullptr);
        if (pauseNs < 10000000) pauseNs *= 2;
    }
    if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus)) outcome.signal = WTERMSIG(wstatus);
    readFile(out, outcome.out);
    readFile(err, outcome.err);
    return outcome;
}

// ---------------------------------------------------------------- comparing

// Matches line[l..] against pattern[p..]; "{{num}}" stands for a number,
// "{{any}}" for any text within the line. Depth grows with the markers of one line.
bool matchLine(const std::string& pattern, size_t p, const std::string& line, size_t l) {
    size_t marker = pattern.find("{{", p);
    if (marker == std::string::npos)
        return line.size() - l == pattern.size() - p && holdsAt(line, l, pattern.data() + p, pattern.size() - p);
    if (!holdsAt(line, l, pattern.data() + p, marker - p)) return false;
    l += marker - p;
    if (holdsAt(pattern, marker, "{{num}}", 7)) {
        size_t i = l, ends[3];
        int count = 0;
        if (i < line.size() && line[i] == '-') ++i;
        size_t digits = i;
        while (i < line.size() && isdigit(static_cast<unsigned char>(line[i]))) ++i;
        if (i == digits) return false;
        ends[count++] = i;
        if (i + 1 < line.size() && line[i] == '.' && isdigit(static_cast<unsigned char>(line[i + 1]))) {
            for (++i; i < line.size() && isdigit(static_cast<unsigned char>(line[i]));) ++i;
            ends[count++] = i;
        }
        if (i < line.size() && (line[i] == 'e' || line[i] == 'E')) {
            size_t j = i + 1;
            if (j < line.size() && (line[j] == '+' || line[j] == '-')) ++j;
            size_t expDigits = j;
            while (j < line.size() && isdigit(static_cast<unsigned char>(line[j]))) ++j;
            if (j > expDigits) ends[count++] = j;
        }
        while (count > 0)
            if (matchLine(pattern, marker + 7, line, ends[--count])) return true;
        return false;
    }
    if (holdsAt(pattern, marker, "{{any}}", 7)) {
        for (size_t e = line.size() + 1; e-- > l;)
            if (matchLine(pattern, marker + 7, line, e)) return true;
        return false;
    }
    return holdsAt(line, l, "{{", 2) && matchLine(pattern, marker + 2, line, l + 2);
}

bool lineMatches(const std::string& pattern, const std::string& line) {
    if (pattern.find("{{") == std::string::npos) return pattern == line;
    return matchLine(pattern, 0, line, 0);
}

// One step of an alignment: 'k' keeps (expected i, actual j), '-' drops expected i,
// '+' adds actual j.
struct STEP {
    char op;
    size_t i, j;
};

// Longest common subsequence of the two line lists, lines equal when they match.
std::vector<STEP> alignLines(const std::vector<std::string>& exp, const std::vector<std::string>& act) {
    std::vector<STEP> steps;
    size_t n = exp.size(), m = act.size(), head = 0, tail = 0;
    while (head < n && head < m && lineMatches(exp[head], act[head])) ++head;
    while (tail < n - head && tail < m - head && lineMatches(exp[n - 1 - tail], act[m - 1 - tail])) ++tail;
    for (size_t k = 0; k < head; ++k) steps.push_back({'k', k, k});
    size_t rows = n - head - tail, cols = m - head - tail;
    if (rows * cols <= 4000000) {
        // table[r][c]: length of the common subsequence of exp[head+r..] and act[head+c..]
        std::vector<uint32_t> table((rows + 1) * (cols + 1), 0);
        auto at = [&](size_t r, size_t c) -> uint32_t& { return table[r * (cols + 1) + c]; };
        for (size_t r = rows; r-- > 0;)
            for (size_t c = cols; c-- > 0;)
                at(r, c) = lineMatches(exp[head + r], act[head + c]) ? at(r + 1, c + 1) + 1
                           : at(r + 1, c) >= at(r, c + 1) ? at(r + 1, c) : at(r, c + 1);
        size_t r = 0, c = 0;
        while (r < rows || c < cols) {
            if (r < rows && c < cols && lineMatches(exp[head + r], act[head + c]) &&
                at(r, c) == at(r + 1, c + 1) + 1) {
                steps.push_back({'k', head + r++, head + c++});
            } else if (r < rows && (c == cols || at(r + 1, c) >= at(r, c + 1))) {
                steps.push_back({'-', head + r++, 0});
            } else {
                steps.push_back({'+', 0, head + c++});
            }
        }
    } else {
        for (size_t r = 0; r < rows; ++r) steps.push_back({'-', head + r, 0});
        for (size_t c = 0; c < cols; ++c) steps.push_back({'+', 0, head + c});
    }
    for (size_t k = 0; k < tail; ++k) steps.push_back({'k', n - tail + k, m - tail + k});
    return steps;
}

// For unordered comparison: partner[j] is the expected line matched with actual j, or NONE.
std::vector<size_t> matchUnordered(const std::vector<std::string>& exp, const std::vector<std::string>& act) {
    std::vector<size_t> partner(act.size(), NONE);
    std::vector<bool> used(exp.size(), false);
    std::multimap<std::string, size_t> plain;
    for (size_t i = 0; i < exp.size(); ++i)
        if (exp[i].find("{{") == std::string::npos) plain.emplace(exp[i], i);
    for (size_t j = 0; j < act.size(); ++j) {
        auto it = plain.find(act[j]);
        if (it == plain.end()) continue;
        partner[j] = it->second;
        used[it->second] = true;
        plain.erase(it);
    }
    for (size_t j = 0; j < act.size(); ++j) {
        for (size_t i = 0; i < exp.size() && partner[j] == NONE; ++i) {
            if (used[i] || !lineMatches(exp[i], act[j])) continue;
            partner[j] = i;
            used[i] = true;
        }
    }
    return partner;
}

// Expected content is the decoded section text; markers only count in stdout and stderr.
bool outputMatches(const SECTION* expected, const std::string& actual) {
    std::string exp = expected ? expected->content : std::string();
    bool unordered = expected && expected->unordered;
    if (!unordered && exp.find("{{") == std::string::npos) return exp == actual;
    bool expNl, actNl;
    std::vector<std::string> e = splitLines(exp, expNl), a = splitLines(actual, actNl);
    if (expNl != actNl || e.size() != a.size()) return false;
    if (!unordered) {
        for (size_t k = 0; k < e.size(); ++k)
            if (!lineMatches(e[k], a[k])) return false;
        return true;
    }
    for (size_t partner : matchUnordered(e, a))
        if (partner == NONE) return false;
    return true;
}

void printDiff(const SECTION* expected, const std::string& actual) {
    std::string exp = expected ? expected->content : std::string();
    bool expNl, actNl;
    std::vector<std::string> e = splitLines(exp, expNl), a = splitLines(actual, actNl);
    if (expected && expected->unordered) {
        std::vector<size_t> partner = matchUnordered(e, a);
        std::vector<bool> used(e.size(), false);
        for (size_t p : partner)
            if (p != NONE) used[p] = true;
        std::cout << "  (lines compared unordered; unmatched lines only)\n";
        for (size_t i = 0; i < e.size(); ++i)
            if (!used[i]) std::cout << "  -" << e[i] << "\n";
        for (size_t j = 0; j < a.size(); ++j)
            if (partner[j] == NONE) std::cout << "  +" << a[j] << "\n";
    } else {
        std::vector<STEP> steps = alignLines(e, a);
        const size_t context = 3;
        size_t lastShown = NONE;
        for (size_t k = 0; k < steps.size(); ++k) {
            bool near = false;
            for (size_t d = (k >= context ? k - context : 0); d <= k + context && d < steps.size(); ++d)
                if (steps[d].op != 'k') near = true;
            if (!near) continue;
            if (lastShown == NONE || lastShown + 1 != k) {
                size_t expLine = 1, actLine = 1;
                for (size_t d = 0; d < k; ++d) {
                    if (steps[d].op != '+') ++expLine;
                    if (steps[d].op != '-') ++actLine;
                }
                std::cout << "  @@ expected line " << expLine << ", actual line " << actLine << " @@\n";
            }
            const STEP& s = steps[k];
            if (s.op == 'k') std::cout << "   " << a[s.j] << "\n";
            else if (s.op == '-') std::cout << "  -" << e[s.i] << "\n";
            else std::cout << "  +" << a[s.j] << "\n";
            lastShown = k;
        }
    }
    if (!e.empty() && !a.empty() && expNl != actNl)
        std::cout << "  (" << (expNl ? "expected" : "actual") << " ends with a newline, "
                  << (expNl ? "actual" : "expected") << " does not)\n";
}

std::string shellQuote(const std::string& word) {
    if (!word.empty() && word.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-+=.,/:@%#") == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string describeStatus(const OUTCOME& o) {
    if (!o.execError.empty()) return "not started (" + o.execError + ")";
    if (o.timedOut) return "killed after " + std::to_string(timeoutSeconds) + " s";
    if (o.signal) return "killed by signal " + std::to_string(o.signal);
    std::string s = std::to_string(o.status);
    return o.status == SANITIZERSTATUS ? s + " (sanitizer report)" : s;
}

// ---------------------------------------------------------------- blessing

std::string joinLines(const CASEFILE& file, size_t begin, size_t end) {
    std::string text;
    for (size_t i = begin; i < end; ++i) text += file.lines[i] + "\n";
    return text;
}

// The new text of an expected stdout or stderr section; patterns of expected lines
// that still match are kept.
std::string blessOutput(const CASEFILE& file, const char* kind, const SECTION* s, const std::string& actual) {
    if (outputMatches(s, actual)) return s ? joinLines(file, s->header, s->end) : std::string();
    if (actual.empty() && !s) return std::string();
    bool expNl, actNl;
    std::vector<std::string> e = splitLines(s ? s->content : std::string(), expNl);
    std::vector<std::string> a = splitLines(actual, actNl);
    std::vector<size_t> partner(a.size(), NONE);
    if (s && s->unordered) {
        partner = matchUnordered(e, a);
    } else {
        for (const STEP& step : alignLines(e, a))
            if (step.op == 'k') partner[step.j] = step.i;
    }
    std::string text = std::string("--- ") + kind;
    if (s && s->unordered) text += " unordered";
    if (!actNl) text += " noeol";
    text += "\n";
    for (size_t j = 0; j < a.size(); ++j) text += escapeLine(partner[j] == NONE ? a[j] : e[partner[j]]) + "\n";
    return text;
}

// Rewrites the expected sections of one case from an actual run, under an exclusive
// lock on the case file so that parallel blessings of one table do not collide.
bool bless(const std::string& path, const std::string& caseName, const OUTCOME& o) {
    int fd = open(path.c_str(), O_RDWR);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) {
        std::cout << "  cannot lock " << path << " for blessing\n";
        if (fd >= 0) close(fd);
        return false;
    }
    std::string text;
    bool ok = readFile(path, text);
    CASEFILE file;
    if (ok) parseCaseFile(path, text, file);
    const CASE* c = nullptr;
    for (const CASE& candidate : file.cases)
        if (candidate.name == caseName) c = &candidate;
    if (!c) {
        std::cout << "  case " << caseName << " vanished from " << path << "\n";
        close(fd);
        return false;
    }
    std::vector<bool> drop(file.lines.size(), false);
    for (const SECTION& s : c->sections)
        if (s.kind == "stdout" || s.kind == "stderr" || s.kind == "status")
            for (size_t i = s.header; i < s.end; ++i) drop[i] = true;
    size_t blockStart = c->header == NONE ? 0 : c->header;
    std::string updated = joinLines(file, 0, blockStart);
    for (size_t i = blockStart; i < c->trimmedEnd; ++i)
        if (!drop[i]) updated += file.lines[i] + "\n";
    updated += blessOutput(file, "stdout", c->find("stdout"), o.out);
    updated += blessOutput(file, "stderr", c->find("stderr"), o.err);
    const SECTION* status = c->find("status");
    if (status && status->status == o.status) updated += joinLines(file, status->header, status->end);
    else updated += "--- status\n" + std::to_string(o.status) + "\n";
    updated += joinLines(file, c->trimmedEnd, file.lines.size());
    ok = ftruncate(fd, 0) == 0 && pwrite(fd, updated.data(), updated.size(), 0) == static_cast<ssize_t>(updated.size());
    close(fd);
    return ok;
}

// ---------------------------------------------------------------- one case

std::string caseLabel(const CASEFILE& file, const CASE& c) {
    size_t line = c.header == NONE ? 1 : c.header + 1;
    return file.path + ":" + std::to_string(line) + ": " + c.name;
}

// Runs one case; returns true when it passed (or was blessed).
bool runCase(const CASEFILE& file, const CASE& c, bool blessing) {
    const SECTION* args = c.find("args") ? c.find("args") : file.prelude.find("args");
    const SECTION* in = c.find("stdin") ? c.find("stdin") : file.prelude.find("stdin");
    std::vector<const SECTION*> files;
    for (const CASE* block : {&file.prelude, &c})
        for (const SECTION& s : block->sections) {
            if (s.kind != "file") continue;
            for (const SECTION*& f : files)
                if (f && f->name == s.name) f = nullptr;  // a case's file replaces the prelude's
            files.push_back(&s);
        }
    const char* tmp = getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/veltra-e2e-XXXXXX";
    if (!mkdtemp(&templ[0])) {
        std::cout << "FAIL " << caseLabel(file, c) << "\n  cannot create a scratch directory\n";
        return false;
    }
    std::string dir = templ;
    bool prepared = mkdir((dir + "/work").c_str(), 0777) == 0;
    for (const SECTION* f : files)
        if (f) prepared = prepared && makeParents(dir + "/work", f->name) && writeFile(dir + "/work/" + f->name, f->content);
    if (in) prepared = prepared && writeFile(dir + "/stdin", in->content);
    OUTCOME o;
    if (prepared) o = runBinary(dir, args ? args->words : std::vector<std::string>(), in != nullptr);
    else o.execError = "cannot write the input files";
    nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);

    const SECTION* status = c.find("status");
    int expectedStatus = status ? status->status : 0;
    bool ran = o.execError.empty() && !o.timedOut && o.signal == 0;
    bool statusOk = ran && o.status == expectedStatus;
    bool outOk = outputMatches(c.find("stdout"), o.out);
    bool errOk = outputMatches(c.find("stderr"), o.err);
    if (statusOk && outOk && errOk) return true;

    bool sane = ran && o.status != SANITIZERSTATUS;
    if (blessing && sane) {
        if (bless(file.path, c.name, o)) {
            std::cout << "BLESSED " << caseLabel(file, c) << "\n";
            return true;
        }
        std::cout << "  cannot write " << file.path << "\n";
    }
    std::cout << "FAIL " << caseLabel(file, c) << "\n  command: veltra";
    for (const std::string& a : args ? args->words : std::vector<std::string>()) std::cout << " " << shellQuote(a);
    std::cout << (in ? "  (with stdin)" : "") << "\n";
    if (!statusOk)
        std::cout << "  status: expected " << expectedStatus << ", got " << describeStatus(o) << "\n";
    if (!outOk) {
        std::cout << "  stdout differs (- expected, + actual):\n";
        printDiff(c.find("stdout"), o.out);
    }
    if (!errOk) {
        std::cout << "  stderr differs (- expected, + actual):\n";
        printDiff(c.find("stderr"), o.err);
    }
    if (blessing && !sane) std::cout << "  not blessed: the run crashed, hung or reported a sanitizer error\n";
    return false;
}

[[noreturn]] void usage() {
    std::cerr << "usage: veltra_e2e --binary PATH [--root DIR] CASEFILE [CASE]\n";
    std::exit(2);
}

}  // namespace veltra

int main(int argc, char** argv) {
    using namespace veltra;
    std::string casePath, caseName;
    rootDir = ".";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--binary" && i + 1 < argc) binaryPath = argv[++i];
        else if (a == "--root" && i + 1 < argc) rootDir = argv[++i];
        else if (casePath.empty() && !startsWith(a, "--")) casePath = a;
        else if (caseName.empty() && !startsWith(a, "--")) caseName = a;
        else usage();
    }
    if (binaryPath.empty() || casePath.empty()) usage();
    char resolved[PATH_MAX];
    if (!realpath(binaryPath.c_str(), resolved)) {
        std::cerr << "veltra_e2e: no binary at " << binaryPath << "\n";
        return 2;
    }
    binaryPath = resolved;
    if (!realpath(rootDir.c_str(), resolved)) {
        std::cerr << "veltra_e2e: no directory " << rootDir << "\n";
        return 2;
    }
    rootDir = resolved;
    if (const char* t = getenv("VELTRA_E2E_TIMEOUT")) {
        long value = strtol(t, nullptr, 10);
        if (value > 0 && value < 86400) timeoutSeconds = static_cast<int>(value);
    }
    const char* blessEnv = getenv("VELTRA_BLESS");
    bool blessing = blessEnv && *blessEnv && strcmp(blessEnv, "0") != 0;

    std::string text;
    if (!readLocked(casePath, text)) {
        std::cerr << "veltra_e2e: cannot read " << casePath << "\n";
        return 2;
    }
    CASEFILE file;
    parseCaseFile(casePath, text, file);
    int run = 0, failed = 0;
    for (const CASE& c : file.cases) {
        if (!caseName.empty() && c.name != caseName) continue;
        ++run;
        if (!runCase(file, c, blessing)) ++failed;
    }
    if (run == 0) {
        std::cerr << "veltra_e2e: no case " << caseName << " in " << casePath << "\n";
        return 2;
    }
    if (run > 1) std::cout << run - failed << " of " << run << " cases passed\n";
    return failed ? 1 : 0;
}
