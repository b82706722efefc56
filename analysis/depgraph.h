// analysis/depgraph.h: the dependency graph of a program and its strongly
// connected components, one template for the non-ground program (DG, one node
// per predicate) and the ground program (GDG, one node per ground atom).
#pragma once
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "core/atom.h"
#include "core/flatlists.h"
#include "core/groundprogram.h"
#include "core/rule.h"

namespace veltra {

// Constructor flags. Other bits have no effect.
enum : int32_t {
    // A rule is recursive when a body literal and a head atom share their
    // predicate; without it, when they are the same atom.
    DEPGRAPH_PREDICATE_LEVEL = 0x1,
    // Negative body literals give edges, and the head atoms of a rule are
    // joined both ways; without it only positive dependencies give edges.
    DEPGRAPH_NEGATION_AND_DISJUNCTION = 0x10,
    // The literals of every constraint are linked by edges.
    DEPGRAPH_CONSTRAINT_EDGES = 0x100,
    // No componentConstraints are built.
    DEPGRAPH_NO_CONSTRAINT_LISTS = 0x1000,
    // Components are reordered by their negative dependencies.
    DEPGRAPH_ORDER_BY_NEGATION = 0x10000,

    // The combinations the builders use.
    DEPGRAPH_DG_GROUNDING = DEPGRAPH_ORDER_BY_NEGATION | DEPGRAPH_PREDICATE_LEVEL,         // 0x10001
    DEPGRAPH_DG_HCF_TEST = DEPGRAPH_PREDICATE_LEVEL,                                        // 0x1
    DEPGRAPH_DG_FULL = DEPGRAPH_NEGATION_AND_DISJUNCTION | DEPGRAPH_PREDICATE_LEVEL,        // 0x11
    DEPGRAPH_GDG_FULL = DEPGRAPH_NEGATION_AND_DISJUNCTION,                                  // 0x10
    DEPGRAPH_GDG_POSITIVE = 0                                                               // 0
};

// A negative dependency: a negated body literal's node towards a head atom's.
struct NEGATIVEEDGE {
    int32_t from;  // node index
    int32_t to;    // node index
};

// The rules of one component: the exit rules stand before split, the
// recursive rules from split on, each part in the order of the rules container.
template <class RULETYPE>
struct COMPONENTRULES {
    LISTVIEW<const RULETYPE*> ruleList;
    size_t split = 0;
};

// componentRules[c] is the COMPONENTRULES of component c; all lists share one
// flat array.
template <class RULETYPE>
struct COMPONENTRULELISTS {
    FLATLISTS<const RULETYPE*> lists;
    std::vector<size_t> splits;  // per component, number of exit rules

    size_t size() const { return splits.size(); }
    COMPONENTRULES<RULETYPE> operator[](size_t c) const { return COMPONENTRULES<RULETYPE>{lists[c], splits[c]}; }
};

// The graph and its components. Edges run from the node a body mentions to
// the node of the rule's head (u -> v: v depends on u). Nodes are predicate
// indices (DG) or ground-atom indices (GDG); node slots run from 0 to the
// highest index met, and a slot nothing referred to is not a node.
//
// A component is a number 0 .. m-1. After construction an edge between two
// components a != b always has a < b, and the members of a component are
// exactly one strongly connected component of adjacency.
//
// Built once; afterwards only the per-component flags and the three property
// caches change. The rules, constraints and atoms referred to must outlive
// the graph and must not move while it lives.
template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
class DEPGRAPH {
public:
    // Successors per node slot in order of addition, duplicates kept.
    FLATLISTS<int32_t> adjacency;
    bool predicateLevel = false;
    // Per node slot the first occurrence of the node, null for a slot that is
    // not a node: an ATOM in a DG (for an aggregate atom the first literal of
    // its body), the atom index of a head, literal or ground-set element in a GDG.
    std::vector<const NODETYPE*> nodes;
    bool withNegationAndDisjunction = false;
    // Per component; empty until computeComponentFlags() runs.
    std::vector<uint8_t> notStratified;  // a negative edge inside the component
    std::vector<uint8_t> disjunctive;    // a disjunctive edge inside the component
    std::vector<uint8_t> selfLoop;       // per component: a recursive rule has a head in it
    std::vector<uint8_t> recursiveRule;  // per rule (container position)
    int32_t isCyclicCache = -1;          // -1 unknown, 0 false, 1 true
    int32_t isHCFCache = -1;
    int32_t isStronglyHCFCache = -1;
    std::vector<NEGATIVEEDGE> negativeEdges;  // in order of the rules, recorded whatever the flags
    FLATLISTS<int32_t> components;       // members of each component, ascending
    std::vector<int32_t> componentOf;    // per node slot; -1 for a slot that is not a node
    COMPONENTRULELISTS<RULETYPE> componentRules;
    // Copies of the constraints, each in the list of the highest component
    // among its literals; size() is 0 under DEPGRAPH_NO_CONSTRAINT_LISTS.
    FLATLISTS<CONSTRAINTTYPE> componentConstraints;

    DEPGRAPH(const std::vector<RULETYPE>& rules, const std::vector<CONSTRAINTTYPE>& constraints, int32_t flags);
    DEPGRAPH(const DEPGRAPH&) = delete;
    DEPGRAPH& operator=(const DEPGRAPH&) = delete;

    size_t nodeSlots() const { return nodes.size(); }
    size_t componentCount() const { return components.size(); }
    bool isNode(int32_t v) const { return v >= 0 && size_t(v) < nodes.size() && nodes[v] != nullptr; }
    LISTVIEW<int32_t> successors(int32_t v) const { return adjacency[v]; }
    // The component of node index v; -1 when v is not a node, also beyond the slots.
    int32_t componentOfSlot(int32_t v) const { return isNode(v) ? componentOf[v] : -1; }

    // DG: the component of the atom's predicate (for an aggregate atom, of the
    // first literal of its body); GDG: of the ground atom. -1 when not a node.
    int32_t getComponent(const ATOM& atom) const;

    // Fills notStratified and disjunctive; does nothing when already done.
    void computeComponentFlags();
    bool flagsComputed() const { return flagsComputed_; }

    // Cyclic: a self-loop or at least two members.
    bool isComponentCyclic(int32_t c) const { return selfLoop[c] || components[c].size() >= 2; }
    // Head-cycle-free: not both cyclic and disjunctive.
    bool isComponentHCF(int32_t c);
    // No self-loop, and disjunctive only when it has a single member.
    bool isComponentStronglyHCF(int32_t c);

    // Whole-graph properties, computed on first use and cached.
    bool isCyclic();
    bool isHCF();
    bool isStronglyHCF();

    // The graph in the "--depgraph" layout.
    void printDependencyGraph(std::ostream& out);

private:
    bool flagsComputed_ = false;
    // The components holding two head atoms of one rule, each once. Found
    // from the heads directly rather than from their pairs, so a head of n
    // atoms costs n, not n^2.
    std::vector<int32_t> headPairComponents_;
};

using DG = DEPGRAPH<RULE, CONSTRAINT, ATOM>;
using GDG = DEPGRAPH<GROUNDRULE, GROUNDCONSTRAINT, ATOMID>;

extern template class DEPGRAPH<RULE, CONSTRAINT, ATOM>;
extern template class DEPGRAPH<GROUNDRULE, GROUNDCONSTRAINT, ATOMID>;

// The "--depgraph" dump: two DGs and two GDGs, with and without negation and
// disjunction, printed one after the other. The caller ends the run.
void dumpDependencyGraphs(std::ostream& out, const std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints,
                          const std::vector<GROUNDRULE>& groundRules,
                          const std::vector<GROUNDCONSTRAINT>& groundConstraints);
// The same on standard output.
void dumpDependencyGraphs(const std::vector<RULE>& rules, const std::vector<CONSTRAINT>& constraints,
                          const std::vector<GROUNDRULE>& groundRules,
                          const std::vector<GROUNDCONSTRAINT>& groundConstraints);

}  // namespace veltra
