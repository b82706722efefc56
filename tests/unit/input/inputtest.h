// tests/unit/input/inputtest.h: every input test starts from the state of a
// fresh run, reads program text as a user file or as generated text, and
// looks at what was stored and what was reported.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "input/program.h"

namespace veltra {

// What one parse wrote, and how many errors it counted.
struct PARSERESULT {
    std::string stderrText;
    std::string stdoutText;
    int errors = 0;
};

// Reads text as the user file "program.dl" (internalParse off).
// Without capture the output goes to the real streams (for death tests).
PARSERESULT parseUserText(const std::string& text, bool capture = true);
// Reads text through parseFromStream (internalParse on); ok is its result.
PARSERESULT parseGeneratedText(const std::string& text, bool* ok = nullptr);

// The stored program, one statement per line, in this order: the facts of
// edbFacts ("p(a)."), the rules, the constraints, the weak constraints, and
// the query ("q(X)?").
std::string programText();
std::string rulesText();
std::string factsText();
std::string constraintsText();
std::string weakConstraintsText();
std::string queryText();

class INPUTTEST : public ::testing::Test {
protected:
    void SetUp() override { resetInputState(); }
    void TearDown() override { resetInputState(); }
};

}  // namespace veltra
