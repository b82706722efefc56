// tests/unit/support/ground.cpp: grounding program text.
#include "tests/unit/support/ground.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/groundprogram.h"
#include "core/rule.h"
#include "driver/options.h"
#include "driver/output.h"
#include "core/cost.h"
#include "grounding/grounder.h"
#include "input/parse.h"
#include "tests/unit/support/program.h"

namespace veltra {

namespace {

void printSorted(std::ostream& out, std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    for (const std::string& l : lines) out << l << '\n';
}

std::string groundBodyText(const GROUNDCONJUNCTION& body) {
    std::ostringstream s;
    printGroundLiterals(s, body.literals.data(), body.literals.data() + body.literals.size(), ", ");
    return s.str();
}

void dumpGroundProgram(std::ostream& out) {
    out << "true:";
    trueAtoms.forEach([&](const ATOM& a) { printAtom(out << ' ', a); });
    out << "\nundefined:";
    undefinedAtoms.forEach([&](const ATOM& a) { printAtom(out << ' ', a); });
    out << '\n';
    std::vector<std::string> lines;
    for (const GROUNDRULE& r : groundRules) {
        std::ostringstream s;
        printGroundRule(s, r);
        lines.push_back(s.str());
    }
    printSorted(out, lines);
    lines.clear();
    for (const GROUNDCONSTRAINT& c : groundConstraints) lines.push_back(":- " + groundBodyText(c.body) + ".");
    printSorted(out, lines);
    for (const auto* list : {&groundWeakConstraints, &violatedWeakConstraints}) {
        lines.clear();
        for (const GROUNDWEAKCONSTRAINT& w : *list) {
            std::ostringstream s;
            printGroundWeakConstraints(s, std::vector<GROUNDWEAKCONSTRAINT>{w}, "");
            lines.push_back((list == &violatedWeakConstraints ? "violated: " : "") + s.str());
        }
        printSorted(out, lines);
    }
    if (maxWeakConstraintLevel != 0) out << "maxlevel: " << maxWeakConstraintLevel << '\n';
}

[[noreturn]] void groundInChild(const std::string& text, const GROUNDSETTINGS& settings) {
    OPTIONS.maxInt = settings.maxInt;
    OPTIONS.bodyReordering = settings.bodyReordering;
    OPTIONS.semiNaive = settings.semiNaive;
    statsGrounding = settings.statsGrounding;
    if (parseUserText(text, false).errors > 0) {
        std::cout.flush();
        std::exit(3);
    }
    int status = 0;
    if (settings.propositional) {
        bool ok = groundPropositional(rules, constraints, weakConstraints, edbFacts, groundRules, groundConstraints,
                                      groundWeakConstraints, violatedWeakConstraints, settings.instantiate);
        if (!ok) status = 100;
    } else {
        DG depgraph(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
        GROUNDER grounder(depgraph, settings.instantiate);
        int32_t groundingStatus = 0;
        if (!grounder.groundProgram(groundingStatus)) status = 100 + groundingStatus;
    }
    dumpGroundProgram(std::cout);
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::exit(status);
}

// Grounds the program; "" when it is decided completely, else the reason.
std::string groundCompletely() {
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

bool groundIfConsistent(const std::string& text, bool propositional, int32_t* status) {
    std::stringstream stream(text);
    EXPECT_TRUE(parseFromStream(stream)) << text;
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    int32_t groundingStatus = 0;
    bool grounded;
    if (propositional) {
        grounded = groundPropositional(rules, constraints, weakConstraints, edbFacts, groundRules, groundConstraints,
                                       groundWeakConstraints, violatedWeakConstraints, false);
    } else {
        DG dg(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_GROUNDING);
        GROUNDER grounder(dg, false);
        grounded = grounder.groundProgram(groundingStatus);
    }
    if (status) *status = groundingStatus;
    if (!grounded) return false;
    costLevels = weakConstraintLevels();
    atomTableFrozen = true;
    groundAtomCount = atomCount = static_cast<int32_t>(atomsByIndex.size());
    return true;
}

void groundProgram(const std::string& text, bool propositional) {
    int32_t status = 0;
    ASSERT_TRUE(groundIfConsistent(text, propositional, &status)) << "grounding stopped with status " << status;
}

CHILDRUN groundText(const std::string& text, const GROUNDSETTINGS& settings) {
    return runCaptured([&] { groundInChild(text, settings); });
}

std::string groundModel() {
    std::string failure = groundCompletely();
    if (!failure.empty()) return failure;
    std::ostringstream out;
    printInterpretation(out, &trueAtoms, nullptr);
    return out.str();
}

std::string groundTrueAtoms() {
    std::string failure = groundCompletely();
    if (!failure.empty()) return failure + "\n";
    std::ostringstream out;
    trueAtoms.forEach([&](const ATOM& a) { printAtom(out, a) << '\n'; });
    return out.str();
}

}  // namespace veltra
