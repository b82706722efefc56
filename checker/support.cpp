// checker/support.cpp: the support fixpoint that removes supported atoms
// from a set under test, and the reduction of a rule to the atoms left.
#include <cassert>

#include "checker/modelchecker.h"

namespace veltra {

namespace {

// A body supports from outside the set when no positive atom is false or in
// the set and no negated atom is true. A missing body supports.
bool bodySupports(const GROUNDRULE& rule, const int32_t* values, const uint8_t* set) {
    if (!rule.body) return true;
    const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
    const size_t firstNegative = rule.body->firstNegative;
    for (size_t i = 0; i < firstNegative; ++i) {
        const ATOMID a = literals[i].atom;
        if (checkerFalse(values[a]) || set[a]) return false;
    }
    for (size_t i = firstNegative; i < literals.size(); ++i)
        if (checkerTrue(values[literals[i].atom])) return false;
    return true;
}

// One rule's share of a pass. The body is tested once, for the first head
// atom in the set; a head atom is supported when no other head position
// holds a true atom. Returns whether an atom was removed.
bool removeSupportedByRule(const GROUNDRULE& rule, const int32_t* values, uint8_t* set, uint32_t& count) {
    if (!rule.head) return false;
    const std::vector<ATOMID>& head = *rule.head;
    int32_t trueHeads = -1;  // true head positions; -1 until the body passed
    bool changed = false;
    for (ATOMID h : head) {
        if (!set[h]) continue;
        if (trueHeads < 0) {
            if (!bodySupports(rule, values, set)) return false;
            trueHeads = 0;
            for (ATOMID g : head) trueHeads += checkerTrue(values[g]);
        }
        if (trueHeads - int32_t(checkerTrue(values[h])) > 0) continue;
        set[h] = 0;
        assert(count > 0);
        --count;
        changed = true;
    }
    return changed;
}

}  // namespace

bool removeSupportedAtoms(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                          uint32_t& count) {
    const int32_t* values = interpretation.values.data();
    uint8_t* members = set->data();
    bool changed = false;
    for (const GROUNDRULE& rule : rules) changed |= removeSupportedByRule(rule, values, members, count);
    return changed;
}

bool removeSupportedComponentAtoms(RULEPOINTERS rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                                   uint32_t& count) {
    const int32_t* values = interpretation.values.data();
    uint8_t* members = set->data();
    bool changed = false;
    for (const GROUNDRULE* rule : rules) changed |= removeSupportedByRule(*rule, values, members, count);
    return changed;
}

bool reduceRule(const GROUNDRULE& rule, const INTERPRETATION& interpretation, const ATOMFLAGS* set,
                REDUCEDRULE& accumulator, bool exchangeRoles) {
    const int32_t* values = interpretation.values.data();
    const uint8_t* members = set->data();
    if (!rule.head || rule.head->empty()) return false;
    const std::vector<ATOMID>& head = *rule.head;
    // Body: a false literal, or a positive atom repeated in the head, drops the rule.
    if (rule.body) {
        const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
        for (size_t i = 0; i < literals.size(); ++i) {
            const ATOMID a = literals[i].atom;
            if (i >= rule.body->firstNegative) {
                if (checkerTrue(values[a])) return false;
                continue;
            }
            if (checkerFalse(values[a])) return false;
            for (ATOMID h : head)
                if (h == a) return false;
        }
    }
    // Head: every true head atom in the set, and at least one of them.
    bool trueInSet = false;
    for (ATOMID h : head) {
        if (!checkerTrue(values[h])) continue;
        if (!members[h]) return false;
        trueInSet = true;
    }
    if (!trueInSet) return false;

    // Positive body atoms in the set, then the true head atoms.
    if (rule.body) {
        const std::vector<GROUNDLITERAL>& literals = rule.body->literals;
        for (size_t i = 0; i < rule.body->firstNegative; ++i) {
            const ATOMID a = literals[i].atom;
            if (!members[a]) continue;
            if (exchangeRoles) {
                accumulator.head.push_back(a);
                accumulator.noHeadYet = false;
            } else {
                accumulator.body.addLiteral(GROUNDLITERAL{a, 0});
                accumulator.noBodyYet = false;
            }
        }
    }
    for (ATOMID h : head) {
        if (!checkerTrue(values[h])) continue;
        if (exchangeRoles) {
            accumulator.body.addLiteral(GROUNDLITERAL{h, 0});
            accumulator.noBodyYet = false;
        } else {
            accumulator.head.push_back(h);
            accumulator.noHeadYet = false;
        }
    }

    if (accumulator.noHeadYet) {
        assert(!accumulator.noBodyYet);
        GROUNDCONSTRAINT constraint;
        constraint.body = accumulator.body;
        accumulator.constraintsOut->push_back(std::move(constraint));
    } else {
        accumulator.rulesOut->emplace_back(&accumulator.head, &accumulator.body);
    }
    return true;
}

}  // namespace veltra
