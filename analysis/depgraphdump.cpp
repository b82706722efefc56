// analysis/depgraphdump.cpp: the printer of one dependency graph and the
// "--depgraph" dump of the non-ground and the ground program.
#include <iostream>

#include "analysis/depgraph.h"
#include "core/options.h"

namespace veltra {

namespace {

// A node in the node line: the first atom met for a predicate, or the
// ground atom.
void printNode(std::ostream& out, const DG& g, int32_t v) { printAtom(out, *g.nodes[v]); }
void printNode(std::ostream& out, const GDG&, int32_t v) { printGroundAtom(out, v); }

// A member of a component: a predicate's name, or the ground atom.
void printMember(std::ostream& out, const DG&, int32_t v) { out << predicateTable.name(v).str(); }
void printMember(std::ostream& out, const GDG&, int32_t v) { printGroundAtom(out, v); }

void printRule(std::ostream& out, const RULE& r) { printProgramRule(out, r); }
void printRule(std::ostream& out, const GROUNDRULE& r) { printGroundRule(out, r); }

void printConstraint(std::ostream& out, const CONSTRAINT& c) { printProgramConstraint(out, c); }
void printConstraint(std::ostream& out, const GROUNDCONSTRAINT& c) {
    const auto& ls = c.body.literals;
    out << ":- ";
    printGroundLiterals(out, ls.data(), ls.data() + ls.size(), ", ") << '.';
}

const char* truth(bool b) { return b ? "true" : "false"; }

}  // namespace

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
void DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::printDependencyGraph(std::ostream& out) {
    size_t n = nodeSlots(), m = componentCount();
    out << "DEPGRAPH: (" << n << " atoms, " << m << " components)\n";
    if (!withNegationAndDisjunction) {
        out << "DEPGRAPH::isCyclic() : " << truth(isCyclic()) << '\n';
        out << "DEPGRAPH::isHCF() : " << truth(isHCF()) << '\n';
        out << "DEPGRAPH::isStronglyHCF() : " << truth(isStronglyHCF()) << '\n';
    }
    out << '\n';
    for (size_t v = 0; v < n; ++v)
        if (nodes[v]) {
            printNode(out, *this, int32_t(v));
            out << ' ';
        }
    out << '\n';

    // Edge counts, one row per node slot; the scratch row is cleared after use.
    std::vector<int32_t> count(n, 0);
    for (size_t j = 0; j < n; ++j) {
        for (int32_t k : successors(int32_t(j))) ++count[size_t(k)];
        for (size_t k = 0; k < n; ++k) out << count[k] << ' ';
        out << '\n';
        for (int32_t k : successors(int32_t(j))) count[size_t(k)] = 0;
    }
    out << '\n';

    computeComponentFlags();
    for (size_t c = 0; c < m; ++c) {
        out << "COMPONENT " << c + 1 << ':';
        if (withNegationAndDisjunction) {
            out << (notStratified[c] ? "  not stratified" : "  stratified");
            out << (disjunctive[c] ? "  disjunctive" : "  not disjunctive");
        } else {
            out << (isComponentHCF(int32_t(c)) ? "  hcf" : "  not hcf");
            out << (isComponentStronglyHCF(int32_t(c)) ? "  strongly hcf" : "  not strongly hcf");
            out << (isComponentCyclic(int32_t(c)) ? "  cyclic" : "  acyclic");
        }
        out << "\n   { ";
        const char* separator = "";
        for (int32_t v : components[c]) {
            out << separator;
            printMember(out, *this, v);
            separator = " , ";
        }
        out << " }\n";
        for (const RULETYPE* r : componentRules[c].ruleList) {
            out << "   ";
            printRule(out, *r);
            out << '\n';
        }
        if (c < componentConstraints.size())
            for (const CONSTRAINTTYPE& k : componentConstraints[c]) {
                out << "   ";
                printConstraint(out, k);
                out << '\n';
            }
    }
}

template void DG::printDependencyGraph(std::ostream& out);
template void GDG::printDependencyGraph(std::ostream& out);

void dumpDependencyGraphs(std::ostream& out, const std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints,
                          const std::vector<GROUNDRULE>& groundRules,
                          const std::vector<GROUNDCONSTRAINT>& groundConstraints) {
    DG full(rules, constraints, DEPGRAPH_DG_FULL);
    DG grounding(rules, constraints, DEPGRAPH_DG_GROUNDING);
    GDG groundFull(groundRules, groundConstraints, DEPGRAPH_GDG_FULL);
    GDG groundPositive(groundRules, groundConstraints, DEPGRAPH_GDG_POSITIVE);

    out << "The nonground DG without negation and disjunction uses Tamsel's ordering.\n";
    auto section = [&out](const char* label, auto& graph) {
        out << label << (graph.withNegationAndDisjunction ? "with" : "without") << " negations and disjunctions:\n\n";
        graph.printDependencyGraph(out);
        out << "\n\n";
    };
    section("DG ", full);
    section("DG ", grounding);
    section("GDG ", groundFull);
    section("GDG ", groundPositive);
}

void dumpDependencyGraphs(const std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints,
                          const std::vector<GROUNDRULE>& groundRules,
                          const std::vector<GROUNDCONSTRAINT>& groundConstraints) {
    dumpDependencyGraphs(std::cout, rules, constraints, groundRules, groundConstraints);
}

}  // namespace veltra
