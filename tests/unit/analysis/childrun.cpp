// tests/unit/analysis/childrun.cpp: the child-process harness of the
// rewriting tests.
#include "tests/unit/analysis/childrun.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "core/rule.h"
#include "driver/options.h"
#include "driver/output.h"
#include "grounding/grounder.h"
#include "input/parse.h"
#include "input/program.h"
#include "tests/unit/support/forkrun.h"

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

// Ends the child without static destructors, which would free the tables
// of the whole process once more.
[[noreturn]] void endChild(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    _exit(status);
}

[[noreturn]] void childMain(const std::string& text, const std::function<void()>& body) {
    if (!readProgram(text)) endChild(3);
    body();
    endChild(0);
}


}  // namespace

bool readProgram(const std::string& text) {
    startAfresh();
    OPTIONS.internalParse = false;
    currentFileName = "program.dl";
    lineNumber = 1;
    std::string buffer = text + "\n";
    FILE* input = fmemopen(const_cast<char*>(buffer.data()), buffer.size(), "r");
    parseMainLanguage(input);
    std::fclose(input);
    OPTIONS.internalParse = true;
    objectsUsed = objects.size() > 1;
    return parseErrorCount == 0;
}

CHILDRUN runInChild(const std::string& text, const std::function<void()>& body) {
    return runCaptured([&] { childMain(text, body); });
}

std::string programText() {
    std::ostringstream out;
    edbFacts.forEach([&](const ATOM& a) { printAtom(out, a) << ".\n"; });
    for (const RULE& r : rules) printProgramRule(out, r) << '\n';
    for (const CONSTRAINT& c : constraints) printProgramConstraint(out, c) << '\n';
    for (const WEAKCONSTRAINT& w : weakConstraints) printProgramWeakConstraint(out, w) << '\n';
    return out.str();
}

namespace {

// Grounds the program; "" when it is decided completely, else the reason.
std::string ground() {
    DG depgraph(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
    int32_t status = 0;
    bool grounded;
    {
        GROUNDER grounder(depgraph, false);
        grounded = grounder.groundProgram(status);
    }
    if (!grounded) return status == 0 ? "inconsistent" : "grounding error";
    if (!groundRules.empty()) return "undecided";
    // Every atom is decided: a constraint left has only negative literals.
    if (!groundConstraints.empty()) return "inconsistent";
    return "";
}

}  // namespace

std::string groundModel() {
    std::string failure = ground();
    if (!failure.empty()) return failure;
    std::ostringstream out;
    printInterpretation(out, &trueAtoms, nullptr);
    return out.str();
}

std::string groundTrueAtoms() {
    std::string failure = ground();
    if (!failure.empty()) return failure + "\n";
    std::ostringstream out;
    trueAtoms.forEach([&](const ATOM& a) { printAtom(out, a) << '\n'; });
    return out.str();
}

}  // namespace veltra
