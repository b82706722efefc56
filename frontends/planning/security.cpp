// frontends/planning/security.cpp: a plan is secure when the counter-example
// program that fixes its actions has no answer set; verdicts are cached per
// check method, keyed by the plan.
#include "core/options.h"
#include "core/stagetimers.h"
#include "frontends/planning/planning.h"

namespace veltra {

PLANCACHE planCaches[2];

namespace {

ATOMID propositionalAtom(const char* name) { return internAtom(ATOM(name, nullptr, KIND_IDB)); }

bool isAggregateAtom(ATOMID atom) { return predicateTable.isAggregate(groundAtom(atom).predicate); }

// Truth in a candidate in which every atom is decided.
bool isFalseLiteral(const GROUNDLITERAL& l, const INTERPRETATION& candidate) {
    int32_t v = candidate.values[l.atom];
    return l.negated ? (v == TV_MUSTBETRUE || isTrueValue(v)) : v == TV_FALSE;
}

// The nested search stops at its first answer set: one counter-example
// settles the verdict.
bool stopAtFirst(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION*) { return false; }

// The bookkeeping of every ground aggregate as grounding left it; a nested
// search starts from it, not from the outer search's current bounds.
AGGREGATETRAIL groundingAggregates;
bool groundingAggregatesSaved = false;

void saveAggregates(AGGREGATETRAIL& trail) {
    for (size_t g = 0; g < aggregatesByIndex.size(); ++g)
        if (aggregatesByIndex[g]) trail.push(0, aggregatesByIndex[g].get(), int32_t(g));
}

}  // namespace

PLANKEY planKey(const INTERPRETATION* candidate) {
    PLANKEY key(size_t(atomCount), 0);
    if (candidate)
        for (ATOMID i = 0; i < atomCount; ++i)
            if (actionAtoms[i] && isTrueValue(candidate->values[i])) key[i] = 1;
    return key;
}

void insertGroundLiteral(GROUNDCONJUNCTION& conjunction, const GROUNDLITERAL& literal) {
    if (literal.negated) {
        conjunction.literals.push_back(literal);
    } else {
        conjunction.literals.insert(conjunction.literals.begin() + std::ptrdiff_t(conjunction.firstNegative), literal);
        ++conjunction.firstNegative;
    }
}

void rememberGroundingAggregates() {
    groundingAggregates = AGGREGATETRAIL();
    saveAggregates(groundingAggregates);
    groundingAggregatesSaved = true;
}

bool securePlanFilter(MODELGENERATOR*, const ATOMSET&, const INTERPRETATION* candidate) {
    if (!(planningMode & PLANNING_SECURE) || !candidate) return true;
    if (OPTIONS.soundCheckMethod >= 0 &&
        isPlanSecure(*candidate, groundRules, groundConstraints, OPTIONS.soundCheckMethod))
        return true;
    // A complete method can only show a plan insecure: its verdict never
    // accepts, the chosen method decides.
    if (OPTIONS.completeCheckMethod >= 0)
        isPlanSecure(*candidate, groundRules, groundConstraints, OPTIONS.completeCheckMethod);
    return isPlanSecure(*candidate, groundRules, groundConstraints, secureCheckMethod);
}

void buildCounterExampleProgram(const INTERPRETATION& candidate, const std::vector<GROUNDRULE>& rules,
                                const std::vector<GROUNDCONSTRAINT>& constraints, int32_t method,
                                std::vector<GROUNDRULE>& counterRules,
                                std::vector<GROUNDCONSTRAINT>& counterConstraints) {
    const ATOMID goal = propositionalAtom("$goal");
    const ATOMID abs = propositionalAtom("$abs");
    const std::vector<ATOMID> absHead{abs};

    // A plan action that is not executed is a failure.
    for (ATOMID p = 0; p < atomCount; ++p) {
        if (!actionAtoms[p] || !isTrueValue(candidate.values[p])) continue;
        GROUNDCONJUNCTION body;
        body.addLiteral(GROUNDLITERAL{p, 1});
        counterRules.emplace_back(&absHead, &body);
    }
    // Actions only as the plan has them; everything else stays open.
    for (const GROUNDRULE& r : rules) {
        ATOMID h = (*r.head)[0];
        if (actionAtoms[h]) {
            if (!isTrueValue(candidate.values[h])) continue;
            const std::vector<ATOMID> head{h};
            counterRules.emplace_back(&head, r.body.get());
            continue;
        }
        bool dropped = false;
        if (r.body)
            for (const GROUNDLITERAL& l : r.body->literals)
                if (actionAtoms[l.atom] && isFalseLiteral(l, candidate)) dropped = true;
        if (!dropped) counterRules.push_back(r);
    }
    // Constraints on later states become failures (method 0) or hold only
    // while no failure occurred (method 1); the goal is asked for below.
    bool goalSeen = false;
    for (const GROUNDCONSTRAINT& c : constraints) {
        const std::vector<GROUNDLITERAL>& ls = c.body.literals;
        if (ls.empty()) {
            counterConstraints.push_back(c);
            continue;
        }
        if (ls[0].atom == goal) {
            goalSeen = true;
            continue;
        }
        if (ls[0].atom == abs) continue;
        // The bounds on the number of actions per step are about the plan,
        // which is fixed here: as constraints they would hide failures.
        bool countConstraint = false;
        for (const GROUNDLITERAL& l : ls) countConstraint = countConstraint || isAggregateAtom(l.atom);
        if (countConstraint) continue;
        int decision = 0;  // 0 hard, 1 softened, 2 left out
        for (const GROUNDLITERAL& l : ls) {
            if (fluentAtoms[l.atom] && atomTime(l.atom) != 0) {
                decision = 1;
                break;
            }
            if (actionAtoms[l.atom]) {
                decision = isFalseLiteral(l, candidate) ? 2 : 1;
                break;
            }
        }
        if (decision == 0) {
            counterConstraints.push_back(c);
        } else if (decision == 1 && method == 0) {
            counterRules.emplace_back(&absHead, &c.body);
        } else if (decision == 1) {
            GROUNDCONSTRAINT softened;
            softened.body = c.body;
            insertGroundLiteral(softened.body, GROUNDLITERAL{abs, 1});
            counterConstraints.push_back(std::move(softened));
        }
    }
    GROUNDCONSTRAINT failure;
    if (goalSeen) insertGroundLiteral(failure.body, GROUNDLITERAL{goal, 0});
    insertGroundLiteral(failure.body, GROUNDLITERAL{abs, 1});
    counterConstraints.push_back(std::move(failure));
}

bool isPlanSecure(const INTERPRETATION& candidate, const std::vector<GROUNDRULE>& rules,
                  const std::vector<GROUNDCONSTRAINT>& constraints, int32_t method) {
    ++secureCheckCount;
    PLANKEY key = planKey(&candidate);
    PLANCACHE& cache = planCaches[method];
    auto hit = cache.results.find(key);
    if (hit != cache.results.end()) {
        ++planCacheHits;
        return hit->second;
    }
    std::vector<GROUNDRULE> counterRules;
    std::vector<GROUNDCONSTRAINT> counterConstraints;
    buildCounterExampleProgram(candidate, rules, constraints, method, counterRules, counterConstraints);
    bool secure = runNestedModelGenerator(counterRules, counterConstraints);

    cache.results.emplace(key, secure);
    cache.order.push_front(std::move(key));
    if (cache.order.size() > size_t(OPTIONS.planCacheSize)) {
        size_t evict = size_t(OPTIONS.planCacheSize) / 10 + 1;
        for (; evict > 0 && !cache.order.empty(); --evict) {
            cache.results.erase(cache.order.back());
            cache.order.pop_back();
        }
    }
    return secure;
}

bool runNestedModelGenerator(std::vector<GROUNDRULE>& rules, std::vector<GROUNDCONSTRAINT>& constraints) {
    static std::vector<GROUNDWEAKCONSTRAINT> noWeakConstraints;
    static const ATOMSET noAtoms;
    static const uint32_t one = 1;
    // The outer search is in the middle of its run: its aggregate bounds are
    // kept aside and given back afterwards.
    AGGREGATETRAIL outer;
    saveAggregates(outer);
    if (groundingAggregatesSaved) {
        AGGREGATETRAIL start = groundingAggregates;
        start.unwind();
    }
    uint32_t answerSets;
    {
        MODELGENERATOR nested(&rules, &constraints, &noWeakConstraints, nullptr, &noAtoms, &noAtoms, &one, nullptr,
                              CHECK_MODEL_CHECKING_ON | CHECK_USE_GUS, stopAtFirst, nullptr, false, nullptr, false,
                              false, false, false, 0, uint32_t(aggregateCount), &heuristicList,
                              &combineHeuristicList);
        nested.computeAnswerSets();
        answerSets = nested.answerSetsComputed;
    }
    outer.unwind();
    return answerSets == 0;
}

}  // namespace veltra
