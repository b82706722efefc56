// tests/unit/support/program.cpp: reading program text and printing the
// stored program.
#include "tests/unit/support/program.h"

#include <cstdio>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "analysis/rewrite.h"
#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "core/rule.h"
#include "driver/options.h"
#include "input/dbstatement.h"
#include "input/objects.h"
#include "input/parse.h"

namespace veltra {

namespace {

// Whatever earlier tests of this process left in the ground containers is
// set aside without being destroyed (a million atoms take long to free); the
// chain keeps it reachable, so that a leak checker at exit does not count it.
struct SETASIDE {
    std::unordered_map<ATOM, ATOMID, ATOMHASH, ATOMEQUAL> atomTable;
    std::vector<const std::pair<const ATOM, ATOMID>*> atomsByIndex;
    std::vector<GROUNDRULE> groundRules;
    std::vector<GROUNDCONSTRAINT> groundConstraints;
    std::vector<GROUNDWEAKCONSTRAINT> groundWeakConstraints;
    std::vector<GROUNDWEAKCONSTRAINT> violatedWeakConstraints;
    ATOMSET trueAtoms;
    ATOMSET undefinedAtoms;
    SETASIDE* next;
};
SETASIDE* setAside = nullptr;

// The input state starts afresh, as in a new run.
void startAfresh() {
    setAside = new SETASIDE{std::move(atomTable),
                            std::move(atomsByIndex),
                            std::move(groundRules),
                            std::move(groundConstraints),
                            std::move(groundWeakConstraints),
                            std::move(violatedWeakConstraints),
                            std::move(trueAtoms),
                            std::move(undefinedAtoms),
                            setAside};
    atomTable.clear();
    atomsByIndex.clear();
    groundRules.clear();
    groundConstraints.clear();
    groundWeakConstraints.clear();
    violatedWeakConstraints.clear();
    trueAtoms = ATOMSET();
    undefinedAtoms = ATOMSET();
    atomTableFrozen = false;
    maxWeakConstraintLevel = 0;
    overrideRuleCounter = 0;
    resetInputState();
}

}  // namespace

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

bool readProgram(const std::string& text) {
    startAfresh();
    parseUserText(text + "\n", false);
    objectsUsed = objects.size() > 1;
    return parseErrorCount == 0;
}

CHILDRUN runInChild(const std::string& text, const std::function<void()>& body) {
    return runCaptured([&] {
        if (!readProgram(text)) endChild(3);
        body();
        endChild(0);
    });
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
