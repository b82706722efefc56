// Tokens of the main input language: spellings, lexical classes, start
// conditions, line counting and lexical errors.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/options.h"
#include "input/parse.h"
#include "input/scan.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

// The token names of text, ID and NUMBER with their text: ID(abc).
std::string tokens(const std::string& text, bool internal = true) {
    OPTIONS.internalParse = internal;
    std::string out;
    for (const SCANNEDTOKEN& t : scanText(text)) {
        if (!out.empty()) out += ' ';
        out += t.name;
        if (t.name == "ID" || t.name == "NUMBER") out += "(" + t.text + ")";
    }
    OPTIONS.internalParse = true;
    return out;
}

class Scanner : public INPUTTEST {};

TEST_F(Scanner, OperatorsAndKeywords) {
    struct CASE {
        const char* text;
        const char* expected;
    } cases[] = {
        {",.:;!+*=|", "\",\" \".\" \":\" \";\" \"!\" \"+\" \"*\" \"=\" \"|\""},
        {":- <- :~ :", "\":-\" \":-\" \":~\" \":\""},
        {"( ) [ ] { } _", "\"(\" \")\" \"[\" \"]\" \"{\" \"}\" \"_\""},
        {"== != <> < > <= >=", "\"==\" \"!=\" \"!=\" \"<\" \">\" \"<=\" \">=\""},
        {"- ~ ?", "\"-\" \"-\" \"?\""},
        {"#int #succ #maxint #const", "\"#int\" \"#succ\" \"#maxint\" \"#const\""},
        {"#any #avg #count #max #min #sum #times",
         "\"#any\" \"#avg\" \"#count\" \"#max\" \"#min\" \"#sum\" \"#times\""},
        {"not non v", "\"not\" \"not\" \"v\""},
        // Keywords only as whole names; "#" keywords end with their letters.
        {"note nonx vx v1 v_", "ID(note) ID(nonx) ID(vx) ID(v1) ID(v_)"},
        {"#countx #maxintx #max", "\"#count\" ID(x) \"#maxint\" ID(x) \"#max\""},
        {"Not V", "ID(Not) ID(V)"},
        // "<-" is the arrow even where a comparison with a negative number was meant.
        {"X<-1", "ID(X) \":-\" NUMBER(1)"},
        {"_X", "\"_\" ID(X)"},
        {"\"a b\" \"_q\"", "ID(\"a b\") ID(\"_q\")"},
        {"% a comment\np", "ID(p)"},
        {"000000001 123456789", "NUMBER(000000001) NUMBER(123456789)"},
        {"a$b T$1 $time Tx$1", "ID(a) ID($b) ID(T$1) ID($time) ID(Tx) ID($1)"},
    };
    for (const CASE& c : cases) EXPECT_EQ(tokens(c.text), c.expected) << c.text;
}

TEST_F(Scanner, AlternativeSpellingsGiveTheSameTokens) {
    EXPECT_EQ(tokens("a :- b, not c."), tokens("a <- b, non c."));
    EXPECT_EQ(tokens("-p(X)"), tokens("~p(X)"));
    EXPECT_EQ(tokens("X != Y"), tokens("X <> Y"));
}

TEST_F(Scanner, HeadSeparatorsAreThreeTokens) {
    EXPECT_EQ(tokens("a v b | c ; d"), "ID(a) \"v\" ID(b) \"|\" ID(c) \";\" ID(d)");
    EXPECT_EQ(tokens("p(v)"), "ID(p) \"(\" \"v\" \")\"");
}

TEST_F(Scanner, StatementKeywordsOnlyAtTheBeginningOfALine) {
    EXPECT_EQ(tokens("  #import(a).\nb"), "\"#import\" \"(\" ID(a) \")\" \".\" NEWLINE ID(b)");
    EXPECT_EQ(tokens("\t#export\r\n"), "\"#export\" NEWLINE");
    EXPECT_EQ(tokens("#exportQueryResult x\n"), "\"#exportQueryResult\" ID(x) NEWLINE");
    // A line end outside the statement state is no token.
    EXPECT_EQ(tokens("a\nb\n"), "ID(a) ID(b)");
    testing::internal::CaptureStderr();
    EXPECT_EQ(tokens("p. #import"), "ID(p) \".\" ERROR ID(import)");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Internal parser invocation: syntax error (#).\n");
}

TEST_F(Scanner, LexicalErrorsAreReportedCountedAndBecomeErrorTokens) {
    struct CASE {
        const char* text;
        const char* expectedTokens;
        const char* message;
    } cases[] = {
        {"1234567890", "ERROR", "numeric constant 1234567890 is too long"},
        {"0123456789", "ERROR", "numeric constant 0123456789 is too long"},
        {"$x", "ERROR", "identifier starts with '$'"},
        {"T$1", "ERROR", "identifier starts with '$'"},
        {"a&b", "ID(a) ERROR ID(b)", "syntax error (&)"},
        {"'", "ERROR", "syntax error (')"},
        {"/", "ERROR", "syntax error (/)"},
        {"@", "ERROR", "syntax error (@)"},
        {"\\", "ERROR", "syntax error (\\)"},
        {"^", "ERROR", "syntax error (^)"},
        {"`", "ERROR", "syntax error (`)"},
        {"#", "ERROR", "syntax error (#)"},
        {"#foo", "ERROR ID(foo)", "syntax error (#)"},
        {"a\rb", "ID(a) ERROR ID(b)", "syntax error (\r)"},
        {"\x7f", "ERROR", "syntax error (\x7f)"},
        {"\xc3\xa9", "ERROR ERROR", "syntax error (\xc3)"},
        {"\"open", "ERROR ID(open)", "syntax error (\")"},
    };
    for (const CASE& c : cases) {
        int before = parseErrorCount;
        lineNumber = 3;
        currentFileName = "f.dl";
        testing::internal::CaptureStderr();
        EXPECT_EQ(tokens(c.text, false), c.expectedTokens) << c.text;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.substr(0, err.find('\n') + 1), std::string("f.dl: line 3: ") + c.message + ".\n") << c.text;
        EXPECT_EQ(parseErrorCount - before, int(std::count(c.expectedTokens, c.expectedTokens + strlen(c.expectedTokens), 'E')))
            << c.text;
    }
}

TEST_F(Scanner, LineEndsAreCountedExceptInsideQuotedStrings) {
    lineNumber = 1;
    tokens("a\r\nb % c\n\"x\ny\nz\"\n\n");
    EXPECT_EQ(lineNumber, 5);
    EXPECT_EQ(tokens("\"x\ny\""), "ID(\"x\ny\")");
}

TEST_F(Scanner, NulByteIsALexicalError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(tokens(std::string("a\0b", 3)), "ID(a) ERROR ID(b)");
    testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace veltra
