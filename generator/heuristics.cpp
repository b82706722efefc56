// generator/heuristics.cpp: the comparison criteria over lookahead records,
// the combination of a literal's record with its complement's, and the
// bounded candidate list they rank.
#include "generator/heuristics.h"

#include <cassert>
#include <iostream>
#include <limits>

#include "core/finish.h"

namespace veltra {

namespace {

using WIDEINT = __int128;
using WIDECOST = unsigned __int128;

// Counter positions in a record, in declaration order.
enum {
    MADE_TRUE, MADE_TRUE_S2, MADE_TRUE_S3, MADE_MBT, MADE_MBT_S2, MADE_MBT_S3, ITEMS_SATISFIED,
    ITEMS_SATISFIED_CLOSED, ITEMS_CLOSED, ATOMS_DECIDED, HEAD_CYCLE_RULES, MADE_TRUE_IN_HEAD_CYCLES, COUNTERS
};

// A record with counters and costs wide enough for every combination, so
// that products and scaling never overflow.
struct WIDEINFO {
    WIDEINT c[COUNTERS] = {};
    bool hasCost = false;
    std::vector<WIDECOST> resultingCost, satisfiedWeakCost;
};

void toWide(const HEURISTICINFO& x, WIDEINFO& w) {
    const int32_t v[COUNTERS] = {x.madeTrue, x.madeTrueSupport2, x.madeTrueSupport3, x.madeMustBeTrue,
                                 x.madeMustBeTrueSupport2, x.madeMustBeTrueSupport3, x.itemsSatisfied,
                                 x.itemsSatisfiedClosed, x.itemsClosed, x.atomsDecided, x.headCycleRulesSupported,
                                 x.madeTrueInHeadCycles};
    for (int i = 0; i < COUNTERS; ++i) w.c[i] = v[i];
    w.hasCost = x.resultingCost && x.satisfiedWeakCost;
    w.resultingCost.clear();
    w.satisfiedWeakCost.clear();
    if (!w.hasCost) return;
    for (uint64_t v : x.resultingCost->values) w.resultingCost.push_back(v);
    for (uint64_t v : x.satisfiedWeakCost->values) w.satisfiedWeakCost.push_back(v);
}

int sign(WIDEINT x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }

int compareCostVectors(const std::vector<WIDECOST>& a, const std::vector<WIDECOST>& b) {
    if (a.size() != b.size()) return 0;
    for (size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

WIDEINT d0(const WIDEINFO& x) { return x.c[MADE_TRUE] - x.c[MADE_MBT]; }
WIDEINT d1(const WIDEINFO& x) { return x.c[MADE_TRUE_S2] - x.c[MADE_MBT_S2]; }
WIDEINT d2(const WIDEINFO& x) { return x.c[MADE_TRUE_S3] - x.c[MADE_MBT_S3]; }

// headCycleRulesSupported * 1000 / (madeTrueInHeadCycles + 1), unsigned.
WIDEINT headCycleRatio(WIDEINT supported, WIDEINT madeTrue) {
    const WIDECOST s = WIDECOST(supported), m = WIDECOST(madeTrue);
    return WIDEINT((s * 1000) / (m + 1));
}
WIDEINT headCycleRatio(const WIDEINFO& x) {
    return headCycleRatio(x.c[HEAD_CYCLE_RULES], x.c[MADE_TRUE_IN_HEAD_CYCLES]);
}

[[noreturn]] void invalidCriterion(uint32_t base) {
    std::cerr << base << ": Invalid heuristic comparison index.\n";
    finish(1);
}

bool validCriterion(uint32_t base) {
    return base <= 16 || base == 21 || (base >= 29 && base <= 31) || base == 33 || base == 34 || base == 37;
}

// The criterion without reversal; base is below 1000.
int compareWide(uint32_t base, const WIDEINFO& a, const WIDEINFO& b) {
    switch (base) {
    case 0: return sign(d0(a) - d0(b));
    case 2: return sign(d1(a) - d1(b));
    case 4: return sign(d2(a) - d2(b));
    case 1:
    case 3:
    case 5:
        if ((a.c[MADE_TRUE] == 0) != (b.c[MADE_TRUE] == 0)) return 0;
        return compareWide(base - 1, a, b);
    case 6: return sign(a.c[ITEMS_SATISFIED] - b.c[ITEMS_SATISFIED]);
    case 7: return a.hasCost && b.hasCost ? -compareCostVectors(a.resultingCost, b.resultingCost) : 0;
    case 8: return a.hasCost && b.hasCost ? compareCostVectors(a.satisfiedWeakCost, b.satisfiedWeakCost) : 0;
    case 9: return sign(a.c[MADE_TRUE] - b.c[MADE_TRUE]);
    case 10: return sign(a.c[MADE_TRUE_S2] - b.c[MADE_TRUE_S2]);
    case 11: return sign(a.c[MADE_TRUE_S3] - b.c[MADE_TRUE_S3]);
    case 12: {
        const uint32_t order[] = {0, 2, 4, 15, 7, 8, 9, 10, 11};
        for (uint32_t k : order)
            if (int r = compareWide(k, a, b)) return r;
        return 1;
    }
    case 13: return int(a.c[MADE_TRUE] != 0) - int(b.c[MADE_TRUE] != 0);
    case 14: return sign((-d0(a) - 2 * d1(a) - d2(a)) - (-d0(b) - 2 * d1(b) - d2(b)));
    case 15: return sign(a.c[ITEMS_SATISFIED_CLOSED] - b.c[ITEMS_SATISFIED_CLOSED]);
    case 16:
        return sign((a.c[ITEMS_SATISFIED_CLOSED] - a.c[ITEMS_CLOSED]) -
                    (b.c[ITEMS_SATISFIED_CLOSED] - b.c[ITEMS_CLOSED]));
    case 21: return sign(a.c[ATOMS_DECIDED] - b.c[ATOMS_DECIDED]);
    case 29: return sign((d0(a) - 24 * d1(a) - 4 * d2(a)) - (d0(b) - 24 * d1(b) - 4 * d2(b)));
    case 30: return sign((d0(a) - 8 * d1(a) - 2 * d2(a)) - (d0(b) - 8 * d1(b) - 2 * d2(b)));
    case 31: return sign((d0(a) - 3 * d1(a) - d2(a)) - (d0(b) - 3 * d1(b) - d2(b)));
    case 33: return sign((4 * d0(a) - 5 * d1(a) - 2 * d2(a)) - (4 * d0(b) - 5 * d1(b) - 2 * d2(b)));
    case 34: return sign((9 * d0(a) - 7 * d1(a) - 3 * d2(a)) - (9 * d0(b) - 7 * d1(b) - 3 * d2(b)));
    case 37: return sign(headCycleRatio(a) - headCycleRatio(b));
    default: invalidCriterion(base);
    }
}

// Splits an index into its criterion and its direction.
uint32_t baseOf(uint32_t c, bool& reversed) {
    reversed = (c / 1000) % 2 == 1;
    return c % 1000;
}

int compareWideIndex(uint32_t c, const WIDEINFO& a, const WIDEINFO& b) {
    bool reversed;
    const uint32_t base = baseOf(c, reversed);
    const int r = compareWide(base, a, b);
    return reversed ? -r : r;
}

// An all-zero record: the complement record of an entry without one.
void zeroWide(WIDEINFO& w) {
    for (WIDEINT& v : w.c) v = 0;
    w.hasCost = false;
    w.resultingCost.clear();
    w.satisfiedWeakCost.clear();
}

void scaleWide(WIDEINFO& x, WIDEINT k) {
    for (WIDEINT& v : x.c) v *= k;
    for (WIDECOST& v : x.resultingCost) v *= WIDECOST(k);
    for (WIDECOST& v : x.satisfiedWeakCost) v *= WIDECOST(k);
}

// out := x op y counter by counter and cost by cost; op 0 adds, 1
// multiplies. out may be x or y: element i reads only element i.
void pairWide(const WIDEINFO& x, const WIDEINFO& y, int op, WIDEINFO& out) {
    for (int i = 0; i < COUNTERS; ++i) out.c[i] = op == 0 ? x.c[i] + y.c[i] : x.c[i] * y.c[i];
    const bool hasCost = x.hasCost && y.hasCost;
    auto pair = [op](const std::vector<WIDECOST>& u, const std::vector<WIDECOST>& v, std::vector<WIDECOST>& w) {
        const size_t n = u.size() < v.size() ? u.size() : v.size();
        for (size_t i = 0; i < n && i < w.size(); ++i) w[i] = op == 0 ? u[i] + v[i] : u[i] * v[i];
        for (size_t i = w.size(); i < n; ++i) w.push_back(op == 0 ? u[i] + v[i] : u[i] * v[i]);
        w.resize(n);
    };
    if (hasCost) {
        pair(x.resultingCost, y.resultingCost, out.resultingCost);
        pair(x.satisfiedWeakCost, y.satisfiedWeakCost, out.satisfiedWeakCost);
    } else {
        out.resultingCost.clear();
        out.satisfiedWeakCost.clear();
    }
    out.hasCost = hasCost;
}

// Whether Q counts as worse than O under the criteria list (ties: O is worse).
bool complementIsWorse(const WIDEINFO& o, const WIDEINFO& q, const std::vector<int32_t>& criteria) {
    for (int32_t c : criteria)
        if (int r = compareWideIndex(uint32_t(c), q, o)) return r < 0;
    return false;
}

// One entry in wide form, converted once per comparison of two entries:
// its own record, its complement's, and its combined record of the last
// kind asked for.
struct ENTRYVIEW {
    WIDEINFO own, complement;
    bool hasCombined = false;
    int32_t combinedKind = 0;
    WIDEINFO combined;
    WIDEINFO workOwn, workComplement;  // scratch of the combination
};

void viewOf(const PTCANDIDATE& e, ENTRYVIEW& v) {
    toWide(e.literalInfo, v.own);
    if (e.complementInfo)
        toWide(*e.complementInfo, v.complement);
    else
        zeroWide(v.complement);
    v.hasCombined = false;
}

// The entry's records combined by kind (kinds above 8: all zero).
const WIDEINFO& combinedOf(ENTRYVIEW& v, int32_t kind, const std::vector<int32_t>& criteria) {
    if (v.hasCombined && v.combinedKind == kind) return v.combined;
    v.hasCombined = true;
    v.combinedKind = kind;
    WIDEINFO& out = v.combined;
    WIDEINFO& o = v.workOwn;
    WIDEINFO& q = v.workComplement;
    // The kinds that scale a record work on copies of the two.
    switch (kind) {
    case 0: pairWide(v.own, v.complement, 0, out); break;
    case 1: pairWide(v.own, v.complement, 1, out); break;
    case 2:
        pairWide(v.own, v.complement, 1, out);
        scaleWide(out, 1024);
        pairWide(v.own, v.complement, 0, o);  // o + q
        pairWide(out, o, 0, out);
        break;
    case 3:
        pairWide(v.own, v.complement, 1, out);  // the cost vectors as in kind 1
        for (int i = 0; i < COUNTERS; ++i) out.c[i] = (v.own.c[i] + 1) * (v.complement.c[i] + 1);
        break;
    case 4:
        o = v.own;
        scaleWide(o, 2);
        pairWide(o, v.complement, 0, out);
        break;
    case 5:
    case 6:
    case 7:
    case 8: {
        o = v.own;
        q = v.complement;
        const bool complementWorse = complementIsWorse(o, q, criteria);
        WIDEINFO& worse = complementWorse ? q : o;
        WIDEINFO& better = complementWorse ? o : q;
        if (kind == 5) {
            out = worse;
        } else if (kind == 6) {
            out = better;
        } else {
            scaleWide(worse, kind == 7 ? 3 : 4);
            scaleWide(better, kind == 7 ? 2 : 3);
            pairWide(worse, better, 0, out);
        }
        break;
    }
    default: zeroWide(out); break;
    }
    return out;
}

int32_t clamp32(WIDEINT v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

uint64_t clamp64(WIDECOST v) {
    return v > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max() : uint64_t(v);
}

HEURISTICINFO fromWide(const WIDEINFO& w, const HEURISTICINFO& shape) {
    HEURISTICINFO x;
    int32_t* f[COUNTERS] = {&x.madeTrue, &x.madeTrueSupport2, &x.madeTrueSupport3, &x.madeMustBeTrue,
                            &x.madeMustBeTrueSupport2, &x.madeMustBeTrueSupport3, &x.itemsSatisfied,
                            &x.itemsSatisfiedClosed, &x.itemsClosed, &x.atomsDecided, &x.headCycleRulesSupported,
                            &x.madeTrueInHeadCycles};
    for (int i = 0; i < COUNTERS; ++i) *f[i] = clamp32(w.c[i]);
    if (shape.resultingCost && shape.satisfiedWeakCost) {
        x.resultingCost = std::make_unique<COSTVECTOR>(shape.resultingCost->size());
        x.satisfiedWeakCost = std::make_unique<COSTVECTOR>(shape.satisfiedWeakCost->size());
        for (size_t i = 0; i < w.resultingCost.size() && i < x.resultingCost->size(); ++i)
            x.resultingCost->values[i] = clamp64(w.resultingCost[i]);
        for (size_t i = 0; i < w.satisfiedWeakCost.size() && i < x.satisfiedWeakCost->size(); ++i)
            x.satisfiedWeakCost->values[i] = clamp64(w.satisfiedWeakCost[i]);
    }
    return x;
}

// cX for the D differences of an entry.
struct COMBINEDD {
    WIDEINT d0, d1, d2;
};
COMBINEDD combinedDifferences(int32_t kind, const ENTRYVIEW& v) {
    return COMBINEDD{combineCounts(kind, d0(v.own), d0(v.complement)),
                     combineCounts(kind, d1(v.own), d1(v.complement)),
                     combineCounts(kind, d2(v.own), d2(v.complement))};
}

bool viewsDisagree(int32_t kind, ENTRYVIEW& a, ENTRYVIEW& b, const std::vector<int32_t>& criteria) {
    const bool aZero = combinedOf(a, kind, criteria).c[MADE_TRUE] == 0;
    return aZero != (combinedOf(b, kind, criteria).c[MADE_TRUE] == 0);
}

// compareByCombinedCriterion over views.
int compareViews(uint32_t c, int32_t kind, ENTRYVIEW& a, ENTRYVIEW& b, const std::vector<int32_t>& criteria) {
    bool reversed;
    const uint32_t base = baseOf(c, reversed);
    if (!validCriterion(base)) invalidCriterion(base);
    int r = 0;
    switch (base) {
    case 1:
    case 3:
    case 5:
        if (viewsDisagree(kind, a, b, criteria)) break;
        [[fallthrough]];
    case 0:
    case 2:
    case 4: {
        const COMBINEDD x = combinedDifferences(kind, a), y = combinedDifferences(kind, b);
        const uint32_t which = base & ~1u;
        r = which == 0 ? sign(x.d0 - y.d0) : which == 2 ? sign(x.d1 - y.d1) : sign(x.d2 - y.d2);
        break;
    }
    case 14:
    case 29:
    case 30:
    case 31:
    case 33:
    case 34: {
        // The weights of cD0, cD1 and cD2.
        static const WIDEINT weights[][4] = {{14, 1, 2, 1}, {29, 1, 24, 4}, {30, 1, 8, 2},
                                             {31, 1, 3, 1}, {33, 4, 5, 2},  {34, 9, 7, 3}};
        const COMBINEDD x = combinedDifferences(kind, a), y = combinedDifferences(kind, b);
        for (const auto& w : weights)
            if (w[0] == WIDEINT(base))
                r = sign((w[1] * x.d0 + w[2] * x.d1 + w[3] * x.d2) - (w[1] * y.d0 + w[2] * y.d1 + w[3] * y.d2));
        break;
    }
    case 16:
    case 37: {
        auto x = [base](const WIDEINFO& w) {
            return base == 16 ? w.c[ITEMS_SATISFIED_CLOSED] - w.c[ITEMS_CLOSED] : headCycleRatio(w);
        };
        r = sign(combineCounts(kind, x(a.own), x(a.complement)) - combineCounts(kind, x(b.own), x(b.complement)));
        break;
    }
    default: r = compareWide(base, combinedOf(a, kind, criteria), combinedOf(b, kind, criteria)); break;
    }
    return reversed ? -r : r;
}

// Whether every criterion of the list orders by one number per entry
// (criteria 1, 3 and 5 compare pairs, 12 never ties, 7 and 8 compare cost
// vectors); records with costs are compared criterion by criterion.
bool keyedCriteria(const std::vector<int32_t>& criteria, const HEURISTICINFO& record) {
    if (record.resultingCost || record.satisfiedWeakCost) return false;
    for (int32_t c : criteria) {
        const uint32_t base = uint32_t(c) % 1000;
        if (!validCriterion(base) || base == 1 || base == 3 || base == 5 || base == 12) return false;
    }
    return true;
}

// The counters of a record, wide.
void countersWide(const HEURISTICINFO& x, WIDEINT* c) {
    const int32_t v[COUNTERS] = {x.madeTrue, x.madeTrueSupport2, x.madeTrueSupport3, x.madeMustBeTrue,
                                 x.madeMustBeTrueSupport2, x.madeMustBeTrueSupport3, x.itemsSatisfied,
                                 x.itemsSatisfiedClosed, x.itemsClosed, x.atomsDecided, x.headCycleRulesSupported,
                                 x.madeTrueInHeadCycles};
    for (int i = 0; i < COUNTERS; ++i) c[i] = v[i];
}

// A counter of the combined record of kinds 0 to 4 and above 8 (as
// combinedOf forms it) from the two records' counters.
// combineCounts, inline: the ranking keys of kept candidates call it for
// every lookahead.
inline WIDEINT combineWide(int32_t kind, WIDEINT a, WIDEINT b) {
    const WIDEINT lo = a < b ? a : b, hi = a < b ? b : a;
    switch (kind) {
    case 0: return a + b;
    case 1: return a * b;
    case 2:
        if (a >= 0 && b >= 0) return 1024 * a * b + a + b;
        return a + b < 0 ? a + b : a + b - 1024 * a * b;
    case 3: return (a + 1) * (b + 1);
    case 4: return 2 * a + b;
    case 5: return lo;
    case 6: return hi;
    case 7: return 3 * lo + 2 * hi;
    case 8: return 4 * lo + 3 * hi;
    default: return 0;
    }
}

WIDEINT combinedCounter(int32_t kind, WIDEINT o, WIDEINT q) {
    switch (kind) {
    case 0: return o + q;
    case 1: return o * q;
    case 2: return 1024 * o * q + (o + q);
    case 3: return (o + 1) * (q + 1);
    case 4: return 2 * o + q;
    default: return 0;
    }
}

// The number criterion c orders an entry by, from its counters o and its
// complement's q (all zero without one); combined() gives the counters of
// its records combined by kind. c's result for two entries is the sign of
// the difference of their numbers (without costs, criteria 7 and 8 always
// tie: 0).
template <class COMBINED>
WIDEINT criterionValue(uint32_t c, int32_t kind, const WIDEINT* o, const WIDEINT* q, bool combine,
                       COMBINED combined) {
    bool reversed;
    const uint32_t base = baseOf(c, reversed);
    auto d0 = [](const WIDEINT* x) { return x[MADE_TRUE] - x[MADE_MBT]; };
    auto d1 = [](const WIDEINT* x) { return x[MADE_TRUE_S2] - x[MADE_MBT_S2]; };
    auto d2 = [](const WIDEINT* x) { return x[MADE_TRUE_S3] - x[MADE_MBT_S3]; };
    auto weighted = [base](WIDEINT x0, WIDEINT x1, WIDEINT x2) -> WIDEINT {
        switch (base) {
        case 14: return x0 + 2 * x1 + x2;
        case 29: return x0 + 24 * x1 + 4 * x2;
        case 30: return x0 + 8 * x1 + 2 * x2;
        case 31: return x0 + 3 * x1 + x2;
        case 33: return 4 * x0 + 5 * x1 + 2 * x2;
        default: return 9 * x0 + 7 * x1 + 3 * x2;  // 34
        }
    };
    auto field = [base](const WIDEINT* w) -> WIDEINT {
        switch (base) {
        case 6: return w[ITEMS_SATISFIED];
        case 9: return w[MADE_TRUE];
        case 10: return w[MADE_TRUE_S2];
        case 11: return w[MADE_TRUE_S3];
        case 13: return w[MADE_TRUE] != 0;
        case 15: return w[ITEMS_SATISFIED_CLOSED];
        case 16: return w[ITEMS_SATISFIED_CLOSED] - w[ITEMS_CLOSED];
        case 21: return w[ATOMS_DECIDED];
        case 37: return headCycleRatio(w[HEAD_CYCLE_RULES], w[MADE_TRUE_IN_HEAD_CYCLES]);
        default: return 0;  // 7, 8 without costs
        }
    };
    WIDEINT r = 0;
    if (!combine) {
        switch (base) {
        case 0: r = d0(o); break;
        case 2: r = d1(o); break;
        case 4: r = d2(o); break;
        case 14: r = -d0(o) - 2 * d1(o) - d2(o); break;
        case 29: r = d0(o) - 24 * d1(o) - 4 * d2(o); break;
        case 30: r = d0(o) - 8 * d1(o) - 2 * d2(o); break;
        case 31: r = d0(o) - 3 * d1(o) - d2(o); break;
        case 33: r = 4 * d0(o) - 5 * d1(o) - 2 * d2(o); break;
        case 34: r = 9 * d0(o) - 7 * d1(o) - 3 * d2(o); break;
        default: r = field(o); break;
        }
    } else {
        switch (base) {
        case 0: r = combineWide(kind, d0(o), d0(q)); break;
        case 2: r = combineWide(kind, d1(o), d1(q)); break;
        case 4: r = combineWide(kind, d2(o), d2(q)); break;
        case 14:
        case 29:
        case 30:
        case 31:
        case 33:
        case 34:
            r = weighted(combineWide(kind, d0(o), d0(q)), combineWide(kind, d1(o), d1(q)),
                         combineWide(kind, d2(o), d2(q)));
            break;
        case 16:
        case 37: r = combineWide(kind, field(o), field(q)); break;
        default: r = field(combined()); break;
        }
    }
    return reversed ? -r : r;
}

void keyOf(ENTRYVIEW& v, const std::vector<int32_t>& criteria, const std::vector<int32_t>& combineKinds, bool combine,
           std::vector<WIDEINT>& key) {
    key.resize(criteria.size());
    for (size_t i = 0; i < criteria.size(); ++i) {
        const int32_t kind = i < combineKinds.size() ? combineKinds[i] : 0;
        key[i] = criterionValue(uint32_t(criteria[i]), kind, v.own.c, v.complement.c, combine,
                                [&]() { return combinedOf(v, kind, criteria).c; });
    }
}

// Views for the public entry points; one thread, and they never nest.
ENTRYVIEW& view(int i) {
    static ENTRYVIEW views[4];
    return views[i];
}


}  // namespace

int compareByCriterion(uint32_t c, const HEURISTICINFO& a, const HEURISTICINFO& b) {
    WIDEINFO& wa = view(0).own;
    WIDEINFO& wb = view(1).own;
    toWide(a, wa);
    toWide(b, wb);
    return compareWideIndex(c, wa, wb);
}

WIDEINT combineCounts(int32_t kind, WIDEINT a, WIDEINT b) { return combineWide(kind, a, b); }

HEURISTICINFO scaleInfo(const HEURISTICINFO& x, int32_t factor) {
    WIDEINFO w;
    toWide(x, w);
    scaleWide(w, factor);
    return fromWide(w, x);
}

HEURISTICINFO combineLookaheads(int32_t kind, const PTCANDIDATE& entry, const std::vector<int32_t>& criteria) {
    ENTRYVIEW& v = view(0);
    viewOf(entry, v);
    return fromWide(combinedOf(v, kind, criteria), entry.literalInfo);
}

bool combinedRecordsDisagree(int32_t kind, const PTCANDIDATE& a, const PTCANDIDATE& b,
                             const std::vector<int32_t>& criteria) {
    viewOf(a, view(0));
    viewOf(b, view(1));
    return viewsDisagree(kind, view(0), view(1), criteria);
}

int compareByCombinedCriterion(uint32_t c, int32_t kind, const PTCANDIDATE& a, const PTCANDIDATE& b,
                               const std::vector<int32_t>& criteria) {
    viewOf(a, view(0));
    viewOf(b, view(1));
    return compareViews(c, kind, view(0), view(1), criteria);
}

bool criteriaRankByKey(const std::vector<int32_t>& criteria) { return keyedCriteria(criteria, HEURISTICINFO()); }

namespace {

bool isCostCriterion(int32_t c) {
    const uint32_t base = uint32_t(c) % 1000;
    return base == 7 || base == 8;
}

}  // namespace

bool criteriaRankByKeyWithCosts(const std::vector<int32_t>& criteria, const std::vector<int32_t>& combineKinds,
                                bool combine) {
    if (!criteriaRankByKey(criteria)) return false;
    if (!combine) return true;
    for (size_t i = 0; i < criteria.size(); ++i) {
        const int32_t kind = i < combineKinds.size() ? combineKinds[i] : 0;
        if (isCostCriterion(criteria[i]) && kind >= 1 && kind <= 3) return false;
    }
    return true;
}

size_t rankingKeyWidth(const std::vector<int32_t>& criteria, uint32_t costSlots) {
    size_t width = 0;
    for (int32_t c : criteria) width += costSlots != 0 && isCostCriterion(c) ? costSlots : 1;
    return width;
}

void rankingKey(const HEURISTICINFO& record, const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                const std::vector<int32_t>& combineKinds, bool combine, __int128* key, const uint64_t* base,
                uint32_t costSlots) {
    if (costSlots == 0) {
        rankingKey(record, complement, criteria, combineKinds, combine, key);
        return;
    }
    assert(!combine || complement);
    // The counters' numbers first, one per criterion, then each cost
    // criterion's place widened to its cost numbers.
    const size_t n = criteria.size();
    __int128 plain[64];
    std::vector<__int128> wide;
    __int128* numbers = plain;
    if (n > 64) {
        wide.resize(n);
        numbers = wide.data();
    }
    rankingKey(record, complement, criteria, combineKinds, combine, numbers);
    ENTRYVIEW& v = view(2);
    auto relative = [&](const HEURISTICINFO& x, WIDEINFO& w) {
        toWide(x, w);
        for (uint32_t i = 0; i < costSlots && i < w.resultingCost.size(); ++i) w.resultingCost[i] -= base[i];
    };
    relative(record, v.own);
    if (complement)
        relative(*complement, v.complement);
    else
        zeroWide(v.complement);
    v.hasCombined = false;
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!isCostCriterion(criteria[i])) {
            key[at++] = numbers[i];
            continue;
        }
        bool reversed;
        const uint32_t c = baseOf(uint32_t(criteria[i]), reversed);
        const int32_t kind = i < combineKinds.size() ? combineKinds[i] : 0;
        const WIDEINFO& w = combine ? combinedOf(v, kind, criteria) : v.own;
        const std::vector<WIDECOST>& costs = c == 7 ? w.resultingCost : w.satisfiedWeakCost;
        // Criterion 7 prefers the lower resulting cost, 8 the higher weight
        // satisfied; without costs on both sides they tie.
        const bool lowerIsBetter = (c == 7) != reversed;
        for (uint32_t j = costSlots; j-- > 0;) {
            const __int128 value = w.hasCost && j < costs.size() ? __int128(costs[j]) : 0;
            key[at++] = lowerIsBetter ? -value : value;
        }
    }
}

void rankingKey(const HEURISTICINFO& record, const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                const std::vector<int32_t>& combineKinds, bool combine, __int128* key) {
    // Straight from the counters (records ranked by key carry no costs);
    // only kinds 5 to 8, which pick a record by the criteria, combine
    // through a view.
    WIDEINT o[COUNTERS], q[COUNTERS] = {}, m[COUNTERS];
    countersWide(record, o);
    if (complement) countersWide(*complement, q);
    bool haveM = false;
    int32_t mKind = 0;
    ENTRYVIEW* v = nullptr;
    for (size_t i = 0; i < criteria.size(); ++i) {
        const int32_t kind = i < combineKinds.size() ? combineKinds[i] : 0;
        auto combined = [&]() -> const WIDEINT* {
            if (kind >= 5 && kind <= 8) {
                if (!v) {
                    v = &view(2);
                    toWide(record, v->own);
                    if (complement)
                        toWide(*complement, v->complement);
                    else
                        zeroWide(v->complement);
                    v->hasCombined = false;
                }
                return combinedOf(*v, kind, criteria).c;
            }
            if (!haveM || mKind != kind) {
                for (int j = 0; j < COUNTERS; ++j) m[j] = combinedCounter(kind, o[j], q[j]);
                haveM = true;
                mKind = kind;
            }
            return m;
        };
        key[i] = criterionValue(uint32_t(criteria[i]), kind, o, q, combine, combined);
    }
}

void considerCandidate(PTCANDIDATES& list, int32_t atom, bool negative, const HEURISTICINFO& record,
                       const HEURISTICINFO* complement, const std::vector<int32_t>& criteria,
                       const std::vector<int32_t>& combineKinds, bool combine) {
    // The entry, in the spare.
    if (!list.spare) list.spare = std::make_unique<PTCANDIDATE>();
    PTCANDIDATE* e = list.spare.get();
    e->atom = atom;
    e->negative = negative;
    copyRecord(e->literalInfo, record);
    if (!complement) {
        e->complementInfo.reset();
    } else {
        if (!e->complementInfo) e->complementInfo = std::make_unique<HEURISTICINFO>();
        copyRecord(*e->complementInfo, *complement);
    }

    // E against x: the first criterion that tells them apart. E is
    // converted once, each x once per comparison.
    ENTRYVIEW& ev = view(2);
    ENTRYVIEW& xv = view(3);
    viewOf(*e, ev);
    const bool keyed = keyedCriteria(criteria, record);
    if (keyed) keyOf(ev, criteria, combineKinds, combine, e->key);
    auto compare = [&](const PTCANDIDATE& x) {
        if (keyed && x.key.size() == e->key.size()) {
            for (size_t i = 0; i < e->key.size(); ++i)
                if (e->key[i] != x.key[i]) return e->key[i] > x.key[i] ? 1 : -1;
            return 0;
        }
        viewOf(x, xv);
        for (size_t i = 0; i < criteria.size(); ++i) {
            const uint32_t c = uint32_t(criteria[i]);
            const int r = combine ? compareViews(c, i < combineKinds.size() ? combineKinds[i] : 0, ev, xv, criteria)
                                  : compareWideIndex(c, ev.own, xv.own);
            if (r != 0) return r;
        }
        return 0;
    };

    // Worse than every kept entry: at the end, while there is room.
    if (list.candidates.empty() || compare(*list.candidates.back()) < 0) {
        if (list.entryCount < list.capacity) {
            list.candidates.push_back(std::move(list.spare));
            ++list.entryCount;
        }
        return;
    }
    // Before the first entry it is not worse than; the last one drops
    // out when the list is full.
    size_t k = 0;
    while (k < list.candidates.size() && compare(*list.candidates[k]) < 0) ++k;
    list.candidates.insert(list.candidates.begin() + ptrdiff_t(k), std::move(list.spare));
    if (list.entryCount == list.capacity) {
        list.spare = std::move(list.candidates.back());
        list.candidates.pop_back();
    } else {
        ++list.entryCount;
    }
}

bool sameRecord(const HEURISTICINFO& a, const HEURISTICINFO& b) {
    WIDEINT x[COUNTERS], y[COUNTERS];
    countersWide(a, x);
    countersWide(b, y);
    for (int i = 0; i < COUNTERS; ++i)
        if (x[i] != y[i]) return false;
    auto same = [](const COSTPOINTER& p, const COSTPOINTER& q) {
        return !p == !q && (!p || p->values == q->values);
    };
    return same(a.resultingCost, b.resultingCost) && same(a.satisfiedWeakCost, b.satisfiedWeakCost);
}

void copyRecord(HEURISTICINFO& dst, const HEURISTICINFO& src) {
    dst.madeTrue = src.madeTrue;
    dst.madeTrueSupport2 = src.madeTrueSupport2;
    dst.madeTrueSupport3 = src.madeTrueSupport3;
    dst.madeMustBeTrue = src.madeMustBeTrue;
    dst.madeMustBeTrueSupport2 = src.madeMustBeTrueSupport2;
    dst.madeMustBeTrueSupport3 = src.madeMustBeTrueSupport3;
    dst.itemsSatisfied = src.itemsSatisfied;
    dst.itemsSatisfiedClosed = src.itemsSatisfiedClosed;
    dst.itemsClosed = src.itemsClosed;
    dst.atomsDecided = src.atomsDecided;
    dst.headCycleRulesSupported = src.headCycleRulesSupported;
    dst.madeTrueInHeadCycles = src.madeTrueInHeadCycles;
    auto copyCost = [](COSTPOINTER& d, const COSTPOINTER& s) {
        if (!s) {
            d.reset();
        } else if (d) {
            d->values = s->values;  // same size after the first use: no allocation
        } else {
            d = std::make_unique<COSTVECTOR>(*s);
        }
    };
    copyCost(dst.resultingCost, src.resultingCost);
    copyCost(dst.satisfiedWeakCost, src.satisfiedWeakCost);
}

}  // namespace veltra
