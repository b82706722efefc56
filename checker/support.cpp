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

// Scratch of the linear fixpoint, kept between calls so that a call
// allocates nothing once the arrays are big enough. localOf is -1 at rest.
struct FIXPOINTSCRATCH {
    std::vector<int32_t> localOf;    // per ground atom: index into touched, -1 when none
    std::vector<int32_t> touched;    // atoms given a local index by this call
    std::vector<int32_t> pending;    // per rule: positive body positions in the set; -1 inert
    std::vector<int32_t> trueHeads;  // per rule: head positions holding a true atom
    std::vector<int32_t> start;      // per local atom: first entry in watchers, then a fill cursor
    std::vector<int32_t> watchers;   // rules with the atom positively in their body, one entry per position
    std::vector<int32_t> fill;       // per local atom: next free entry in watchers
    std::vector<ATOMID> removed;     // atoms removed, not yet propagated
};
FIXPOINTSCRATCH fixpoint;

// A rule whose body lost its last positive atom in the set supports every
// head atom in the set unless another head position is true.
void fireRule(const GROUNDRULE& rule, int32_t trueHeads, const int32_t* values, uint8_t* set, uint32_t& count) {
    for (ATOMID h : *rule.head) {
        if (!set[h] || trueHeads - int32_t(checkerTrue(values[h])) > 0) continue;
        set[h] = 0;
        assert(count > 0);
        --count;
        fixpoint.removed.push_back(h);
    }
}

// The fixpoint of the pass, by counting: a rule becomes able to support once
// the last positive body atom of the set leaves it. Removal only ever helps,
// so the result is that of repeating the pass, at the cost of one walk over
// the rules and one over the watch lists. rule(i) gives the i-th of ruleCount.
template <class RULEAT>
void linearFixpoint(size_t ruleCount, RULEAT rule, const INTERPRETATION& interpretation, ATOMFLAGS& set,
                    uint32_t& count) {
    FIXPOINTSCRATCH& f = fixpoint;
    const int32_t* values = interpretation.values.data();
    uint8_t* members = set.data();
    if (f.localOf.size() < set.size()) f.localOf.resize(set.size(), -1);
    f.pending.assign(ruleCount, -1);
    f.trueHeads.resize(ruleCount);
    f.touched.clear();
    f.start.clear();
    f.removed.clear();

    // Count: rules whose head meets the set, with at most one true head
    // position, and whose body is not blocked.
    for (size_t i = 0; i < ruleCount; ++i) {
        const GROUNDRULE& r = rule(i);
        if (!r.head) continue;
        bool meets = false;
        int32_t trueHeads = 0;
        for (ATOMID h : *r.head) {
            meets |= members[h] != 0;
            trueHeads += checkerTrue(values[h]);
        }
        if (!meets) continue;  // the set only shrinks: it never will
        // With two true head positions, every head atom has another one true:
        // the rule supports none of them.
        if (trueHeads > 1) continue;
        int32_t pending = 0;
        bool blocked = false;
        if (r.body) {
            const std::vector<GROUNDLITERAL>& literals = r.body->literals;
            for (size_t k = 0; k < r.body->firstNegative && !blocked; ++k) {
                blocked = checkerFalse(values[literals[k].atom]);
                pending += members[literals[k].atom] != 0;
            }
            for (size_t k = r.body->firstNegative; k < literals.size() && !blocked; ++k)
                blocked = checkerTrue(values[literals[k].atom]);
        }
        if (blocked) continue;
        f.pending[i] = pending;
        f.trueHeads[i] = trueHeads;
        if (pending == 0) continue;
        for (size_t k = 0; k < r.body->firstNegative; ++k) {
            const ATOMID a = r.body->literals[k].atom;
            if (!members[a]) continue;
            if (f.localOf[a] < 0) {
                f.localOf[a] = int32_t(f.touched.size());
                f.touched.push_back(a);
                f.start.push_back(0);
            }
            ++f.start[size_t(f.localOf[a])];
        }
    }

    // Watch lists: prefix sums, then each counted position filled in.
    int32_t total = 0;
    for (int32_t& s : f.start) {
        const int32_t n = s;
        s = total;
        total += n;
    }
    f.start.push_back(total);
    f.watchers.resize(size_t(total));
    f.fill.assign(f.start.begin(), f.start.end() - 1);
    for (size_t i = 0; i < ruleCount; ++i) {
        if (f.pending[i] <= 0) continue;
        const GROUNDRULE& r = rule(i);
        const std::vector<GROUNDLITERAL>& literals = r.body->literals;
        for (size_t k = 0; k < r.body->firstNegative; ++k) {
            const ATOMID a = literals[k].atom;
            if (members[a]) f.watchers[size_t(f.fill[size_t(f.localOf[a])]++)] = int32_t(i);
        }
    }

    // Rules free of set atoms support now; each removal may free more.
    for (size_t i = 0; i < ruleCount; ++i)
        if (f.pending[i] == 0) fireRule(rule(i), f.trueHeads[i], values, members, count);
    while (!f.removed.empty()) {
        const ATOMID a = f.removed.back();
        f.removed.pop_back();
        const int32_t local = f.localOf[a];
        if (local < 0) continue;
        for (int32_t w = f.start[size_t(local)]; w < f.start[size_t(local) + 1]; ++w) {
            const int32_t i = f.watchers[size_t(w)];
            if (--f.pending[size_t(i)] == 0) fireRule(rule(size_t(i)), f.trueHeads[size_t(i)], values, members, count);
        }
    }
    for (ATOMID a : f.touched) f.localOf[a] = -1;
}

}  // namespace

void supportFixpoint(const std::vector<GROUNDRULE>& rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                     uint32_t& count) {
    if (count == 0) return;
    linearFixpoint(
        rules.size(), [&](size_t i) -> const GROUNDRULE& { return rules[i]; }, interpretation, *set, count);
}

void componentSupportFixpoint(RULEPOINTERS rules, const INTERPRETATION& interpretation, ATOMFLAGS* set,
                              uint32_t& count) {
    if (count == 0) return;
    linearFixpoint(
        rules.size(), [&](size_t i) -> const GROUNDRULE& { return *rules[i]; }, interpretation, *set, count);
}

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
    auto toHead = [&](ATOMID a) {
        accumulator.head.push_back(a);
        accumulator.noHeadYet = false;
    };
    auto toBody = [&](ATOMID a) {
        accumulator.body.addLiteral(GROUNDLITERAL{a, 0});
        accumulator.noBodyYet = false;
    };
    const int32_t* values = interpretation.values.data();
    const bool kept = exchangeRoles ? reduceRuleWith(rule, values, set->data(), toHead, toBody)
                                    : reduceRuleWith(rule, values, set->data(), toBody, toHead);
    if (!kept) return false;

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
