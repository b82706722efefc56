// grounding/index.cpp: the predicate index (first-argument hash indexes and
// selectivity figures) and the matching of one literal against known atoms.
#include <cmath>

#include "grounding/grounder.h"

namespace veltra {

std::unique_ptr<PREDICATEINDEX> predicateIndex;

void DELTA::clear() {
    for (auto& s : trueAtoms.byPredicate) s.clear();
    for (auto& s : undefinedAtoms.byPredicate) s.clear();
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
      indexed(predicates, 0) {
    for (auto& figures : selectivity) figures.fill(0.0);
}

// Groups the atoms of one ordered set by their first argument. When
// counting, the distinct values at every counted position grow p's figures.
static void indexAtoms(int32_t p, const std::vector<uint32_t>& counted, const ATOMORDEREDSET& set, RANGEMAP& map,
                       bool counting) {
    PREDICATEINDEX& index = *predicateIndex;
    TERM previousKey;
    bool first = true;
    for (auto it = set.begin(); it != set.end(); ++it) {
        const std::vector<TERM>* terms = it->terms();
        if (!terms || terms->empty()) continue;
        const TERM& key = (*terms)[0];
        if (first) {
            map.emplace(key, ATOMRANGE{it, set.end()});
        } else if (key != previousKey) {
            map.find(previousKey)->second.last = it;
            map.emplace(key, ATOMRANGE{it, set.end()});
        }
        previousKey = key;
        first = false;
        if (!counting) continue;
        for (uint32_t i : counted) {
            if (i >= terms->size()) continue;
            uint64_t pair = (uint64_t(uint32_t((*terms)[i].index)) << 32) | i;
            if (index.distinctValues.insert(pair).second) index.selectivity[p][i] += 1.0;
        }
    }
}

void buildPredicateIndex(const ATOM& atom, bool incomplete, uint32_t size, bool indexOnly, const DELTA* delta) {
    PREDICATEINDEX& index = *predicateIndex;
    int32_t p = atom.predicate;
    index.indexed[p] = 1;
    index.built[p] = 1;
    bool counting = !indexOnly && !incomplete;
    std::vector<uint32_t> counted;  // argument positions holding a variable
    if (const std::vector<TERM>* terms = atom.terms()) {
        for (size_t i = 0; i < terms->size() && i < MAXVARIABLES; ++i)
            if ((*terms)[i].isVariable()) counted.push_back(static_cast<uint32_t>(i));
    }
    if (counting)
        for (uint32_t i : counted) index.selectivity[p][i] = 0.0;
    if (predicateTable.kinds[p] == KIND_EDB) {
        indexAtoms(p, counted, edbFacts.atomsOfPredicate(p), index.edbIndex[p], counting);
    } else {
        indexAtoms(p, counted, undefinedAtoms.atomsOfPredicate(p), index.undefinedIndex[p], counting);
        indexAtoms(p, counted, trueAtoms.atomsOfPredicate(p), index.trueIndex[p], counting);
        if (incomplete && delta) {
            indexAtoms(p, counted, delta->undefinedAtoms.atomsOfPredicate(p), index.deltaUndefinedIndex[p], false);
            indexAtoms(p, counted, delta->trueAtoms.atomsOfPredicate(p), index.deltaTrueIndex[p], false);
        }
    }
    if (!indexOnly && incomplete) {
        int32_t arity = predicateTable.arities[p];
        double figure = arity > 0 ? std::pow(double(size), 1.0 / arity) : 1.0;
        index.selectivity[p].fill(figure);
    }
    index.distinctValues.clear();
}

void resetPredicateIndex(int32_t p) {
    PREDICATEINDEX& index = *predicateIndex;
    index.indexed[p] = 0;
    index.built[p] = 0;
    index.trueIndex[p].clear();
    index.undefinedIndex[p].clear();
    index.deltaTrueIndex[p].clear();
    index.deltaUndefinedIndex[p].clear();
}

void clearPredicateIndex() {
    PREDICATEINDEX& index = *predicateIndex;
    for (int32_t p = 0; p < index.predicateCount; ++p) {
        resetPredicateIndex(p);
        index.edbIndex[p].clear();
    }
}

const ATOM& scratchInstance(const ATOM& pattern, const TERM* bindings) {
    // Never destroyed: its destructor would consult predicateTable, which may
    // be gone at exit.
    static ATOM* scratch = new ATOM(0, std::vector<TERM>());
    scratch->predicate = pattern.predicate;
    std::vector<TERM>& dst = *scratch->terms();
    const std::vector<TERM>* src = pattern.terms();
    size_t n = src ? src->size() : 0;
    dst.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const TERM& t = (*src)[i];
        dst[i] = (t.isVariable() && !bindings[t.index].isNull()) ? bindings[t.index] : t;
    }
    return *scratch;
}

// The set and the index map of one phase of a non-EDB literal.
static bool selectPhaseCandidates(LITERALMATCHER& m, int32_t phase) {
    m.phase = phase;
    const ATOMSET* set = nullptr;
    const RANGEMAP* map = nullptr;
    PREDICATEINDEX* index = predicateIndex.get();
    int32_t p = m.predicate;
    switch (phase) {
    case 0: set = &trueAtoms; map = index ? &index->trueIndex[p] : nullptr; break;
    case 1: set = &undefinedAtoms; map = index ? &index->undefinedIndex[p] : nullptr; break;
    case 2: set = m.delta ? &m.delta->trueAtoms : nullptr; map = index ? &index->deltaTrueIndex[p] : nullptr; break;
    default: set = m.delta ? &m.delta->undefinedAtoms : nullptr; map = index ? &index->deltaUndefinedIndex[p] : nullptr;
    }
    if (!set) {
        const ATOMORDEREDSET& none = trueAtoms.atomsOfPredicate(-1);  // the shared empty set
        m.current = m.end = none.end();
        return false;
    }
    const ATOMORDEREDSET& atoms = set->atomsOfPredicate(p);
    if (!m.key.isNull() && map) {
        auto it = map->find(m.key);
        if (it == map->end()) {
            m.current = m.end = atoms.end();
            return false;
        }
        m.current = it->second.first;
        m.end = it->second.last;
    } else {
        m.current = atoms.begin();
        m.end = atoms.end();
    }
    return m.current != m.end;
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
    key = TERM();
    unboundArguments.clear();
    if (predicateKind == KIND_AGGREGATE) return;
    const std::vector<TERM>* terms = atom.terms();
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
    if (predicateKind == KIND_EDB) {
        const ATOMORDEREDSET& atoms = edbFacts.atomsOfPredicate(predicate);
        current = end = atoms.end();
        if (!key.isNull() && predicateIndex) {
            const RANGEMAP& map = predicateIndex->edbIndex[predicate];
            auto it = map.find(key);
            if (it != map.end()) {
                current = it->second.first;
                end = it->second.last;
            }
        } else {
            current = atoms.begin();
        }
        return;
    }
    selectCandidates(*this, source == SOURCE_DELTA ? 2 : 0);
}

// Moves past the current candidate, on to the next phase when this one ends.
static void advance(LITERALMATCHER& m) {
    ++m.current;
    if (m.current != m.end || m.predicateKind != KIND_IDB) return;
    int32_t next = nextPhase(m.source, m.phase);
    if (next >= 0) selectCandidates(m, next);
}

bool matchLiteral(const ATOM& atom, LITERALMATCHER& m, TERM* bindings) {
    if (m.predicateKind == KIND_BUILTIN) return evaluateBuiltin(bindings, atom, m);
    if (m.allBound) return containsInstance(atom, m.source, bindings, m.delta);
    const std::vector<TERM>& args = *atom.terms();
    const size_t n = args.size();
    while (m.current != m.end) {
        const TERM* candidate = m.current->terms()->data();
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
    const std::vector<TERM>* terms = literal.terms();
    for (size_t i = 0; i < matcher.unboundArguments.size(); ++i)
        if (matcher.unboundArguments[i]) bindings[(*terms)[i].index] = TERM();
}

}  // namespace veltra
