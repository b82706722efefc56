// A search as deep as the program is wide: 30,000 independent choices
// "a_i v b_i." open 30,000 levels before the first answer set. The real
// binary runs with a 1 MB stack, so the levels must live on an explicit stack
// of the search, not on the call stack.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace veltra {

namespace {

constexpr int choices = 30000;

// Runs a shell command; returns its standard output and sets the exit status
// (-1 when it ended by a signal).
std::string runShell(const std::string& command, int& status) {
    std::string out;
    status = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[1 << 16];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int raw = pclose(pipe);
    if (raw != -1 && WIFEXITED(raw)) status = WEXITSTATUS(raw);
    return out;
}

TEST(DeepSearch, ThirtyThousandChoicesReachTheFirstAnswerSetOnASmallStack) {
    char path[] = "/tmp/veltra-deepsearch-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream program(path);
        program << "ready.\nstart(1).\n";
        for (int i = 1; i <= choices; ++i) program << "a" << i << " v b" << i << ".\n";
    }
    // -OH-: the lookahead tries every open atom on every level, which makes this
    // search quadratic in the choices; the depth is what is tested here.
    int status = 0;
    std::string out = runShell(
        std::string("ulimit -s 1024 && exec ") + VELTRA_BINARY + " -silent -n=1 -OH- " + path + " 2>&1", status);
    unlink(path);
    ASSERT_EQ(status, 0) << out.substr(0, 2000);

    // One line "{...}" naming the two facts and exactly one of a_i, b_i for every i.
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u) << out.substr(0, 2000);
    const std::string& model = lines[0];
    ASSERT_GE(model.size(), 2u);
    ASSERT_EQ(model.front(), '{');
    ASSERT_EQ(model.back(), '}');
    std::vector<char> chosen(choices + 1, 0);
    int atoms = 0, facts = 0;
    std::istringstream items(model.substr(1, model.size() - 2));
    for (std::string atom; std::getline(items, atom, ',');) {
        if (!atom.empty() && atom.front() == ' ') atom.erase(0, 1);
        ++atoms;
        if (atom == "ready" || atom == "start(1)") {
            ++facts;
            continue;
        }
        ASSERT_TRUE(atom.size() >= 2 && (atom[0] == 'a' || atom[0] == 'b')) << atom;
        int i = std::atoi(atom.c_str() + 1);
        ASSERT_TRUE(i >= 1 && i <= choices) << atom;
        EXPECT_EQ(chosen[i]++, 0) << "both a" << i << " and b" << i;
    }
    EXPECT_EQ(facts, 2);
    EXPECT_EQ(atoms, choices + 2);
}

}  // namespace

}  // namespace veltra
