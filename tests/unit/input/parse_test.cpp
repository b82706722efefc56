// The common reporter of input errors, parsing generated program text, and
// the parser's error recovery.
#include <sstream>
#include <string>

#include "core/rule.h"
#include "driver/options.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class Parse : public INPUTTEST {};

std::string report(const char* message) {
    testing::internal::CaptureStderr();
    reportParseError(message);
    return testing::internal::GetCapturedStderr();
}

TEST_F(Parse, ReportFormats) {
    const char* savedName = programName;
    programName = "veltra";
    lineNumber = 7;
    int before = parseErrorCount;
    const struct {
        bool internal;
        int verboseFlag;
        const char* file;
        const char* expected;
    } cases[] = {
        {false, 0, "prog.dl", "prog.dl: line 7: Rule is not safe.\n"},
        {false, 0, "", "line 7: Rule is not safe.\n"},
        {false, 1, "prog.dl", "veltra (prog.dl: line 7): Rule is not safe.\n"},
        {false, 1, "", "veltra (line 7): Rule is not safe.\n"},
        {true, 1, "prog.dl", "Internal parser invocation: Rule is not safe.\n"},
    };
    for (const auto& c : cases) {
        OPTIONS.internalParse = c.internal;
        verbose = c.verboseFlag;
        currentFileName = c.file;
        EXPECT_EQ(report("Rule is not safe"), c.expected);
    }
    OPTIONS.internalParse = false;
    verbose = 0;
    currentFileName = "f";
    // A message that is a sentence still gets the full stop.
    EXPECT_EQ(report("Cannot redefine #maxint. Ignoring this definition"),
              "f: line 7: Cannot redefine #maxint. Ignoring this definition.\n");
    EXPECT_EQ(parseErrorCount, before);  // the reporter counts nothing
    programName = savedName;
}

TEST_F(Parse, ErrorsCarryTheirLine) {
    PARSERESULT r = parseUserText("p(a).\n\nq(X).\n%\nr(Y) :- not s(Y).\n");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 3: Rule is not safe.\n"
              "program.dl: line 5: Rule is not safe.\n");
    EXPECT_EQ(r.errors, 2);
}

TEST_F(Parse, GeneratedText) {
    bool ok = false;
    PARSERESULT r = parseGeneratedText("", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(r.stderrText, "");

    r = parseGeneratedText("p($time, T$1) :- q(T$1). a :- b.", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(rulesText(), "p($time,_0) :- q(_0).\na :- b.\n");

    // The statements before an error keep their effect.
    std::stringstream text("c. d :- e f.\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parseFromStream(text));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Internal parser invocation: syntax error.\n");
    EXPECT_EQ(text.str(), "");
    // After the error "f" begins the next statement.
    EXPECT_EQ(factsText(), "c.\nf.\n");
}

TEST_F(Parse, DollarNamesOnlyInGeneratedText) {
    PARSERESULT r = parseUserText("p($time).");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 1: identifier starts with '$'.\n"
              "program.dl: line 1: syntax error.\n");
    // The lexical error, then the syntax error at ERROR and one count for
    // each of ERROR, ")" and "." that recovery discards.
    EXPECT_EQ(r.errors, 5);
}

TEST_F(Parse, GeneratedTextBetweenUserFiles) {
    // The user file's scanner buffer survives a parse of generated text.
    parseUserText("a.");
    parseGeneratedText("b.");
    parseUserText("c.");
    EXPECT_EQ(factsText(), "a.\nb.\nc.\n");
}

TEST_F(Parse, ErrorRecoveryCountsEveryDetectedError) {
    const struct {
        const char* text;
        const char* stderrText;
        int errors;
        const char* program;
    } cases[] = {
        // The offending token begins the next statement.
        {"a :- b c :- d.\ne.", "program.dl: line 1: syntax error.\n", 1, "e.\nc :- d.\n"},
        // Tokens that cannot begin a statement are discarded, one count each.
        {"a :- .. ) ) b.", "program.dl: line 1: syntax error.\n", 4, "a.\nb.\n"},
        // Within three tokens of the previous error no second report.
        {"a :- ) b ) c. d.", "program.dl: line 1: syntax error.\n", 4, "c.\nd.\n"},
        {"a :- ) b. c. d. ) e.",
         "program.dl: line 1: syntax error.\n"
         "program.dl: line 1: syntax error.\n",
         4, "b.\nc.\nd.\ne.\n"},
        // The end of the input within the window: the parser gives up.
        {"a :- )", "program.dl: line 1: syntax error.\n", 2, ""},
        {"a", "program.dl: line 1: syntax error.\n", 1, ""},
        {"}", "program.dl: line 1: syntax error.\n", 2, ""},
    };
    for (const auto& c : cases) {
        resetInputState();
        PARSERESULT r = parseUserText(c.text);
        EXPECT_EQ(r.stderrText, c.stderrText) << c.text;
        EXPECT_EQ(r.errors, c.errors) << c.text;
        EXPECT_EQ(programText(), c.program) << c.text;
    }
}

TEST_F(Parse, SyntaxErrorAbandonsTheStatementsNumbering) {
    PARSERESULT r = parseUserText("a(X, Y, Z) :- b(X, Y, Z) )\np(W) :- q(W).");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: syntax error.\n");
    EXPECT_EQ(rulesText(), "p(_0) :- q(_0).\n");
    resetInputState();
    r = parseUserText("o { a :- ) }\nb :- c.");
    EXPECT_EQ(currentObject, 0);
    EXPECT_EQ(rulesText(), "b :- c.\n");
}

TEST_F(Parse, DeepNestingExhaustsTheParserStack) {
    // Every "-" of a term waits on the parser stack for the term after it.
    std::string deep = "p(" + std::string(20000, '-') + "a).\nq.\n";
    PARSERESULT r = parseUserText(deep);
    EXPECT_EQ(r.stderrText, "program.dl: line 1: memory exhausted.\n");
    EXPECT_EQ(r.errors, 1);
    // The next input starts afresh.
    r = parseUserText("z.");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(factsText(), "z.\n");
}

TEST_F(Parse, LongInputsParse) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "p(" + std::to_string(i) + ").\n";
    std::string body = "a :- q(0)";
    for (int i = 1; i < 5000; ++i) body += ", q(" + std::to_string(i) + ")";
    PARSERESULT r = parseUserText(text + body + ".\n");
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(edbFacts.size(), 20000u);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].body->size(), 5000u);
    EXPECT_EQ(lineNumber, 20002);
}

}  // namespace
}  // namespace veltra
