// generator/backjump.cpp: conflict-directed backjumping: the choice levels a
// conflict depends on, found by following the reasons of the values involved
// back to choices, to complements of failed branches and to unknown reasons,
// and the level sets the complements keep.
#include <algorithm>

#include "checker/modelchecker.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

constexpr uint32_t NO_LIMIT = UINT32_MAX;

// One walk over the reasons. Each atom is expanded once; the levels met
// are marked, so that each is listed once.
struct REASONWALK {
    MODELGENERATOR& g;
    const INTERPRETATION& I;

    void addLevel(int32_t l) {
        if (l <= g.failPrefix || g.levelSeen[l] == g.levelStamp) return;
        g.levelSeen[l] = g.levelStamp;
        g.failLevels.push_back(l);
    }
    void raisePrefix(int32_t l) { g.failPrefix = std::max(g.failPrefix, l); }
    void addSet(int32_t id) {
        const LEVELSET& s = g.levelSets[id];
        raisePrefix(s.prefix);
        for (uint32_t i = s.begin; i < s.end; ++i) addLevel(g.levelSetLevels[i]);
    }
    // An atom whose value matters: queued unless undefined, assigned at
    // limit or later (not yet assigned when the value that names it was
    // derived), assigned before the first choice, or queued before.
    void visit(int32_t y, uint32_t limit) {
        if (I.values[y] == TV_UNDEFINED || g.assignStamp[y] >= limit || g.assignLevel[y] <= 1 ||
            g.atomSeen[y] == g.atomStamp)
            return;
        g.atomSeen[y] = g.atomStamp;
        g.walkStack.push_back(y);
    }
    // Rules and constraints are read as the run keeps them (ruleAtoms,
    // constraintData): heads, positive and negated body atoms in the
    // records' order, without the records' indirections.
    void visitRule(uint32_t k, uint32_t limit) {
        const MODELGENERATOR::RULESHAPE& shape = g.ruleShapes[k];
        const int32_t* atoms = g.ruleAtoms.data() + shape.start;
        const uint32_t count = shape.heads + shape.positive + shape.negative;
        for (uint32_t i = 0; i < count; ++i) visit(atoms[i], limit);
    }
    // The literal of rule k assigned before limit, on the lowest level, that
    // keeps it from founding a head atom: a true or must-be-true head atom y
    // for which other(y) holds, a false positive body atom or a true or
    // must-be-true negated one; -1 when there is none.
    template <class OTHER>
    int32_t lowestBlocker(uint32_t k, uint32_t limit, OTHER other) const {
        int32_t best = -1;
        auto consider = [&](int32_t y) {
            if (g.assignStamp[y] < limit && (best < 0 || g.assignLevel[y] < g.assignLevel[best])) best = y;
        };
        const MODELGENERATOR::RULESHAPE& shape = g.ruleShapes[k];
        const int32_t* heads = g.ruleAtoms.data() + shape.start;
        const int32_t* positive = heads + shape.heads;
        const int32_t* negative = positive + shape.positive;
        const int32_t* end = negative + shape.negative;
        for (const int32_t* p = heads; p != positive; ++p)
            if (other(*p) && isTrueOrMustBeTrue(I.values[*p])) consider(*p);
        for (const int32_t* p = positive; p != negative; ++p)
            if (I.values[*p] == TV_FALSE) consider(*p);
        for (const int32_t* p = negative; p != end; ++p)
            if (isTrueOrMustBeTrue(I.values[*p])) consider(*p);
        return best;
    }
    // The blocker of r for h (another head atom counts), or every atom of r
    // assigned before limit when there is none.
    void visitBlocker(uint32_t k, int32_t h, uint32_t limit) {
        const int32_t best = lowestBlocker(k, limit, [h](int32_t y) { return y != h; });
        if (best >= 0)
            visit(best, limit);
        else
            visitRule(k, limit);
    }
    // Why atom p of record k's unfounded set U is false (the conflict atom
    // when p is -1): the atoms of U that p's rules need, S, grown from p
    // through the rules with a head atom in S. A rule needs a literal
    // assigned before U, on the lowest level, that keeps it from founding
    // (as canFound tells): a head atom outside the component true or
    // must-be-true, a positive body atom false, a negated one true or
    // must-be-true; without one, a positive body atom in U, added to S.
    // Every rule with a head atom in S then has a positive body atom in S or
    // such a literal: S stays unfounded while those literals hold. S grows
    // over the walk (a union of unfounded sets is unfounded), so each of its
    // atoms is expanded once. A body atom of another record's set does not
    // count: it may have become false after U.
    void expandUnfounded(int32_t k, int32_t p) {
        UNFOUNDEDRECORD& u = g.unfoundedRecords[size_t(k)];
        const int32_t* const atoms = g.unfoundedRecordAtoms.data();
        if (u.walked != g.atomStamp) {
            u.walked = g.atomStamp;
            u.mark = ++g.unfoundedMarkStamp;
            for (uint32_t i = u.begin; i < u.end; ++i) g.unfoundedMark[atoms[i]] = u.mark;
        }
        const uint32_t mark = u.mark;
        if (p < 0) p = u.conflict;
        if (p < 0 || g.closureMark[p] == mark) return;
        g.closureMark[p] = mark;
        std::vector<int32_t>& stack = g.closureStack;
        stack.clear();
        stack.push_back(p);
        const uint32_t limit = u.stamp;
        while (!stack.empty()) {
            const int32_t s = stack.back();
            stack.pop_back();
            for (const GROUNDRULE* r : g.headOccurrences[s]) {
                int32_t needed = -1;
                if (r->body) {
                    const auto& ls = r->body->literals;
                    bool covered = false;
                    for (size_t j = 0; j < r->body->firstNegative && !covered; ++j) {
                        const int32_t b = ls[j].atom;
                        if (g.closureMark[b] == mark)
                            covered = true;
                        else if (needed < 0 && g.unfoundedMark[b] == mark)
                            needed = b;
                    }
                    if (covered) continue;
                }
                const int32_t best = lowestBlocker(uint32_t(g.ruleIndex(*r)), limit, [&](int32_t y) {
                    return g.gdg->componentOfSlot(y) != u.component;
                });
                if (best >= 0) {
                    visit(best, limit);
                } else if (needed >= 0) {
                    g.closureMark[needed] = mark;
                    stack.push_back(needed);
                } else {
                    raisePrefix(u.level);
                }
            }
        }
    }
    // What item names; self is the atom whose reason it is (-1 in a
    // conflict), limit the atomLog position of that atom's assignment.
    void expand(REASON item, int32_t self, uint32_t limit) {
        switch (item.kind) {
        case REASON_CHOICE: addLevel(g.assignLevel[self]); break;
        case REASON_COMPLEMENT: addSet(item.data); break;
        case REASON_RULE: visitRule(uint32_t(item.data), limit); break;
        case REASON_CONSTRAINT: {
            const uint32_t* c = g.constraintAt(g.constraintHandles[size_t(item.data)]);
            const uint32_t literals = c[MODELGENERATOR::CONSTRAINT_POSITIVE] + c[MODELGENERATOR::CONSTRAINT_NEGATIVE];
            for (uint32_t i = 0; i < literals; ++i) visit(int32_t(c[MODELGENERATOR::CONSTRAINT_ATOMS + i]), limit);
            break;
        }
        case REASON_SUPPORT:
            visit(item.data, limit);
            for (const GROUNDRULE* r : g.headOccurrences[item.data])
                visitBlocker(uint32_t(g.ruleIndex(*r)), item.data, limit);
            break;
        case REASON_ATOM: visit(item.data, limit); break;
        case REASON_UNFOUNDED: expandUnfounded(item.data, self); break;
        default: raisePrefix(self >= 0 ? g.assignLevel[self] : g.level); break;
        }
    }
};

}  // namespace

void MODELGENERATOR::startReasons() {
    const size_t n = groundAtomCount;
    reasonOf.assign(n, REASON());
    upgradeReasonOf.assign(n, REASON());
    assignLevel.assign(n, 0);
    assignStamp.assign(n, 0);
    atomSeen.assign(n, 0);
    atomStamp = 0;
    conflictSeeds.clear();
    levelSets.clear();
    levelSetLevels.clear();
    pendingComplementSets.clear();
    unfoundedRecords.clear();
    unfoundedRecordAtoms.clear();
    unfoundedMark.assign(n, 0);
    closureMark.assign(n, 0);
    unfoundedMarkStamp = 0;
    failPrefix = 0;
    failLevels.clear();
}

void MODELGENERATOR::collectConflictLevels(const INTERPRETATION& I) {
    if (!backjumpingOn || conflictSeeds.empty()) {
        failAll();
        return;
    }
    // Where walks hardly ever let a level be skipped, they only cost: the
    // rest of the run backtracks chronologically (every level set kept so
    // far stays true).
    if (++conflictWalks >= 8192 && levelsSkipped * 256 < conflictWalks) {
        backjumpingOn = false;
        failAll();
        return;
    }
    failPrefix = 1;
    failLevels.clear();
    if (++atomStamp == 0) {
        std::fill(atomSeen.begin(), atomSeen.end(), 0);
        for (UNFOUNDEDRECORD& u : unfoundedRecords) u.walked = 0;
        atomStamp = 1;
    }
    if (levelSeen.size() <= size_t(level)) levelSeen.resize(size_t(level) + 1, 0);
    if (++levelStamp == 0) {
        std::fill(levelSeen.begin(), levelSeen.end(), 0);
        levelStamp = 1;
    }
    // A walk takes one mark per record it meets.
    if (unfoundedMarkStamp > UINT32_MAX - unfoundedRecords.size()) {
        std::fill(unfoundedMark.begin(), unfoundedMark.end(), 0);
        std::fill(closureMark.begin(), closureMark.end(), 0);
        for (UNFOUNDEDRECORD& u : unfoundedRecords) u.walked = 0;
        unfoundedMarkStamp = 0;
    }
    REASONWALK walk{*this, I};
    walkStack.clear();
    for (const REASON& seed : conflictSeeds) walk.expand(seed, -1, NO_LIMIT);
    while (!walkStack.empty()) {
        const int32_t x = walkStack.back();
        walkStack.pop_back();
        walk.expand(reasonOf[x], x, assignStamp[x]);
        // A must-be-true atom that became true later also rests on what
        // made it true (at a level not kept: an unknown reason counts as
        // depending on every level).
        if (I.values[x] == TV_TRUE) walk.expand(upgradeReasonOf[x], -1, NO_LIMIT);
    }
}

void MODELGENERATOR::collectUnfoundedSetLevels(const INTERPRETATION& I) {
    // The set's true atom on the lowest level, and for each rule with a head
    // atom in the set one literal on the lowest level that keeps it from
    // supporting the set: a head atom outside the set true, a positive body
    // atom false, a negated one true (none needed with a positive body atom
    // inside the set). While they hold the set stays unfounded, so no answer
    // set contains the atom.
    conflictSeeds.clear();
    const int32_t atoms = int32_t(std::min(unfoundedSet.size(), I.values.size()));
    int32_t member = -1;
    for (int32_t a = 0; a < atoms; ++a) {
        if (!unfoundedSet[a]) continue;
        if (checkerTrue(I.values[a]) && (member < 0 || assignLevel[a] < assignLevel[member])) member = a;
        for (const GROUNDRULE* r : headOccurrences[a]) {
            int32_t best = -1;
            bool inside = false;
            auto consider = [&](int32_t y) {
                if (best < 0 || assignLevel[y] < assignLevel[best]) best = y;
            };
            for (ATOMID h : *r->head)
                if (!unfoundedSet[h] && checkerTrue(I.values[h])) consider(h);
            if (r->body) {
                const auto& ls = r->body->literals;
                for (size_t i = 0; i < ls.size(); ++i) {
                    const int32_t y = ls[i].atom, v = I.values[y];
                    if (i < r->body->firstNegative) {
                        if (unfoundedSet[y]) inside = true;
                        if (checkerFalse(v)) consider(y);
                    } else if (checkerTrue(v)) {
                        consider(y);
                    }
                }
            }
            if (inside) continue;
            if (best < 0) {  // the rule supports the set: no reason found
                failAll();
                return;
            }
            conflictSeeds.push_back(REASON{REASON_ATOM, best});
        }
    }
    if (member < 0) {
        failAll();
        return;
    }
    conflictSeeds.push_back(REASON{REASON_ATOM, member});
    collectConflictLevels(I);
}

REASON MODELGENERATOR::keepUnfoundedSet(int32_t c, const INTERPRETATION& I) {
    if (!unfoundedReasons || !backjumpingOn || !notingReasons || !I.recording || gusUnfounded.empty()) return REASON();
    // Records are kept in assignment order: those undone since are on top.
    while (!unfoundedRecords.empty()) {
        const UNFOUNDEDRECORD& u = unfoundedRecords.back();
        const int32_t first = unfoundedRecordAtoms[u.begin];
        const REASON& why = reasonOf[first];
        if (u.stamp < I.atomLog.size() && I.atomLog[u.stamp].atom == first && assignStamp[first] == u.stamp &&
            why.kind == REASON_UNFOUNDED && why.data == int32_t(unfoundedRecords.size() - 1))
            break;
        unfoundedRecordAtoms.resize(u.begin);
        unfoundedRecords.pop_back();
    }
    const uint32_t begin = uint32_t(unfoundedRecordAtoms.size());
    unfoundedRecordAtoms.insert(unfoundedRecordAtoms.end(), gusUnfounded.begin(), gusUnfounded.end());
    unfoundedRecords.push_back(UNFOUNDEDRECORD{begin, uint32_t(unfoundedRecordAtoms.size()),
                                               uint32_t(I.atomLog.size()), level, c, -1, 0, 0});
    return REASON{REASON_UNFOUNDED, int32_t(unfoundedRecords.size() - 1)};
}

int32_t MODELGENERATOR::failTop() const {
    int32_t top = failPrefix;
    for (int32_t l : failLevels) top = std::max(top, l);
    return top;
}

int32_t MODELGENERATOR::keepFailLevels(int32_t top) {
    assert(failTop() <= top);
    const int32_t prefix = std::min(failPrefix, top - 1);
    const uint32_t begin = uint32_t(levelSetLevels.size());
    for (int32_t l : failLevels)
        if (l > prefix && l < top) levelSetLevels.push_back(l);
    levelSets.push_back(LEVELSET{prefix, begin, uint32_t(levelSetLevels.size())});
    return int32_t(levelSets.size() - 1);
}

int32_t MODELGENERATOR::lookaheadFailureSet(const INTERPRETATION& I) {
    if (!backjumpingOn) return -1;
    collectConflictLevels(I);
    return keepFailLevels(level);
}

}  // namespace veltra
