// grounding/store.cpp: turning one satisfied body instance into ground
// records: simplification against the known atoms, rules with their new
// head atoms for the semi-naive delta, constraints and weak constraints.
#include <algorithm>
#include <iostream>

#include "grounding/grounder.h"

namespace veltra {

// The integer value of an aggregate guard under bindings.
static int64_t guardValue(const TERM& guard, const TERM* bindings) {
    return integerValue(guard.isVariable() ? bindings[guard.index] : guard);
}

bool GROUNDER::isTrueAtom(const ATOM& atom, bool oldOnly) {
    const int32_t* generation = knownTrue_.find(atom);
    return generation && (!oldOnly || *generation < generation_);
}

void GROUNDER::addNewTrueAtom(const ATOM& atom) {
    auto [it, isNew] = newDelta->add(newDelta->trueAtoms, atom);
    if (isNew) knownTrue_.insert(*it, generation_);
}

bool GROUNDER::isHeadKnownTrue(const RULE& rule) {
    for (const ATOM& h : *rule.head)
        if (isTrueAtom(scratchInstance(h, bindings.data()), false)) return true;
    return false;
}

void GROUNDER::simplifyGroundBody(GROUNDCONJUNCTION& groundBody, const CONJUNCTION& body, const DELTA* d) {
    for (const LITERAL& l : body.literals) {
        const int32_t p = l.predicate;
        const int32_t kind = predicateTable.kinds[p];
        if (kind == KIND_AGGREGATE) {
            const AGGREGATEATOM& agg = *l.aggregate();
            const AGGREGATEFUNCTION& fn = agg.fn();
            if (noUndefinedAtoms[aggregateSetPredicate(l)] || agg.assignment) continue;
            int64_t lowerValue = guardValue(agg.lowerGuard, bindings.data());
            int64_t upperValue = agg.upperGuard.isVariable() ? guardValue(agg.upperGuard, bindings.data())
                                                             : upperGuardValue(agg.upperGuard);
            bool lowerHolds = lowerValue < fn.lower || (agg.lowerInclusive && lowerValue == fn.lower);
            bool upperHolds = upperValue > fn.upper || (agg.upperInclusive && upperValue == fn.upper);
            if (lowerHolds && upperHolds) continue;  // certainly true
            if (l.negated) {
                int64_t lo = agg.lowerInclusive ? lowerValue : lowerValue + 1;
                int64_t hi = agg.upperInclusive ? upperValue : upperValue - 1;
                if (!(lo <= hi && lo <= fn.upper && hi >= fn.lower)) continue;  // the aggregate is false
            }
            internAggregateLiteral(l, bindings.data(), groundBody);
            continue;
        }
        if (kind != KIND_IDB) continue;  // EDB and built-ins were decided by the join
        const ATOM& instance = scratchInstance(l, bindings.data());
        if (!l.negated) {
            // Rules read the delta; constraints come after the last merge.
            if (d ? isTrueAtom(instance, true) : trueAtoms.contains(instance)) continue;
        } else if (complete[p]) {
            if (noUndefinedAtoms[p]) continue;
            if (!undefinedAtoms.contains(instance) && !(d && d->undefinedAtoms.contains(instance))) continue;
        }
        groundBody.addLiteralIfAbsent(GROUNDLITERAL{internAtom(instance), l.negated});
    }
}

void GROUNDER::addGroundRule(const RULE& rule, bool& changed) {
    if (!rule.head || rule.head->empty()) return;
    if (isHeadKnownTrue(rule)) return;
    GROUNDCONJUNCTION& body = groundBody_;
    body.literals.clear();
    body.firstNegative = 0;
    if (rule.body) simplifyGroundBody(body, *rule.body, delta.get());
    const bool hasBody = !body.literals.empty();
    bool fact = !hasBody && rule.head->size() == 1;
    if (!fact) {
        groundHead_.clear();
        for (const ATOM& h : *rule.head) {
            ATOMID id = internAtom(scratchInstance(h, bindings.data()));
            if (std::find(groundHead_.begin(), groundHead_.end(), id) == groundHead_.end()) groundHead_.push_back(id);
        }
        fact = !hasBody && groundHead_.size() == 1;
    }
    if (fact) {
        const ATOM& a = scratchInstance((*rule.head)[0], bindings.data());
        const int32_t p = a.predicate;
        ATOMSET& undefinedPart = newDelta->undefinedAtoms;
        if (undefinedPart.contains(a)) {
            // Undefined earlier in this iteration: counted then already.
            addNewTrueAtom(a);
            undefinedPart.byPredicate[p].erase(a);
        } else {
            changed = true;
            addNewTrueAtom(a);
            ++newDeltaCounts[p];
        }
        return;
    }
    groundRules.emplace_back(&groundHead_, hasBody ? &body : nullptr);
    for (ATOMID h : groundHead_) {
        const ATOM& a = groundAtom(h);
        if (undefinedAtoms.contains(a) || delta->undefinedAtoms.contains(a) || newDelta->undefinedAtoms.contains(a))
            continue;
        newDelta->add(newDelta->undefinedAtoms, a);
        changed = true;
        noUndefinedAtoms[a.predicate] = 0;
        ++newDeltaCounts[a.predicate];
    }
}

void GROUNDER::addGroundConstraint(const CONSTRAINT& constraint) {
    GROUNDCONJUNCTION& body = groundBody_;
    body.literals.clear();
    body.firstNegative = 0;
    simplifyGroundBody(body, constraint.body, nullptr);
    if (!body.literals.empty()) {
        groundConstraints.emplace_back();
        groundConstraints.back().body = body;
        groundConstraints.back().body.recomputeFirstNegative();
        return;
    }
    state = GROUNDER_CONSTRAINT_VIOLATED;
    if (!printInstantiation) return;
    std::cout << "% The following constraint will always be violated\n% :- ";
    printLiterals(std::cout, constraint.body, ", ") << ".\n";
    std::cout << "% so this program does not have any answer set.\n"
                 ":- not a_Constant_Never_Occurring_In_Regular_Programs.\n";
    groundRules.clear();
    groundConstraints.clear();
}

// Weights are stored times 1000 in a 32-bit integer.
constexpr int32_t maxWeight = 2147483;

[[noreturn]] static void weakConstraintError(const char* message, const WEAKCONSTRAINT& w) {
    std::cout.flush();
    std::cerr << message;
    printProgramWeakConstraint(std::cerr, w) << '\n';
    std::exit(1);
}

void GROUNDER::addGroundWeakConstraint(const WEAKCONSTRAINT& w) {
    GROUNDCONJUNCTION& body = groundBody_;
    body.literals.clear();
    body.firstNegative = 0;
    simplifyGroundBody(body, w.body, nullptr);
    TERM weight = w.weight;
    if (weight.isVariable()) {
        const TERM& b = bindings[weight.index];
        if (b.kind != TERM_INTEGER || integerValue(b) < 0)
            weakConstraintError("Weight must be a non-negative integer in ", w);
        if (integerValue(b) > maxWeight) weakConstraintError("Weight must be at most 2147483 in ", w);
        weight = knownIntegerTerm(integerValue(b) * 1000);
    }
    TERM level = w.level;
    if (level.isVariable()) {
        const TERM& b = bindings[level.index];
        if (b.kind != TERM_INTEGER || integerValue(b) < 1) weakConstraintError("Level must be a positive integer in ", w);
        level = b;
    }
    if (weight.kind != TERM_INTEGER || integerValue(weight) != 0) {
        std::vector<GROUNDWEAKCONSTRAINT>& target = body.literals.empty() ? violatedWeakConstraints : groundWeakConstraints;
        target.emplace_back();
        target.back().body = body;
        target.back().body.recomputeFirstNegative();
        target.back().weight = weight;
        target.back().level = level;
    }
    if (level.kind == TERM_INTEGER &&
        static_cast<uint32_t>(integerValue(level)) > static_cast<uint32_t>(maxWeakConstraintLevel))
        maxWeakConstraintLevel = integerValue(level);
}

std::vector<int32_t> weakConstraintLevels() {
    std::vector<int32_t> levels;
    for (const auto* list : {&groundWeakConstraints, &violatedWeakConstraints})
        for (const GROUNDWEAKCONSTRAINT& w : *list)
            if (w.level.kind == TERM_INTEGER) levels.push_back(integerValue(w.level));
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    return levels;
}

}  // namespace veltra
