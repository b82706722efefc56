// grounding/index.cpp: the predicate index (first-argument hash indexes and
// selectivity figures) and the matching of one literal against known atoms.
#include <algorithm>
#include <cmath>

#include "analysis/rewrite.h"
#include "core/finish.h"
#include "grounding/grounder.h"

namespace veltra {

std::unique_ptr<PREDICATEINDEX> predicateIndex;
GROUNDINGWORK groundingWork;

std::pair<ATOMITERATOR, bool> DELTA::add(ATOMSET& part, const ATOM& atom) {
    const size_t n = size_t(predicateTable.count);
    if (part.byPredicate.size() < n) part.byPredicate.resize(n);
    if (isTouched.size() < n) isTouched.resize(n, 0);
    const int32_t p = atom.predicate;
    if (!isTouched[p]) {
        isTouched[p] = 1;
        touched.push_back(p);
    }
    // Atoms often arrive in ascending order: try the end first (one
    // comparison when that fails).
    ATOMORDEREDSET& set = part.byPredicate[p];
    const size_t before = set.size();
    ATOMITERATOR it = set.insert(set.end(), atom);
    return {it, set.size() != before};
}

void DELTA::clear() {
    for (int32_t p : touched) {
        if (size_t(p) < trueAtoms.byPredicate.size()) trueAtoms.byPredicate[p].clear();
        if (size_t(p) < undefinedAtoms.byPredicate.size()) undefinedAtoms.byPredicate[p].clear();
        isTouched[p] = 0;
    }
    touched.clear();
}

size_t RANGEMAP::slotOf(uint32_t key) const {
    size_t i = home(key);
    while (entries_[i].count && entries_[i].key != key) i = i + 1 == entries_.size() ? 0 : i + 1;
    return i;
}

void RANGEMAP::grow() {
    std::vector<ENTRY> old = std::move(entries_);
    entries_.assign(old.empty() ? 8 : old.size() + old.size() / 2, ENTRY{0, 0, ATOMITERATOR()});
    for (const ENTRY& e : old)
        if (e.count) entries_[slotOf(e.key)] = e;
}

RANGEMAP::ENTRY& RANGEMAP::emplace(const TERM& key, ATOMITERATOR first, uint32_t count) {
    if (4 * (count_ + 1) > 3 * entries_.size()) grow();
    if (uint32_t(key.index) >= (uint32_t(1) << 30) || uint32_t(key.kind) > 3) internalError("range map: term out of range");
    const uint32_t packed = packedTerm(key);
    ENTRY& e = entries_[slotOf(packed)];
    if (e.count) return e;
    e = ENTRY{packed, count, first};
    ++count_;
    return e;
}

RANGEMAP::ENTRY* RANGEMAP::find(const TERM& key) {
    if (count_ == 0) return nullptr;
    ENTRY& e = entries_[slotOf(packedTerm(key))];
    return e.count ? &e : nullptr;
}

ATOMRANGE RANGEMAP::at(const TERM& key) const {
    const ENTRY& e = *const_cast<RANGEMAP*>(this)->find(key);
    return ATOMRANGE{e.first, std::next(e.first, e.count)};
}

void RANGEMAP::clear() {
    if (entries_.empty()) return;
    entries_ = std::vector<ENTRY>();
    count_ = 0;
}

PREDICATEINDEX::PREDICATEINDEX(int32_t predicates)
    : predicateCount(predicates),
      built(predicates, 0),
      selectivity(predicates),
      edbIndex(predicates),
      trueIndex(predicates),
      undefinedIndex(predicates),
      deltaTrueIndex(predicates),
      deltaUndefinedIndex(predicates),
      indexed(predicates, 0),
      pendingMaps(predicates, 0),
      argumentGroupKeys(predicates),
      isDirty(predicates, 0) {
    for (int32_t p = 0; p < predicates; ++p) selectivity[p].assign(std::max(predicateTable.arities[p], 0), 0.0);
}

// The sets a matcher reads, as numbered in argument-group keys.
enum : uint32_t { SET_TRUE = 0, SET_UNDEFINED = 1, SET_DELTATRUE = 2, SET_DELTAUNDEFINED = 3, SET_EDB = 4 };

static void forgetArgumentGroups(int32_t p, bool withEdb) {
    PREDICATEINDEX& index = *predicateIndex;
    std::vector<uint64_t>& keys = index.argumentGroupKeys[p];
    size_t kept = 0;
    for (uint64_t key : keys) {
        if (!withEdb && ((key >> 16) & 0xF) == SET_EDB)
            keys[kept++] = key;
        else
            index.argumentGroups.erase(key);
    }
    keys.resize(kept);
}

// The group of atoms of set (one predicate's atoms) with value at position.
static const std::vector<ATOMITERATOR>* argumentGroup(int32_t p, uint32_t setId, int32_t position, const TERM& value,
                                                      const ATOMORDEREDSET& set) {
    PREDICATEINDEX& index = *predicateIndex;
    const uint64_t key = (uint64_t(uint32_t(p)) << 20) | (uint64_t(setId) << 16) | uint64_t(position);
    auto [it, isNew] = index.argumentGroups.try_emplace(key);
    PREDICATEINDEX::ARGUMENTGROUPS& groups = it->second;
    if (isNew) {
        index.markDirty(p);
        index.argumentGroupKeys[p].push_back(key);
        groundingWork.indexedAtoms += set.size();
        for (auto atom = set.begin(); atom != set.end(); ++atom) {
            const TERMLIST* terms = atom->terms();
            if (terms && size_t(position) < terms->size()) groups[(*terms)[position]].push_back(atom);
        }
    }
    auto group = groups.find(value);
    return group == groups.end() ? nullptr : &group->second;
}

// Groups the atoms of one ordered set by their first argument. When
// counting, the distinct values at every counted position grow p's figures.
static void indexAtoms(int32_t p, const std::vector<uint32_t>& counted, const ATOMORDEREDSET& set, RANGEMAP& map,
                       bool counting) {
    PREDICATEINDEX& index = *predicateIndex;
    groundingWork.indexedAtoms += set.size();
    // The open run: its key, first atom and position in set.
    TERM runKey;
    ATOMITERATOR runFirst = set.end();
    size_t runStart = 0;
    size_t position = 0;
    // A key met again after other keys (atoms of another arity in between)
    // keeps its first run, extended to the end of this one unless this one
    // ends the set.
    auto closeRun = [&](size_t end, bool last) {
        if (runFirst == set.end()) return;
        RANGEMAP::ENTRY& e = map.emplace(runKey, runFirst, uint32_t(end - runStart));
        if (e.first != runFirst && !last) e.count = uint32_t(end - size_t(std::distance(set.begin(), e.first)));
    };
    for (auto it = set.begin(); it != set.end(); ++it, ++position) {
        const TERMLIST* terms = it->terms();
        if (!terms || terms->empty()) continue;
        const TERM& key = (*terms)[0];
        if (runFirst == set.end() || key != runKey) {
            closeRun(position, false);
            runKey = key;
            runFirst = it;
            runStart = position;
        }
        if (!counting) continue;
        for (uint32_t i : counted) {
            if (i >= terms->size()) continue;
            uint64_t pair = (uint64_t(uint32_t((*terms)[i].index)) << 32) | i;
            if (index.distinctValues.insert(pair).second) index.selectivity[p][i] += 1.0;
        }
    }
    closeRun(position, true);
}

void buildPredicateIndex(const ATOM& atom, bool incomplete, uint32_t size, bool indexOnly, const DELTA* delta) {
    PREDICATEINDEX& index = *predicateIndex;
    int32_t p = atom.predicate;
    index.markDirty(p);
    index.indexed[p] = 1;
    index.built[p] = 1;
    bool counting = !indexOnly && !incomplete;
    std::vector<double>& figures = index.selectivity[p];
    std::vector<uint32_t>& counted = index.countedPositions;  // argument positions holding a variable
    counted.clear();
    if (const TERMLIST* terms = atom.terms()) {
        for (size_t i = 0; i < terms->size() && i < figures.size(); ++i)
            if ((*terms)[i].isVariable()) counted.push_back(static_cast<uint32_t>(i));
    }
    if (counting)
        for (uint32_t i : counted) figures[i] = 0.0;
    // Maps that need no counting are filled on first use (pendingMaps).
    if (predicateTable.kinds[p] == KIND_EDB) {
        if (counting) {
            indexAtoms(p, counted, edbFacts.atomsOfPredicate(p), index.edbIndex[p], true);
            if (p == omittedFacts.predicate)
                for (uint32_t i : counted)
                    if (i < omittedFacts.distinct.size()) figures[i] = omittedFacts.distinct[i];
        } else
            index.pendingMaps[p] |= 1u << SET_EDB;
    } else {
        if (counting) {
            indexAtoms(p, counted, undefinedAtoms.atomsOfPredicate(p), index.undefinedIndex[p], true);
            indexAtoms(p, counted, trueAtoms.atomsOfPredicate(p), index.trueIndex[p], true);
        } else {
            index.pendingMaps[p] |= (1u << SET_UNDEFINED) | (1u << SET_TRUE);
        }
        if (incomplete && delta) index.pendingMaps[p] |= (1u << SET_DELTAUNDEFINED) | (1u << SET_DELTATRUE);
    }
    if (!indexOnly && incomplete) {
        int32_t arity = predicateTable.arities[p];
        double figure = arity > 0 ? std::pow(double(size), 1.0 / arity) : 1.0;
        std::fill(figures.begin(), figures.end(), figure);
    }
    // clear() zeroes the whole bucket array, which keeps the size of the
    // largest build: only a build that counted has anything to clear.
    if (!index.distinctValues.empty()) {
        groundingWork.clearedBuckets += index.distinctValues.bucket_count();
        index.distinctValues.clear();
    }
}

void resetPredicateIndex(int32_t p) {
    PREDICATEINDEX& index = *predicateIndex;
    forgetArgumentGroups(p, false);
    index.pendingMaps[p] &= 1u << SET_EDB;
    index.indexed[p] = 0;
    index.built[p] = 0;
    index.trueIndex[p].clear();
    index.undefinedIndex[p].clear();
    index.deltaTrueIndex[p].clear();
    index.deltaUndefinedIndex[p].clear();
}

void resetIncompletePredicates(const std::vector<uint8_t>& complete) {
    PREDICATEINDEX& index = *predicateIndex;
    size_t kept = 0;
    for (int32_t p : index.dirty) {
        // A complete predicate is never reset again (only cleared at the end):
        // it leaves the list, and its mark keeps it out.
        if (complete[p]) continue;
        resetPredicateIndex(p);
        // What survives a reset: the EDB map and groups.
        if (!index.edbIndex[p].empty() || !index.argumentGroupKeys[p].empty() || index.pendingMaps[p])
            index.dirty[kept++] = p;
        else
            index.isDirty[p] = 0;
    }
    index.dirty.resize(kept);
}

void clearPredicateIndex() {
    PREDICATEINDEX& index = *predicateIndex;
    for (int32_t p = 0; p < index.predicateCount; ++p) {
        resetPredicateIndex(p);
        forgetArgumentGroups(p, true);
        index.pendingMaps[p] = 0;
        index.edbIndex[p].clear();
    }
}

const ATOM& scratchInstance(const ATOM& pattern, const TERM* bindings) {
    // Never destroyed: its destructor would consult predicateTable, which may
    // be gone at exit.
    static ATOM* scratch = new ATOM(0, std::vector<TERM>());
    scratch->predicate = pattern.predicate;
    const TERMLIST* src = pattern.terms();
    size_t n = src ? src->size() : 0;
    TERM* dst = scratch->resizeTerms(n);
    for (size_t i = 0; i < n; ++i) {
        const TERM& t = (*src)[i];
        dst[i] = (t.isVariable() && !bindings[t.index].isNull()) ? bindings[t.index] : t;
    }
    return *scratch;
}

// The candidates of one set: the range of the first-argument key when the
// index gives one, else the group of the first bound argument, else the
// whole set. True when there is a candidate.
static bool selectFromSet(LITERALMATCHER& m, const ATOMORDEREDSET& atoms, RANGEMAP* map, uint32_t setId) {
    m.list = nullptr;
    m.current = m.end = atoms.end();
    m.remaining = SIZE_MAX;
    if (!m.key.isNull() && map) {
        uint8_t& pending = predicateIndex->pendingMaps[m.predicate];
        if (pending & (1u << setId)) {
            pending &= ~(1u << setId);
            static const std::vector<uint32_t> noPositions;
            indexAtoms(m.predicate, noPositions, atoms, *map, false);
        }
        const RANGEMAP::ENTRY* run = map->find(m.key);
        if (!run) return false;
        m.current = run->first;
        m.remaining = run->count;
        return true;
    }
    if (m.groupPosition >= 0 && predicateIndex) {
        m.list = argumentGroup(m.predicate, setId, m.groupPosition, m.groupValue, atoms);
        m.listPosition = 0;
        if (!m.list) {
            static const std::vector<ATOMITERATOR> noAtoms;
            m.list = &noAtoms;
        }
        return !m.list->empty();
    }
    m.current = atoms.begin();
    return m.current != m.end;
}

// The set and the index map of one phase of a non-EDB literal.
static bool selectPhaseCandidates(LITERALMATCHER& m, int32_t phase) {
    m.phase = phase;
    const ATOMSET* set = nullptr;
    RANGEMAP* map = nullptr;
    PREDICATEINDEX* index = predicateIndex.get();
    int32_t p = m.predicate;
    switch (phase) {
    case 0: set = &trueAtoms; map = index ? &index->trueIndex[p] : nullptr; break;
    case 1: set = &undefinedAtoms; map = index ? &index->undefinedIndex[p] : nullptr; break;
    case 2: set = m.delta ? &m.delta->trueAtoms : nullptr; map = index ? &index->deltaTrueIndex[p] : nullptr; break;
    default: set = m.delta ? &m.delta->undefinedAtoms : nullptr; map = index ? &index->deltaUndefinedIndex[p] : nullptr;
    }
    m.list = nullptr;
    if (!set) {
        const ATOMORDEREDSET& none = trueAtoms.atomsOfPredicate(-1);  // the shared empty set
        m.current = m.end = none.end();
        return false;
    }
    return selectFromSet(m, set->atomsOfPredicate(p), map, static_cast<uint32_t>(phase));
}

static int32_t nextPhase(int32_t source, int32_t phase) {
    if (source == SOURCE_OLD) return phase == 0 ? 1 : -1;
    if (source == SOURCE_DELTA) return phase == 2 ? 3 : -1;
    return phase < 3 ? phase + 1 : -1;
}

// Selects the candidates of the first phase from phase on that has any.
static void selectCandidates(LITERALMATCHER& m, int32_t phase) {
    while (phase >= 0 && !selectPhaseCandidates(m, phase)) phase = nextPhase(m.source, phase);
}

void LITERALMATCHER::start(const ATOM& atom, const TERM* bindings, const DELTA* d, int32_t src, bool index) {
    predicate = atom.predicate;
    predicateKind = predicateTable.kinds[atom.predicate];
    firstCounter = secondCounter = 0;
    source = src;
    useIndex = index;
    delta = d;
    phase = 0;
    allBound = true;
    hasCandidates = false;
    list = nullptr;
    key = TERM();
    unboundArguments.clear();
    if (predicateKind == KIND_AGGREGATE) return;
    const TERMLIST* terms = atom.terms();
    if (!terms) return;
    for (const TERM& t : *terms) {
        uint8_t unbound = t.isVariable() && bindings[t.index].isNull();
        unboundArguments.push_back(unbound);
        if (unbound) allBound = false;
    }
    if (predicateKind == KIND_BUILTIN || allBound) return;
    hasCandidates = true;
    if (!unboundArguments[0] && useIndex) {
        const TERM& first = (*terms)[0];
        key = first.isVariable() ? bindings[first.index] : first;
    }
    groupPosition = -1;
    groupValue = TERM();
    if (key.isNull())
        for (size_t i = 0; i < terms->size() && i < 0xFFFF; ++i)
            if (!unboundArguments[i]) {
                const TERM& t = (*terms)[i];
                groupPosition = static_cast<int32_t>(i);
                groupValue = t.isVariable() ? bindings[t.index] : t;
                break;
            }
    if (predicateKind == KIND_EDB) {
        selectFromSet(*this, edbFacts.atomsOfPredicate(predicate),
                      predicateIndex ? &predicateIndex->edbIndex[predicate] : nullptr, SET_EDB);
        return;
    }
    selectCandidates(*this, source == SOURCE_DELTA ? 2 : 0);
}

static bool candidatesLeft(const LITERALMATCHER& m) {
    return m.list ? m.listPosition < m.list->size() : m.remaining != 0 && m.current != m.end;
}

// Moves past the current candidate, on to the next phase when this one ends.
static void advance(LITERALMATCHER& m) {
    if (m.list)
        ++m.listPosition;
    else {
        ++m.current;
        --m.remaining;
    }
    if (candidatesLeft(m) || m.predicateKind != KIND_IDB) return;
    int32_t next = nextPhase(m.source, m.phase);
    if (next >= 0) selectCandidates(m, next);
}

bool matchLiteral(const ATOM& atom, LITERALMATCHER& m, TERM* bindings) {
    if (m.predicateKind == KIND_BUILTIN) return evaluateBuiltin(bindings, atom, m);
    if (m.allBound) return containsInstance(atom, m.source, bindings, m.delta);
    const TERMLIST& args = *atom.terms();
    const size_t n = args.size();
    while (candidatesLeft(m)) {
        const ATOM& candidateAtom = m.list ? *(*m.list)[m.listPosition] : *m.current;
        const TERM* candidate = candidateAtom.terms()->data();
        size_t j = 0;
        for (; j < n; ++j) {
            const TERM& a = args[j];
            if (m.unboundArguments[j] && bindings[a.index].isNull()) {
                bindings[a.index] = candidate[j];
                continue;
            }
            const TERM& v = a.isVariable() ? bindings[a.index] : a;
            if (v.kind != candidate[j].kind || v.index != candidate[j].index) break;
        }
        advance(m);
        if (j == n) return true;
        for (size_t k = 0; k < j; ++k)
            if (m.unboundArguments[k]) bindings[args[k].index] = TERM();
    }
    return false;
}

bool containsInstance(const ATOM& atom, int32_t source, const TERM* bindings, const DELTA* delta) {
    const ATOM& instance = scratchInstance(atom, bindings);
    if (predicateTable.kinds[atom.predicate] == KIND_EDB) return edbFacts.contains(instance);
    if (source != SOURCE_DELTA && (trueAtoms.contains(instance) || undefinedAtoms.contains(instance))) return true;
    if (source != SOURCE_OLD && delta &&
        (delta->trueAtoms.contains(instance) || delta->undefinedAtoms.contains(instance)))
        return true;
    return false;
}

bool isKnownTrue(const ATOM& atom, const TERM* bindings, const DELTA* delta) {
    const ATOM& instance = scratchInstance(atom, bindings);
    if (predicateTable.kinds[atom.predicate] == KIND_EDB) return edbFacts.contains(instance);
    return trueAtoms.contains(instance) || (delta && delta->trueAtoms.contains(instance));
}

void unbindLiteral(const LITERAL& literal, const LITERALMATCHER& matcher, TERM* bindings) {
    if (literal.isAggregate()) {
        // The pattern's function is the join's working storage: reset it so
        // that the next evaluation starts afresh.
        AGGREGATEATOM& agg = *const_cast<LITERAL&>(literal).aggregate();
        if (agg.assignment && agg.lowerGuard.isVariable()) bindings[agg.lowerGuard.index] = TERM();
        AGGREGATEFUNCTION& fn = agg.fn();
        fn.reset();
        if (fn.groundSet) fn.groundSet->elements.clear();
        return;
    }
    const TERMLIST* terms = literal.terms();
    for (size_t i = 0; i < matcher.unboundArguments.size(); ++i)
        if (matcher.unboundArguments[i]) bindings[(*terms)[i].index] = TERM();
}

}  // namespace veltra
