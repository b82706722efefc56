// grounding/join.cpp: the nested-loop join over a planned body with
// conflict-directed backjumping, iterative over body positions. For a rule in
// a recursive iteration it also runs the later semi-naive passes.
#include <algorithm>

#include "core/options.h"
#include "grounding/grounder.h"

namespace veltra {

namespace {

// Backjumping targets of one pass. Variable sets are bit sets of `words`
// words each (one word unless the statement has more than 64 variables).
struct BACKJUMPCONTEXT {
    int32_t literalCount = 0;
    int32_t words = 1;
    std::vector<int32_t> binder;         // per variable: position binding it first; -1 none
    std::vector<int32_t> failTarget;     // per position: largest binder of its variables but itself
    std::vector<int32_t> previousRelevant;  // per position: largest relevant binder below it
    std::vector<uint64_t> variables;     // per position, words words: the literal's variables
    std::vector<uint64_t> relevantVariables;  // variables whose values distinguish stored instances
    std::vector<uint64_t> conflictVariables;  // involved in failures since their binders last advanced
    int32_t lastRelevant = -1;

    const uint64_t* variablesAt(int32_t pos) const { return &variables[size_t(pos) * words]; }

    // Calls f(v) for every variable v of the set.
    template <class F>
    void forEachBit(const uint64_t* set, F f) const {
        for (int32_t w = 0; w < words; ++w)
            for (uint64_t bits = set[w]; bits; bits &= bits - 1) f(w * 64 + __builtin_ctzll(bits));
    }

    // The largest binder below q of a variable whose conflict bit is set.
    int32_t closestConflictBinder(int32_t q) const {
        int32_t best = -1;
        forEachBit(conflictVariables.data(), [&](int32_t v) {
            int32_t b = binder[v];
            if (b < q && b > best) best = b;
        });
        return best;
    }
};

// Writes the variables of the literal at bodyIndex into set (plan.variableWords words).
void literalVariables(const BODYPLAN& plan, int32_t bodyIndex, uint64_t* set) {
    const LITERAL& l = plan.literal(bodyIndex);
    const int32_t words = plan.variableWords;
    if (l.isAggregate()) {
        const uint64_t* source = &plan.aggregateVariables[size_t(bodyIndex) * words];
        std::copy(source, source + words, set);
        return;
    }
    std::fill(set, set + words, 0);
    if (const std::vector<TERM>* terms = l.terms())
        for (const TERM& t : *terms)
            if (t.isVariable()) setVariableBit(set, t.index);
}

}  // namespace

void GROUNDER::joinBody(BODYPLAN& plan, int32_t itemKind, bool isExit, const void* item, bool& changed,
                        const uint64_t* headVariables) {
    const DELTA* joinDelta = itemKind == ITEM_RULE ? delta.get() : nullptr;
    BACKJUMPCONTEXT ctx;
    const int32_t words = plan.variableWords;
    ctx.words = words;
    ctx.relevantVariables.assign(words, 0);
    if (headVariables) std::copy(headVariables, headVariables + words, ctx.relevantVariables.begin());
    ctx.conflictVariables.assign(words, 0);

    auto prepareTargets = [&]() {
        const int32_t n = plan.literalCount;
        ctx.literalCount = n;
        ctx.failTarget.assign(n, -1);
        ctx.previousRelevant.assign(n, -1);
        ctx.variables.assign(size_t(n) * words, 0);
        std::fill(ctx.conflictVariables.begin(), ctx.conflictVariables.end(), 0);
        ctx.binder.assign(size_t(words) * 64, -1);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t bodyIndex = plan.order[i];
            const LITERAL& l = plan.literal(bodyIndex);
            uint64_t* vars = &ctx.variables[size_t(i) * words];
            literalVariables(plan, bodyIndex, vars);
            if (!l.negated) {
                if (l.isAggregate()) {
                    const AGGREGATEATOM& agg = *l.aggregate();
                    if (agg.assignment && agg.lowerGuard.isVariable() && ctx.binder[agg.lowerGuard.index] < 0)
                        ctx.binder[agg.lowerGuard.index] = i;
                } else {
                    ctx.forEachBit(vars, [&](int32_t v) {
                        if (ctx.binder[v] < 0) ctx.binder[v] = i;
                    });
                }
            }
            int32_t target = -1;
            ctx.forEachBit(vars, [&](int32_t v) {
                int32_t b = ctx.binder[v];
                if (b != i && b > target) target = b;
            });
            ctx.failTarget[i] = target;
            const int32_t p = l.isAggregate() ? aggregateSetPredicate(l) : l.predicate;
            if (itemKind == ITEM_WEAKCONSTRAINT || !(complete[p] && noUndefinedAtoms[p]))
                for (int32_t w = 0; w < words; ++w) ctx.relevantVariables[w] |= vars[w];
        }
        std::vector<uint8_t>& isRelevantBinder = relevantBinderScratch_;
        isRelevantBinder.assign(n, 0);
        ctx.forEachBit(ctx.relevantVariables.data(), [&](int32_t v) {
            int32_t b = ctx.binder[v];
            if (b >= 0) isRelevantBinder[b] = 1;
        });
        int32_t last = -1;
        for (int32_t i = 0; i < n; ++i) {
            ctx.previousRelevant[i] = last;
            if (isRelevantBinder[i]) last = i;
        }
        ctx.lastRelevant = last;
    };

    if (matchers_.size() < size_t(plan.literalCount)) matchers_.resize(plan.literalCount);
    auto startMatcher = [&](int32_t pos) {
        const int32_t bodyIndex = plan.order[pos];
        const LITERAL& l = plan.literal(bodyIndex);
        matchers_[pos].start(l, bindings.data(), joinDelta, plan.source[bodyIndex], predicateIndex->indexed[l.predicate]);
    };
    auto hasMatcher = [&](int32_t pos) {
        const LITERAL& l = plan.at(pos);
        return pos == 0 || !l.negated || l.isAggregate();
    };
    // Undoes literals down to position t (its own bindings included; its
    // matcher stays unless t is -1, so it continues with its next match).
    auto backtrack = [&](int32_t t) {
        while (plan.cursor != t && plan.cursor != 0) {
            if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), matchers_[plan.cursor], bindings.data());
            --plan.cursor;
        }
        if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), matchers_[plan.cursor], bindings.data());
    };
    auto setConflicts = [&](int32_t pos) {
        const uint64_t* vars = ctx.variablesAt(pos);
        for (int32_t w = 0; w < words; ++w) ctx.conflictVariables[w] |= vars[w];
    };

    prepareTargets();
    int32_t afterSolution = -1;
    bool done = false;
    bool fresh = true;
    plan.cursor = 0;
    startMatcher(0);

    while (!done) {
        const int32_t pos = plan.cursor;
        const LITERAL& l = plan.at(pos);
        bool holds;
        int32_t t = -1;
        bool aggregateFailed = false;
        if (l.isAggregate()) {
            instantiateAggregateAtom(l, bindings.data());
            const bool fails = checkAggregateAssignment(l, bindings.data());
            if (!fails && state == 2) break;
            holds = !fails;
            aggregateFailed = fails;
        } else if (l.negated) {
            const ATOM& instance = scratchInstance(l, bindings.data());
            if (predicateTable.kinds[l.predicate] == KIND_EDB)
                holds = !edbFacts.contains(instance);
            else  // trueAtoms and the delta's true part (isKnownTrue), by hash
                holds = !(joinDelta ? isTrueAtom(instance, true) : trueAtoms.contains(instance));
        } else {
            holds = matchLiteral(l, matchers_[pos], bindings.data());
        }

        if (holds) {
            // Advance: the literal binds its variables afresh.
            for (int32_t w = 0; w < words; ++w)
                for (uint64_t bits = ctx.conflictVariables[w]; bits; bits &= bits - 1) {
                    const int32_t bit = __builtin_ctzll(bits);
                    if (ctx.binder[w * 64 + bit] == pos) ctx.conflictVariables[w] &= ~(uint64_t(1) << bit);
                }
            ++plan.cursor;
            if (plan.cursor < plan.literalCount) {
                if (hasMatcher(plan.cursor)) startMatcher(plan.cursor);
                fresh = true;
                continue;
            }
            // A complete binding.
            if (itemKind == ITEM_RULE)
                addGroundRule(*static_cast<const RULE*>(item), changed);
            else if (itemKind == ITEM_CONSTRAINT)
                addGroundConstraint(*static_cast<const CONSTRAINT*>(item));
            else
                addGroundWeakConstraint(*static_cast<const WEAKCONSTRAINT*>(item));
            --plan.cursor;
            if (state == 1) break;
            // Resume at the last literal whose bindings can change the stored instance.
            t = ctx.lastRelevant;
            afterSolution = ctx.lastRelevant;
            while (t != -1 && plan.at(t).isAggregate()) {
                setConflicts(t);
                afterSolution = ctx.previousRelevant[t];
                t = std::max(afterSolution, ctx.closestConflictBinder(t));
            }
            if (t != -1) afterSolution = ctx.previousRelevant[t];
            fresh = false;
            backtrack(t);
            if (t == -1) break;
            continue;
        }

        // Failure of the literal at pos.
        if (aggregateFailed) {
            setConflicts(pos);
            t = ctx.failTarget[pos];
            while (t != -1 && plan.at(t).isAggregate()) {
                setConflicts(t);
                t = ctx.closestConflictBinder(t);
            }
            backtrack(t);
            fresh = false;
            if (t == -1) break;  // no binding can make the aggregate hold
            continue;
        }
        if (pos != 0) {
            setConflicts(pos);
            if (fresh) {
                t = ctx.failTarget[pos];
                while (t != -1 && plan.at(t).isAggregate()) {
                    setConflicts(t);
                    t = ctx.closestConflictBinder(t);
                }
            } else {
                t = std::max(ctx.closestConflictBinder(pos), afterSolution);
                while (t != -1) {
                    if (plan.at(t).isAggregate()) {
                        setConflicts(t);
                        if (afterSolution == t) afterSolution = ctx.previousRelevant[t];
                        t = std::max(ctx.closestConflictBinder(t), afterSolution);
                    } else {
                        if (afterSolution == t) afterSolution = ctx.previousRelevant[t];
                        break;
                    }
                }
            }
            backtrack(t);
            fresh = false;
            if (t != -1) continue;
        } else {
            backtrack(-1);
        }

        // The pass is exhausted: on to the next semi-naive pass, if any.
        if (itemKind != ITEM_RULE || isExit || plan.exhausted || plan.deltaLiteral < 0 ||
            plan.deltaLiteral == plan.lastRecursiveLiteral || !OPTIONS.semiNaive)
            break;
        plan.nextDeltaLiteral();
        while (plan.empty && plan.state != 2) {
            if (plan.exhausted || plan.deltaLiteral == plan.lastRecursiveLiteral) break;
            plan.nextDeltaLiteral();
        }
        if (plan.state == 2) {
            state = 2;
            break;
        }
        if (plan.empty) break;
        prepareTargets();
        afterSolution = -1;
        plan.cursor = 0;
        startMatcher(0);
        fresh = true;
    }
    // An early stop leaves bindings behind; undo them for the next item.
    if (plan.cursor != 0 || state != 0) {
        backtrack(-1);
        for (TERM& b : bindings) b = TERM();
    }
    plan.cursor = 0;
}

}  // namespace veltra
