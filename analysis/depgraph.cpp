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
    static bool isAggregate(const LITERAL& l) { return l.isAggregate(); }
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
    static void forEachSetElement(const LITERAL&, F&&) {}
};

template <>
struct NODETRAITS<GROUNDRULE> {
    using ELEMENT = ATOMID;
    static const ATOMID* reference(const ATOMID& a) { return &a; }
    static int32_t node(const ATOMID& a) { return a; }
    static const ATOMID& atomOf(const GROUNDLITERAL& l) { return l.atom; }
    static bool isAggregate(const GROUNDLITERAL& l) { return groundAtom(l.atom).isAggregate(); }
    static const std::vector<GROUNDLITERAL>& literals(const GROUNDCONJUNCTION& body) { return body.literals; }
    static const GROUNDCONJUNCTION& constraintBody(const GROUNDCONSTRAINT& c) { return c.body; }
    static bool related(const GROUNDLITERAL& l, const ATOMID& h, bool predicateLevel) {
        return predicateLevel ? groundAtom(l.atom).predicate == groundAtom(h).predicate : l.atom == h;
    }
    static bool relatedByNode(bool predicateLevel) { return !predicateLevel; }
    static constexpr bool negatedAggregateEdge = false;
    // Calls f on every element atom of a ground aggregate literal's set.
    template <class F>
    static void forEachSetElement(const GROUNDLITERAL& l, F&& f) {
        const ATOM& a = groundAtom(l.atom);
        if (!a.isAggregate()) return;
        for (const GROUNDSETELEMENT& e : a.aggregate()->fn().set()) f(e.atom);
    }
};

using EDGE = std::pair<int32_t, int32_t>;

// Builds compressed rows over n sources from a list of edges, keeping the
// order of the list within each row.
void buildRows(size_t n, const std::vector<EDGE>& edges, FLATLISTS<int32_t>& rows) {
    rows.start.assign(n + 1, 0);
    for (const EDGE& e : edges) ++rows.start[size_t(e.first) + 1];
    for (size_t i = 0; i < n; ++i) rows.start[i + 1] += rows.start[i];
    rows.items.resize(edges.size());
    std::vector<size_t> fill(rows.start.begin(), rows.start.end() - 1);
    for (const EDGE& e : edges) rows.items[fill[size_t(e.first)]++] = e.second;
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

template <class GRAPH, class RULETYPE>
void collectNodes(GRAPH& g, const std::vector<RULETYPE>& rules) {
    using T = NODETRAITS<RULETYPE>;
    auto add = [&g](const typename T::ELEMENT& e) {
        int32_t v = T::node(e);
        if (v < 0) return;
        if (size_t(v) >= g.nodes.size()) g.nodes.resize(size_t(v) + 1, nullptr);
        if (!g.nodes[v]) g.nodes[v] = T::reference(e);
    };
    for (const RULETYPE& r : rules) {
        if (r.head)
            for (const auto& h : *r.head) add(h);
        if (r.body)
            for (const auto& l : T::literals(*r.body)) add(T::atomOf(l));
    }
}

// Walks every edge in the order of addition and hands it to emit(from, to).
// The first walk (record) also fills recursiveRule and typedEdges and makes
// the element atoms of ground sets nodes; the second only repeats the edges.
template <class GRAPH, class RULETYPE, class CONSTRAINTTYPE, class EMIT>
void walkEdges(GRAPH& g, const std::vector<RULETYPE>& rules, const std::vector<CONSTRAINTTYPE>& constraints,
               int32_t flags, bool record, std::vector<size_t>& marks, EMIT&& emit) {
    using T = NODETRAITS<RULETYPE>;
    const bool both = (flags & DEPGRAPH_NEGATION_AND_DISJUNCTION) != 0;
    const bool markByNode = T::relatedByNode(g.predicateLevel);
    for (size_t ri = 0; ri < rules.size(); ++ri) {
        const RULETYPE& r = rules[ri];
        static const std::vector<typename T::ELEMENT> noHead;
        const auto& head = r.head ? *r.head : noHead;
        // Head pairs.
        for (size_t i = 0; i < head.size(); ++i)
            for (size_t j = i + 1; j < head.size(); ++j) {
                int32_t a = T::node(head[i]), b = T::node(head[j]);
                if (record) {
                    g.typedEdges.push_back(TYPEDEDGE{a, b, EDGE_DISJUNCTIVE});
                    g.typedEdges.push_back(TYPEDEDGE{b, a, EDGE_DISJUNCTIVE});
                }
                if (both) {
                    emit(b, a);
                    emit(a, b);
                }
            }
        if (!r.body) continue;
        const auto& body = T::literals(*r.body);
        // Recursion: a body literal related to a head atom, whatever its sign.
        if (record && !head.empty()) {
            bool recursive = false;
            if (markByNode) {
                for (const auto& h : head)
                    if (T::node(h) >= 0) marks[size_t(T::node(h))] = ri + 1;
                for (const auto& l : body) {
                    int32_t v = T::node(T::atomOf(l));
                    if (v >= 0 && marks[size_t(v)] == ri + 1) recursive = true;
                }
            } else {
                for (const auto& l : body)
                    for (const auto& h : head) recursive = recursive || T::related(l, h, g.predicateLevel);
            }
            g.recursiveRule[ri] = recursive;
        }
        // Body against head.
        for (const auto& l : body) {
            int32_t lv = T::node(T::atomOf(l));
            if (lv < 0) continue;
            bool aggregate = T::isAggregate(l);
            bool plain = !l.negated || both || (T::negatedAggregateEdge && aggregate);
            for (const auto& h : head) {
                int32_t hv = T::node(h);
                if (plain) emit(lv, hv);
                if (l.negated && record) g.typedEdges.push_back(TYPEDEDGE{lv, hv, EDGE_NEGATIVE});
                if (aggregate)
                    T::forEachSetElement(l, [&](const auto& e) {
                        if (record && !g.isNode(e)) {
                            if (size_t(e) >= g.nodes.size()) g.nodes.resize(size_t(e) + 1, nullptr);
                            g.nodes[e] = T::reference(e);
                        }
                        emit(int32_t(e), lv);
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
// typedEdges wins); components on one cycle of the resulting component graph
// keep their relative order. Returns false when no negative dependency joins
// two components.
bool orderByNegation(int32_t m, const std::vector<TYPEDEDGE>& typedEdges, const std::vector<EDGE>& crossing,
                     std::vector<int32_t>& compOf) {
    std::vector<EDGE> edges;
    std::unordered_set<uint64_t> seen;
    auto key = [](int32_t a, int32_t b) { return (uint64_t(uint32_t(a)) << 32) | uint32_t(b); };
    for (const TYPEDEDGE& t : typedEdges) {
        if (t.kind != EDGE_NEGATIVE) continue;
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
void buildComponentRules(GRAPH& g, const std::vector<RULETYPE>& rules) {
    using T = NODETRAITS<RULETYPE>;
    size_t m = g.componentCount();
    g.selfLoop.assign(m, 0);
    std::vector<size_t> headMark(m, 0), bodyMark(m, 0);
    std::vector<size_t> exitCount(m, 0), recursiveCount(m, 0);
    size_t stamp = 0;
    // Calls f(component, recursive) for each distinct head component of r.
    auto forEachHeadComponent = [&](const RULETYPE& r, auto&& f) {
        ++stamp;
        if (!r.head) return;
        if (r.body) {
            const auto& body = T::literals(*r.body);
            for (size_t i = 0; i < r.body->firstNegative && i < body.size(); ++i) {
                if (T::isAggregate(body[i])) continue;
                int32_t v = T::node(T::atomOf(body[i]));
                if (g.isNode(v)) bodyMark[size_t(g.componentOf[v])] = stamp;
            }
        }
        for (const auto& h : *r.head) {
            int32_t c = g.componentOf[T::node(h)];
            if (headMark[size_t(c)] == stamp) continue;
            headMark[size_t(c)] = stamp;
            f(c, bodyMark[size_t(c)] == stamp);
        }
    };
    for (size_t ri = 0; ri < rules.size(); ++ri)
        forEachHeadComponent(rules[ri], [&](int32_t c, bool recursive) {
            if (g.recursiveRule[ri]) g.selfLoop[c] = 1;
            ++(recursive ? recursiveCount : exitCount)[c];
        });
    auto& lists = g.componentRules.lists;
    lists.start.assign(m + 1, 0);
    for (size_t c = 0; c < m; ++c) lists.start[c + 1] = lists.start[c] + exitCount[c] + recursiveCount[c];
    lists.items.assign(lists.start[m], nullptr);
    std::vector<size_t> exitFill(m), recursiveFill(m);
    for (size_t c = 0; c < m; ++c) {
        exitFill[c] = lists.start[c];
        recursiveFill[c] = lists.start[c] + exitCount[c];
    }
    for (const RULETYPE& r : rules)
        forEachHeadComponent(r, [&](int32_t c, bool recursive) {
            lists.items[(recursive ? recursiveFill : exitFill)[c]++] = &r;
        });
    g.componentRules.splits = std::move(exitCount);
}

// Each constraint goes to the list of the highest component among its
// literals; a positive literal that is not a node keeps it out of every list.
template <class T, class GRAPH, class CONSTRAINTTYPE>
void buildComponentConstraints(GRAPH& g, const std::vector<CONSTRAINTTYPE>& constraints) {
    size_t m = g.componentCount();
    auto& lists = g.componentConstraints;
    lists.start.assign(m + 1, 0);
    if (m == 0) return;
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
        if (target[k] >= 0) ++lists.start[size_t(target[k]) + 1];
    }
    for (size_t c = 0; c < m; ++c) lists.start[c + 1] += lists.start[c];
    std::vector<size_t> order(lists.start[m]);
    std::vector<size_t> fill(lists.start.begin(), lists.start.end() - 1);
    for (size_t k = 0; k < constraints.size(); ++k)
        if (target[k] >= 0) order[fill[size_t(target[k])]++] = k;
    lists.items.reserve(order.size());
    for (size_t k : order) lists.items.push_back(constraints[k]);
}

}  // namespace

template <class RULETYPE, class CONSTRAINTTYPE, class NODETYPE>
DEPGRAPH<RULETYPE, CONSTRAINTTYPE, NODETYPE>::DEPGRAPH(const std::vector<RULETYPE>& rules,
                                                       const std::vector<CONSTRAINTTYPE>& constraints, int32_t flags)
    : predicateLevel((flags & DEPGRAPH_PREDICATE_LEVEL) != 0),
      withNegationAndDisjunction((flags & DEPGRAPH_NEGATION_AND_DISJUNCTION) != 0) {
    collectNodes(*this, rules);

    // Edges: one walk counts the successors of every node slot, a second
    // places them, so the rows are filled without per-node allocation.
    recursiveRule.assign(rules.size(), 0);
    std::vector<size_t> marks(nodes.size(), 0);
    std::vector<size_t>& start = adjacency.start;
    walkEdges(*this, rules, constraints, flags, true, marks, [&](int32_t from, int32_t) {
        if (size_t(from) + 1 >= start.size()) start.resize(nodes.size() + 1, 0);
        ++start[size_t(from) + 1];
    });
    marks.clear();
    marks.shrink_to_fit();
    size_t n = nodes.size();
    start.resize(n + 1, 0);
    for (size_t i = 0; i < n; ++i) start[i + 1] += start[i];
    adjacency.items.resize(start[n]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    walkEdges(*this, rules, constraints, flags, false, marks,
              [&](int32_t from, int32_t to) { adjacency.items[fill[size_t(from)]++] = to; });
    fill.clear();
    fill.shrink_to_fit();

    // Components, numbered in order of completion, then renumbered.
    std::vector<EDGE> crossing;
    int32_t m = strongConnect(adjacency, [this](int32_t v) { return nodes[v] != nullptr; }, componentOf, &crossing);
    if (m > 0) {
        std::vector<int32_t> finalNumber = renumberByGroups(m, componentOf, crossing);
        for (int32_t& c : componentOf)
            if (c >= 0) c = finalNumber[c];
    }
    if (flags & DEPGRAPH_ORDER_BY_NEGATION) orderByNegation(m, typedEdges, crossing, componentOf);
    std::vector<EDGE>().swap(crossing);

    // Members, ascending within each component.
    components.start.assign(size_t(m) + 1, 0);
    for (int32_t c : componentOf)
        if (c >= 0) ++components.start[size_t(c) + 1];
    for (int32_t c = 0; c < m; ++c) components.start[c + 1] += components.start[c];
    components.items.resize(components.start[size_t(m)]);
    std::vector<size_t> next(components.start.begin(), components.start.end() - 1);
    for (size_t v = 0; v < n; ++v)
        if (componentOf[v] >= 0) components.items[next[size_t(componentOf[v])]++] = int32_t(v);

    buildComponentRules(*this, rules);
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
    for (const TYPEDEDGE& e : typedEdges) {
        int32_t c = componentOf[e.from];
        if (c != componentOf[e.to]) continue;
        (e.kind == EDGE_NEGATIVE ? notStratified : disjunctive)[c] = 1;
    }
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
