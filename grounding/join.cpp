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
    if (const TERMLIST* terms = l.terms())
        for (const TERM& t : *terms)
            if (t.isVariable()) setVariableBit(set, t.index);
}

}  // namespace

// One join of a planned body: a nested loop over the positions of
// plan.order, each literal matched against what is known, with
// conflict-directed backjumping; for a rule in a recursive iteration, one
// pass per delta literal. The steps below run in the order of run().
struct GROUNDER::JOIN {
    // What a literal test found.
    enum OUTCOME : int32_t { HOLDS, FAILS, AGGREGATE_FAILS, GROUNDING_ERROR };
    // Why the join jumps back: a complete binding was stored; a literal
    // failed at its first try, or an aggregate failed; a literal resumed
    // after a backjump ran out of matches.
    enum CAUSE : int32_t { AFTER_SOLUTION, FIRST_FAILURE, LATER_FAILURE };

    GROUNDER& g;
    BODYPLAN& plan;
    const int32_t itemKind;  // ITEM_RULE, ITEM_CONSTRAINT or ITEM_WEAKCONSTRAINT
    const bool isExit;
    const void* const item;  // the RULE, CONSTRAINT or WEAKCONSTRAINT
    bool& changed;
    const DELTA* const joinDelta;  // rules only; null otherwise
    const int32_t words;           // plan.variableWords
    BACKJUMPCONTEXT ctx;
    // After a solution: the last relevant position below the one the join
    // resumed at; a later failure jumps back no further than it. -1: none.
    int32_t afterSolution = -1;
    // The literal at the cursor was reached by advancing, not resumed after
    // a backjump.
    bool fresh = true;

    JOIN(GROUNDER& grounder, BODYPLAN& bodyPlan, int32_t kind, bool exit, const void* joined, bool& changedFlag,
         const uint64_t* headVariables)
        : g(grounder),
          plan(bodyPlan),
          itemKind(kind),
          isExit(exit),
          item(joined),
          changed(changedFlag),
          joinDelta(kind == ITEM_RULE ? grounder.delta.get() : nullptr),
          words(bodyPlan.variableWords) {
        ctx.words = words;
        ctx.relevantVariables.assign(words, 0);
        if (headVariables) std::copy(headVariables, headVariables + words, ctx.relevantVariables.begin());
        ctx.conflictVariables.assign(words, 0);
        if (g.matchers_.size() < size_t(plan.literalCount)) g.matchers_.resize(plan.literalCount);
    }

    // The backjumping targets of the current pass: binders, fail targets,
    // relevant variables and positions; no conflicts.
    void prepareTargets() {
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
            if (itemKind == ITEM_WEAKCONSTRAINT || !(g.complete[p] && g.noUndefinedAtoms[p]))
                for (int32_t w = 0; w < words; ++w) ctx.relevantVariables[w] |= vars[w];
        }
        std::vector<uint8_t>& isRelevantBinder = g.relevantBinderScratch_;
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
    }

    void startMatcher(int32_t pos) {
        const int32_t bodyIndex = plan.order[pos];
        const LITERAL& l = plan.literal(bodyIndex);
        g.matchers_[pos].start(l, g.bindings.data(), joinDelta, plan.source[bodyIndex],
                               predicateIndex->indexed[l.predicate]);
    }
    bool hasMatcher(int32_t pos) const {
        const LITERAL& l = plan.at(pos);
        return pos == 0 || !l.negated || l.isAggregate();
    }

    // A pass from the first position on.
    void startPass() {
        prepareTargets();
        afterSolution = -1;
        plan.cursor = 0;
        startMatcher(0);
        fresh = true;
    }

    // Tests the literal at pos under the current bindings; a positive
    // literal takes its next match.
    OUTCOME testLiteral(int32_t pos) {
        const LITERAL& l = plan.at(pos);
        if (l.isAggregate()) {
            g.instantiateAggregateAtom(l, g.bindings.data());
            const bool fails = g.checkAggregateAssignment(l, g.bindings.data());
            if (!fails && g.state == GROUNDER_ERROR) return GROUNDING_ERROR;
            return fails ? AGGREGATE_FAILS : HOLDS;
        }
        bool holds;
        if (l.negated) {
            const ATOM& instance = scratchInstance(l, g.bindings.data());
            if (predicateTable.kinds[l.predicate] == KIND_EDB)
                holds = !edbFacts.contains(instance);
            else  // trueAtoms and the delta's true part (isKnownTrue), by hash
                holds = !(joinDelta ? g.isTrueAtom(instance, true) : trueAtoms.contains(instance));
        } else {
            holds = matchLiteral(l, g.matchers_[pos], g.bindings.data());
        }
        return holds ? HOLDS : FAILS;
    }

    // The literal at pos holds: it binds its variables afresh, so their
    // conflicts are forgotten, and the join moves on. False when the binding
    // is complete (the cursor then stands past the last position).
    bool advance(int32_t pos) {
        for (int32_t w = 0; w < words; ++w)
            for (uint64_t bits = ctx.conflictVariables[w]; bits; bits &= bits - 1) {
                const int32_t bit = __builtin_ctzll(bits);
                if (ctx.binder[w * 64 + bit] == pos) ctx.conflictVariables[w] &= ~(uint64_t(1) << bit);
            }
        ++plan.cursor;
        if (plan.cursor == plan.literalCount) return false;
        if (hasMatcher(plan.cursor)) startMatcher(plan.cursor);
        fresh = true;
        return true;
    }

    // Stores the ground instance of the complete binding.
    void storeInstance() {
        if (itemKind == ITEM_RULE)
            g.addGroundRule(*static_cast<const RULE*>(item), changed);
        else if (itemKind == ITEM_CONSTRAINT)
            g.addGroundConstraint(*static_cast<const CONSTRAINT*>(item));
        else
            g.addGroundWeakConstraint(*static_cast<const WEAKCONSTRAINT*>(item));
    }

    void setConflicts(int32_t pos) {
        const uint64_t* vars = ctx.variablesAt(pos);
        for (int32_t w = 0; w < words; ++w) ctx.conflictVariables[w] |= vars[w];
    }

    // The position to resume at, -1 when the pass is over. After a solution
    // the join resumes at the last literal whose bindings can change the
    // stored instance; a first failure jumps to the binder of the literal's
    // variables; a later failure to the closest binder of a conflicting
    // variable, but no further back than afterSolution. An aggregate target
    // binds nothing a retry would change: its variables become conflicts and
    // the jump goes on past it. Keeps afterSolution up to date.
    int32_t backjumpTarget(int32_t pos, CAUSE cause) {
        int32_t t;
        if (cause == AFTER_SOLUTION) {
            t = afterSolution = ctx.lastRelevant;
        } else {
            setConflicts(pos);
            t = cause == FIRST_FAILURE ? ctx.failTarget[pos] : std::max(ctx.closestConflictBinder(pos), afterSolution);
        }
        while (t != -1 && plan.at(t).isAggregate()) {
            setConflicts(t);
            if (cause == AFTER_SOLUTION || (cause == LATER_FAILURE && afterSolution == t))
                afterSolution = ctx.previousRelevant[t];
            t = cause == FIRST_FAILURE ? ctx.closestConflictBinder(t)
                                       : std::max(ctx.closestConflictBinder(t), afterSolution);
        }
        if (t != -1 && (cause == AFTER_SOLUTION || (cause == LATER_FAILURE && afterSolution == t)))
            afterSolution = ctx.previousRelevant[t];
        return t;
    }

    // Undoes literals down to position t (its own bindings included; its
    // matcher stays unless t is -1, so it continues with its next match).
    void backtrack(int32_t t) {
        while (plan.cursor != t && plan.cursor != 0) {
            if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), g.matchers_[plan.cursor], g.bindings.data());
            --plan.cursor;
        }
        if (hasMatcher(plan.cursor)) unbindLiteral(plan.at(plan.cursor), g.matchers_[plan.cursor], g.bindings.data());
    }

    // Backtracks to t; true when the pass goes on there.
    bool jumpBack(int32_t t) {
        backtrack(t);
        fresh = false;
        return t != -1;
    }

    // The pass is exhausted: starts the next semi-naive pass of a rule in a
    // recursive iteration. False when there is none (or the plan failed,
    // which stops the grounder).
    bool nextPass() {
        if (itemKind != ITEM_RULE || isExit || plan.exhausted || plan.deltaLiteral < 0 ||
            plan.deltaLiteral == plan.lastRecursiveLiteral || !OPTIONS.semiNaive)
            return false;
        plan.nextDeltaLiteral();
        while (plan.empty && plan.state != PLAN_ERROR) {
            if (plan.exhausted || plan.deltaLiteral == plan.lastRecursiveLiteral) break;
            plan.nextDeltaLiteral();
        }
        if (plan.state == PLAN_ERROR) {
            g.state = GROUNDER_ERROR;
            return false;
        }
        if (plan.empty) return false;
        startPass();
        return true;
    }

    void run() {
        startPass();
        while (true) {
            const int32_t pos = plan.cursor;
            const OUTCOME outcome = testLiteral(pos);
            if (outcome == GROUNDING_ERROR) break;
            if (outcome == HOLDS) {
                if (advance(pos)) continue;
                storeInstance();
                --plan.cursor;
                if (g.state == GROUNDER_CONSTRAINT_VIOLATED) break;
                if (jumpBack(backjumpTarget(pos, AFTER_SOLUTION))) continue;
                break;
            }
            if (outcome == AGGREGATE_FAILS) {
                if (jumpBack(backjumpTarget(pos, FIRST_FAILURE))) continue;
                break;  // no binding can make the aggregate hold
            }
            if (pos != 0) {
                if (jumpBack(backjumpTarget(pos, fresh ? FIRST_FAILURE : LATER_FAILURE))) continue;
            } else {
                backtrack(-1);
            }
            if (!nextPass()) break;
        }
        // An early stop leaves bindings behind; undo them for the next item.
        if (plan.cursor != 0 || g.state != GROUNDER_RUNNING) {
            backtrack(-1);
            for (TERM& b : g.bindings) b = TERM();
        }
        plan.cursor = 0;
    }
};

void GROUNDER::joinBody(BODYPLAN& plan, int32_t itemKind, bool isExit, const void* item, bool& changed,
                        const uint64_t* headVariables) {
    JOIN join(*this, plan, itemKind, isExit, item, changed, headVariables);
    join.run();
}

}  // namespace veltra
