// tests/unit/grounding/groundtext.cpp: the child-process grounding harness.
#include "groundtext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "analysis/depgraph.h"
#include "core/rule.h"
#include "driver/options.h"
#include "grounding/grounder.h"
#include "input/parse.h"
#include "tests/unit/support/forkrun.h"

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
    OPTIONS.internalParse = false;
    currentFileName = "program.dl";
    lineNumber = 1;
    FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    parseMainLanguage(input);
    std::fclose(input);
    if (parseErrorCount > 0) {
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


}  // namespace

GROUNDRUN groundText(const std::string& text, const GROUNDSETTINGS& settings) {
    return runCaptured([&] { groundInChild(text, settings); });
}

}  // namespace veltra
