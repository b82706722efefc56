// checker/sat/decide.cpp: whether the clauses loaded into satState have a
// model, by conflict-driven clause learning: two watched literals per
// clause, first-UIP learnt clauses with non-chronological backjumping,
// activity-ordered decisions with saved phases, and restarts. A model it
// finds is the assignment it ends with; the solver hands it to its caller
// unless the look-ahead search is set to answer.
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

    int32_t variableOf(int32_t literal) const { return literal < n ? literal : literal - n; }
    int32_t complement(int32_t literal) const { return literal < n ? literal + n : literal - n; }
    // 1 true, 0 false, -1 unassigned.
    int32_t valueOf(int32_t literal) const {
        int8_t a = d.assignment[size_t(variableOf(literal))];
        if (a == UNASSIGNED) return -1;
        return (literal < n) == (a == 1) ? 1 : 0;
    }
    int32_t trueLiteral(int32_t v) const { return d.assignment[size_t(v)] == 1 ? v : n + v; }
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
        int32_t v = variableOf(literal);
        d.assignment[size_t(v)] = literal < n ? 1 : 0;
        d.level[size_t(v)] = decisionLevel();
        d.reason[size_t(v)] = reason;
        d.trail.push_back(v);
    }

    // Node 2c + k watches position watchPosition[2c + k] of clause c.
    int32_t watchedLiteral(int32_t node) const {
        return d.literals[size_t(d.start[size_t(node >> 1)] + d.watchPosition[size_t(node)])];
    }
    void watch(int32_t node, int32_t position) {
        d.watchPosition[size_t(node)] = position;
        int32_t literal = watchedLiteral(node);
        d.watchNext[size_t(node)] = d.watchHead[size_t(literal)];
        d.watchHead[size_t(literal)] = node;
    }
    // Appends a clause of at least two literals, watching its positions 0 and 1.
    int32_t addClause(const int32_t* begin, const int32_t* end) {
        int32_t c = int32_t(d.start.size()) - 1;
        d.literals.insert(d.literals.end(), begin, end);
        d.start.push_back(int32_t(d.literals.size()));
        d.watchPosition.resize(d.watchPosition.size() + 2);
        d.watchNext.resize(d.watchNext.size() + 2);
        watch(2 * c, 0);
        watch(2 * c + 1, 1);
        return c;
    }

    // Unit propagation over the watches: the conflicting clause, or -1.
    int32_t propagate() {
        while (d.propagated < int32_t(d.trail.size())) {
            int32_t falseLiteral = complement(trueLiteral(d.trail[size_t(d.propagated++)]));
            ++d.propagations;
            int32_t* link = &d.watchHead[size_t(falseLiteral)];
            while (*link >= 0) {
                int32_t node = *link;
                ++d.work;
                int32_t c = node >> 1;
                int32_t other = node ^ 1;
                int32_t otherLiteral = watchedLiteral(other);
                if (valueOf(otherLiteral) == 1) {
                    link = &d.watchNext[size_t(node)];
                    continue;
                }
                // A literal not false at a position neither node watches.
                int32_t first = d.start[size_t(c)], length = d.start[size_t(c) + 1] - first;
                int32_t here = d.watchPosition[size_t(node)], there = d.watchPosition[size_t(other)];
                int32_t found = -1;
                d.work += length;
                for (int32_t p = 0; p < length; ++p) {
                    if (p == here || p == there) continue;
                    if (valueOf(d.literals[size_t(first + p)]) != 0) {
                        found = p;
                        break;
                    }
                }
                if (found >= 0) {
                    *link = d.watchNext[size_t(node)];
                    watch(node, found);
                    continue;
                }
                link = &d.watchNext[size_t(node)];
                if (valueOf(otherLiteral) == 0) {
                    d.propagated = int32_t(d.trail.size());
                    return c;
                }
                assign(otherLiteral, c);
            }
        }
        return -1;
    }

    // Unassigns every variable above level, saving its phase.
    void backtrack(int32_t level) {
        if (decisionLevel() <= level) return;
        int32_t keep = d.levelStart[size_t(level)];
        for (int32_t i = int32_t(d.trail.size()) - 1; i >= keep; --i) {
            int32_t v = d.trail[size_t(i)];
            d.phase[size_t(v)] = uint8_t(d.assignment[size_t(v)]);
            d.assignment[size_t(v)] = UNASSIGNED;
            heapInsert(v);
        }
        d.trail.resize(size_t(keep));
        d.propagated = keep;
        d.levelStart.resize(size_t(level));
    }

    // First-UIP analysis of a conflict: fills d.learnt (asserting literal
    // first, a literal of the backjump level second) and returns that level.
    int32_t analyze(int32_t conflict) {
        d.learnt.clear();
        d.learnt.push_back(-1);
        int32_t pending = 0, index = int32_t(d.trail.size()) - 1, pivot = -1, c = conflict;
        int32_t current = decisionLevel();
        do {
            for (int32_t p = d.start[size_t(c)]; p < d.start[size_t(c) + 1]; ++p) {
                int32_t literal = d.literals[size_t(p)];
                int32_t v = variableOf(literal);
                if (v == pivot || d.seen[size_t(v)] || d.level[size_t(v)] == 0) continue;
                d.seen[size_t(v)] = 1;
                bump(v);
                if (d.level[size_t(v)] >= current) {
                    ++pending;
                } else {
                    d.learnt.push_back(literal);
                }
            }
            while (!d.seen[size_t(d.trail[size_t(index)])]) --index;
            pivot = d.trail[size_t(index--)];
            c = d.reason[size_t(pivot)];
            d.seen[size_t(pivot)] = 0;
            --pending;
        } while (pending > 0);
        d.learnt[0] = complement(trueLiteral(pivot));

        int32_t back = 0;
        for (size_t i = 1; i < d.learnt.size(); ++i) {
            d.seen[size_t(variableOf(d.learnt[i]))] = 0;
            int32_t level = d.level[size_t(variableOf(d.learnt[i]))];
            if (level > back) {
                back = level;
                std::swap(d.learnt[1], d.learnt[i]);
            }
        }
        return back;
    }

    // Sets up the original clauses; false on a conflict among the units.
    bool load() {
        d.start.assign(1, 0);
        d.literals.clear();
        d.watchPosition.clear();
        d.watchNext.clear();
        d.watchHead.assign(2 * size_t(n), -1);
        d.assignment.assign(size_t(n), UNASSIGNED);
        d.level.assign(size_t(n), 0);
        d.reason.assign(size_t(n), NO_REASON);
        d.seen.assign(size_t(n), 0);
        d.activity.assign(size_t(n), 0.0);
        d.phase.assign(size_t(n), 1);  // atoms in the unfounded set first
        d.heapIndex.assign(size_t(n), -1);
        d.heap.clear();
        d.trail.clear();
        d.levelStart.clear();
        d.propagated = 0;
        d.increment = 1.0;
        d.conflicts = d.decisions = d.propagations = d.work = 0;
        d.restarts = 0;
        d.untilRestart = RESTART_UNIT * luby(0);
        for (int32_t v = n - 1; v >= 0; --v) heapInsert(v);
        bool consistent = true;
        for (int32_t c = 0; c < s.clauseCount; ++c) {
            const int32_t *begin = s.literalsBegin(c), *end = s.literalsEnd(c);
            if (end - begin >= 2) {
                addClause(begin, end);
            } else if (begin == end) {
                consistent = false;
            } else if (valueOf(*begin) == 0) {
                consistent = false;
            } else if (valueOf(*begin) < 0) {
                assign(*begin, NO_REASON);
            }
        }
        return consistent;
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
                    int32_t c = addClause(d.learnt.data(), d.learnt.data() + d.learnt.size());
                    assign(d.learnt[0], c);
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
                if (d.assignment[size_t(v)] == UNASSIGNED) {
                    next = v;
                    break;
                }
            }
            if (next < 0) return 1;
            ++d.decisions;
            d.levelStart.push_back(int32_t(d.trail.size()));
            assign(d.phase[size_t(next)] ? next : n + next, NO_REASON);
        }
    }
};

}  // namespace

int satDecide(bool start, int64_t workLimit) {
    DECIDE decide{satDecider, satState, satState.variableCount};
    if (start && !decide.load()) return 0;
    return decide.solve(workLimit);
}

}  // namespace veltra
