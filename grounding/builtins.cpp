// grounding/builtins.cpp: the comparison built-ins and the arithmetic
// built-ins "#int", "#succ", "+" and "*" within 0 .. "#maxint".
#include <cstring>

#include "core/finish.h"
#include "core/options.h"
#include "grounding/grounder.h"

namespace veltra {

// The total order of the comparisons: symbolic constants (by name, byte-wise)
// before integers (by value) before the null term (an unbound argument).
static int compareBuiltinTerms(const TERM& a, const TERM& b) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    if (a.kind == TERM_SYMBOL) {
        if (a.index == b.index) return 0;
        int c = symbolName(a).str().compare(symbolName(b).str());
        return (c > 0) - (c < 0);
    }
    if (a.kind == TERM_INTEGER) {
        int32_t x = integerValue(a), y = integerValue(b);
        return (x > y) - (x < y);
    }
    if (a.kind == TERM_VARIABLE) return (a.index > b.index) - (a.index < b.index);
    return 0;
}

static bool evaluateComparison(int32_t p, const TERM& a, const TERM& b) {
    int c = compareBuiltinTerms(a, b);
    switch (p) {
    case BUILTIN_EQ: return c == 0;
    case BUILTIN_NE: return c != 0;
    case BUILTIN_LT: return c < 0;
    case BUILTIN_GT: return c > 0;
    case BUILTIN_LE: return c <= 0;
    default: return c >= 0;
    }
}

// All arguments bound: the relation itself, exact in 64 bits.
static bool holds(int32_t p, const int64_t* value) {
    switch (p) {
    case BUILTIN_INT: return true;
    case BUILTIN_SUCC: return value[0] + 1 == value[1];
    case BUILTIN_PLUS: return value[0] + value[1] == value[2];
    default: return value[0] * value[1] == value[2];
    }
}

// The next solution of "*"(X, Y, 0) with one or both factors unbound (the
// product is bound to 0). Both unbound: (0, 0) .. (0, maxInt), then (1, 0) ..
// (maxInt, 0), firstCounter numbering them; the same variable twice: only 0.
// One unbound: every value when the other factor is 0, else only 0.
static bool enumerateZeroProduct(TERM* bindings, const TERMLIST& args, const int64_t* value,
                                 const int32_t* unbound, int32_t unboundCount, bool repeated, int64_t maxInt,
                                 LITERALMATCHER& m) {
    const int64_t k = m.firstCounter;
    if (unboundCount == 2) {
        const int64_t last = repeated ? 0 : 2 * maxInt;
        if (k > last) return false;
        m.firstCounter = k + 1;
        bindings[args[0].index] = knownIntegerTerm(static_cast<int32_t>(k <= maxInt ? 0 : k - maxInt));
        bindings[args[1].index] = knownIntegerTerm(static_cast<int32_t>(k <= maxInt ? k : 0));
        return true;
    }
    const int64_t other = value[1 - unbound[0]];
    if (k > (other == 0 ? maxInt : 0)) return false;
    m.firstCounter = k + 1;
    bindings[args[unbound[0]].index] = knownIntegerTerm(static_cast<int32_t>(k));
    return true;
}

bool evaluateBuiltin(TERM* bindings, const ATOM& atom, LITERALMATCHER& m) {
    const int32_t p = atom.predicate;
    const TERMLIST& args = *atom.terms();
    auto resolve = [&](size_t i) -> const TERM& { return args[i].isVariable() ? bindings[args[i].index] : args[i]; };
    if (p <= BUILTIN_GE) {
        if (m.firstCounter != 0) return false;
        m.firstCounter = 1;
        return evaluateComparison(p, resolve(0), resolve(1));
    }
    if (OPTIONS.maxInt == -1) internalError("#maxint undefined");
    const int64_t maxInt = OPTIONS.maxInt;
    const size_t n = args.size();

    int64_t value[3] = {0, 0, 0};
    int32_t unbound[3];
    int32_t unboundCount = 0;
    for (size_t i = 0; i < n; ++i) {
        const TERM& t = resolve(i);
        if (t.kind == TERM_INTEGER)
            value[i] = integerValue(t);
        else if (t.isNull())
            unbound[unboundCount++] = static_cast<int32_t>(i);
        else
            return false;  // a symbolic constant
    }
    // Positions of one unbound variable that occurs more than once.
    int32_t repeated[3] = {0, 0, 0};
    int32_t repeatedCount = 0;
    for (size_t i = 0; i < n && repeatedCount == 0; ++i) {
        if (!args[i].isVariable() || !bindings[args[i].index].isNull()) continue;
        for (size_t j = i + 1; j < n; ++j) {
            if (args[j].isVariable() && args[j].index == args[i].index) {
                if (repeatedCount == 0) repeated[repeatedCount++] = static_cast<int32_t>(i);
                repeated[repeatedCount++] = static_cast<int32_t>(j);
            }
        }
    }
    if (unboundCount == 0) {
        if (m.firstCounter != 0) return false;
        m.firstCounter = 1;
        return holds(p, value);
    }

    // A zero product: any factor times 0 is 0, so division cannot compute
    // the unbound factors.
    if (p == BUILTIN_TIMES && unbound[unboundCount - 1] != 2 && value[2] == 0)
        return enumerateZeroProduct(bindings, args, value, unbound, unboundCount, repeatedCount > 0, maxInt, m);

    // Roles: R is computed, E1 (fastest) and E2 are enumerated.
    int32_t computed = -1, e1 = -1, e2 = -1;
    if (p == BUILTIN_INT) {
        e1 = 0;
    } else if (unboundCount == 1) {
        computed = unbound[0];
        if (m.firstCounter != 0) return false;
        m.firstCounter = 1;
    } else if (unboundCount == 2) {
        computed = unbound[1];
        e1 = unbound[0];
        if (p == BUILTIN_SUCC && repeatedCount > 0) return false;
    } else {
        computed = 2;
        e1 = 0;
        e2 = 1;
    }

    for (;;) {
        // Enumeration step.
        if (e2 >= 0) {
            if (m.firstCounter > maxInt) {
                m.firstCounter = 0;
                ++m.secondCounter;
            }
            if (m.secondCounter > maxInt) return false;
            value[e1] = m.firstCounter++;
            value[e2] = m.secondCounter;
        } else if (e1 >= 0) {
            if (m.firstCounter > maxInt) return false;
            value[e1] = m.firstCounter++;
        }
        // The computed position.
        int64_t s = 0;
        if (computed >= 0) {
            bool defined = true;
            if (p == BUILTIN_PLUS) {
                s = computed == 2 ? value[0] + value[1] : value[2] - value[1 - computed];
            } else if (p == BUILTIN_TIMES) {
                if (computed == 2) {
                    s = value[0] * value[1];
                } else {
                    int64_t d = value[1 - computed];
                    if (d == 0 || value[2] % d != 0)
                        defined = false;
                    else
                        s = value[2] / d;
                }
            } else {  // "#succ"
                s = computed == 1 ? value[0] + 1 : value[1] - 1;
            }
            if (!defined) {
                if (e1 >= 0) continue;
                return false;
            }
            if (s < 0 || s > maxInt) {
                if (e2 < 0) return false;
                // Two enumerated positions: the product or sum only grows
                // with E1 from here, so go on with the next E2.
                if (value[e2] > 0 || p == BUILTIN_PLUS) m.firstCounter = maxInt + 1;
                continue;
            }
        }
        if (repeatedCount > 0) {
            auto valueAt = [&](int32_t pos) { return pos == computed ? s : value[pos]; };
            bool same = true;
            for (int32_t k = 1; k < repeatedCount; ++k)
                if (valueAt(repeated[k]) != valueAt(repeated[0])) same = false;
            if (!same) {
                if (e1 >= 0) continue;
                return false;
            }
        }
        if (e1 >= 0) bindings[args[e1].index] = knownIntegerTerm(static_cast<int32_t>(value[e1]));
        if (e2 >= 0) bindings[args[e2].index] = knownIntegerTerm(static_cast<int32_t>(value[e2]));
        if (computed >= 0) bindings[args[computed].index] = knownIntegerTerm(static_cast<int32_t>(s));
        return true;
    }
}

}  // namespace veltra
