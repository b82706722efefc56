// generator/heuristics.h: the ranking of lookahead records by comparison
// criteria, and the bounded list of possibly-true literals it fills.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "generator/modelgenerator.h"

namespace veltra {

// One possibly-true literal with the records of its lookaheads.
struct PTCANDIDATE {
    int32_t atom = 0;
    bool negative = false;                          // the literal is "not atom"
    HEURISTICINFO literalInfo;                      // the literal made true
    std::unique_ptr<HEURISTICINFO> complementInfo;  // its complement made true; null under --nocomplpt
    // When every criterion of the list compares one value per entry: those
    // values, so that ranking compares them instead of the records.
    std::vector<__int128> key;
};

// One choice level's candidates, best first, at most capacity of them.
// A rejected or dropped entry becomes the spare whose records the next
// candidate overwrites, so ranking allocates only while the list grows.
struct PTCANDIDATES {
    MODELGENERATOR* generator = nullptr;
    INTERPRETATION* interpretation = nullptr;
    bool done = false;
    std::vector<std::unique_ptr<PTCANDIDATE>> candidates;  // best first; entryCount of them
    uint32_t capacity = 5;                                 // at least 1
    uint32_t entryCount = 0;
    std::unique_ptr<PTCANDIDATE> spare;  // a released entry, reused by the next candidate

    void clear() {
        candidates.clear();
        entryCount = 0;
    }
    // Removes entry i (kept as the spare).
    void remove(size_t i) {
        spare = std::move(candidates[i]);
        candidates.erase(candidates.begin() + ptrdiff_t(i));
        --entryCount;
    }
};

// Above 0 when a is better than b by criterion index c (0..37, 1000 and
// more reverse it), below 0 when worse, 0 when c does not tell them apart.
// An invalid index prints "N: Invalid heuristic comparison index." and ends
// the run with status 1.
int compareByCriterion(uint32_t c, const HEURISTICINFO& a, const HEURISTICINFO& b);
// The same for two entries, each judged by its own record combined with its
// complement's record by kind; criteria breaks worse/better ties (kinds 5-8).
int compareByCombinedCriterion(uint32_t c, int32_t kind, const PTCANDIDATE& a, const PTCANDIDATE& b,
                               const std::vector<int32_t>& criteria);
// A literal's own value a combined with its complement's value b; kinds
// above 8 give 0. Computed without overflow.
__int128 combineCounts(int32_t kind, __int128 a, __int128 b);
// The entry's two records combined into one (kinds above 8: all zero), as a
// record of 32-bit counters (values out of range are clamped).
HEURISTICINFO combineLookaheads(int32_t kind, const PTCANDIDATE& entry, const std::vector<int32_t>& criteria);
HEURISTICINFO scaleInfo(const HEURISTICINFO& x, int32_t factor);
bool combinedRecordsDisagree(int32_t kind, const PTCANDIDATE& a, const PTCANDIDATE& b,
                             const std::vector<int32_t>& criteria);
// Ranks a literal into the list: criteria with combineKinds while
// combine is set (--complpt), the literal's own records otherwise.
void considerCandidate(PTCANDIDATES& candidates, int32_t atom, bool negative, const HEURISTICINFO& record,
                       const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                       const std::vector<int32_t>& combineKinds, bool combine);

// Whether every criterion of the list ranks records without costs by one
// number per entry; rankingKey then gives those numbers (one per
// criterion): entries compare as their keys do, lexicographically.
bool criteriaRankByKey(const std::vector<int32_t>& criteria);
void rankingKey(const HEURISTICINFO& record, const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                const std::vector<int32_t>& combineKinds, bool combine, __int128* key);

// Records with costs (costSlots values each) rank by key too where the
// comparison of resulting costs only depends on their differences: the
// combinations that add (kinds 0 and 4 to 8), not those that multiply (1
// to 3). Criteria 7 and 8 then take costSlots numbers each, from the
// highest level down; rankingKey reads resulting costs less base, so that
// keys made from different bases compare as the records would (the base
// added to both records of an entry counts with the kind's weight).
// Entries ranked with combination have complement records.
bool criteriaRankByKeyWithCosts(const std::vector<int32_t>& criteria, const std::vector<int32_t>& combineKinds,
                                bool combine);
size_t rankingKeyWidth(const std::vector<int32_t>& criteria, uint32_t costSlots);
void rankingKey(const HEURISTICINFO& record, const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                const std::vector<int32_t>& combineKinds, bool combine, __int128* key, const uint64_t* base,
                uint32_t costSlots);

// Copies the counters and costs of src into dst; no allocation once dst has
// its cost vectors.
void copyRecord(HEURISTICINFO& dst, const HEURISTICINFO& src);
// Whether two records hold the same counters and costs.
bool sameRecord(const HEURISTICINFO& a, const HEURISTICINFO& b);

}  // namespace veltra
