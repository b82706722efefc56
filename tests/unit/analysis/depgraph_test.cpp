// Dependency graphs: component order, exit and recursive rules, constraint
// placement, flags and properties, the "--depgraph" layout, deep graphs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "analysis/depgraph.h"
#include "core/aggregate.h"
#include "driver/options.h"

using namespace veltra;

namespace {

// ---------------------------------------------------------------------------
// A tiny reader of program text: statements "h1 v h2 :- b1, not b2." and
// ":- b.", atoms with integer or variable (upper case) arguments. Every
// predicate name gets prefix, so that each case uses fresh predicates; the
// variable-free statements are also built as ground rules and constraints.

struct PROGRAM {
    std::vector<RULE> rules;
    std::vector<CONSTRAINT> constraints;
    std::vector<GROUNDRULE> groundRules;
    std::vector<GROUNDCONSTRAINT> groundConstraints;
};

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Splits at sep outside parentheses.
std::vector<std::string> splitTop(const std::string& s, const std::string& sep) {
    std::vector<std::string> parts;
    int depth = 0;
    size_t from = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '(') ++depth;
        if (s[i] == ')') --depth;
        if (depth == 0 && s.compare(i, sep.size(), sep) == 0) {
            parts.push_back(trim(s.substr(from, i - from)));
            from = i + sep.size();
            i = from - 1;
        }
    }
    std::string last = trim(s.substr(from));
    if (!last.empty()) parts.push_back(last);
    return parts;
}

struct READER {
    std::string prefix;
    std::map<std::string, int32_t> variables;  // of the current statement
    bool ground = true;                        // current statement so far

    ATOM atom(const std::string& text, int32_t kind) {
        size_t open = text.find('(');
        std::string name = prefix + text.substr(0, open);
        if (open == std::string::npos) return ATOM(name.c_str(), nullptr, kind);
        std::vector<TERM> terms;
        for (const std::string& arg : splitTop(text.substr(open + 1, text.size() - open - 2), ",")) {
            if (std::isupper(static_cast<unsigned char>(arg[0]))) {
                auto it = variables.emplace(arg, int32_t(variables.size())).first;
                terms.push_back(variableTerm(it->second));
                ground = false;
            } else {
                terms.push_back(integerTerm(std::atoi(arg.c_str())));
            }
        }
        return ATOM(name.c_str(), &terms, kind);
    }

    void read(const std::string& text, PROGRAM& p) {
        for (const std::string& statement : splitTop(text, ".")) {
            variables.clear();
            ground = true;
            size_t arrow = statement.find(":-");
            std::string headText = trim(statement.substr(0, arrow));
            std::vector<ATOM> head;
            std::vector<ATOMID> groundHead;
            if (!headText.empty())
                for (const std::string& h : splitTop(headText, " v ")) head.push_back(atom(h, KIND_IDB));
            CONJUNCTION body;
            if (arrow != std::string::npos)
                for (const std::string& l : splitTop(statement.substr(arrow + 2), ",")) {
                    bool negated = l.compare(0, 4, "not ") == 0;
                    body.addLiteral(LITERAL(atom(negated ? l.substr(4) : l, KIND_UNKNOWN), negated));
                }
            if (head.empty())
                p.constraints.emplace_back(body, false);
            else
                p.rules.emplace_back(&head, arrow == std::string::npos ? nullptr : &body);
            if (!ground) continue;
            for (const ATOM& h : head) groundHead.push_back(internAtom(h));
            GROUNDCONJUNCTION groundBody;
            for (const LITERAL& l : body.literals) groundBody.addLiteral(GROUNDLITERAL{internAtom(l), l.negated});
            if (head.empty())
                p.groundConstraints.push_back(GROUNDCONSTRAINT{groundBody, {0, 0, 0}});
            else
                p.groundRules.emplace_back(&groundHead, arrow == std::string::npos ? nullptr : &groundBody);
        }
    }
};

// order: names to register (and intern) first, in this order.
PROGRAM program(const std::string& prefix, const std::string& text, const std::string& order = "") {
    PROGRAM p;
    READER reader{prefix, {}, true};
    std::istringstream names(order);
    for (std::string name; names >> name;) internAtom(reader.atom(name, KIND_UNKNOWN));
    reader.read(text, p);
    return p;
}

std::string unprefixed(std::string text, const std::string& prefix) {
    for (size_t at; !prefix.empty() && (at = text.find(prefix)) != std::string::npos;) text.erase(at, prefix.size());
    return text;
}

template <class F>
std::string text(F f) {
    std::ostringstream out;
    f(out);
    return out.str();
}

std::string nodeName(const DG&, int32_t v) { return predicateTable.name(v).str(); }
std::string nodeName(const GDG&, int32_t v) { return text([v](std::ostream& o) { printGroundAtom(o, v); }); }
void printConstraint(std::ostream& out, const CONSTRAINT& c) { printProgramConstraint(out, c); }
void printConstraint(std::ostream& out, const GROUNDCONSTRAINT& c) {
    out << ":- ";
    printGroundLiterals(out, c.body.literals.data(), c.body.literals.data() + c.body.literals.size(), ", ") << '.';
}

// The components in order, "members|exit rules|recursive rules|flags|constraints"
// joined by " ; "; rules by their 1-based position, flags L (self-loop),
// N (not stratified), D (disjunctive).
template <class GRAPH, class RULETYPE>
std::string describe(GRAPH& g, const std::vector<RULETYPE>& rules, const std::string& prefix) {
    g.computeComponentFlags();
    std::string s;
    for (size_t c = 0; c < g.componentCount(); ++c) {
        if (c) s += " ; ";
        const char* sep = "";
        for (int32_t v : g.components[c]) s += sep + nodeName(g, v), sep = " ";
        auto cr = g.componentRules[c];
        std::string exits, recursive;
        for (size_t i = 0; i < cr.ruleList.size(); ++i) {
            std::string& part = i < cr.split ? exits : recursive;
            part += (part.empty() ? "" : " ") + std::to_string(cr.ruleList[i] - rules.data() + 1);
        }
        s += "|" + exits + "|" + recursive + "|";
        if (g.selfLoop[c]) s += "L";
        if (g.notStratified[c]) s += "N";
        if (g.disjunctive[c]) s += "D";
        if (c < g.componentConstraints.size() && g.componentConstraints[c].size() > 0) {
            s += "|";
            const char* csep = "";
            for (const auto& k : g.componentConstraints[c]) s += csep + text([&k](std::ostream& o) { printConstraint(o, k); }), csep = " ";
        }
    }
    return unprefixed(s, prefix);
}

// What must hold of every graph: component numbers respect the edges, each
// component is exactly the set of nodes mutually reachable with its members,
// members ascend, and slots that are not nodes have no component.
template <class GRAPH>
void checkInvariants(const GRAPH& g) {
    size_t n = g.nodeSlots();
    ASSERT_EQ(g.componentOf.size(), n);
    ASSERT_EQ(g.adjacency.size(), n);
    for (size_t v = 0; v < n; ++v) {
        EXPECT_EQ(g.componentOf[v] < 0, !g.isNode(int32_t(v))) << "slot " << v;
        for (int32_t w : g.successors(int32_t(v))) {
            ASSERT_TRUE(g.isNode(w));
            EXPECT_LE(g.componentOf[v], g.componentOf[w]) << v << " -> " << w;
        }
    }
    // Reachability from every node by a plain search (the graphs are small).
    std::vector<std::vector<uint8_t>> reach(n, std::vector<uint8_t>(n, 0));
    for (size_t s = 0; s < n; ++s) {
        if (!g.isNode(int32_t(s))) continue;
        std::vector<int32_t> todo{int32_t(s)};
        reach[s][s] = 1;
        while (!todo.empty()) {
            int32_t v = todo.back();
            todo.pop_back();
            for (int32_t w : g.successors(v)) {
                if (reach[s][w]) continue;
                reach[s][w] = 1;
                todo.push_back(w);
            }
        }
    }
    for (size_t c = 0; c < g.componentCount(); ++c) {
        auto members = g.components[c];
        ASSERT_FALSE(members.empty());
        for (size_t i = 0; i < members.size(); ++i) {
            EXPECT_EQ(g.componentOf[members[i]], int32_t(c));
            if (i > 0) {
                EXPECT_LT(members[i - 1], members[i]);
            }
        }
        for (size_t v = 0; v < n; ++v) {
            if (!g.isNode(int32_t(v))) continue;
            bool mutual = reach[members[0]][v] && reach[v][members[0]];
            EXPECT_EQ(mutual, g.componentOf[v] == int32_t(c)) << "component " << c << " slot " << v;
        }
    }
}

struct CASE {
    const char* what;
    const char* order;  // registration order, or ""
    const char* program;
    int32_t flags;      // of the DG; the GDG gets the same without predicate level
    const char* components;
    bool cyclic, hcf, stronglyHcf;
};

// Propositional programs, so the DG and the GDG have the same shape.
const CASE cases[] = {
    {"two opposite negations: the first met decides", "", "p :- not q. q :- not p.", DEPGRAPH_DG_GROUNDING,
     "q|2|| ; p|1||", false, true, true},
    {"without ordering by negation", "", "q :- r. p :- not q.", DEPGRAPH_DG_HCF_TEST,  //
     "p|2|| ; r||| ; q|1||", false, true, true},
    {"ordering by negation puts q before p", "", "q :- r. p :- not q.", DEPGRAPH_DG_GROUNDING,
     "r||| ; q|1|| ; p|2||", false, true, true},
    {"a negative cycle keeps its relative order", "", "a :- not b. b :- not c. c :- not a.", DEPGRAPH_DG_GROUNDING,
     "c|3|| ; b|2|| ; a|1||", false, true, true},
    {"exit rules before recursive ones", "", "p :- q. p :- p, q. q :- p. p :- r.", DEPGRAPH_DG_HCF_TEST,
     "r||| ; p q|4|1 2 3|L", true, true, false},
    {"p :- not p is recursive without an edge", "", "p :- not p.", DEPGRAPH_DG_HCF_TEST,  //
     "p|1||LN", true, true, false},
    {"p :- not p with negative edges", "", "p :- not p.", DEPGRAPH_DG_FULL,  //
     "p|1||LN", true, true, false},
    {"negation inside a component", "", "p :- q, not p. q :- p.", DEPGRAPH_DG_FULL,  //
     "p q||1 2|LN", true, true, false},
    {"disjunction without head edges", "", "a v b :- c.", DEPGRAPH_DG_HCF_TEST,  //
     "c||| ; b|1|| ; a|1||", false, true, true},
    {"disjunction with head edges", "", "a v b :- c.", DEPGRAPH_DG_FULL,  //
     "c||| ; a b|1||D", true, false, false},
    {"a head cycle", "", "a v b. a :- b. b :- a.", DEPGRAPH_DG_HCF_TEST,  //
     "a b|1|2 3|D", true, false, false},
    {"head atoms apart in their rule share a component", "", "a v b v c. a :- c. c :- a.", DEPGRAPH_DG_HCF_TEST,
     "b|1|| ; a c|1|2 3|D", true, false, false},
    {"heads of different rules sharing a component", "", "a v b. c v d. a :- c. c :- a.", DEPGRAPH_DG_HCF_TEST,
     "d|2|| ; b|1|| ; a c|1 2|3 4|", true, true, true},
    {"a cycle without disjunction", "", "a :- b. b :- a.", DEPGRAPH_DG_HCF_TEST,  //
     "a b||1 2|", true, true, true},
    {"head in two components: exit in one, recursive in the other", "", "a v b :- b. c :- a.",
     DEPGRAPH_DG_HCF_TEST, "b||1|L ; a|1||L ; c|2||", true, true, false},
    {"unconnected parts take contiguous ranges", "", "a :- b. c :- d.", DEPGRAPH_DG_HCF_TEST,
     "d||| ; c|2|| ; b||| ; a|1||", false, true, true},
    {"completion order, renumbered", "p q r s", "q :- p. r :- q. s.", DEPGRAPH_DG_HCF_TEST,
     "s|3|| ; p||| ; q|1|| ; r|2||", false, true, true},
    {"constraints go to the highest component", "",
     "a :- b. c :- a. :- a, not c. :- a, x. :- a, not x. :- not x. :- b.", DEPGRAPH_DG_HCF_TEST,
     "b||||:- b. ; a|1|||:- a, not x. ; c|2|||:- a, not c.", false, true, true},
    {"constraint lists absent", "", "a :- b. :- a.", DEPGRAPH_DG_HCF_TEST | DEPGRAPH_NO_CONSTRAINT_LISTS,
     "b||| ; a|1||", false, true, true},
    {"constraint edges join their literals", "", "a. b. :- a, b.", DEPGRAPH_DG_HCF_TEST | DEPGRAPH_CONSTRAINT_EDGES,
     "a b|1 2|||:- a, b.", true, true, true},
    {"empty program", "", ":- a.", DEPGRAPH_DG_FULL, "", false, true, true},
};

TEST(DepGraph, ComponentsOfSmallPrograms) {
    int counter = 0;
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.what);
        std::string prefix = "dgcase" + std::to_string(counter++) + "_";
        PROGRAM p = program(prefix, c.program, c.order);
        DG dg(p.rules, p.constraints, c.flags);
        checkInvariants(dg);
        EXPECT_EQ(describe(dg, p.rules, prefix), c.components) << "DG";
        EXPECT_EQ(dg.isCyclic(), c.cyclic);
        EXPECT_EQ(dg.isHCF(), c.hcf);
        EXPECT_EQ(dg.isStronglyHCF(), c.stronglyHcf);

        GDG gdg(p.groundRules, p.groundConstraints, c.flags & ~DEPGRAPH_PREDICATE_LEVEL);
        checkInvariants(gdg);
        EXPECT_EQ(describe(gdg, p.groundRules, prefix), c.components) << "GDG";
        EXPECT_EQ(gdg.isCyclic(), c.cyclic);
        EXPECT_EQ(gdg.isHCF(), c.hcf);
        EXPECT_EQ(gdg.isStronglyHCF(), c.stronglyHcf);
    }
}

TEST(DepGraph, NegativeEdgesAndRecursiveRules) {
    PROGRAM p = program("dgtyped_", "a v b :- c, not d. c :- not c.");
    DG dg(p.rules, p.constraints, DEPGRAPH_DG_HCF_TEST);
    int32_t a = (*p.rules[0].head)[0].predicate, b = (*p.rules[0].head)[1].predicate;
    int32_t c = (*p.rules[1].head)[0].predicate, d = p.rules[0].body->literals[1].predicate;
    ASSERT_EQ(dg.negativeEdges.size(), 3u);
    auto same = [](const NEGATIVEEDGE& e, int32_t f, int32_t t) { return e.from == f && e.to == t; };
    EXPECT_TRUE(same(dg.negativeEdges[0], d, a));
    EXPECT_TRUE(same(dg.negativeEdges[1], d, b));
    EXPECT_TRUE(same(dg.negativeEdges[2], c, c));
    EXPECT_EQ(dg.recursiveRule, (std::vector<uint8_t>{0, 1}));
    // Without negative edges d is a node without successors.
    EXPECT_TRUE(dg.isNode(d));
    EXPECT_TRUE(dg.successors(d).empty());
}

TEST(DepGraph, SameHeadPredicateTwiceGivesTwoSelfEdges) {
    PROGRAM p = program("dgtwice_", "p(1) v p(2).");
    DG dg(p.rules, p.constraints, DEPGRAPH_DG_FULL);
    int32_t v = (*p.rules[0].head)[0].predicate;
    EXPECT_EQ(dg.successors(v).size(), 2u);
    EXPECT_TRUE(dg.negativeEdges.empty());
    int32_t c = dg.componentOf[v];
    dg.computeComponentFlags();
    EXPECT_TRUE(dg.disjunctive[c]);
    EXPECT_FALSE(dg.selfLoop[c]);  // no body: not a recursive rule
    EXPECT_FALSE(dg.isComponentCyclic(c));
    EXPECT_TRUE(dg.isComponentHCF(c));
}

TEST(DepGraph, PredicateLevelAgainstAtomLevelRecursion) {
    PROGRAM p = program("dglevel_", "p(1) :- p(2).");
    DG predicateLevel(p.rules, p.constraints, DEPGRAPH_DG_HCF_TEST);
    DG atomLevel(p.rules, p.constraints, 0);
    EXPECT_EQ(predicateLevel.recursiveRule[0], 1);
    EXPECT_EQ(atomLevel.recursiveRule[0], 0);
    int32_t c = predicateLevel.componentOf[(*p.rules[0].head)[0].predicate];
    EXPECT_TRUE(predicateLevel.selfLoop[c]);
    EXPECT_FALSE(atomLevel.selfLoop[c]);
    // The edge p -> p exists either way: the rule is recursive in p's component.
    EXPECT_EQ(atomLevel.componentRules[c].split, 0u);
}

// ---------------------------------------------------------------------------
// Aggregates.

int32_t aggregatePredicate() { return addPredicate(predicateTable, NAME("dgtest_count"), 0, KIND_AGGREGATE).first; }

LITERAL aggregateLiteral(const ATOM& inner, bool negated) {
    auto* aggregate = new AGGREGATEATOM();
    aggregate->function = makeAggregateFunction(AGG_COUNT);
    aggregate->function->body.addLiteral(LITERAL(inner, false));
    aggregate->lowerGuard = integerTerm(1);
    return LITERAL(ATOM(aggregatePredicate(), aggregate), negated);
}

TEST(DepGraph, AggregateLiteralsInTheNongroundGraph) {
    ATOM p("dgagg_p", nullptr, KIND_IDB), r("dgagg_r", nullptr, KIND_IDB), s("dgagg_s", nullptr, KIND_UNKNOWN);
    std::vector<RULE> rules;
    CONJUNCTION body1, body2;
    body1.addLiteral(aggregateLiteral(p, false));  // p :- #count{: p} >= 1.
    body2.addLiteral(aggregateLiteral(s, true));   // r :- not #count{: s} >= 1.
    std::vector<ATOM> head1{p}, head2{r};
    rules.emplace_back(&head1, &body1);
    rules.emplace_back(&head2, &body2);
    DG dg(rules, {}, DEPGRAPH_DG_HCF_TEST);
    checkInvariants(dg);

    // The aggregate stands for its body's first literal.
    const LITERAL& aggregate2 = rules[1].body->literals[0];
    EXPECT_EQ(dg.nodes[s.predicate], &aggregate2.aggregate()->fn().body.literals[0]);
    EXPECT_EQ(dg.getComponent(aggregate2), dg.componentOf[s.predicate]);
    EXPECT_EQ(dg.getComponent(ATOM("dgagg_unused", nullptr, KIND_UNKNOWN)), -1);
    // A negated aggregate still gives a plain edge in a DG.
    ASSERT_EQ(dg.successors(s.predicate).size(), 1u);
    EXPECT_EQ(dg.successors(s.predicate)[0], r.predicate);
    // p :- #count{: p}: a self edge and a recursive rule, yet an exit rule.
    int32_t c = dg.componentOf[p.predicate];
    EXPECT_TRUE(dg.selfLoop[c]);
    ASSERT_EQ(dg.componentRules[c].ruleList.size(), 1u);
    EXPECT_EQ(dg.componentRules[c].split, 1u);
    EXPECT_TRUE(dg.isComponentCyclic(c));
}

ATOMID groundAggregate(std::initializer_list<ATOMID> elements) {
    auto* aggregate = new AGGREGATEATOM();
    aggregate->function = makeAggregateFunction(AGG_COUNT);
    aggregate->function->groundSet = std::make_unique<GROUNDSET>();
    int32_t value = 1;
    for (ATOMID e : elements) aggregate->function->groundSet->add({integerTerm(value++), e});
    aggregate->function->groundSet->normalize();
    aggregate->lowerGuard = integerTerm(1);
    return internAtom(ATOM(aggregatePredicate(), aggregate));
}

TEST(DepGraph, GroundAggregatesLinkTheirElements) {
    ATOMID h = internAtom(ATOM("dggagg_h", nullptr, KIND_IDB));
    ATOMID g = internAtom(ATOM("dggagg_g", nullptr, KIND_IDB));
    ATOMID e = internAtom(ATOM("dggagg_e", nullptr, KIND_UNKNOWN));
    ATOMID agg = groundAggregate({h, e});
    std::vector<GROUNDRULE> rules;
    GROUNDCONJUNCTION body1, body2;
    body1.addLiteral({agg, 0});  // h :- agg.
    body2.addLiteral({agg, 1});  // g :- not agg.
    std::vector<ATOMID> head1{h}, head2{g};
    rules.emplace_back(&head1, &body1);
    rules.emplace_back(&head2, &body2);

    GDG gdg(rules, {}, DEPGRAPH_GDG_POSITIVE);
    checkInvariants(gdg);
    // e occurs only in the ground set, yet is a node; elements link once per
    // head atom, duplicates kept; a negated aggregate gives no plain edge.
    EXPECT_TRUE(gdg.isNode(e));
    EXPECT_EQ(gdg.successors(e).size(), 2u);
    EXPECT_EQ(gdg.successors(h).size(), 2u);
    ASSERT_EQ(gdg.successors(agg).size(), 1u);
    EXPECT_EQ(gdg.successors(agg)[0], h);
    // h and the aggregate form a cycle; the aggregate literal keeps the rule an exit rule.
    int32_t c = gdg.componentOf[h];
    EXPECT_EQ(gdg.componentOf[agg], c);
    EXPECT_EQ(gdg.components[c].size(), 2u);
    EXPECT_EQ(gdg.componentRules[c].split, 1u);
    EXPECT_FALSE(gdg.selfLoop[c]);
    EXPECT_EQ(gdg.getComponent(groundAtom(g)), gdg.componentOf[g]);
    EXPECT_EQ(gdg.componentOfSlot(g), gdg.componentOf[g]);
    EXPECT_EQ(gdg.componentOfSlot(int32_t(gdg.nodeSlots()) + 5), -1);

    GDG full(rules, {}, DEPGRAPH_GDG_FULL);
    checkInvariants(full);
    EXPECT_EQ(full.successors(agg).size(), 2u);
}

// ---------------------------------------------------------------------------
// Flags and caches.

TEST(DepGraph, PropertiesAreComputedOnceAndCached) {
    PROGRAM p = program("dgcache_", "a v b. a :- b. b :- a. c :- c.");
    DG dg(p.rules, p.constraints, DEPGRAPH_DG_HCF_TEST);
    EXPECT_EQ(dg.isCyclicCache, -1);
    EXPECT_EQ(dg.isHCFCache, -1);
    EXPECT_EQ(dg.isStronglyHCFCache, -1);
    EXPECT_FALSE(dg.flagsComputed());
    EXPECT_TRUE(dg.isCyclic());
    EXPECT_FALSE(dg.flagsComputed());  // cyclicity needs no flags
    EXPECT_FALSE(dg.isHCF());
    EXPECT_TRUE(dg.flagsComputed());
    EXPECT_EQ(dg.isHCFCache, 0);
    // The answers stay as cached even if the flags were changed behind them.
    std::fill(dg.disjunctive.begin(), dg.disjunctive.end(), 0);
    dg.computeComponentFlags();  // already done: no recomputation
    EXPECT_FALSE(dg.isHCF());
    EXPECT_EQ(std::count(dg.disjunctive.begin(), dg.disjunctive.end(), 1), 0);
    EXPECT_FALSE(dg.isStronglyHCF());  // c :- c. has a self-loop
}

// ---------------------------------------------------------------------------
// Deep graphs: a chain a(0) -> a(1) -> ... of a million ground atoms, built
// directly in memory.

TEST(DepGraph, MillionAtomChainNeedsNoDeepRecursion) {
    const int32_t n = 1000000;
    int32_t predicate = addPredicate(predicateTable, NAME("dgchain"), 1, KIND_IDB).first;
    std::vector<ATOMID> ids(size_t(n) + 1);
    for (int32_t i = 0; i <= n; ++i) ids[i] = internAtom(ATOM(predicate, std::vector<TERM>{integerTerm(i)}));
    std::vector<GROUNDRULE> rules(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        rules[i].head = std::make_unique<std::vector<ATOMID>>(1, ids[i + 1]);
        rules[i].body = std::make_unique<GROUNDCONJUNCTION>();
        rules[i].body->addLiteral({ids[i], 0});
    }
    {
        GDG chain(rules, {}, DEPGRAPH_GDG_POSITIVE);
        ASSERT_EQ(chain.componentCount(), size_t(n) + 1);
        bool ordered = true;
        for (int32_t i = 0; i <= n; ++i) ordered = ordered && chain.componentOf[ids[i]] == i;
        EXPECT_TRUE(ordered) << "a(i) is component i";
        EXPECT_EQ(chain.componentRules[n].ruleList[0], &rules[n - 1]);
        EXPECT_FALSE(chain.isCyclic());
        EXPECT_TRUE(chain.isStronglyHCF());
    }
    // Closing the chain makes one component of all atoms.
    rules.emplace_back();
    rules.back().head = std::make_unique<std::vector<ATOMID>>(1, ids[0]);
    rules.back().body = std::make_unique<GROUNDCONJUNCTION>();
    rules.back().body->addLiteral({ids[n], 0});
    GDG ring(rules, {}, DEPGRAPH_GDG_FULL);
    ASSERT_EQ(ring.componentCount(), 1u);
    EXPECT_EQ(ring.components[0].size(), size_t(n) + 1);
    EXPECT_EQ(ring.componentRules[0].split, 0u);
    EXPECT_EQ(ring.componentRules[0].ruleList.size(), size_t(n) + 1);
    EXPECT_TRUE(ring.isCyclic());
}

// ---------------------------------------------------------------------------
// The "--depgraph" layout. Node slots are predicate and atom indices, which
// depend on every table entry made before; so these run in a fresh process
// (a death test re-executing the binary), where the built-ins hold predicates
// 0 to 9 and the atom table is empty. The child exits 0 when the dump matches
// and prints both texts otherwise.

[[noreturn]] void expectText(const std::string& expected, const std::string& actual) {
    if (actual == expected) std::exit(0);
    std::cerr << "expected:\n" << expected << "\nactual:\n" << actual;
    std::exit(1);
}

[[noreturn]] void expectDump(const std::string& expected, const std::string& ruleText, bool withGround) {
    PROGRAM p = program("", ruleText);
    if (!withGround) {
        p.groundRules.clear();
        p.groundConstraints.clear();
    }
    expectText(expected, text([&](std::ostream& o) {
        dumpDependencyGraphs(o, p.rules, p.constraints, p.groundRules, p.groundConstraints);
    }));
}

const std::string zeros14 = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 \n";
const std::string zeros13 = "0 0 0 0 0 0 0 0 0 0 0 0 0 \n";

std::string repeat(const std::string& s, int times) {
    std::string r;
    while (times-- > 0) r += s;
    return r;
}

TEST(DepGraphDumpDeathTest, FourGraphsOfAPropositionalProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string expected =
        "The nonground DG without negation and disjunction uses Tamsel's ordering.\n"
        "DG with negations and disjunctions:\n\n"
        "DEPGRAPH: (14 atoms, 1 components)\n"
        "\n"
        "a b c d \n" +
        repeat(zeros14, 10) +
        "0 0 0 0 0 0 0 0 0 0 0 1 0 1 \n"
        "0 0 0 0 0 0 0 0 0 0 1 0 0 0 \n"
        "0 0 0 0 0 0 0 0 0 0 1 1 0 0 \n"
        "0 0 0 0 0 0 0 0 0 0 0 0 1 0 \n"
        "\n"
        "COMPONENT 1:  not stratified  disjunctive\n"
        "   { a , b , c , d }\n"
        "   c :- not d.\n"
        "   a v b :- c.\n"
        "   d :- a.\n"
        "   :- a, not b.\n"
        "\n\n"
        "DG without negations and disjunctions:\n\n"
        "DEPGRAPH: (14 atoms, 4 components)\n"
        "DEPGRAPH::isCyclic() : false\n"
        "DEPGRAPH::isHCF() : true\n"
        "DEPGRAPH::isStronglyHCF() : true\n"
        "\n"
        "a b c d \n" +
        repeat(zeros14, 10) +
        "0 0 0 0 0 0 0 0 0 0 0 0 0 1 \n" + zeros14 +
        "0 0 0 0 0 0 0 0 0 0 1 1 0 0 \n" + zeros14 +
        "\n"
        "COMPONENT 1:  hcf  strongly hcf  acyclic\n"
        "   { c }\n"
        "   c :- not d.\n"
        "COMPONENT 2:  hcf  strongly hcf  acyclic\n"
        "   { a }\n"
        "   a v b :- c.\n"
        "COMPONENT 3:  hcf  strongly hcf  acyclic\n"
        "   { d }\n"
        "   d :- a.\n"
        "COMPONENT 4:  hcf  strongly hcf  acyclic\n"
        "   { b }\n"
        "   a v b :- c.\n"
        "   :- a, not b.\n"
        "\n\n"
        "GDG with negations and disjunctions:\n\n"
        "DEPGRAPH: (4 atoms, 1 components)\n"
        "\n"
        "a b c d \n"
        "0 1 0 1 \n"
        "1 0 0 0 \n"
        "1 1 0 0 \n"
        "0 0 1 0 \n"
        "\n"
        "COMPONENT 1:  not stratified  disjunctive\n"
        "   { a , b , c , d }\n"
        "   c :- not d.\n"
        "   a v b :- c.\n"
        "   d :- a.\n"
        "   :- a, not b.\n"
        "\n\n"
        "GDG without negations and disjunctions:\n\n"
        "DEPGRAPH: (4 atoms, 4 components)\n"
        "DEPGRAPH::isCyclic() : false\n"
        "DEPGRAPH::isHCF() : true\n"
        "DEPGRAPH::isStronglyHCF() : true\n"
        "\n"
        "a b c d \n"
        "0 0 0 1 \n"
        "0 0 0 0 \n"
        "1 1 0 0 \n"
        "0 0 0 0 \n"
        "\n"
        "COMPONENT 1:  hcf  strongly hcf  acyclic\n"
        "   { c }\n"
        "   c :- not d.\n"
        "COMPONENT 2:  hcf  strongly hcf  acyclic\n"
        "   { b }\n"
        "   a v b :- c.\n"
        "COMPONENT 3:  hcf  strongly hcf  acyclic\n"
        "   { a }\n"
        "   a v b :- c.\n"
        "   :- a, not b.\n"
        "COMPONENT 4:  hcf  strongly hcf  acyclic\n"
        "   { d }\n"
        "   d :- a.\n"
        "\n\n";
    EXPECT_EXIT(expectDump(expected, "a v b :- c. c :- not d. d :- a. :- a, not b.", true),
                testing::ExitedWithCode(0), "");
}

TEST(DepGraphDumpDeathTest, ArgumentsSelfLoopsAndAnEmptyGroundProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string expected =
        "The nonground DG without negation and disjunction uses Tamsel's ordering.\n"
        "DG with negations and disjunctions:\n\n"
        "DEPGRAPH: (13 atoms, 2 components)\n"
        "\n"
        "p(_0) e(_0,_1) f \n" +
        repeat(zeros13, 10) +
        "0 0 0 0 0 0 0 0 0 0 1 0 0 \n"
        "0 0 0 0 0 0 0 0 0 0 1 0 1 \n"
        "0 0 0 0 0 0 0 0 0 0 0 1 0 \n"
        "\n"
        "COMPONENT 1:  stratified  disjunctive\n"
        "   { e , f }\n"
        "   e(1,2) v f.\n"
        "COMPONENT 2:  stratified  not disjunctive\n"
        "   { p }\n"
        "   p(_0) :- p(_1), e(_0,_1).\n"
        "\n\n"
        "DG without negations and disjunctions:\n\n"
        "DEPGRAPH: (13 atoms, 3 components)\n"
        "DEPGRAPH::isCyclic() : true\n"
        "DEPGRAPH::isHCF() : true\n"
        "DEPGRAPH::isStronglyHCF() : false\n"
        "\n"
        "p(_0) e(_0,_1) f \n" +
        repeat(zeros13, 10) +
        "0 0 0 0 0 0 0 0 0 0 1 0 0 \n"
        "0 0 0 0 0 0 0 0 0 0 1 0 0 \n" + zeros13 +
        "\n"
        "COMPONENT 1:  hcf  strongly hcf  acyclic\n"
        "   { f }\n"
        "   e(1,2) v f.\n"
        "COMPONENT 2:  hcf  strongly hcf  acyclic\n"
        "   { e }\n"
        "   e(1,2) v f.\n"
        "COMPONENT 3:  hcf  not strongly hcf  cyclic\n"
        "   { p }\n"
        "   p(_0) :- p(_1), e(_0,_1).\n"
        "\n\n"
        "GDG with negations and disjunctions:\n\n"
        "DEPGRAPH: (0 atoms, 0 components)\n"
        "\n"
        "\n"
        "\n"
        "\n\n"
        "GDG without negations and disjunctions:\n\n"
        "DEPGRAPH: (0 atoms, 0 components)\n"
        "DEPGRAPH::isCyclic() : false\n"
        "DEPGRAPH::isHCF() : true\n"
        "DEPGRAPH::isStronglyHCF() : true\n"
        "\n"
        "\n"
        "\n"
        "\n\n";
    EXPECT_EXIT(expectDump(expected, "p(X) :- p(Y), e(X,Y). e(1,2) v f.", false), testing::ExitedWithCode(0), "");
}

TEST(DepGraphDumpDeathTest, SatlikePrintsGroundAtomsAsIndices) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string expected =
        "DEPGRAPH: (2 atoms, 2 components)\n"
        "\n"
        "0 1 \n"
        "0 0 \n"
        "1 0 \n"
        "\n"
        "COMPONENT 1:  stratified  not disjunctive\n"
        "   { 1 }\n"
        "COMPONENT 2:  stratified  not disjunctive\n"
        "   { 0 }\n"
        "   0 :- 1.\n";
    auto print = [&] {
        PROGRAM p = program("", "a :- b.");
        GDG gdg(p.groundRules, p.groundConstraints, DEPGRAPH_GDG_FULL);
        satLike = true;
        expectText(expected, text([&](std::ostream& o) { gdg.printDependencyGraph(o); }));
    };
    EXPECT_EXIT(print(), testing::ExitedWithCode(0), "");
}

}  // namespace
