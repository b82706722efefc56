// generator/aggregates.cpp: aggregate literals during the search: the
// membership lists, the incremental bounds kept on the aggregate functions
// (saved on aggregateTrail before every change), the decision of aggregate
// atoms from their bounds, and the forcing of elements by an aggregate atom
// that must be true or is false.
#include <algorithm>
#include <climits>

#include "generator/modelgenerator.h"

namespace veltra {

namespace {

int64_t elementValue(const GROUNDSETELEMENT& e) { return integerValue(e.value); }

// In a set ordered by value: the first element of value at least x, and the
// first of value above x.
std::vector<GROUNDSETELEMENT>::const_iterator firstFrom(const std::vector<GROUNDSETELEMENT>& set, int64_t x) {
    return std::partition_point(set.begin(), set.end(), [&](const GROUNDSETELEMENT& e) { return elementValue(e) < x; });
}
std::vector<GROUNDSETELEMENT>::const_iterator firstAbove(const std::vector<GROUNDSETELEMENT>& set, int64_t x) {
    return std::partition_point(set.begin(), set.end(), [&](const GROUNDSETELEMENT& e) { return elementValue(e) <= x; });
}

// Product of the positive values of a set's elements, saturating.
int64_t positiveProduct(const GROUNDSET& set) {
    int64_t p = 1;
    for (const GROUNDSETELEMENT& e : set)
        if (elementValue(e) > 0) p = saturatingMul(p, elementValue(e));
    return p;
}

}  // namespace

void MODELGENERATOR::registerAggregateAtom(int32_t atom) {
    int32_t slot = aggregateAtomSlot[atom];
    int32_t g = aggregateAtomInfo[slot].aggregate;
    if (g < 0 || size_t(g) >= aggregateSeen_.size()) return;
    if (!aggregateSeen_[g]) {
        aggregateSeen_[g] = 1;
        registeredAggregates_.push_back(g);
        const AGGREGATEFUNCTION& f = aggregateFunction(g);
        if (f.kind == AGG_TIMES) {
            // The upper bound is the product of the positive values of the
            // elements not false: those true before the run (not in the set)
            // times those of the set. Keep the first factor.
            const TIMESFUNCTION& t = static_cast<const TIMESFUNCTION&>(f);
            int64_t setPart = positiveProduct(f.set());
            if (!isSaturated(f.upper))
                timesBase[g] = f.upper / setPart;
            else
                timesBase[g] = t.trueProduct > 0 && !isSaturated(t.trueProduct) ? t.trueProduct : BOUNDLIMIT;
            for (const GROUNDSETELEMENT& e : f.set())
                if (elementValue(e) >= 2) ++timesFactors[g];
        }
    }
    if (!aggregateAtomSeen_[slot]) {
        aggregateAtomSeen_[slot] = 1;
        registeredAtoms_.emplace_back(g, atom);
    }
}

void MODELGENERATOR::buildAggregateLists(const INTERPRETATION& I) {
    const int32_t n = groundAtomCount;
    FLATLISTSBUILDER<AGGREGATEMEMBERSHIP, uint32_t> memberships(aggregateMemberships, size_t(n));
    for (int32_t g : registeredAggregates_)
        for (const GROUNDSETELEMENT& e : aggregateFunction(g).set()) memberships.count(e.atom);
    memberships.layOut();
    for (int32_t g : registeredAggregates_)
        for (const GROUNDSETELEMENT& e : aggregateFunction(g).set())
            memberships.add(e.atom, AGGREGATEMEMBERSHIP{g, e.value});

    FLATLISTSBUILDER<int32_t, uint32_t> atoms(aggregateAtoms, aggregateSeen_.size());
    for (const auto& [g, atom] : registeredAtoms_) atoms.count(g);
    atoms.layOut();
    for (const auto& [g, atom] : registeredAtoms_) atoms.add(g, atom);

    // The true elements of #max and #min sets: those true already, then
    // each one as it is made true.
    auto extreme = [&](int32_t g) {
        const int32_t kind = aggregateFunction(g).kind;
        return kind == AGG_MAX || kind == AGG_MIN;
    };
    FLATLISTSBUILDER<int32_t, uint32_t> extremes(extremeMemberships, size_t(n));
    bool any = false;
    for (int32_t g : registeredAggregates_)
        if (extreme(g))
            for (const GROUNDSETELEMENT& e : aggregateFunction(g).set()) {
                extremes.count(e.atom);
                any = true;
            }
    if (!any) {
        extremeMemberships.clear();
        return;
    }
    extremes.layOut();
    for (int32_t g : registeredAggregates_)
        if (extreme(g))
            for (const GROUNDSETELEMENT& e : aggregateFunction(g).set()) {
                extremes.add(e.atom, g);
                if (isTrueValue(I.values[e.atom])) ++trueElements[g];
            }
}

// Before the atoms of the level are restored: an atom made true on the level
// leaves the count of its sets. Only two assignments make an atom true:
// must-be-true to true (logged with must-be-true) and undefined to assumed
// (the atom stays assumed until the level is undone), so the log entry and
// the value now tell which entries made one.
void MODELGENERATOR::uncountUndoneTrueElements(const INTERPRETATION& I) {
    for (size_t k = I.atomLog.size(); k-- > 0;) {
        const ATOMLOGENTRY& e = I.atomLog[k];
        if (e.atom < 0) break;
        if (e.oldValue == TV_MUSTBETRUE || (e.oldValue == TV_UNDEFINED && I.values[e.atom] == TV_ASSUMED))
            for (int32_t g : extremeMemberships[e.atom]) --trueElements[g];
    }
}

// The element that held the potential maximum changed. The potential
// maximum is kept as the greatest element that is not false (undefined, or
// true with its event perhaps still queued), so that the upper bound never
// drops below an element made true whose event is still waiting; the true
// maximum takes each true element when its event is handled. Every element
// above the old potential maximum is false (undoing restores the extreme
// together with the values), so the walk starts there.
void MODELGENERATOR::recomputeMaxExtremes(AGGREGATEFUNCTION& f, INTERPRETATION& I) {
    const std::vector<GROUNDSETELEMENT>& set = f.set().elements;
    const int64_t old = f.getPotentialMax();
    auto end = std::partition_point(set.begin(), set.end(), [&](const GROUNDSETELEMENT& e) { return elementValue(e) <= old; });
    f.setPotentialMax(INT_MIN);
    for (auto e = end; e != set.begin();) {
        --e;
        if (I.values[e->atom] != TV_FALSE) {
            f.setPotentialMax(static_cast<int32_t>(elementValue(*e)));
            break;
        }
    }
}

// The mirror image: the least element that is not false, from the old
// potential minimum up.
void MODELGENERATOR::recomputeMinExtremes(AGGREGATEFUNCTION& f, INTERPRETATION& I) {
    const std::vector<GROUNDSETELEMENT>& set = f.set().elements;
    const int64_t old = f.getPotentialMin();
    auto e = std::partition_point(set.begin(), set.end(), [&](const GROUNDSETELEMENT& x) { return elementValue(x) < old; });
    f.setPotentialMin(INT_MAX);
    for (; e != set.end(); ++e)
        if (I.values[e->atom] != TV_FALSE) {
            f.setPotentialMin(static_cast<int32_t>(elementValue(*e)));
            break;
        }
}

void MODELGENERATOR::refreshExtremes(int32_t aggregate, int32_t value, INTERPRETATION& I) {
    AGGREGATEFUNCTION& f = aggregateFunction(aggregate);
    if (f.kind == AGG_MAX && value == f.getPotentialMax())
        recomputeMaxExtremes(f, I);
    else if (f.kind == AGG_MIN && value == f.getPotentialMin())
        recomputeMinExtremes(f, I);
}

// A saturated #times upper bound cannot be divided back when an element
// becomes false: it is recomputed from the base and the elements that are
// not false, greatest first, until it saturates again.
void MODELGENERATOR::recomputeTimesUpper(int32_t aggregate, INTERPRETATION& I) {
    AGGREGATEFUNCTION& f = aggregateFunction(aggregate);
    int64_t p = timesBase[aggregate];
    if (p == 0 || f.upper == 0) return;
    const std::vector<GROUNDSETELEMENT>& set = f.set().elements;
    for (auto e = set.rbegin(); e != set.rend() && !isSaturated(p); ++e) {
        int64_t value = elementValue(*e);
        if (value > 1 && I.values[e->atom] != TV_FALSE) p = saturatingMul(p, value);
    }
    f.upper = p;
}

void MODELGENERATOR::setDecidedSuffix(int32_t aggregate, size_t suffix) {
    if (decidedSuffix[aggregate] == suffix) return;
    // Saved once per level: an entry of this level still on the trail is
    // this level's own, since leaving a level pops its entries.
    const size_t p = decidedSavedAt[aggregate];
    const bool saved = p < decidedTrail.size() && decidedTrail[p].aggregate == aggregate && decidedTrail[p].level == level;
    if (level > 0 && !saved) {
        decidedSavedAt[aggregate] = uint32_t(decidedTrail.size());
        decidedTrail.push_back(DECIDEDSAVE{aggregate, level, decidedSuffix[aggregate]});
    }
    decidedSuffix[aggregate] = uint32_t(suffix);
}

void MODELGENERATOR::undoDecidedSuffixes() {
    while (!decidedTrail.empty() && decidedTrail.back().level > level) {
        decidedSuffix[decidedTrail.back().aggregate] = decidedTrail.back().suffix;
        decidedTrail.pop_back();
    }
}

bool MODELGENERATOR::updateAggregatesOf(int32_t atom, bool becameTrue, INTERPRETATION& I) {
    for (const AGGREGATEMEMBERSHIP& m : aggregateMemberships[atom]) {
        const int32_t g = m.aggregate;
        AGGREGATEFUNCTION& f = aggregateFunction(g);
        // Only #max, #min and #times read the value below; a #count element
        // may be a symbolic constant, which has no integer value.
        const int32_t value = integerOrZero(m.value);
        aggregateTrail.push(level, &f, g);
        refreshExtremes(g, value, I);
        const bool saturatedBefore = isSaturated(f.upper);
        f.setTruthValue(m.value, becameTrue);
        if (f.kind == AGG_TIMES && !becameTrue && value >= 2) {
            // With 62 large factors left the product stays saturated.
            --timesFactors[g];
            if (saturatedBefore && (timesFactors[g] < 62 || timesBase[g] < 1)) recomputeTimesUpper(g, I);
        }
        const int64_t T = f.lower, P = f.upper;
        for (int32_t x : aggregateAtoms[g]) {
            const AGGREGATEATOMINFO& info = aggregateAtomInfo[aggregateAtomSlot[x]];
            const int64_t L = info.lowerGuard, U = info.upperGuard;
            int32_t v = I.values[x];
            if (U < L || P < L || U < T) {
                if (isTrueOrMustBeTrue(v)) return false;
                if (v == TV_UNDEFINED) setFalse(x, I);
            } else if (L <= T && P <= U) {
                if (v == TV_FALSE) return false;
                if (v == TV_UNDEFINED)
                    setTrueDirectly(x, I);
                else if (v == TV_MUSTBETRUE)
                    setSupported(x, I);
            }
            v = I.values[x];
            if (v == TV_MUSTBETRUE)
                onAggregateAtomMustBeTrue(x, I);
            else if (v == TV_FALSE)
                onAggregateAtomFalse(x, I);
        }
    }
    return true;
}

void MODELGENERATOR::forceUndecided(int32_t aggregate, const std::vector<GROUNDSETELEMENT>& set, int force,
                                    INTERPRETATION& I) {
    for (const GROUNDSETELEMENT& e : set)
        if (I.values[e.atom] == TV_UNDEFINED) force == FORCE_FALSE ? setFalse(e.atom, I) : setMustBeTrue(e.atom, I);
    aggregateElementsScanned += set.size();
    setDecidedSuffix(aggregate, set.size());
}

template <class DECIDE>
void MODELGENERATOR::forceFromLast(int32_t aggregate, const std::vector<GROUNDSETELEMENT>& set, INTERPRETATION& I,
                                   DECIDE&& decide) {
    const size_t n = set.size(), start = decidedSuffix[aggregate];
    size_t i = start;
    for (; i < n; ++i) {
        const GROUNDSETELEMENT& e = set[n - 1 - i];
        if (I.values[e.atom] != TV_UNDEFINED) continue;
        const int force = decide(elementValue(e));
        if (force == FORCE_STOP) break;
        force == FORCE_FALSE ? setFalse(e.atom, I) : setMustBeTrue(e.atom, I);
    }
    aggregateElementsScanned += i - start;
    setDecidedSuffix(aggregate, i);
}

void MODELGENERATOR::onAggregateAtomMustBeTrue(int32_t atom, INTERPRETATION& I) {
    const AGGREGATEATOMINFO& info = aggregateAtomInfo[aggregateAtomSlot[atom]];
    if (info.aggregate < 0) return;
    const AGGREGATEFUNCTION& f = aggregateFunction(info.aggregate);
    const int64_t L = info.lowerGuard, U = info.upperGuard, T = f.lower, P = f.upper;
    const std::vector<GROUNDSETELEMENT>& set = f.set().elements;
    auto undefined = [&](const GROUNDSETELEMENT& e) { return I.values[e.atom] == TV_UNDEFINED; };
    switch (f.kind) {
    case AGG_COUNT:
        if (decidedSuffix[info.aggregate] == set.size()) break;
        if (T == U)
            forceUndecided(info.aggregate, set, FORCE_FALSE, I);
        else if (P == L)
            forceUndecided(info.aggregate, set, FORCE_TRUE, I);
        break;
    case AGG_SUM:
        forceFromLast(info.aggregate, set, I, [&](int64_t v) {
            return saturatingAdd(T, v) > U ? FORCE_FALSE : saturatingAdd(P, -v) >= L ? FORCE_STOP : FORCE_TRUE;
        });
        break;
    case AGG_TIMES:
        forceFromLast(info.aggregate, set, I, [&](int64_t v) {
            return saturatingMul(T, v) > U ? FORCE_FALSE : v < 1 || P / v >= L ? FORCE_STOP : FORCE_TRUE;
        });
        break;
    case AGG_MAX:
        // From the greatest value down: elements above U are false; the first
        // undefined element in [L, U] must be true when no other element
        // there can give the maximum: none is undefined, true or must-be-true
        // (a must-be-true element counts: it will be true). Whatever that test
        // says, it says the same for every later element in [L, U]; elements
        // below L are left alone. When the known maximum (T: the true
        // elements, those grounding folded in included) already lies in
        // [L, U], only the elements above U are excluded: forcing one in
        // the range would lose answer sets. Every element above P is false,
        // so the walk starts below it, and with P not above U there is
        // nothing to exclude.
        if (T >= L && T <= U && P <= U) break;
        for (auto e = std::make_reverse_iterator(firstAbove(set, P)); e != set.rend(); ++e) {
            if (!undefined(*e)) continue;
            int64_t v = elementValue(*e);
            if (v > U) {
                setFalse(e->atom, I);
                continue;
            }
            if (v < L || (T >= L && T <= U)) break;
            bool other = false;
            for (auto o = firstFrom(set, L); o != set.end() && elementValue(*o) <= U; ++o)
                if (&*o != &*e && I.values[o->atom] != TV_FALSE) {
                    other = true;
                    break;
                }
            if (!other) setMustBeTrue(e->atom, I);
            break;
        }
        break;
    default: break;  // #min, #any, #avg: nothing is forced
    }
}

void MODELGENERATOR::onAggregateAtomFalse(int32_t atom, INTERPRETATION& I) {
    const AGGREGATEATOMINFO& info = aggregateAtomInfo[aggregateAtomSlot[atom]];
    if (info.aggregate < 0) return;
    const AGGREGATEFUNCTION& f = aggregateFunction(info.aggregate);
    const int64_t L = info.lowerGuard, U = info.upperGuard, T = f.lower, P = f.upper;
    const std::vector<GROUNDSETELEMENT>& set = f.set().elements;
    auto undefined = [&](const GROUNDSETELEMENT& e) { return I.values[e.atom] == TV_UNDEFINED; };
    auto anyTrue = [&]() { return trueElements[info.aggregate] > 0; };
    // Every undefined element between the guards false, once: they stay
    // decided until the level is undone (n events each rescanning the range).
    auto falseBetweenGuards = [&]() {
        const int32_t decided = rangeDecided(aggregateAtomSlot[atom]);
        if (decidedSuffix[decided]) return;
        const auto first = firstFrom(set, L);
        auto e = first;
        for (; e != set.end() && elementValue(*e) <= U; ++e)
            if (undefined(*e)) setFalse(e->atom, I);
        aggregateElementsScanned += uint64_t(e - first);
        setDecidedSuffix(decided, 1);
    };
    switch (f.kind) {
    case AGG_COUNT:
        if (decidedSuffix[info.aggregate] == set.size()) break;
        if (T >= L && P - 1 == U)
            forceUndecided(info.aggregate, set, FORCE_TRUE, I);
        else if (P <= U && T == L - 1)
            forceUndecided(info.aggregate, set, FORCE_FALSE, I);
        break;
    case AGG_SUM:
        forceFromLast(info.aggregate, set, I, [&](int64_t v) {
            return P <= U && saturatingAdd(T, v) >= L ? FORCE_FALSE : T < L || saturatingAdd(P, -v) > U ? FORCE_STOP : FORCE_TRUE;
        });
        break;
    case AGG_TIMES:
        forceFromLast(info.aggregate, set, I, [&](int64_t v) {
            return P <= U && saturatingMul(T, v) >= L ? FORCE_FALSE : v < 1 || T < L || P / v > U ? FORCE_STOP : FORCE_TRUE;
        });
        break;
    case AGG_MIN: {
        if ((L <= T && P <= U) || L > U || L > P || T > U || !anyTrue()) break;
        if (T < L && P <= U) {
            // The minimum must fall below L: force the single element left there.
            // Every element below T is false: the walk starts at T.
            const GROUNDSETELEMENT* only = nullptr;
            int32_t count = 0;
            for (auto x = firstFrom(set, T); x != set.end(); ++x) {
                const GROUNDSETELEMENT& e = *x;
                int64_t v = elementValue(e);
                if (v >= L) break;
                if (isTrueOrMustBeTrue(I.values[e.atom])) return;
                if (undefined(e) && ++count == 1) only = &e;
                if (count > 1) return;
            }
            if (only) setMustBeTrue(only->atom, I);
        } else if (T >= L) {
            // The minimum must pass U.
            falseBetweenGuards();
        }
        break;
    }
    case AGG_MAX: {
        // Every element above P is false: with P below L nothing is left to
        // force, and the walks start at P.
        if (P < L || !anyTrue()) break;
        if (L <= T) {
            // The maximum must pass U: force the single element left above it.
            const GROUNDSETELEMENT* only = nullptr;
            int32_t count = 0;
            for (auto e = std::make_reverse_iterator(firstAbove(set, P)); e != set.rend(); ++e) {
                int64_t v = elementValue(*e);
                if (v <= U) break;
                if (isTrueOrMustBeTrue(I.values[e->atom])) return;
                if (undefined(*e) && ++count == 1) only = &*e;
                if (count > 1) return;
            }
            if (only) {
                setMustBeTrue(only->atom, I);
                return;
            }
        }
        if (P > U) break;
        // The maximum must stay below L.
        falseBetweenGuards();
        break;
    }
    default: break;
    }
}

}  // namespace veltra
