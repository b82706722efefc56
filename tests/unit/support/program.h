// tests/unit/support/program.h: reading program text as a user file or as
// generated text, from the state of a fresh run, and printing the stored
// program back as text.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "input/program.h"
#include "tests/unit/support/child.h"

namespace veltra {

// What one parse wrote, and how many errors it counted.
struct PARSERESULT {
    std::string stderrText;
    std::string stdoutText;
    int errors = 0;
};

// Reads text as the user file "program.dl" (internalParse off).
// Without capture the output goes to the real streams (for death tests and
// child processes).
PARSERESULT parseUserText(const std::string& text, bool capture = true);
// Reads text through parseFromStream (internalParse on); ok is its result.
PARSERESULT parseGeneratedText(const std::string& text, bool* ok = nullptr);

// Only in a child: sets the ground containers aside, resets the input state
// as a new run starts, and reads text as the user file "program.dl" (object 0
// registered, objectsUsed set as the driver sets it); false on parse errors.
// A body may call it again for the next program.
bool readProgram(const std::string& text);
// In a child: reads text as readProgram does, then calls body, whose standard
// output and error are returned; status 3 on parse errors.
CHILDRUN runInChild(const std::string& text, const std::function<void()>& body);

// The stored program, one statement per line, in this order: the facts of
// edbFacts ("p(a)."), the rules, the constraints, the weak constraints (the
// stored weight in full, fraction included: "[1500:1]" for a weight of 1.5),
// and the query ("q(X)?").
std::string programText();
std::string rulesText();
std::string factsText();
std::string constraintsText();
std::string weakConstraintsText();
std::string queryText();

// Every input test starts from the state of a fresh run.
class INPUTTEST : public ::testing::Test {
protected:
    void SetUp() override { resetInputState(); }
    void TearDown() override { resetInputState(); }
};

}  // namespace veltra
