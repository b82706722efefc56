// grounding/seminaive.cpp: the grounder driver: components in dependency
// order, exit rules once, recursive rules by semi-naive iterations, then
// post-processing, constraints and weak constraints.
#include <cassert>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include "analysis/rewrite.h"
#include "core/options.h"
#include "core/stagetimers.h"
#include "grounding/grounder.h"

namespace veltra {

GROUNDER::GROUNDER(const DG& dg, bool instantiate) : depgraph(dg), printInstantiation(instantiate) {
    const int32_t n = predicateTable.count;
    delta = std::make_unique<DELTA>();
    newDelta = std::make_unique<DELTA>();
    noUndefinedAtoms.assign(n, 1);
    complete.assign(n, 0);
    atomCount.assign(n, 0);
    deltaCounts.assign(n, 0);
    newDeltaCounts.assign(n, 0);
    predicateIndex = std::make_unique<PREDICATEINDEX>(n);
    for (int32_t p = 0; p < n; ++p) {
        const int32_t kind = predicateTable.kinds[p];
        complete[p] = kind == KIND_BUILTIN || kind == KIND_AGGREGATE || !depgraph.isNode(p) ||
                      depgraph.componentOf[p] == -1;
    }
    // Literals of EDB predicates read edbFacts alone, and the others never
    // read it: it must hold facts of EDB predicates only.
    edbFacts.forEach([&](const ATOM& a) {
        assert(predicateTable.kinds[a.predicate] == KIND_EDB);
        ++atomCount[a.predicate];
    });
    if (omittedFacts.predicate >= 0 && omittedFacts.predicate < n) atomCount[omittedFacts.predicate] += omittedFacts.count;
    trueAtoms.forEach([&](const ATOM& a) {
        if (!knownTrue_.find(a)) knownTrue_.insert(a, -1);
    });
}

void GROUNDER::clearDelta(DELTA& d) {
    // Normally empty here (merged, or nothing derived); keep knownTrue_ free
    // of atoms that are about to go.
    for (int32_t p : d.touched)
        for (const ATOM& a : d.trueAtoms.atomsOfPredicate(p)) knownTrue_.erase(a);
    d.clear();
}

GROUNDER::~GROUNDER() { cleanup(); }

void GROUNDER::cleanup() {
    delta.reset();
    newDelta.reset();
    noUndefinedAtoms = {};
    complete = {};
    atomCount = {};
    deltaCounts = {};
    newDeltaCounts = {};
    predicateIndex.reset();
    knownTrue_.clear();
}

static void printInstantiationTime() {
    const TIMER& t = ruleInstantiationTimer;
    if (t.seconds < 0 || t.microseconds < 0) {
        std::cerr << "TIMING ERROR.";
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "%5d.%06d", t.seconds, t.microseconds);
        std::cerr << text;
    }
    std::cerr << "   inst. time \n               ------------------------------\n\n";
}

// The rule is grounded under a lower component of one of its heads.
static bool hasLowerHeadComponent(const DG& depgraph, const RULE& rule, int32_t c) {
    if (!rule.head) return false;
    for (const ATOM& h : *rule.head)
        if (static_cast<uint32_t>(depgraph.getComponent(h)) < static_cast<uint32_t>(c)) return true;
    return false;
}

static void startTrace() {
    if (statsGrounding) ruleInstantiationTimer.start();
}

static void endTrace() {
    if (!statsGrounding) return;
    ruleInstantiationTimer.stop();
    printInstantiationTime();
    ruleInstantiationTimer.seconds = ruleInstantiationTimer.microseconds = 0;
}

bool GROUNDER::groundProgram(int32_t& exitStatus) {
    bool changed = false;
    const int32_t components = static_cast<int32_t>(depgraph.componentCount());
    for (int32_t c = 0; c < components; ++c) {
        const COMPONENTRULES<RULE> list = depgraph.componentRules[c];
        clearDelta(*delta);
        clearDelta(*newDelta);
        changed = true;
        // Grounds rules [from, to) of the component; false when grounding stops.
        auto pass = [&](size_t from, size_t to, bool isExit, int32_t iteration) {
            for (size_t k = from; k < to; ++k) {
                const RULE& r = *list.ruleList[k];
                if (checkAggregateRecursion(r, c)) {
                    exitStatus = 1;
                    return false;
                }
                if (hasLowerHeadComponent(depgraph, r, c)) continue;
                if (statsGrounding) printProgramRule(std::cerr << "               ", r) << '\n';
                startTrace();
                instantiateRule(r, isExit, changed, iteration);
                endTrace();
                if (reportGroundingError(&r, nullptr, nullptr, exitStatus)) return false;
            }
            return true;
        };
        if (!pass(0, list.split, true, 1)) return false;
        int32_t iteration = 0;
        do {
            changed = false;
            std::swap(delta, newDelta);
            std::swap(deltaCounts, newDeltaCounts);
            ++generation_;
            ++groundingWork.rounds;
            clearDelta(*newDelta);
            if (!pass(list.split, list.ruleList.size(), false, iteration)) return false;
            mergeDelta(*delta, deltaCounts);
            resetIncompletePredicates(complete);
            ++iteration;
        } while (changed);
        for (int32_t v : depgraph.components[c]) complete[depgraph.nodes[v]->predicate] = 1;
    }

    postprocessingTimer.start();
    if (trueAtoms.size() > 0) postprocessGroundProgram();
    clearPredicateIndex();
    postprocessingTimer.stop();

    constraintsTimer.start();
    for (const CONSTRAINT& k : constraints) {
        if (canSkipConstraint(k)) continue;
        if (statsGrounding) printProgramConstraint(std::cerr << "               ", k) << '\n';
        startTrace();
        instantiateConstraint(k, 1);
        endTrace();
        if (reportGroundingError(nullptr, &k, nullptr, exitStatus)) {
            constraintsTimer.stop();
            return false;
        }
    }
    constraintsTimer.stop();
    for (const WEAKCONSTRAINT& w : weakConstraints) {
        if (statsGrounding) printProgramWeakConstraint(std::cerr << "               ", w) << '\n';
        startTrace();
        instantiateWeakConstraint(w, 1);
        endTrace();
        if (reportGroundingError(nullptr, nullptr, &w, exitStatus)) return false;
    }
    cleanup();
    return true;
}

void GROUNDER::instantiateRule(const RULE& rule, bool isExit, bool& changed, int32_t iteration) {
    prepareBindings(statementVariableCount(rule.head.get(), rule.body.get()));
    if (!rule.body) {
        addGroundRule(rule, changed);
        return;
    }
    const CONJUNCTION& body = *rule.body;
    for (size_t i = 0; i < body.firstNegative; ++i)
        if (predicateTable.kinds[body.literals[i].predicate] == KIND_UNKNOWN) return;
    BODYPLAN plan(body, atomCount, &deltaCounts, complete, noUndefinedAtoms, isExit, iteration, delta.get());
    if (plan.state == PLAN_ERROR) {
        state = GROUNDER_ERROR;
        return;
    }
    if (isExit) {
        if (plan.empty) return;
    } else {
        while (plan.empty) {
            if (plan.exhausted || plan.deltaLiteral == plan.lastRecursiveLiteral || !OPTIONS.semiNaive) return;
            plan.nextDeltaLiteral();
            if (plan.state == PLAN_ERROR) {
                state = GROUNDER_ERROR;
                return;
            }
        }
    }
    // Head variables the body does not bind cannot tell instances apart.
    headVariables_.assign(plan.variableWords, 0);
    for (const ATOM& h : *rule.head)
        if (const TERMLIST* terms = h.terms())
            for (const TERM& t : *terms)
                if (t.isVariable() && t.index < plan.variableCount) setVariableBit(headVariables_.data(), t.index);
    joinBody(plan, ITEM_RULE, isExit, &rule, changed, headVariables_.data());
}

void GROUNDER::instantiateConstraint(const CONSTRAINT& constraint, int32_t iteration) {
    prepareBindings(statementVariableCount(nullptr, &constraint.body));
    BODYPLAN plan(constraint.body, atomCount, nullptr, complete, noUndefinedAtoms, true, iteration, delta.get());
    if (plan.state == PLAN_ERROR) {
        state = GROUNDER_ERROR;
        return;
    }
    bool changed = false;
    if (!plan.empty) joinBody(plan, ITEM_CONSTRAINT, true, &constraint, changed, nullptr);
}

void GROUNDER::instantiateWeakConstraint(const WEAKCONSTRAINT& weakConstraint, int32_t iteration) {
    TERM weightLevel[2] = {weakConstraint.weight, weakConstraint.level};
    int32_t count = statementVariableCount(nullptr, &weakConstraint.body);
    for (const TERM& t : weightLevel)
        if (t.isVariable() && t.index >= count) count = t.index + 1;
    prepareBindings(count);
    BODYPLAN plan(weakConstraint.body, atomCount, nullptr, complete, noUndefinedAtoms, true, iteration, delta.get());
    if (plan.state == PLAN_ERROR) {
        state = GROUNDER_ERROR;
        return;
    }
    bool changed = false;
    if (!plan.empty) joinBody(plan, ITEM_WEAKCONSTRAINT, true, &weakConstraint, changed, nullptr);
}

void GROUNDER::mergeDelta(DELTA& d, std::vector<int32_t>& counts) {
    // The delta is emptied by the next iteration anyway: move its nodes.
    for (int32_t touchedPredicate : d.touched) {
        if (size_t(touchedPredicate) >= d.trueAtoms.byPredicate.size()) continue;
        ATOMORDEREDSET& set = d.trueAtoms.byPredicate[touchedPredicate];
        while (!set.empty()) {
            auto node = set.extract(set.begin());
            const int32_t p = node.value().predicate;
            ++atomCount[p];
            counts[p] = 0;
            if (size_t(p) < undefinedAtoms.byPredicate.size()) undefinedAtoms.byPredicate[p].erase(node.value());
            if (trueAtoms.byPredicate.size() < size_t(predicateTable.count))
                trueAtoms.byPredicate.resize(predicateTable.count);
            // Ascending: a predicate that had no atoms takes them at its end.
            ATOMORDEREDSET& target = trueAtoms.byPredicate[p];
            target.insert(target.end(), std::move(node));
        }
    }
    for (int32_t touchedPredicate : d.touched) {
        if (size_t(touchedPredicate) >= d.undefinedAtoms.byPredicate.size()) continue;
        ATOMORDEREDSET& set = d.undefinedAtoms.byPredicate[touchedPredicate];
        while (!set.empty()) {
            auto node = set.extract(set.begin());
            const int32_t p = node.value().predicate;
            ++atomCount[p];
            counts[p] = 0;
            if (undefinedAtoms.byPredicate.size() < size_t(predicateTable.count))
                undefinedAtoms.byPredicate.resize(predicateTable.count);
            ATOMORDEREDSET& target = undefinedAtoms.byPredicate[p];
            target.insert(target.end(), std::move(node));
        }
    }
}

void GROUNDER::postprocessGroundProgram() {
    for (auto& set : undefinedAtoms.byPredicate) set.clear();
    size_t i = 0;
    while (i < groundRules.size()) {
        GROUNDRULE& g = groundRules[i];
        bool remove = false;
        for (ATOMID h : *g.head)
            if (isTrueAtom(groundAtom(h), false)) remove = true;
        if (!remove && g.body)
            for (size_t k = g.body->firstNegative; k < g.body->literals.size(); ++k)
                if (isTrueAtom(groundAtom(g.body->literals[k].atom), false)) remove = true;
        if (remove) {
            if (i + 1 != groundRules.size()) g = std::move(groundRules.back());
            groundRules.pop_back();
            continue;
        }
        for (ATOMID h : *g.head) undefinedAtoms.add(groundAtom(h));
        if (g.body) {
            std::vector<GROUNDLITERAL>& ls = g.body->literals;
            size_t kept = 0;
            for (size_t k = 0; k < ls.size(); ++k) {
                const bool drop = k < g.body->firstNegative && isTrueAtom(groundAtom(ls[k].atom), false);
                if (!drop) ls[kept++] = ls[k];
            }
            ls.resize(kept);
            g.body->recomputeFirstNegative();
            // Every body literal was true: the rule is a (disjunctive) fact.
            if (ls.empty()) g.body.reset();
        }
        ++i;
    }
}

int compareArgumentLists(const ATOM& a, const ATOM& b) {
    const size_t na = a.arity(), nb = b.arity();
    if (na != nb) return na < nb ? -1 : 1;
    for (size_t i = 0; i < na; ++i) {
        const TERM& x = a.term(i);
        const TERM& y = b.term(i);
        if (x.kind != y.kind) return x.kind < y.kind ? -1 : 1;
        if (x.kind == TERM_INTEGER) {
            const int32_t vx = integerValue(x), vy = integerValue(y);
            if (vx != vy) return vx < vy ? -1 : 1;
        } else if (x.kind != TERM_NULL && x.index != y.index) {
            return x.index < y.index ? -1 : 1;
        }
    }
    return 0;
}

// The only rule of the list with a head atom of literal's predicate.
static const RULE* findOnlyDefiningRule(const COMPONENTRULES<RULE>& list, const ATOM& literal) {
    const RULE* found = nullptr;
    for (const RULE* r : list.ruleList) {
        bool defines = false;
        for (const ATOM& h : *r->head)
            if (h.predicate == literal.predicate) defines = true;
        if (!defines) continue;
        if (found) return nullptr;
        found = r;
    }
    return found;
}

bool GROUNDER::canSkipConstraint(const CONSTRAINT& k) const {
    const CONJUNCTION& body = k.body;
    const size_t positives = body.firstNegative;
    auto isIdb = [&](size_t i) { return predicateTable.kinds[body.literals[i].predicate] == KIND_IDB; };
    auto hasComponent = [&](int32_t p) { return depgraph.isNode(p) && depgraph.componentOf[p] != -1; };
    size_t first = 0;
    while (first < positives && !isIdb(first)) ++first;
    if (first == positives) return false;
    const LITERAL& l = body.literals[first];
    if (!hasComponent(l.predicate)) return true;
    const COMPONENTRULES<RULE> list = depgraph.componentRules[depgraph.componentOf[l.predicate]];
    const RULE* defining = findOnlyDefiningRule(list, l);
    if (!defining || first + 1 == positives) return false;
    int32_t n = 1;
    for (size_t i = first + 1; i < positives; ++i) {
        if (!isIdb(i)) continue;
        const LITERAL& m = body.literals[i];
        if (!hasComponent(m.predicate)) return true;
        if (compareArgumentLists(m, l) != 0) return false;
        for (size_t j = 0; j < i; ++j)
            if (body.literals[j].predicate == m.predicate) return false;
        if (findOnlyDefiningRule(list, m) != defining) return false;
        ++n;
    }
    if (n == 1) return false;
    const std::vector<ATOM>& head = *defining->head;
    for (size_t i = 1; i < head.size(); ++i)
        if (compareArgumentLists(head[i], head[0]) != 0) return false;
    return true;
}

bool GROUNDER::reportGroundingError(const RULE* rule, const CONSTRAINT* constraint, const WEAKCONSTRAINT* weak,
                                    int32_t& exitStatus) {
    exitStatus = 0;
    if (state == GROUNDER_ERROR) {
        exitStatus = 1;
        std::cerr << "Error occurs in \n";
        if (rule)
            printProgramRule(std::cerr, *rule);
        else if (weak)
            printProgramWeakConstraint(std::cerr, *weak);
        else
            printProgramConstraint(std::cerr, *constraint);
        std::cerr << '\n';
    }
    if (state == GROUNDER_RUNNING) return false;
    cleanup();
    return true;
}

}  // namespace veltra
