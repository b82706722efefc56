// checker/sat/decide.cpp: whether the clauses loaded into satState have a
// model, by conflict-driven clause learning: two watched literals per
// clause with a blocker literal per watch, first-UIP learnt clauses with
// non-chronological backjumping, activity-ordered decisions with saved
// phases, and restarts. A model it finds is the assignment it ends with; the
// solver hands it to its caller unless the look-ahead search is set to answer.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <utility>
#include <vector>

#include "checker/sat/satsolver.h"

namespace veltra {

SATDECIDER satDecider;

namespace {

constexpr int8_t UNASSIGNED = -1;
constexpr int32_t NO_REASON = -1;
constexpr int32_t RESTART_UNIT = 64;  // conflicts per unit of the restart sequence

// Element i (from 0) of the Luby sequence 1 1 2 1 1 2 4 1 1 2 1 1 2 4 8 ...
int64_t luby(int64_t i) {
    int64_t size = 1;
    int32_t power = 0;
    while (size < i + 1) {
        size = 2 * size + 1;
        ++power;
    }
    while (size - 1 != i) {
        size = (size - 1) >> 1;
        --power;
        i %= size;
    }
    return int64_t(1) << power;
}

struct DECIDE {
    SATDECIDER& d;
    const SATSOLVER& s;
    int32_t n;

    int32_t decisionLevel() const { return int32_t(d.levelStart.size()); }

    // The activity heap: a binary max-heap of variables.
    bool before(int32_t a, int32_t b) const { return d.activity[size_t(a)] > d.activity[size_t(b)]; }
    void heapUp(int32_t i) {
        int32_t v = d.heap[size_t(i)];
        while (i > 0) {
            int32_t parent = (i - 1) / 2;
            if (!before(v, d.heap[size_t(parent)])) break;
            d.heap[size_t(i)] = d.heap[size_t(parent)];
            d.heapIndex[size_t(d.heap[size_t(i)])] = i;
            i = parent;
        }
        d.heap[size_t(i)] = v;
        d.heapIndex[size_t(v)] = i;
    }
    void heapDown(int32_t i) {
        int32_t size = int32_t(d.heap.size());
        int32_t v = d.heap[size_t(i)];
        for (;;) {
            int32_t child = 2 * i + 1;
            if (child >= size) break;
            if (child + 1 < size && before(d.heap[size_t(child + 1)], d.heap[size_t(child)])) ++child;
            if (!before(d.heap[size_t(child)], v)) break;
            d.heap[size_t(i)] = d.heap[size_t(child)];
            d.heapIndex[size_t(d.heap[size_t(i)])] = i;
            i = child;
        }
        d.heap[size_t(i)] = v;
        d.heapIndex[size_t(v)] = i;
    }
    void heapInsert(int32_t v) {
        if (d.heapIndex[size_t(v)] >= 0) return;
        d.heap.push_back(v);
        heapUp(int32_t(d.heap.size()) - 1);
    }
    int32_t heapPop() {
        int32_t top = d.heap.front();
        d.heapIndex[size_t(top)] = -1;
        int32_t last = d.heap.back();
        d.heap.pop_back();
        if (!d.heap.empty()) {
            d.heap.front() = last;
            heapDown(0);
        }
        return top;
    }
    void bump(int32_t v) {
        double& a = d.activity[size_t(v)];
        a += d.increment;
        if (a > 1e100) {
            for (double& x : d.activity) x *= 1e-100;
            d.increment *= 1e-100;
        }
        if (d.heapIndex[size_t(v)] >= 0) heapUp(d.heapIndex[size_t(v)]);
    }

    void assign(int32_t literal, int32_t reason) {
        int32_t v = literal >> 1;
        d.value[size_t(literal)] = 1;
        d.value[size_t(literal ^ 1)] = 0;
        d.level[size_t(v)] = decisionLevel();
        d.reason[size_t(v)] = reason;
        d.trail[size_t(d.trailSize++)] = literal;
    }

    // Stores the clause of the literals at literals[from ..) (at least two),
    // watching its first two.
    void storeClause(size_t from) {
        const int32_t c = int32_t(d.start.size()) - 1;
        d.start.push_back(int32_t(d.literals.size()));
        d.cursor.push_back(2);
        const int32_t first = d.literals[from], second = d.literals[from + 1];
        const int32_t tag = d.literals.size() - from == 2 ? ~c : c;
        d.watches[size_t(first)].push_back({tag, second});
        d.watches[size_t(second)].push_back({tag, first});
    }

    // Unit propagation over the watches: the conflicting clause, or -1. A
    // watch whose blocker is true stays without a look at its clause; a
    // clause of more literals keeps its false watched literal at position 1
    // and moves that watch to a literal not false, if it has one.
    int32_t propagate() {
        int8_t* value = d.value.data();
        while (d.propagated < d.trailSize) {
            const int32_t falseLiteral = d.trail[size_t(d.propagated++)] ^ 1;
            ++d.propagations;
            std::vector<SATWATCH>& list = d.watches[size_t(falseLiteral)];
            SATWATCH *i = list.data(), *j = i, *end = i + list.size();
            int32_t conflict = -1;
            while (i != end) {
                const SATWATCH w = *i++;
                ++d.work;
                if (value[w.blocker] == 1) {
                    *j++ = w;
                    continue;
                }
                if (w.clause < 0) {
                    // Two literals: the blocker is the other one.
                    *j++ = w;
                    if (value[w.blocker] == 0) {
                        conflict = ~w.clause;
                        break;
                    }
                    assign(w.blocker, ~w.clause);
                    continue;
                }
                const int32_t c = w.clause;
                int32_t* literals = d.literals.data() + d.start[size_t(c)];
                const int32_t length = d.start[size_t(c) + 1] - d.start[size_t(c)];
                if (literals[0] == falseLiteral) {
                    literals[0] = literals[1];
                    literals[1] = falseLiteral;
                }
                const int32_t first = literals[0];
                const SATWATCH kept{c, first};
                if (first != w.blocker && value[first] == 1) {
                    *j++ = kept;
                    continue;
                }
                // The search for a new watch starts where the last one of
                // this clause ended and wraps around, so that watches moving
                // along a long clause cost linear work in all.
                const int32_t from = d.cursor[size_t(c)];
                int32_t k = from;
                while (k < length && value[literals[k]] == 0) ++k;
                if (k == length) {
                    k = 2;
                    while (k < from && value[literals[k]] == 0) ++k;
                    if (k == from) k = length;
                }
                d.work += k < length ? (k >= from ? k - from + 1 : length - from + k - 1) : length - 2;
                if (k < length) {
                    d.cursor[size_t(c)] = k;
                    literals[1] = literals[k];
                    literals[k] = falseLiteral;
                    d.watches[size_t(literals[1])].push_back(kept);
                    continue;
                }
                *j++ = kept;
                if (value[first] == 0) {
                    conflict = c;
                    break;
                }
                assign(first, c);
            }
            while (i != end) *j++ = *i++;
            list.resize(size_t(j - list.data()));
            if (conflict >= 0) {
                d.propagated = d.trailSize;
                return conflict;
            }
        }
        return -1;
    }

    // Unassigns every variable above level, saving its phase.
    void backtrack(int32_t level) {
        if (decisionLevel() <= level) return;
        int32_t keep = d.levelStart[size_t(level)];
        for (int32_t i = d.trailSize - 1; i >= keep; --i) {
            int32_t literal = d.trail[size_t(i)];
            int32_t v = literal >> 1;
            d.phase[size_t(v)] = uint8_t(~literal & 1);
            d.value[size_t(literal)] = d.value[size_t(literal ^ 1)] = UNASSIGNED;
            heapInsert(v);
        }
        d.trailSize = keep;
        d.propagated = keep;
        d.levelStart.resize(size_t(level));
    }

    // First-UIP analysis of a conflict: fills d.learnt (asserting literal
    // first, a literal of the backjump level second) and returns that level.
    int32_t analyze(int32_t conflict) {
        d.learnt.clear();
        d.learnt.push_back(-1);
        int32_t pending = 0, index = d.trailSize - 1, pivot = -1, c = conflict;
        const int32_t current = decisionLevel();
        do {
            for (int32_t p = d.start[size_t(c)]; p < d.start[size_t(c) + 1]; ++p) {
                int32_t literal = d.literals[size_t(p)];
                int32_t v = literal >> 1;
                if (v == pivot || d.seen[size_t(v)] || d.level[size_t(v)] == 0) continue;
                d.seen[size_t(v)] = 1;
                bump(v);
                if (d.level[size_t(v)] >= current) {
                    ++pending;
                } else {
                    d.learnt.push_back(literal);
                }
            }
            while (!d.seen[size_t(d.trail[size_t(index)] >> 1)]) --index;
            const int32_t literal = d.trail[size_t(index--)];
            pivot = literal >> 1;
            d.learnt[0] = literal ^ 1;
            c = d.reason[size_t(pivot)];
            d.seen[size_t(pivot)] = 0;
            --pending;
        } while (pending > 0);

        // Literals implied by the others are dropped (minimization); seen
        // marks the learnt variables, and those found implied, until the end.
        d.cleared.clear();
        uint32_t levels = 0;
        for (size_t i = 1; i < d.learnt.size(); ++i) {
            d.cleared.push_back(d.learnt[i] >> 1);
            levels |= abstractLevel(d.learnt[i] >> 1);
        }
        size_t kept = 1;
        for (size_t i = 1; i < d.learnt.size(); ++i) {
            const int32_t v = d.learnt[i] >> 1;
            if (d.reason[size_t(v)] == NO_REASON || !implied(v, levels)) d.learnt[kept++] = d.learnt[i];
        }
        d.learnt.resize(kept);
        for (int32_t v : d.cleared) d.seen[size_t(v)] = 0;

        int32_t back = 0;
        for (size_t i = 1; i < d.learnt.size(); ++i) {
            int32_t v = d.learnt[i] >> 1;
            if (d.level[size_t(v)] > back) {
                back = d.level[size_t(v)];
                std::swap(d.learnt[1], d.learnt[i]);
            }
        }
        return back;
    }

    uint32_t abstractLevel(int32_t v) const { return uint32_t(1) << (d.level[size_t(v)] & 31); }

    // Whether variable v (with a reason) follows from the seen variables and
    // the root through reasons alone; the variables found on the way are
    // marked seen (and listed in cleared) when it does. levels: the abstract
    // levels of the learnt literals, a cheap test that a variable at another
    // level cannot follow.
    bool implied(int32_t v, uint32_t levels) {
        const size_t mark = d.cleared.size();
        d.stack.assign(1, v);
        while (!d.stack.empty()) {
            const int32_t u = d.stack.back();
            d.stack.pop_back();
            const int32_t c = d.reason[size_t(u)];
            for (int32_t p = d.start[size_t(c)]; p < d.start[size_t(c) + 1]; ++p) {
                const int32_t w = d.literals[size_t(p)] >> 1;
                if (w == u || d.seen[size_t(w)] || d.level[size_t(w)] == 0) continue;
                if (d.reason[size_t(w)] == NO_REASON || !(abstractLevel(w) & levels)) {
                    for (size_t i = mark; i < d.cleared.size(); ++i) d.seen[size_t(d.cleared[i])] = 0;
                    d.cleared.resize(mark);
                    return false;
                }
                d.seen[size_t(w)] = 1;
                d.stack.push_back(w);
                d.cleared.push_back(w);
            }
        }
        return true;
    }

    // Sizes and clears the per-literal and per-variable arrays.
    void reset() {
        const size_t codes = 2 * size_t(n);
        if (d.watches.size() < codes) d.watches.resize(codes);
        for (size_t l = 0; l < codes; ++l) d.watches[l].clear();
        d.value.assign(codes, UNASSIGNED);
        d.stamp.assign(codes, 0);
        d.level.assign(size_t(n), 0);
        d.reason.assign(size_t(n), NO_REASON);
        d.seen.assign(size_t(n), 0);
        d.activity.assign(size_t(n), 0.0);
        d.phase.assign(size_t(n), 1);  // atoms in the unfounded set first
        // Equal activities: any order is a heap; the last variable first
        // (load orders them by occurrences).
        d.heap.resize(size_t(n));
        d.heapIndex.resize(size_t(n));
        for (int32_t i = 0; i < n; ++i) {
            d.heap[size_t(i)] = n - 1 - i;
            d.heapIndex[size_t(n - 1 - i)] = i;
        }
        d.trail.resize(size_t(n));
        d.trailSize = 0;
        d.levelStart.clear();
        d.propagated = 0;
        d.increment = 1.0;
        d.conflicts = d.decisions = d.propagations = d.work = 0;
        d.restarts = 0;
        d.untilRestart = RESTART_UNIT * luby(0);
        d.start.assign(1, 0);
        d.cursor.clear();
        d.literals.clear();
    }

    // Sets up the clauses of satState: each literal once, tautologies
    // dropped, single literals assigned at the root; activities from the
    // occurrences in the stored clauses. False on an empty clause or a
    // conflict among the single literals.
    bool load() {
        reset();
        uint32_t* stamp = d.stamp.data();
        for (int32_t c = 0; c < s.clauseCount; ++c) {
            const size_t from = d.literals.size();
            const uint32_t mark = uint32_t(c) + 1;
            bool tautology = false;
            for (const int32_t *p = s.literalsBegin(c), *e = s.literalsEnd(c); p != e; ++p) {
                const int32_t literal = *p < n ? 2 * *p : 2 * (*p - n) + 1;
                if (stamp[literal] == mark) continue;
                if (stamp[literal ^ 1] == mark) {
                    tautology = true;
                    break;
                }
                stamp[literal] = mark;
                d.literals.push_back(literal);
            }
            const size_t length = d.literals.size() - from;
            if (tautology) {
                d.literals.resize(from);
            } else if (length >= 2) {
                storeClause(from);
                for (size_t p = from; p < d.literals.size(); ++p) d.activity[size_t(d.literals[p] >> 1)] += 1.0;
            } else if (length == 0) {
                return false;
            } else {
                const int32_t literal = d.literals[from];
                d.literals.resize(from);
                if (d.value[size_t(literal)] == 0) return false;
                if (d.value[size_t(literal)] == UNASSIGNED) assign(literal, NO_REASON);
            }
        }
        startActivities();
        if (d.keys) startFromKept();
        return true;
    }

    // With keys: each variable's activity gains what its key carried over,
    // and its phase is the value its key had in the last model found.
    void startFromKept() {
        const int32_t* keys = d.keys;
        int32_t most = -1;
        for (int32_t v = 0; v < n; ++v) most = std::max(most, keys[v]);
        if (most >= int32_t(d.keptPhase.size())) {
            d.keptActivity.resize(size_t(most) + 1, 0.0);
            d.keptPhase.resize(size_t(most) + 1, 1);
        }
        for (int32_t v = 0; v < n; ++v) {
            d.activity[size_t(v)] += d.keptActivity[size_t(keys[v])];
            d.phase[size_t(v)] = d.keptPhase[size_t(keys[v])];
        }
        for (int32_t i = n / 2 - 1; i >= 0; --i) heapDown(i);
    }

    // With keys: each variable's activity goes to its key, relative to the
    // current bump; after a model (answer 1), its value too. The values a
    // refutation or a stop leaves behind say nothing of the next model.
    void keep(int answer) {
        const int32_t* keys = d.keys;
        if (!keys) return;
        const double scale = 1.0 / d.increment;
        for (int32_t v = 0; v < n; ++v) d.keptActivity[size_t(keys[v])] = d.activity[size_t(v)] * scale;
        if (answer == 1)
            for (int32_t v = 0; v < n; ++v) d.keptPhase[size_t(keys[v])] = uint8_t(d.isTrue(v));
    }

    // Activities start as the number of clauses each variable occurs in,
    // scaled to at most 1 (the first bump), so that the first decisions go
    // to the variables of most clauses.
    void startActivities() {
        double most = 0.0;
        for (int32_t v = 0; v < n; ++v) most = std::max(most, d.activity[size_t(v)]);
        if (most == 0.0) return;
        for (int32_t v = 0; v < n; ++v) d.activity[size_t(v)] /= most;
        for (int32_t i = n / 2 - 1; i >= 0; --i) heapDown(i);
    }

    // Goes on from where the last call stopped (after load) until an answer
    // or until its work reaches workLimit.
    int solve(int64_t workLimit) {
        for (;;) {
            int32_t conflict = propagate();
            if (d.work >= workLimit && decisionLevel() > 0) {
                backtrack(0);  // a restart: the next call propagates afresh
                return -1;
            }
            if (conflict >= 0) {
                if (decisionLevel() == 0) return 0;
                ++d.conflicts;
                int32_t back = analyze(conflict);
                backtrack(back);
                if (d.learnt.size() == 1) {
                    assign(d.learnt[0], NO_REASON);
                } else {
                    const size_t from = d.literals.size();
                    d.literals.insert(d.literals.end(), d.learnt.begin(), d.learnt.end());
                    storeClause(from);
                    assign(d.learnt[0], int32_t(d.start.size()) - 2);
                }
                d.increment *= 1.0 / 0.95;
                if (--d.untilRestart == 0) {
                    backtrack(0);
                    d.untilRestart = RESTART_UNIT * luby(++d.restarts);
                }
                continue;
            }
            int32_t next = -1;
            while (!d.heap.empty()) {
                int32_t v = heapPop();
                if (d.value[2 * size_t(v)] == UNASSIGNED) {
                    next = v;
                    break;
                }
            }
            if (next < 0) return 1;
            ++d.decisions;
            d.levelStart.push_back(d.trailSize);
            assign(d.phase[size_t(next)] ? 2 * next : 2 * next + 1, NO_REASON);
        }
    }
};

}  // namespace

int satDecide(bool start, int64_t workLimit) {
    DECIDE decide{satDecider, satState, satState.variableCount};
    if (start && !decide.load()) return 0;
    const int answer = decide.solve(workLimit);
    decide.keep(answer);
    return answer;
}

}  // namespace veltra
