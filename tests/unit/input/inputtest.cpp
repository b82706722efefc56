// tests/unit/input/inputtest.cpp: the state reset and the parse helpers of
// the input tests.
#include "tests/unit/input/inputtest.h"

#include <cstdio>
#include <sstream>

#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "core/rule.h"
#include "driver/options.h"
#include "input/dbstatement.h"
#include "input/objects.h"
#include "input/parse.h"
#include "input/program.h"

namespace veltra {

PARSERESULT parseUserText(const std::string& text, bool capture) {
    PARSERESULT result;
    int before = parseErrorCount;
    currentFileName = "program.dl";
    lineNumber = 1;
    OPTIONS.internalParse = false;
    // fmemopen of an empty buffer is not portable: an empty text is a file
    // without bytes all the same.
    std::string buffer = text.empty() ? std::string(" ") : text;
    FILE* file = fmemopen(const_cast<char*>(buffer.data()), text.empty() ? 0 : buffer.size(), "r");
    if (!file) file = std::tmpfile();
    if (capture) {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
    }
    parseMainLanguage(file);
    if (capture) {
        result.stdoutText = testing::internal::GetCapturedStdout();
        result.stderrText = testing::internal::GetCapturedStderr();
    }
    std::fclose(file);
    OPTIONS.internalParse = true;
    result.errors = parseErrorCount - before;
    return result;
}

PARSERESULT parseGeneratedText(const std::string& text, bool* ok) {
    PARSERESULT result;
    int before = parseErrorCount;
    OPTIONS.internalParse = true;
    std::stringstream stream(text);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    bool success = parseFromStream(stream);
    result.stdoutText = testing::internal::GetCapturedStdout();
    result.stderrText = testing::internal::GetCapturedStderr();
    if (ok) *ok = success;
    result.errors = parseErrorCount - before;
    return result;
}

std::string factsText() {
    std::ostringstream out;
    edbFacts.forEach([&](const ATOM& a) { printAtom(out, a) << ".\n"; });
    return out.str();
}

std::string rulesText() {
    std::ostringstream out;
    for (const RULE& r : rules) printProgramRule(out, r) << '\n';
    return out.str();
}

std::string constraintsText() {
    std::ostringstream out;
    for (const CONSTRAINT& c : constraints) printProgramConstraint(out, c) << '\n';
    return out.str();
}

std::string weakConstraintsText() {
    std::ostringstream out;
    for (const WEAKCONSTRAINT& w : weakConstraints) {
        // The stored weight in full, fraction included.
        out << ":~ ";
        printLiterals(out, w.body, ", ") << ". [";
        printTerm(out, w.weight) << ':';
        printTerm(out, w.level) << "]\n";
    }
    return out.str();
}

std::string queryText() {
    std::ostringstream out;
    if (query) printLiterals(out, *query, ", ") << "?\n";
    return out.str();
}

std::string programText() { return factsText() + rulesText() + constraintsText() + weakConstraintsText() + queryText(); }

}  // namespace veltra
