// generator/keptcandidates.cpp: possibly-true literals kept across levels.
// A computation redoes, in index order, only the atoms whose share of it
// (their unit) read something that changed since; the other units keep
// their weights, tried marks, counted lookaheads and ranked entries, and the
// candidate list is the best entries of a heap of all kept ones.
#include <algorithm>

#include "generator/heuristics.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

void countersOf(const HEURISTICINFO& x, int32_t* c) {
    const int32_t v[12] = {x.madeTrue, x.madeTrueSupport2, x.madeTrueSupport3, x.madeMustBeTrue,
                           x.madeMustBeTrueSupport2, x.madeMustBeTrueSupport3, x.itemsSatisfied,
                           x.itemsSatisfiedClosed, x.itemsClosed, x.atomsDecided, x.headCycleRulesSupported,
                           x.madeTrueInHeadCycles};
    std::copy(v, v + 12, c);
}

void setCounters(HEURISTICINFO& x, const int32_t* c) {
    int32_t* f[12] = {&x.madeTrue, &x.madeTrueSupport2, &x.madeTrueSupport3, &x.madeMustBeTrue,
                      &x.madeMustBeTrueSupport2, &x.madeMustBeTrueSupport3, &x.itemsSatisfied,
                      &x.itemsSatisfiedClosed, &x.itemsClosed, &x.atomsDecided, &x.headCycleRulesSupported,
                      &x.madeTrueInHeadCycles};
    for (int i = 0; i < 12; ++i) *f[i] = c[i];
}

// Prefix sums over units (a Fenwick tree of size n + 1).
void treeAdd(std::vector<uint64_t>& tree, int32_t unit, uint64_t delta) {
    for (size_t i = size_t(unit) + 1; i < tree.size(); i += i & (~i + 1)) tree[i] += delta;
}

uint64_t treePrefix(const std::vector<uint64_t>& tree, int32_t unit) {
    uint64_t sum = 0;
    for (size_t i = size_t(unit) + 1; i > 0; i -= i & (~i + 1)) sum += tree[i];
    return sum;
}

}  // namespace

void MODELGENERATOR::startKeptCandidates(const INTERPRETATION& I) {
    const bool wanted = kept.wanted;
    kept = KEPTCANDIDATES();
    kept.wanted = wanted;
    kept.active = true;
    const size_t n = I.values.size();
    kept.countDirty.assign(n, 1);
    kept.countDirtyList.resize(n);
    for (size_t a = 0; a < n; ++a) kept.countDirtyList[a] = int32_t(a);
    kept.dirtyUnits.assign(n / 64 + 1, ~uint64_t(0));
    kept.dirtyUnits.back() = (uint64_t(1) << (n % 64)) - 1;
    kept.positivePT.assign(n, 0);
    kept.negativePT.assign(n, 0);
    kept.positiveCount.assign(n, 0);
    kept.negativeCount.assign(n, 0);
    kept.looked.assign(n, 0);
    kept.isVolatile.assign(n, 0);
    kept.twin.assign(n, -1);
    kept.twinOwner.assign(n, -1);
    kept.unitConsistent.assign(n, 0);
    kept.unitLookaheads.assign(n, 0);
    kept.lookaheadTree.assign(n + 1, 0);
    kept.entryOf.assign(3 * n, -1);
    if (costSlotCount != 0) {
        kept.passBase = I.cost.values;
        kept.costSeen = I.cost.values;
        kept.boundSeen = boundChanges;
    }
}

void MODELGENERATOR::markKeptUnit(int32_t a) {
    kept.dirtyUnits[size_t(a) >> 6] |= uint64_t(1) << (a & 63);
}

int32_t MODELGENERATOR::nextDirtyUnit(int32_t from) const {
    const std::vector<uint64_t>& bits = kept.dirtyUnits;
    size_t w = size_t(from) >> 6;
    if (w >= bits.size()) return -1;
    uint64_t word = bits[w] & (~uint64_t(0) << (from & 63));
    while (word == 0) {
        if (++w == bits.size()) return -1;
        word = bits[w];
    }
    return int32_t(w * 64 + size_t(__builtin_ctzll(word)));
}

void MODELGENERATOR::keptRecordDropped(int32_t a) {
    markKeptUnit(a);
    // A twin head atom's record is taken by the unit that ranked it.
    if (kept.twinOwner[a] >= 0) markKeptUnit(kept.twinOwner[a]);
}

bool MODELGENERATOR::triedPositive(int32_t x) const {
    if (!kept.inPass) return ptTriedPositive[x];
    // Units before the one being redone are final for this computation.
    const int32_t p = kept.position;
    return (x < p && (kept.looked[x] & 1)) || (kept.twinOwner[x] >= 0 && kept.twinOwner[x] < p);
}

void MODELGENERATOR::recountKeptUnit(int32_t a, const INTERPRETATION& I) {
    KEPTCANDIDATES& k = kept;
    ++possiblyTrueAtomsVisited;
    // The unit's share of the counting pass: one literal per possibly-true
    // side; the positive weight is summed again with the negative one.
    auto share = [&k, a](uint64_t& literals, uint64_t& sum) {
        const uint64_t p = k.positivePT[a] ? uint32_t(k.positiveCount[a]) : 0;
        literals = uint64_t(k.positivePT[a]) + k.negativePT[a];
        sum = (k.positivePT[a] ? p : 0) + (k.negativePT[a] ? p + uint32_t(k.negativeCount[a]) : 0);
    };
    uint64_t literals, sum;
    share(literals, sum);
    k.literals -= literals;
    k.weightSum -= sum;
    k.positivePT[a] = positivePossiblyTrue(a, I);
    k.positiveCount[a] = k.positivePT[a] ? binaryOccurrences(a, false) : 0;
    k.negativePT[a] = negativePossiblyTrue(a, I);
    k.negativeCount[a] = k.negativePT[a] ? binaryOccurrences(a, true) : 0;
    share(literals, sum);
    k.literals += literals;
    k.weightSum += sum;
}

bool MODELGENERATOR::keptKeyBetter(const __int128* x, uint64_t xPosition, const __int128* y,
                                  uint64_t yPosition) const {
    const size_t n = keptKeyWidth;
    for (size_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return x[i] > y[i];
    return xPosition > yPosition;  // equal: the later one
}

void MODELGENERATOR::siftKeptEntry(uint32_t i) {
    KEPTCANDIDATES& k = kept;
    const size_t n = keptKeyWidth;
    auto keyAt = [&k, n](uint32_t at) { return k.heapKeys.data() + size_t(at) * n; };
    auto move = [&k, n, &keyAt](uint32_t to, uint32_t from) {
        k.heap[to] = k.heap[from];
        const __int128* x = keyAt(from);
        __int128* y = keyAt(to);
        for (size_t j = 0; j < n; ++j) y[j] = x[j];  // a few criteria: no call
        k.heapIndex[size_t(k.heap[to].id)] = to;
    };
    // The moving slot waits aside while the others shift into its hole.
    const KEPTSLOT e = k.heap[i];
    if (k.siftKey.size() != n) k.siftKey.resize(n);
    __int128* aside = k.siftKey.data();
    for (size_t j = 0; j < n; ++j) aside[j] = keyAt(i)[j];  // a few criteria: no call
    const __int128* key = aside;
    while (i > 0 && keptKeyBetter(key, e.position, keyAt((i - 1) / 2), k.heap[(i - 1) / 2].position)) {
        move(i, (i - 1) / 2);
        i = (i - 1) / 2;
    }
    for (;;) {
        uint32_t best = i;
        const __int128* bestKey = key;
        uint64_t bestPosition = e.position;
        for (uint32_t c = 2 * i + 1; c <= 2 * i + 2 && c < k.heap.size(); ++c)
            if (keptKeyBetter(keyAt(c), k.heap[c].position, bestKey, bestPosition)) {
                best = c;
                bestKey = keyAt(c);
                bestPosition = k.heap[c].position;
            }
        if (best == i) break;
        move(i, best);
        i = best;
    }
    k.heap[i] = e;
    __int128* to = keyAt(i);
    for (size_t j = 0; j < n; ++j) to[j] = key[j];
    k.heapIndex[size_t(e.id)] = i;
}

void MODELGENERATOR::keepEntry(int32_t unit, int sub, int32_t atom, bool negative, const HEURISTICINFO& record,
                               const HEURISTICINFO* complement) {
    KEPTCANDIDATES& k = kept;
    const size_t n = keptKeyWidth;
    int32_t& slot = k.entryOf[size_t(unit) * 3 + size_t(sub)];
    k.refreshed |= uint8_t(1u << sub);
    int32_t id = slot;
    if (id >= 0) {
        // The unit's entry of last time at the same position: it moves in
        // the heap only when its key changed.
        k.scratchKey.resize(n);
        rankingKey(record, complement, heuristicCriteria, combineKinds, settings.complementPT, k.scratchKey.data(),
                   k.passBase.data(), costSlotCount);
        keepEntryCosts(id, record, complement);
        KEPTENTRY& e = k.entries[size_t(id)];
        e.atom = atom;
        e.negative = negative;
        e.hasComplement = complement != nullptr;
        countersOf(record, e.own);
        if (complement) countersOf(*complement, e.complement);
        const uint32_t at = k.heapIndex[size_t(id)];
        __int128* key = k.heapKeys.data() + size_t(at) * n;
        if (!std::equal(key, key + n, k.scratchKey.data())) {
            std::copy(k.scratchKey.begin(), k.scratchKey.end(), key);
            siftKeptEntry(at);
        }
        return;
    }
    if (!k.freeEntries.empty()) {
        id = k.freeEntries.back();
        k.freeEntries.pop_back();
    } else {
        id = int32_t(k.entries.size());
        k.entries.emplace_back();
        k.heapIndex.push_back(0);
        k.entryCosts.resize(k.entries.size() * 4 * costSlotCount);
    }
    keepEntryCosts(id, record, complement);
    KEPTENTRY& e = k.entries[size_t(id)];
    e.atom = atom;
    e.negative = negative;
    e.hasComplement = complement != nullptr;
    e.position = uint64_t(unit) * 3 + uint64_t(sub);
    countersOf(record, e.own);
    if (complement) countersOf(*complement, e.complement);
    const uint32_t at = uint32_t(k.heap.size());
    k.heap.push_back(KEPTSLOT{e.position, id});
    k.heapKeys.resize(k.heap.size() * n);
    rankingKey(record, complement, heuristicCriteria, combineKinds, settings.complementPT,
               k.heapKeys.data() + size_t(at) * n, k.passBase.data(), costSlotCount);
    slot = id;
    k.heapIndex[size_t(id)] = at;
    siftKeptEntry(at);
}

void MODELGENERATOR::keepEntryCosts(int32_t id, const HEURISTICINFO& record, const HEURISTICINFO* complement) {
    const uint32_t L = costSlotCount;
    if (L == 0) return;
    uint64_t* c = kept.entryCosts.data() + size_t(id) * 4 * L;
    auto put = [&](const HEURISTICINFO& x, uint64_t* to) {
        for (uint32_t i = 0; i < L; ++i) {
            to[i] = x.resultingCost->values[i] - kept.passBase[i];
            to[L + i] = x.satisfiedWeakCost->values[i];
        }
    };
    put(record, c);
    if (complement) put(*complement, c + 2 * L);
}

void MODELGENERATOR::dropKeptEntry(int32_t id) {
    KEPTCANDIDATES& k = kept;
    const size_t n = keptKeyWidth;
    const uint32_t i = k.heapIndex[size_t(id)];
    const uint32_t last = uint32_t(k.heap.size() - 1);
    if (i != last) {
        k.heap[i] = k.heap[last];
        const __int128* from = k.heapKeys.data() + size_t(last) * n;
        std::copy(from, from + n, k.heapKeys.data() + size_t(i) * n);
        k.heapIndex[size_t(k.heap[i].id)] = i;
    }
    k.heap.pop_back();
    k.heapKeys.resize(k.heap.size() * n);
    if (i != last) siftKeptEntry(i);
    k.freeEntries.push_back(id);
}

void MODELGENERATOR::fillFromKeptEntries(PTCANDIDATES& list) {
    // The best capacity entries: a heap's best few lie near its root.
    list.clear();
    const auto& heap = kept.heap;
    const __int128* keys = kept.heapKeys.data();
    const size_t n = keptKeyWidth;
    std::vector<uint32_t>& frontier = kept.frontier;
    frontier.clear();
    if (!heap.empty()) frontier.push_back(0);
    while (list.entryCount < list.capacity && !frontier.empty()) {
        size_t best = 0;
        for (size_t j = 1; j < frontier.size(); ++j)
            if (keptKeyBetter(keys + size_t(frontier[j]) * n, heap[frontier[j]].position,
                              keys + size_t(frontier[best]) * n, heap[frontier[best]].position))
                best = j;
        const uint32_t i = frontier[best];
        frontier[best] = frontier.back();
        frontier.pop_back();
        for (uint32_t c = 2 * i + 1; c <= 2 * i + 2 && c < heap.size(); ++c) frontier.push_back(c);

        const KEPTENTRY& k = kept.entries[size_t(heap[i].id)];
        std::unique_ptr<PTCANDIDATE> e = list.spare ? std::move(list.spare) : std::make_unique<PTCANDIDATE>();
        e->atom = k.atom;
        e->negative = k.negative != 0;
        setCounters(e->literalInfo, k.own);
        if (!k.hasComplement) {
            e->complementInfo.reset();
        } else {
            if (!e->complementInfo) e->complementInfo = std::make_unique<HEURISTICINFO>();
            setCounters(*e->complementInfo, k.complement);
        }
        if (costSlotCount != 0) {
            // The costs at the computation's base.
            const uint32_t L = costSlotCount;
            const uint64_t* c = kept.entryCosts.data() + size_t(heap[i].id) * 4 * L;
            auto put = [&](HEURISTICINFO& x, const uint64_t* from) {
                if (!x.resultingCost) x.resultingCost = std::make_unique<COSTVECTOR>(L);
                if (!x.satisfiedWeakCost) x.satisfiedWeakCost = std::make_unique<COSTVECTOR>(L);
                for (uint32_t j = 0; j < L; ++j) {
                    x.resultingCost->values[j] = kept.passBase[j] + from[j];
                    x.satisfiedWeakCost->values[j] = from[L + j];
                }
            };
            put(e->literalInfo, c);
            if (k.hasComplement) put(*e->complementInfo, c + 2 * L);
        }
        e->key.clear();  // a later ranking into the list compares the records
        list.candidates.push_back(std::move(e));
        ++list.entryCount;
    }
}

bool MODELGENERATOR::redoKeptUnit(PTCANDIDATES& list, int32_t a, uint32_t& failed, INTERPRETATION& I) {
    KEPTCANDIDATES& k = kept;
    ++possiblyTrueAtomsVisited;
    // Forget what the unit did last time; its entries are refreshed in
    // place, and those not ranked again dropped afterwards.
    k.refreshed = 0;
    const uint8_t oldLooked = k.looked[a];
    const int32_t oldTwin = k.twin[a];
    if (oldTwin >= 0 && k.twinOwner[oldTwin] == a) k.twinOwner[oldTwin] = -1;
    if (oldLooked) --k.lookedUnits;
    k.looked[a] = 0;
    k.twin[a] = -1;
    k.totalConsistent -= k.unitConsistent[a];

    // The unit's share of the lookahead pass.
    const uint64_t before = lookaheadsPerformed;
    uint32_t consistent = 0;
    bool ok = true;
    k.unkeptLookahead = false;
    const uint64_t weight = uint64_t(k.positivePT[a] ? uint32_t(k.positiveCount[a]) : 0) +
                            (k.negativePT[a] ? uint32_t(k.negativeCount[a]) : 0);
    if (weight >= k.average) {
        for (int side = 0; side < 2 && ok; ++side) {
            const bool negative = side == 1;
            if (!negative && triedPositive(a)) continue;
            if (!(negative ? negativePossiblyTrue(a, I) : positivePossiblyTrue(a, I))) continue;
            k.looked[a] |= negative ? 2 : 1;
            ok = lookaheadLiteral(list, a, negative, consistent, failed, I);
        }
    }

    // What it did now.
    for (size_t sub = 0; sub < 3; ++sub) {
        int32_t& id = k.entryOf[size_t(a) * 3 + sub];
        if (id >= 0 && !(k.refreshed & (1u << sub))) {
            dropKeptEntry(id);
            id = -1;
        }
    }
    k.unitConsistent[a] = consistent;
    k.totalConsistent += consistent;
    const uint64_t count = lookaheadsPerformed - before;
    treeAdd(k.lookaheadTree, a, count - k.unitLookaheads[a]);
    k.totalLookaheads += count - k.unitLookaheads[a];
    k.unitLookaheads[a] = count;
    if (k.looked[a]) ++k.lookedUnits;
    if (k.twin[a] >= 0) k.twinOwner[k.twin[a]] = a;
    if (k.unkeptLookahead && !k.isVolatile[a]) {
        k.isVolatile[a] = 1;
        k.volatileUnits.push_back(a);
    }

    // Later units that read a tried mark this unit changed: the atom's
    // own unit and the units whose twin head atom it may be.
    auto coHeadsAfter = [this, a](int32_t x) {
        for (uint32_t k : eventList(eventRun(x), EVENTS_HEAD))
            for (int32_t h : headAtoms(ruleAt(k)))
                if (h > a) markKeptUnit(h);
    };
    if ((oldLooked & 1) != (k.looked[a] & 1)) coHeadsAfter(a);
    if (oldTwin != k.twin[a])
        for (int32_t h : {oldTwin, k.twin[a]})
            if (h >= 0) {
                if (h > a) markKeptUnit(h);
                coHeadsAfter(h);
            }

    // Complements asserted by failed lookaheads: what they changed.
    if (lookaheadCacheOn) syncLookaheadCache(I);
    return ok;
}

bool MODELGENERATOR::computeKeptPossiblyTrue(PTCANDIDATES& list, INTERPRETATION& I) {
    KEPTCANDIDATES& k = kept;
    list.clear();
    syncLookaheadCache(I);
    if (costSlotCount != 0) {
        // Entries ranked after the cost rose within the last pass rank
        // at another base than the rest: every unit is ranked again.
        if (k.mixedBases) {
            k.mixedBases = false;
            for (int32_t a = 0; a < int32_t(k.looked.size()); ++a) markKeptUnit(a);
        }
        markCostlyKeptRecords(I);
        k.passBase = I.cost.values;
    }

    // Under verifyReuse 2 every unit is redone, so that every record the
    // units stand on is verified.
    if (verifyReuse == 2)
        for (int32_t a = 0; a < int32_t(k.looked.size()); ++a)
            if (!k.countDirty[a]) {
                k.countDirty[a] = 1;
                k.countDirtyList.push_back(a);
            }
    // Counting pass: the units that changed, and those that ran a
    // lookahead whose record was not kept.
    for (int32_t a : k.volatileUnits) {
        k.isVolatile[a] = 0;
        markKeptUnit(a);
    }
    k.volatileUnits.clear();
    for (int32_t a : k.countDirtyList) {
        k.countDirty[a] = 0;
        recountKeptUnit(a, I);
        markKeptUnit(a);
    }
    k.countDirtyList.clear();
    uint64_t average = 0;
    if (k.literals != 0 && level >= 2 && k.weightSum != 0) average = std::max<uint64_t>(k.weightSum / k.literals, 1);
    if (k.averageKnown && average != k.average) {
        // The units whose weight the filter now judges otherwise.
        const uint64_t lo = std::min(average, k.average), hi = std::max(average, k.average);
        possiblyTrueAtomsVisited += k.looked.size();
        for (int32_t a = 0; a < int32_t(k.looked.size()); ++a) {
            const uint64_t weight = uint64_t(k.positivePT[a] ? uint32_t(k.positiveCount[a]) : 0) +
                                    (k.negativePT[a] ? uint32_t(k.negativeCount[a]) : 0);
            if (weight >= lo && weight < hi) markKeptUnit(a);
        }
    }
    k.average = average;
    k.averageKnown = true;

    // Lookahead pass over the dirty units in index order; units dirtied on
    // the way join it when they lie ahead, the next computation otherwise.
    k.inPass = true;
    const uint64_t base = lookaheadsPerformed;
    uint32_t failed = 0;
    bool cacheStopped = false;
    for (int32_t a = nextDirtyUnit(0); a >= 0; a = nextDirtyUnit(a + 1)) {
        k.dirtyUnits[size_t(a) >> 6] &= ~(uint64_t(1) << (a & 63));
        k.position = a;
        if (!redoKeptUnit(list, a, failed, I)) {
            // The level is inconsistent: the lookaheads up to this unit
            // count; the units not reached stay dirty.
            lookaheadsPerformed = base + treePrefix(k.lookaheadTree, a);
            ++choicePoints;
            k.inPass = false;
            k.position = -1;
            if (!lookaheadCacheOn) kept = KEPTCANDIDATES();
            return false;
        }
        if (costSlotCount != 0 && lookaheadCacheOn && I.cost.values != k.passBase && costRaisesKeptCost(I)) {
            // A failed lookahead's complement raised the cost: the later
            // units rank from it, as a pass without kept units would.
            for (int32_t x = a + 1; x < int32_t(k.looked.size()); ++x) markKeptUnit(x);
        }
        if (!lookaheadCacheOn && !cacheStopped) {
            // Without kept records nothing tells which unit changed: every
            // later one is redone, and the kept units end with this pass.
            cacheStopped = true;
            for (int32_t x = a + 1; x < int32_t(k.looked.size()); ++x) markKeptUnit(x);
        }
    }
    k.inPass = false;
    k.position = -1;
    lookaheadsPerformed = base + k.totalLookaheads;
    if (k.lookedUnits > 0) ++choicePoints;

    if (k.totalConsistent == 0 && failed > 0) {
        // Every lookahead failed: the passes go on as without kept units,
        // from their marks and weights, and the kept units start afresh.
        const size_t n = k.looked.size();
        for (size_t a = 0; a < n; ++a) {
            ptTriedPositive[a] = (k.looked[a] & 1) || k.twinOwner[a] >= 0;
            ptTriedNegative[a] = (k.looked[a] & 2) != 0;
            ptPositiveWeight[a] = k.positivePT[a] ? k.positiveCount[a] : 0;
            ptNegativeWeight[a] = k.negativePT[a] ? k.negativeCount[a] : 0;
        }
        fillFromKeptEntries(list);
        const bool ok = possiblyTruePasses(list, false, I);
        if (lookaheadCacheOn)
            startKeptCandidates(I);
        else
            kept = KEPTCANDIDATES();
        return ok;
    }
    fillFromKeptEntries(list);
    if (cacheStopped) kept = KEPTCANDIDATES();
    return true;
}

// Whether the cost rose past the last one the pass ranked from (once per
// rise: the units after it are then marked).
bool MODELGENERATOR::costRaisesKeptCost(const INTERPRETATION& I) {
    if (I.cost.values == kept.costSeen) return false;
    kept.costSeen = I.cost.values;
    kept.mixedBases = true;
    return true;
}

// A kept record stands for its propagation only while no weak constraint
// can exceed the bound from the cost with the record's added: when the cost
// rose or the bound tightened since the last look, the units of records
// that lost that are redone.
void MODELGENERATOR::markCostlyKeptRecords(const INTERPRETATION& I) {
    KEPTCANDIDATES& k = kept;
    if (I.cost.values == k.costSeen && boundChanges == k.boundSeen) return;
    k.costSeen = I.cost.values;
    k.boundSeen = boundChanges;
    if (!bestCost) return;
    bool bounded = false;
    for (size_t i = 0; i < bestCost->size(); ++i) bounded |= !bestCost->isUnbounded(i);
    if (!bounded) return;
    const uint32_t L = costSlotCount;
    COSTVECTOR& cost = lookaheadHeadroomCost;
    cost.values.resize(L);
    for (uint32_t slot = 0; slot < uint32_t(slotStates.size()); ++slot) {
        if (!slotValid(slot)) continue;
        const uint64_t* kept = slotCosts.data() + size_t(slot) * 2 * L;
        for (uint32_t i = 0; i < L; ++i) cost.values[i] = I.cost.values[i] + kept[i];
        if (someWeakConstraintCanExceed(cost)) keptRecordDropped(int32_t(slot / 3));
    }
}

}  // namespace veltra
