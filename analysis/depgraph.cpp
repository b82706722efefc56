// analysis/depgraph.cpp: construction of the dependency graphs (nodes, edges
// in compressed rows, components, their order and rule and constraint lists)
// and the per-component flags and cached properties.
#include "analysis/depgraph.h"

#include <algorithm>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "core/aggregate.h"

namespace veltra {

namespace {

// What differs between the two graphs. A DG's node is a predicate index, a
// GDG's a ground-atom index; "element" is an ATOM (DG) or an ATOMID (GDG).
template <class RULETYPE>
struct NODETRAITS;

template <>
struct NODETRAITS<RULE> {
    using ELEMENT = ATOM;
    // An aggregate atom stands for the predicate of its body's first literal.
    static const ATOM* reference(const ATOM& a) {
        if (!a.isAggregate()) return &a;
        const CONJUNCTION& body = a.aggregate()->fn().body;
        return body.empty() ? nullptr : &body.literals[0];
    }
    static int32_t node(const ATOM& a) {
        const ATOM* r = reference(a);
        return r ? r->predicate : -1;
    }
    static const ATOM& atomOf(const LITERAL& l) { return l; }
    static bool isAggregate(const LITERAL& l, bool) { return l.isAggregate(); }
    static const std::vector<LITERAL>& literals(const CONJUNCTION& body) { return body.literals; }
    static const CONJUNCTION& constraintBody(const CONSTRAINT& c) { return c.body; }
    // Same predicate, or (without predicate level) the same atom.
    static bool related(const LITERAL& l, const ATOM& h, bool predicateLevel) {
        return predicateLevel ? node(l) == node(h) : compareAtoms(l, h) == 0;
    }
    // Whether related() is the identity of nodes, so marks per node decide it.
    static bool relatedByNode(bool predicateLevel) { return predicateLevel; }
    // A negated aggregate literal still gives a plain edge.
    static constexpr bool negatedAggregateEdge = true;
    template <class F>
    static void forEachSetElement(int32_t, F&&) {}
};

template <>
struct NODETRAITS<GROUNDRULE> {
    using ELEMENT = ATOMID;
    static const ATOMID* reference(const ATOMID& a) { return &a; }
    static int32_t node(const ATOMID& a) { return a; }
    static const ATOMID& atomOf(const GROUNDLITERAL& l) { return l.atom; }
    // anyAggregate: some predicate is an aggregate; when none is, no atom
    // needs to be looked at.
    static bool isAggregate(const GROUNDLITERAL& l, bool anyAggregate) {
        return anyAggregate && groundAtom(l.atom).isAggregate();
    }
    static const std::vector<GROUNDLITERAL>& literals(const GROUNDCONJUNCTION& body) { return body.literals; }
    static const GROUNDCONJUNCTION& constraintBody(const GROUNDCONSTRAINT& c) { return c.body; }
    static bool related(const GROUNDLITERAL& l, const ATOMID& h, bool predicateLevel) {
        return predicateLevel ? groundAtom(l.atom).predicate == groundAtom(h).predicate : l.atom == h;
    }
    static bool relatedByNode(bool predicateLevel) { return !predicateLevel; }
    static constexpr bool negatedAggregateEdge = false;
    // Calls f on every element atom of the ground set of an aggregate atom.
    template <class F>
    static void forEachSetElement(int32_t aggregate, F&& f) {
        for (const GROUNDSETELEMENT& e : groundAtom(aggregate).aggregate()->fn().set()) f(e.atom);
    }
};

using EDGE = std::pair<int32_t, int32_t>;

// Builds compressed rows over n sources from a list of edges, keeping the
// order of the list within each row.
void buildRows(size_t n, const std::vector<EDGE>& edges, FLATLISTS<int32_t>& rows) {
    FLATLISTSBUILDER<int32_t> builder(rows, n);
    for (const EDGE& e : edges) builder.count(size_t(e.first));
    builder.layOut();
    for (const EDGE& e : edges) builder.add(size_t(e.first), e.second);
}

// Tarjan's algorithm with explicit stacks, so that the depth of the graph
// never reaches the call stack. Roots are taken in increasing slot order and
// successors in row order. compOf[v] receives the number of components
// completed before v's (its provisional number), -1 for a slot that is not a
// node. When crossing is given, it receives edges between components that
// preserve which component reaches which. Returns the number of components.
template <class ISNODE>
int32_t strongConnect(const FLATLISTS<int32_t>& rows, ISNODE isNode, std::vector<int32_t>& compOf,
                      std::vector<EDGE>* crossing) {
    size_t n = rows.size();
    compOf.assign(n, -1);
    std::vector<int32_t> discovery(n, 0), low(n, 0);
    std::vector<uint8_t> onStack(n, 0);
    std::vector<int32_t> stack;
    struct FRAME {
        int32_t v;
        size_t next;  // position in rows.items of the next successor
    };
    std::vector<FRAME> frames;
    int32_t counter = 0, completed = 0;

    auto enter = [&](int32_t v) {
        discovery[v] = low[v] = ++counter;
        stack.push_back(v);
        onStack[v] = 1;
        frames.push_back(FRAME{v, rows.start[size_t(v)]});
    };
    for (size_t root = 0; root < n; ++root) {
        if (discovery[root] != 0) continue;
        enter(int32_t(root));
        while (!frames.empty()) {
            FRAME& frame = frames.back();
            int32_t v = frame.v;
            if (frame.next < rows.start[size_t(v) + 1]) {
                int32_t w = rows.items[frame.next++];
                if (discovery[w] == 0) {
                    enter(w);  // invalidates frame
                } else if (discovery[w] >= discovery[v]) {
                    // a descendant already finished, or v itself
                } else if (onStack[w]) {
                    low[v] = std::min(low[v], discovery[w]);
                } else if (crossing && discovery[w] < low[v]) {
                    crossing->emplace_back(v, w);
                }
                continue;
            }
            // All successors of v are done.
            bool isRoot = low[v] == discovery[v];
            if (isRoot) {
                bool node = isNode(v);
                int32_t w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    onStack[w] = 0;
                    compOf[w] = node ? completed : -1;
                } while (w != v);
                if (node) ++completed;
            }
            frames.pop_back();
            if (!frames.empty()) {
                int32_t u = frames.back().v;
                if (isRoot && crossing) crossing->emplace_back(u, v);
                low[u] = std::min(low[u], low[v]);
            }
        }
    }
    return completed;
}

// Smallest-index representative of a union-find forest with path halving.
int32_t findRoot(std::vector<int32_t>& parent, int32_t x) {
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

// The rules reduced to node indices: read once from the rule records, then
// walked sequentially by every later step.
struct FLATLITERAL {
    int32_t node;
    uint8_t negated;
    uint8_t positive;   // before the body's first negative literal
    uint8_t aggregate;  // an aggregate literal
};

struct FLATRULES {
    std::vector<size_t> headStart{0}, bodyStart{0};  // per rule, and one past the last
    std::vector<int32_t> heads;
    std::vector<FLATLITERAL> body;

    LISTVIEW<int32_t> head(size_t r) const {
        return LISTVIEW<int32_t>{heads.data() + headStart[r], heads.data() + headStart[r + 1]};
    }
    LISTVIEW<FLATLITERAL> literals(size_t r) const {
        return LISTVIEW<FLATLITERAL>{body.data() + bodyStart[r], body.data() + bodyStart[r + 1]};
    }
};

bool anyAggregatePredicate() {
    return std::find(predicateTable.kinds.begin(), predicateTable.kinds.end(), KIND_AGGREGATE) !=
           predicateTable.kinds.end();
}

// Collects the nodes, walking each rule's head atoms and then its body
// literals, and flattens the rules on the way.
template <class GRAPH, class RULETYPE>
void collectNodes(GRAPH& g, const std::vector<RULETYPE>& rules, FLATRULES& flat) {
    using T = NODETRAITS<RULETYPE>;
    const bool anyAggregate = anyAggregatePredicate();
    auto add = [&g](const typename T::ELEMENT& e) {
        int32_t v = T::node(e);
        if (v < 0) return v;
        if (size_t(v) >= g.nodes.size()) g.nodes.resize(size_t(v) + 1, nullptr);
        if (!g.nodes[v]) g.nodes[v] = T::reference(e);
        return v;
    };
    flat.headStart.reserve(rules.size() + 1);
    flat.bodyStart.reserve(rules.size() + 1);
    for (const RULETYPE& r : rules) {
        if (r.head)
            for (const auto& h : *r.head) {
                int32_t v = add(h);
                if (v >= 0) flat.heads.push_back(v);
            }
        flat.headStart.push_back(flat.heads.size());
        if (r.body) {
            const auto& literals = T::literals(*r.body);
            for (size_t i = 0; i < literals.size(); ++i) {
                int32_t v = add(T::atomOf(literals[i]));
                if (v < 0) continue;
                flat.body.push_back(FLATLITERAL{v, literals[i].negated, i < r.body->firstNegative,
                                                T::isAggregate(literals[i], anyAggregate)});
            }
        }
        flat.bodyStart.push_back(flat.body.size());
    }
}

// Whether a body literal and a head atom of r are related, pair by pair.
template <class RULETYPE>
bool relatedPair(const RULETYPE& r, bool predicateLevel) {
    using T = NODETRAITS<RULETYPE>;
    if (!r.head || !r.body) return false;
    for (const auto& l : T::literals(*r.body))
        for (const auto& h : *r.head)
            if (T::related(l, h, predicateLevel)) return true;
    return false;
}

// Walks every edge in the order of addition and hands it to emit(from, to).
// The first walk (record) also fills recursiveRule and negativeEdges and makes
// the element atoms of ground sets nodes; the second only repeats the edges.
template <class GRAPH, class RULETYPE, class CONSTRAINTTYPE, class EMIT>
void walkEdges(GRAPH& g, const std::vector<RULETYPE>& rules, const FLATRULES& flat,
               const std::vector<CONSTRAINTTYPE>& constraints, int32_t flags, bool record,
               std::vector<size_t>& marks, EMIT&& emit) {
    using T = NODETRAITS<RULETYPE>;
    const bool both = (flags & DEPGRAPH_NEGATION_AND_DISJUNCTION) != 0;
    const bool markByNode = T::relatedByNode(g.predicateLevel);
    for (size_t ri = 0; ri < rules.size(); ++ri) {
        LISTVIEW<int32_t> head = flat.head(ri);
        LISTVIEW<FLATLITERAL> body = flat.literals(ri);
        // Head pairs, joined both ways.
        if (both)
            for (size_t i = 0; i < head.size(); ++i)
                for (size_t j = i + 1; j < head.size(); ++j) {
                    emit(head[j], head[i]);
                    emit(head[i], head[j]);
                }
        // Recursion: a body literal related to a head atom, whatever its sign.
        if (record && !head.empty() && !body.empty()) {
            bool recursive = false;
            if (markByNode && head.size() * body.size() <= 64) {
                // Small rules: comparing in registers beats a random access to marks.
                for (const FLATLITERAL& l : body)
                    for (int32_t h : head) recursive = recursive || l.node == h;
            } else if (markByNode) {
                if (marks.empty()) marks.assign(g.nodes.size(), 0);
                for (int32_t h : head) marks[size_t(h)] = ri + 1;
                for (const FLATLITERAL& l : body) recursive = recursive || marks[size_t(l.node)] == ri + 1;
            } else {
                recursive = relatedPair(rules[ri], g.predicateLevel);
            }
            g.recursiveRule[ri] = recursive;
        }
        // Body against head.
        for (const FLATLITERAL& l : body) {
            bool plain = !l.negated || both || (T::negatedAggregateEdge && l.aggregate);
            for (int32_t h : head) {
                if (plain) emit(l.node, h);
                if (l.negated && record) g.negativeEdges.push_back(NEGATIVEEDGE{l.node, h});
                if (l.aggregate)
                    T::forEachSetElement(l.node, [&](const auto& e) {
                        if (record && !g.isNode(e)) {
                            if (size_t(e) >= g.nodes.size()) g.nodes.resize(size_t(e) + 1, nullptr);
                            g.nodes[e] = T::reference(e);
                        }
                        emit(int32_t(e), l.node);
                    });
            }
        }
    }
    if (!(flags & DEPGRAPH_CONSTRAINT_EDGES)) return;
    for (const CONSTRAINTTYPE& c : constraints) {
        int32_t anchor = -1;
        for (const auto& l : T::literals(T::constraintBody(c))) {
            int32_t v = T::node(T::atomOf(l));
            if (!g.isNode(v)) continue;
            if (anchor < 0) {
                anchor = v;
            } else {
                emit(anchor, v);
                emit(v, anchor);
            }
        }
    }
}

// Final numbering from the provisional one: connected groups of components
// (joined by crossing edges) ordered by their smallest provisional number,
// each group by increasing provisional number; position i gets m - 1 - i.
std::vector<int32_t> renumberByGroups(int32_t m, const std::vector<int32_t>& compOf, const std::vector<EDGE>& crossing) {
    std::vector<int32_t> parent(static_cast<size_t>(m));
    for (int32_t c = 0; c < m; ++c) parent[c] = c;
    for (const EDGE& e : crossing) {
        int32_t a = findRoot(parent, compOf[e.first]), b = findRoot(parent, compOf[e.second]);
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }
    // Roots are the smallest members, so group order is root order.
    std::vector<int32_t> groupOf(static_cast<size_t>(m)), groupSize;
    std::vector<int32_t> groupOfRoot(static_cast<size_t>(m), -1);
    for (int32_t c = 0; c < m; ++c) {
        int32_t root = findRoot(parent, c);
        if (groupOfRoot[root] < 0) {
            groupOfRoot[root] = int32_t(groupSize.size());
            groupSize.push_back(0);
        }
        groupOf[c] = groupOfRoot[root];
        ++groupSize[groupOf[c]];
    }
    std::vector<int32_t> next(groupSize.size(), 0);
    for (size_t k = 1; k < groupSize.size(); ++k) next[k] = next[k - 1] + groupSize[k - 1];
    std::vector<int32_t> finalNumber(static_cast<size_t>(m));
    for (int32_t c = 0; c < m; ++c) finalNumber[c] = m - 1 - next[groupOf[c]]++;
    return finalNumber;
}

// Reorders the components so that a negative dependency between two of them
// also puts the one depended on first (the first of two opposite ones met in
// negativeEdges wins); components on one cycle of the resulting component graph
// keep their relative order. Returns false when no negative dependency joins
// two components.
bool orderByNegation(int32_t m, const std::vector<NEGATIVEEDGE>& negativeEdges, const std::vector<EDGE>& crossing,
                     std::vector<int32_t>& compOf) {
    std::vector<EDGE> edges;
    std::unordered_set<uint64_t> seen;
    auto key = [](int32_t a, int32_t b) { return (uint64_t(uint32_t(a)) << 32) | uint32_t(b); };
    for (const NEGATIVEEDGE& t : negativeEdges) {
        int32_t a = compOf[t.from], b = compOf[t.to];
        if (a == b || seen.count(key(a, b)) || seen.count(key(b, a))) continue;
        seen.insert(key(a, b));
        edges.emplace_back(a, b);
    }
    if (edges.empty()) return false;
    for (const EDGE& e : crossing) edges.emplace_back(compOf[e.first], compOf[e.second]);
    FLATLISTS<int32_t> rows;
    buildRows(size_t(m), edges, rows);
    std::vector<int32_t> groupOf;
    int32_t groups = strongConnect(rows, [](int32_t) { return true; }, groupOf, nullptr);
    // Groups by increasing number, members from the highest current number down.
    std::vector<int32_t> next(size_t(groups) + 1, 0);
    for (int32_t c = 0; c < m; ++c) ++next[size_t(groupOf[c]) + 1];
    for (int32_t k = 0; k < groups; ++k) next[k + 1] += next[k];
    std::vector<int32_t> finalNumber(static_cast<size_t>(m));
    for (int32_t c = m - 1; c >= 0; --c) finalNumber[c] = m - 1 - next[groupOf[c]]++;
    for (int32_t& c : compOf)
        if (c >= 0) c = finalNumber[c];
    return true;
}

// Exit rules before recursive ones in each head component's list. A rule is
// recursive in a component when a positive, non-aggregate body literal has
// its node there.
template <class GRAPH, class RULETYPE>
void buildComponentRules(GRAPH& g, const std::vector<RULETYPE>& rules, const FLATRULES& flat) {
    size_t m = g.componentCount();
    g.selfLoop.assign(m, 0);
    std::vector<size_t> headMark(m, 0), bodyMark(m, 0);
    size_t stamp = 0;
    // Calls f(component, recursive) for each distinct head component of rule ri.
    auto forEachHeadComponent = [&](size_t ri, auto&& f) {
        ++stamp;
        for (const FLATLITERAL& l : flat.literals(ri))
            if (l.positive && !l.aggregate) bodyMark[size_t(g.componentOf[l.node])] = stamp;
        for (int32_t h : flat.head(ri)) {
            size_t c = size_t(g.componentOf[h]);
            if (headMark[c] == stamp) continue;
            headMark[c] = stamp;
            f(c, bodyMark[c] == stamp);
        }
    };
    // Lists 2c and 2c + 1 of halves hold the exit and the recursive rules of
    // component c; adjacent in the flat array, together they are c's list.
    FLATLISTS<const RULETYPE*> halves;
    FLATLISTSBUILDER<const RULETYPE*> builder(halves, 2 * m);
    for (size_t ri = 0; ri < rules.size(); ++ri)
        forEachHeadComponent(ri, [&](size_t c, bool recursive) {
            if (g.recursiveRule[ri]) g.selfLoop[c] = 1;
            builder.count(2 * c + recursive);
        });
    builder.layOut();
    for (size_t ri = 0; ri < rules.size(); ++ri)
        forEachHeadComponent(ri, [&](size_t c, bool recursive) { builder.add(2 * c + recursive, &rules[ri]); });
    auto& lists = g.componentRules.lists;
    lists.start.resize(m + 1);
    g.componentRules.splits.resize(m);
    for (size_t c = 0; c <= m; ++c) lists.start[c] = halves.start[2 * c];
    for (size_t c = 0; c < m; ++c) g.componentRules.splits[c] = halves.start[2 * c + 1] - halves.start[2 * c];
    lists.items = std::move(halves.items);
}

// Each constraint goes to the list of the highest component among its
// literals; a positive literal that is not a node keeps it out of every list.
template <class T, class GRAPH, class CONSTRAINTTYPE>
void buildComponentConstraints(GRAPH& g, const std::vector<CONSTRAINTTYPE>& constraints) {
    size_t m = g.componentCount();
    auto& lists = g.componentConstraints;
    // The constraints' positions first; the records are copied in list order.
    FLATLISTS<size_t> order;
    FLATLISTSBUILDER<size_t> builder(order, m);
    if (m == 0) {
        lists.start = std::move(order.start);
        return;
    }
    std::vector<int32_t> target(constraints.size(), -1);
    for (size_t k = 0; k < constraints.size(); ++k) {
        for (const auto& l : T::literals(T::constraintBody(constraints[k]))) {
            int32_t v = T::node(T::atomOf(l));
            if (g.isNode(v)) {
                target[k] = std::max(target[k], g.componentOf[v]);
            } else if (!l.negated) {
                target[k] = -1;
                break;
            }
        }
        if (target[k] >= 0) builder.count(size_t(target[k]));
    }
    builder.layOut();
    for (size_t k = 0; k < constraints.size(); ++k)
        if (target[k] >= 0) builder.add(size_t(target[k]), k);
    lists.start = std::move(order.start);
    lists.items.reserve(order.items.size());
    for (size_t k : order.items) lists.items.push_back(constraints[k]);
}

// Edges: one walk counts the successors of every node slot, a second places
// them, so the rows are filled without per-node allocation.
template <class GRAPH, class RULETYPE, class CONSTRAINTTYPE>
void buildAdjacency(GRAPH& g, const std::vector<RULETYPE>& rules, const FLATRULES& flat,
                    const std::vector<CONSTRAINTTYPE>& constraints, int32_t flags) {
    g.recursiveRule.assign(rules.size(), 0);
    std::vector<size_t> marks;  // per node slot, allocated when a large rule needs it
    FLATLISTSBUILDER<int32_t> builder(g.adjacency, g.nodes.size());
    walkEdges(g, rules, flat, constraints, flags, true, marks, [&](int32_t from, int32_t) {
        if (size_t(from) >= builder.lists()) builder.resize(g.nodes.size());  // a set element became a node
        builder.count(size_t(from));
    });
    std::vector<size_t>().swap(marks);
    builder.resize(g.nodes.size());
    builder.layOut();
    walkEdges(g, rules, flat, constraints, flags, false, marks,
              [&](int32_t from, int32_t to) { builder.add(size_t(from), to); });
}

// The members of each component, ascending.
template <class GRAPH>
void collectMembers(GRAPH& g, size_t m) {
    FLATLISTSBUILDER<int32_t> builder(g.components, m);
    for (int32_t c : g.componentOf)
        if (c >= 0) builder.count(size_t(c));
    builder.layOut();
    for (size_t v = 0; v < g.componentOf.size(); ++v)
        if (g.componentOf[v] >= 0) builder.add(size_t(g.componentOf[v]), int32_t(v));
}

// The components in which one rule has two head atoms (the same atom twice
// counts), each listed once: one pass over the heads with a mark per component.
template <class GRAPH>
std::vector<int32_t> findHeadPairComponents(const GRAPH& g, const FLATRULES& flat) {
    std::vector<int32_t> found;
    std::vector<size_t> lastRule(g.componentCount(), 0);  // rule index + 1 of the last head met
    std::vector<uint8_t> listed(g.componentCount(), 0);
    for (size_t ri = 0; ri + 1 < flat.headStart.size(); ++ri)
        for (int32_t h : flat.head(ri)) {
            size_t c = size_t(g.componentOf[h]);
            if (lastRule[c] == ri + 1 && !listed[c]) {
                listed[c] = 1;
                found.push_back(int32_t(c));
            }
            lastRule[c] = ri + 1;
        }
    return found;
}

}  // namespace

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::DEPGRAPH(const std::vector<RULETYPE>& rules,
                                                       const std::vector<CONSTRAINTTYPE>& constraints, int32_t flags)
    : predicateLevel((flags & DEPGRAPH_PREDICATE_LEVEL) != 0),
      withNegationAndDisjunction((flags & DEPGRAPH_NEGATION_AND_DISJUNCTION) != 0) {
    FLATRULES flat;
    collectNodes(*this, rules, flat);
    buildAdjacency(*this, rules, flat, constraints, flags);

    // Components, numbered in order of completion, then renumbered.
    std::vector<EDGE> crossing;
    int32_t m = strongConnect(adjacency, [this](int32_t v) { return nodes[v] != nullptr; }, componentOf, &crossing);
    if (m > 0) {
        std::vector<int32_t> finalNumber = renumberByGroups(m, componentOf, crossing);
        for (int32_t& c : componentOf)
            if (c >= 0) c = finalNumber[c];
    }
    if (flags & DEPGRAPH_ORDER_BY_NEGATION) orderByNegation(m, negativeEdges, crossing, componentOf);
    std::vector<EDGE>().swap(crossing);

    collectMembers(*this, size_t(m));
    headPairComponents_ = findHeadPairComponents(*this, flat);
    buildComponentRules(*this, rules, flat);
    if (!(flags & DEPGRAPH_NO_CONSTRAINT_LISTS)) buildComponentConstraints<NODETRAITS<RULETYPE>>(*this, constraints);
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
int32_t DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::getComponent(const ATOM& atom) const {
    int32_t v = -1;
    if constexpr (std::is_same<NODETYPE, ATOM>::value) {
        v = NODETRAITS<RULE>::node(atom);
    } else {
        auto it = atomTable.find(atom);
        if (it != atomTable.end()) v = it->second;
    }
    return isNode(v) ? componentOf[v] : -1;
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
void DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::computeComponentFlags() {
    if (flagsComputed_) return;
    flagsComputed_ = true;
    notStratified.assign(componentCount(), 0);
    disjunctive.assign(componentCount(), 0);
    for (const NEGATIVEEDGE& e : negativeEdges) {
        int32_t c = componentOf[e.from];
        if (c == componentOf[e.to]) notStratified[c] = 1;
    }
    for (int32_t c : headPairComponents_) disjunctive[c] = 1;
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
bool DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::isComponentHCF(int32_t c) {
    computeComponentFlags();
    return !(isComponentCyclic(c) && disjunctive[c]);
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
bool DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::isComponentStronglyHCF(int32_t c) {
    computeComponentFlags();
    return !selfLoop[c] && (components[c].size() < 2 || !disjunctive[c]);
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
bool DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::isCyclic() {
    if (isCyclicCache < 0) {
        isCyclicCache = 0;
        for (int32_t c = 0; c < int32_t(componentCount()) && !isCyclicCache; ++c) isCyclicCache = isComponentCyclic(c);
    }
    return isCyclicCache == 1;
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
bool DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::isHCF() {
    if (isHCFCache < 0) {
        isHCFCache = 1;
        for (int32_t c = 0; c < int32_t(componentCount()) && isHCFCache; ++c) isHCFCache = isComponentHCF(c);
    }
    return isHCFCache == 1;
}

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
bool DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::isStronglyHCF() {
    if (isStronglyHCFCache < 0) {
        isStronglyHCFCache = 1;
        for (int32_t c = 0; c < int32_t(componentCount()) && isStronglyHCFCache; ++c)
            isStronglyHCFCache = isComponentStronglyHCF(c);
    }
    return isStronglyHCFCache == 1;
}

template class DEPGRAPH<RULE, CONSTRAINT, ATOM>;
template class DEPGRAPH<GROUNDRULE, GROUNDCONSTRAINT, ATOMID>;

}  // namespace veltra
