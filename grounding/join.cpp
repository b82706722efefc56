// grounding/join.cpp: the nested-loop join over a planned body with
// conflict-directed backjumping, iterative over body positions. For a rule in
// a recursive iteration it also runs the later semi-naive passes.
#include <algorithm>

#include "driver/options.h"
#include "grounding/grounder.h"

namespace veltra {

namespace {

// Backjumping targets of one pass. Variable sets are bit masks (variable
// numbers are below 60).
struct BACKJUMPCONTEXT {
    int32_t literalCount = 0;
    int32_t binder[MAXVARIABLES];        // position binding the variable first; -1 none
    std::vector<int32_t> failTarget;     // per position: largest binder of its variables but itself
    std::vector<int32_t> previousRelevant;  // per position: largest relevant binder below it
    std::vector<uint64_t> variables;     // per position: the literal's variables
    uint64_t relevantVariables = 0;      // variables whose values distinguish stored instances
    uint64_t conflictVariables = 0;      // involved in failures since their binders last advanced
    int32_t lastRelevant = -1;

    // The largest binder below q of a variable whose conflict bit is set.
    int32_t closestConflictBinder(int32_t q) const {
        int32_t best = -1;
        for (uint64_t bits = conflictVariables; bits; bits &= bits - 1) {
            int32_t b = binder[__builtin_ctzll(bits)];
            if (b < q && b > best) best = b;
        }
        return best;
    }
};

uint64_t literalVariables(const BODYPLAN& plan, int32_t bodyIndex) {
    const LITERAL& l = plan.literal(bodyIndex);
    if (l.isAggregate()) return plan.aggregateVariables[bodyIndex];
    uint64_t set = 0;
    if (const std::vector<TERM>* terms = l.terms())
        for (const TERM& t : *terms)
            if (t.isVariable()) set |= uint64_t(1) << t.index;
    return set;
}

}  // namespace

void GROUNDER::joinBody(BODYPLAN& plan, int32_t itemKind, bool isExit, const void* item, bool& changed,
                        uint64_t headVariables) {
    const DELTA* joinDelta = itemKind == ITEM_RULE ? delta.get() : nullptr;
    BACKJUMPCONTEXT ctx;
    ctx.relevantVariables = headVariables;

    auto prepareTargets = [&]() {
        const int32_t n = plan.literalCount;
        ctx.literalCount = n;
        ctx.failTarget.assign(n, -1);
        ctx.previousRelevant.assign(n, -1);
        ctx.variables.assign(n, 0);
        ctx.conflictVariables = 0;
        for (int32_t v = 0; v < MAXVARIABLES; ++v) ctx.binder[v] = -1;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t bodyIndex = plan.order[i];
            const LITERAL& l = plan.literal(bodyIndex);
            const uint64_t vars = literalVariables(plan, bodyIndex);
            ctx.variables[i] = vars;
            if (!l.negated) {
                if (l.isAggregate()) {
                    const AGGREGATEATOM& agg = *l.aggregate();
                    if (agg.assignment && agg.lowerGuard.isVariable() && ctx.binder[agg.lowerGuard.index] < 0)
                        ctx.binder[agg.lowerGuard.index] = i;
                } else {
                    for (uint64_t bits = vars; bits; bits &= bits - 1) {
                        int32_t v = __builtin_ctzll(bits);
                        if (ctx.binder[v] < 0) ctx.binder[v] = i;
                    }
                }
            }
            int32_t target = -1;
            for (uint64_t bits = vars; bits; bits &= bits - 1) {
                int32_t b = ctx.binder[__builtin_ctzll(bits)];
                if (b != i && b > target) target = b;
            }
            ctx.failTarget[i] = target;
            if (itemKind == ITEM_WEAKCONSTRAINT) {
                ctx.relevantVariables |= vars;
            } else {
                const int32_t p = l.isAggregate() ? aggregateSetPredicate(l) : l.predicate;
                if (!(complete[p] && noUndefinedAtoms[p])) ctx.relevantVariables |= vars;
            }
        }
        std::vector<uint8_t>& isRelevantBinder = relevantBinderScratch_;
        isRelevantBinder.assign(n, 0);
        for (uint64_t bits = ctx.relevantVariables; bits; bits &= bits - 1) {
            int32_t b = ctx.binder[__builtin_ctzll(bits)];
            if (b >= 0) isRelevantBinder[b] = 1;
        }
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
        matchers_[pos].start(l, bindings, joinDelta, plan.source[bodyIndex], predicateIndex->indexed[l.predicate]);
    };
    auto hasMatcher = [&](int32_t pos) {
        const LITERAL& l = plan.at(pos);
        return pos == 0 || !l.negated || l.isAggregate();
    };
    // Undoes literals down to position t (its own bindings included; its
    // matcher stays unless t is -1, so it continues with its next match).
    auto backtrack = [&](int32_t t) {
        while (plan.cursor != t && plan.cursor != 0) {
            if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), matchers_[plan.cursor], bindings);
            --plan.cursor;
        }
        if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), matchers_[plan.cursor], bindings);
    };
    auto setConflicts = [&](int32_t pos) { ctx.conflictVariables |= ctx.variables[pos]; };

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
            instantiateAggregateAtom(l, bindings);
            const bool fails = checkAggregateAssignment(l, bindings);
            if (!fails && state == 2) break;
            holds = !fails;
            aggregateFailed = fails;
        } else if (l.negated) {
            const ATOM& instance = scratchInstance(l, bindings);
            if (predicateTable.kinds[l.predicate] == KIND_EDB)
                holds = !edbFacts.contains(instance);
            else  // trueAtoms and the delta's true part (isKnownTrue), by hash
                holds = !(joinDelta ? isTrueAtom(instance, true) : trueAtoms.contains(instance));
        } else {
            holds = matchLiteral(l, matchers_[pos], bindings);
        }

        if (holds) {
            // Advance: the literal binds its variables afresh.
            for (uint64_t bits = ctx.conflictVariables; bits; bits &= bits - 1) {
                int32_t v = __builtin_ctzll(bits);
                if (ctx.binder[v] == pos) ctx.conflictVariables &= ~(uint64_t(1) << v);
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
