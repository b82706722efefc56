// grounding/bodyplan.cpp: the plan of one body for one instantiation pass:
// the semi-naive source of every literal, the size-sorted order, built-ins
// moved behind their binders, and the variables aggregates share.
#include <climits>
#include <iostream>

#include "core/finish.h"
#include "core/options.h"
#include "grounding/grounder.h"

namespace veltra {

// Calls f(variable number, argument position) for every variable argument.
template <class F>
static void forEachVariable(const ATOM& atom, F f) {
    if (const TERMLIST* terms = atom.terms())
        for (size_t i = 0; i < terms->size(); ++i)
            if ((*terms)[i].isVariable()) f((*terms)[i].index, i);
}

int32_t statementVariableCount(const std::vector<ATOM>* head, const CONJUNCTION* body) {
    int32_t count = 0;
    auto note = [&](const TERM& t) {
        if (t.isVariable() && t.index >= count) count = t.index + 1;
    };
    auto noteAtom = [&](const ATOM& a) {
        if (const TERMLIST* terms = a.terms())
            for (const TERM& t : *terms) note(t);
    };
    if (head)
        for (const ATOM& h : *head) noteAtom(h);
    // Aggregate bodies may hold aggregates: walk them with a stack (which
    // allocates only when the body has an aggregate).
    std::vector<const CONJUNCTION*> pending;
    for (const CONJUNCTION* c = body; c;) {
        for (const LITERAL& l : c->literals) {
            if (!l.isAggregate()) {
                noteAtom(l);
                continue;
            }
            const AGGREGATEATOM& agg = *l.aggregate();
            note(agg.lowerGuard);
            note(agg.upperGuard);
            for (const TERM& t : agg.fn().elementTerms) note(t);
            pending.push_back(&agg.fn().body);
        }
        c = nullptr;
        if (!pending.empty()) {
            c = pending.back();
            pending.pop_back();
        }
    }
    return count;
}

// The first literal of an aggregate's body, or null.
static const LITERAL* firstAggregateLiteral(const LITERAL& l) {
    const AGGREGATEFUNCTION& fn = l.aggregate()->fn();
    return fn.body.empty() ? nullptr : &fn.body.literals[0];
}

BODYPLAN::BODYPLAN(const CONJUNCTION& b, const std::vector<int32_t>& atoms, const std::vector<int32_t>* deltas,
                   const std::vector<uint8_t>& completeFlags, const std::vector<uint8_t>& noUndefined, bool exit,
                   int32_t iteration, const DELTA* d)
    : body(b),
      isExit(exit),
      atomCount(atoms),
      deltaCounts(deltas),
      complete(completeFlags),
      noUndefinedAtoms(noUndefined),
      delta(d) {
    literalCount = static_cast<int32_t>(body.size());
    positiveCount = static_cast<int32_t>(body.firstNegative);
    order.assign(literalCount, -1);
    recursive.assign(literalCount, 0);
    source.assign(literalCount, SOURCE_OLD);
    position.assign(literalCount, 0);
    variableCount = statementVariableCount(nullptr, &body);
    variableWords = veltra::variableWords(variableCount);
    aggregateVariables.assign(size_t(literalCount) * variableWords, 0);

    // First sweep: sources and variable occurrences.
    VARIABLEARRAY<int32_t> occurrences(variableCount, 0);
    bool recursiveSeen = false;
    for (int32_t i = 0; i < literalCount; ++i) {
        const LITERAL& l = literal(i);
        const int32_t p = l.predicate;
        const int32_t kind = predicateTable.kinds[p];
        if (kind == KIND_BUILTIN && p > BUILTIN_GE && OPTIONS.maxInt == -1) internalError("#maxint undefined");
        if (!isExit && !l.negated && kind != KIND_EDB && kind != KIND_BUILTIN && !complete[p]) {
            recursive[i] = 1;
            lastRecursiveLiteral = i;
            if (recursiveSeen || !OPTIONS.semiNaive) {
                source[i] = SOURCE_BOTH;
            } else {
                deltaLiteral = i;
                source[i] = iteration != 0 ? SOURCE_DELTA : SOURCE_BOTH;
            }
            recursiveSeen = true;
        }
        if (kind == KIND_AGGREGATE) {
            state = PLAN_HAS_AGGREGATE;
            const AGGREGATEATOM& agg = *l.aggregate();
            if (agg.lowerGuard.isVariable()) ++occurrences[agg.lowerGuard.index];
            if (agg.upperGuard.isVariable() && agg.upperGuard != agg.lowerGuard) ++occurrences[agg.upperGuard.index];
            if (const LITERAL* first = firstAggregateLiteral(l))
                forEachVariable(*first, [&](int32_t v, size_t) { ++occurrences[v]; });
        } else {
            forEachVariable(l, [&](int32_t v, size_t) { ++occurrences[v]; });
        }
    }
    for (int32_t v = 0; v < variableCount; ++v)
        if (occurrences[v] > 0) highestVariable = v;

    // Second sweep: the positive literals into order.
    const int32_t reordering = OPTIONS.bodyReordering;
    bool builtinSeen = false;
    for (int32_t j = 0; j < positiveCount; ++j) {
        const uint32_t s = literalSize(j);
        const int32_t g = j - trailingCount;
        const LITERAL& l = literal(j);
        if (s == 0) {
            empty = true;
            if (source[j] != SOURCE_DELTA || deltaLiteral == lastRecursiveLiteral) {
                exhausted = true;
                return;  // incomplete plan: never joined
            }
            if (reordering == 0) {
                order[g] = j;
            } else if (isSingleUse(l, occurrences.data())) {
                order[positiveCount - 1 - trailingCount] = j;
                ++trailingCount;
            } else {
                for (int32_t k = g; k > 0; --k) order[k] = order[k - 1];
                order[0] = j;
            }
        } else if (reordering == 0) {
            order[g] = j;
            if (predicateTable.kinds[l.predicate] == KIND_BUILTIN) builtinSeen = true;
        } else if (isSingleUse(l, occurrences.data())) {
            order[positiveCount - 1 - trailingCount] = j;
            ++trailingCount;
        } else {
            int32_t k = g;
            while (k > 0 && literalSize(order[k - 1]) > s) {
                order[k] = order[k - 1];
                --k;
            }
            order[k] = j;
        }
        if (j == deltaLiteral) deltaSize = s;
    }
    for (int32_t k = positiveCount; k < literalCount; ++k) order[k] = k;
    for (int32_t k = 0; k < literalCount; ++k) position[order[k]] = k;

    if (builtinSeen) compensateBuiltins(0);
    collectAggregateVariables();
    if (empty) return;
    if (reordering == 1)
        compensateBuiltins(1);
    else if (reordering == 2)
        orderBody();
}

uint32_t BODYPLAN::literalSize(int32_t i) const {
    const int32_t p = literal(i).predicate;
    switch (predicateTable.kinds[p]) {
    case KIND_EDB: return static_cast<uint32_t>(atomCount[p]);
    case KIND_BUILTIN: return 1;
    case KIND_AGGREGATE: return UINT32_MAX;
    default: break;
    }
    const uint32_t inDelta = deltaCounts ? static_cast<uint32_t>((*deltaCounts)[p]) : 0;
    if (source[i] == SOURCE_OLD) return static_cast<uint32_t>(atomCount[p]);
    if (source[i] == SOURCE_DELTA) return inDelta;
    return static_cast<uint32_t>(atomCount[p]) + inDelta;
}

bool BODYPLAN::isSingleUse(const LITERAL& l, const int32_t* occurrences) const {
    if (l.isAggregate()) return false;
    const TERMLIST* terms = l.terms();
    if (!terms || terms->empty()) return false;
    for (const TERM& t : *terms)
        if (!t.isVariable() || occurrences[t.index] != 1) return false;
    return true;
}

void BODYPLAN::swapPositions(int32_t a, int32_t b) {
    std::swap(order[a], order[b]);
    position[order[a]] = a;
    position[order[b]] = b;
}

void BODYPLAN::moveTo(int32_t from, int32_t to) {
    const int32_t moving = order[from];
    if (from < to)
        for (int32_t k = from; k < to; ++k) order[k] = order[k + 1];
    else
        for (int32_t k = from; k > to; --k) order[k] = order[k - 1];
    order[to] = moving;
    const int32_t lo = from < to ? from : to, hi = from < to ? to : from;
    for (int32_t k = lo; k <= hi; ++k) position[order[k]] = k;
}

void BODYPLAN::nextDeltaLiteral() {
    empty = false;
    const int32_t reordering = OPTIONS.bodyReordering;
    const int32_t d = deltaLiteral;
    source[d] = SOURCE_OLD;
    const uint32_t s = literalSize(d);
    if (s == 0) {
        empty = exhausted = true;
        return;
    }
    const int32_t limit = positiveCount - trailingCount;
    if (reordering != 0 && position[d] < limit) {
        int32_t p = position[d];
        if (s < deltaSize) {
            while (p > 0 && literalSize(order[p - 1]) > s) {
                swapPositions(p - 1, p);
                --p;
            }
        } else if (s > deltaSize) {
            while (p < limit - 1 && !literal(order[p + 1]).isAggregate() && literalSize(order[p + 1]) < s) {
                swapPositions(p, p + 1);
                ++p;
            }
        }
    }
    int32_t next = d + 1;
    while (next < literalCount && !recursive[next]) ++next;
    deltaLiteral = next;
    source[next] = SOURCE_DELTA;
    const uint32_t s2 = literalSize(next);
    if (s2 == 0) {
        empty = true;
        if (next == lastRecursiveLiteral) return;
        if (reordering != 0 && position[next] < limit) moveTo(position[next], 0);
    } else if (reordering != 0) {
        int32_t p = position[next];
        if (p < limit && p != 0)
            while (p > 0 && literalSize(order[p - 1]) > s2) {
                swapPositions(p - 1, p);
                --p;
            }
    }
    deltaSize = s2;
    cursor = 0;
    if (!empty) {
        if (reordering == 1)
            compensateBuiltins(1);
        else if (reordering == 2)
            orderBody();
    }
    collectAggregateVariables();
}

void BODYPLAN::compensateBuiltins(int32_t mode) {
    enum : uint8_t { UNBOUND, BOUND, CLAIMED };
    VARIABLEARRAY<uint8_t> mark(variableCount, UNBOUND);
    const int32_t limit = literalCount - trailingCount;
    int32_t k = 0;
    while (k < limit) {
        const LITERAL& l = at(k);
        const int32_t p = l.predicate;
        const int32_t kind = predicateTable.kinds[p];
        if (kind != KIND_BUILTIN) {
            if (kind != KIND_AGGREGATE) forEachVariable(l, [&](int32_t v, size_t) { mark[v] = BOUND; });
            ++k;
            continue;
        }
        int32_t claimed = 0;
        forEachVariable(l, [&](int32_t v, size_t) {
            if (mark[v] == UNBOUND) {
                mark[v] = CLAIMED;
                ++claimed;
            }
        });
        const bool comparison = p <= BUILTIN_GE;
        const int32_t allowance = comparison ? 0 : 1;
        if (claimed <= allowance) {
            ++k;
            continue;
        }
        if (mode == 0) {
            if (comparison) {
                std::cout.flush();
                std::cerr << "Simple built-in predicate used on unbound parameters.\n"
                             "Could not compensate due to -OGo0 - giving up.\n";
                std::exit(1);
            }
            ++k;
            continue;
        }
        // Move l behind the literals that bind its claimed variables.
        const int32_t moving = order[k];
        int32_t target = -1;
        for (int32_t m = k + 1; m < limit; ++m) {
            const LITERAL& other = at(m);
            const int32_t otherPredicate = other.predicate;
            const bool otherBuiltin = predicateTable.kinds[otherPredicate] == KIND_BUILTIN;
            bool stop = false;
            if (!other.isAggregate())
                forEachVariable(other, [&](int32_t v, size_t) {
                    if (stop || mark[v] != CLAIMED) return;
                    if (otherBuiltin && !comparison) {
                        stop = true;
                    } else if (otherBuiltin && comparison) {
                        if (otherPredicate > BUILTIN_GE) {
                            mark[v] = UNBOUND;
                            --claimed;
                        }
                    } else {
                        mark[v] = UNBOUND;
                        --claimed;
                    }
                });
            if (stop) {
                target = m - 1;
                break;
            }
            order[m - 1] = order[m];
            if (claimed <= allowance) {
                target = m;
                break;
            }
        }
        if (target < 0) target = limit - 1;  // the literals ran out
        order[target] = moving;
        for (int32_t m = k; m <= target; ++m) position[order[m]] = m;
        if (target == k) ++k;
    }
}

void BODYPLAN::collectAggregateVariables() {
    for (int32_t i = 0; i < literalCount; ++i) {
        uint64_t* set = &aggregateVariables[size_t(i) * variableWords];
        std::fill(set, set + variableWords, 0);
        const LITERAL& l = literal(i);
        if (l.isAggregate()) {
            const AGGREGATEATOM& agg = *l.aggregate();
            if (agg.lowerGuard.isVariable()) setVariableBit(set, agg.lowerGuard.index);
            if (agg.upperGuard.isVariable() && !agg.assignment) setVariableBit(set, agg.upperGuard.index);
            if (const LITERAL* first = firstAggregateLiteral(l)) {
                const std::vector<TERM>& elements = agg.fn().elementTerms;
                forEachVariable(*first, [&](int32_t v, size_t) {
                    for (const TERM& e : elements)
                        if (e == variableTerm(v)) return;
                    setVariableBit(set, v);
                });
            }
        }
    }
}

}  // namespace veltra
