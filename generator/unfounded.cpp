// generator/unfounded.cpp: the unfounded-set step: for one cyclic component
// without internal disjunction, the atoms that no rule can found any longer
// become false (or the propagation fails when one of them is already true).
//
// The founded atoms are kept between steps as source pointers: a step only
// re-sources the atoms whose source rule stopped founding them, and those
// that depended on them. The greatest unfounded set is unique, so the atoms
// falsified, and their order (member order), are those of a computation from
// scratch over the whole component, which is kept to check it.
#include <algorithm>

#include "core/finish.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// Scratch values of a member atom during a step from scratch.
enum : int32_t { GUS_UNFOUNDED = 0, GUS_FALSE = 1, GUS_FOUNDED = 8 };

// The head atom of a rule in component c (gusComponent per atom); a rule of
// the leading run of an atom of c has exactly one.
int32_t headInComponent(LISTVIEW<int32_t> heads, const std::vector<int32_t>& component, int32_t c) {
    for (int32_t h : heads)
        if (component[h] == c) return h;
    return -1;
}

}  // namespace

bool MODELGENERATOR::componentQualifiesForGUS(int32_t c) const {
    return c >= 0 && gdg->isComponentCyclic(c) && !gdg->disjunctive[c];
}

// Whether rule can found its head atom p of component c under I: its body is
// not false and no head atom outside c is true or must-be-true.
bool MODELGENERATOR::canFound(GROUNDRULE& rule, int32_t c, const INTERPRETATION& I) const {
    const uint32_t status = ruleStatus(rule);
    if ((status & 1) && rule.body) return false;
    if ((status & 2) == 0 && mustBeTrueHead(rule) == 0) return true;
    for (int32_t h : headAtoms(rule))
        if (gdg->componentOfSlot(h) != c && isTrueOrMustBeTrue(I.values[h])) return false;
    return true;
}

// The positive body atoms of rule, from the flat copy.
LISTVIEW<int32_t> MODELGENERATOR::positiveBodyAtoms(const GROUNDRULE& rule) const {
    const RULESHAPE& s = shapeOf(rule);
    const int32_t* first = ruleAtoms.data() + s.start + s.heads;
    return LISTVIEW<int32_t>{first, first + s.positive};
}

// ---------------------------------------------------------------------------
// Source pointers.

// At the start of a run no atom has a source: every member of a qualifying
// component (aggregate atoms count as founded and take no part) is listed.
void MODELGENERATOR::resetUnfoundedSources() {
    const int32_t n = groundAtomCount;
    gusSource.assign(size_t(n), nullptr);
    gusRank.assign(size_t(n), 0);
    gusAtomState.assign(size_t(n), 0);
    gusMemberPosition.assign(size_t(n), -1);
    gusComponent.assign(size_t(n), -1);
    gusWaiting.assign(groundRules->size(), 0);
    gusWaitingRules.clear();
    gusParkedCount = 0;
    gusPendingAtoms.resize(gusComponentCount);
    for (uint32_t c = 0; c < gusComponentCount; ++c) {
        std::vector<int32_t>& pending = gusPendingAtoms[c];
        pending.clear();
        if (!componentQualifiesForGUS(int32_t(c))) continue;
        int32_t position = 0;
        for (int32_t p : gdg->components[c]) {
            const int32_t k = position++;
            if (p >= n || isAggregateAtom(p)) continue;
            gusMemberPosition[p] = k;
            gusComponent[p] = int32_t(c);
            gusAtomState[p] = GUS_LISTED;
            pending.push_back(p);
        }
    }
    // Each member's rules, flat: those with it in the head, with their
    // positive body atoms inside its component; those of its positive body
    // occurrences' leading run, with their head atom inside.
    gusHeadStart.assign(size_t(n) + 1, 0);
    gusBodyStart.assign(size_t(n) + 1, 0);
    gusHeadRules.clear();
    gusBodyRules.clear();
    GROUNDRULE* const firstRule = groundRules->data();
    for (int32_t p = 0; p < n; ++p) {
        gusHeadStart[size_t(p)] = uint32_t(gusHeadRules.size());
        gusBodyStart[size_t(p)] = uint32_t(gusBodyRules.size());
        const int32_t c = gusComponent[p];
        if (c < 0) continue;
        for (GROUNDRULE* r : headOccurrences[p]) {
            gusHeadRules.push_back(int32_t(r - firstRule));
            const size_t count = gusHeadRules.size();
            gusHeadRules.push_back(0);
            for (const int32_t b : positiveBodyAtoms(*r))
                if (gusComponent[b] == c) gusHeadRules.push_back(b);
            gusHeadRules[count] = int32_t(gusHeadRules.size() - count - 1);
        }
        LISTVIEW<GROUNDRULE*> rules = posBodyOccurrences[p];
        for (uint32_t k = 0, run = posBodySplit[size_t(p)]; k < run; ++k) {
            gusBodyRules.push_back(int32_t(rules[k] - firstRule));
            gusBodyRules.push_back(headInComponent(headAtoms(*rules[k]), gusComponent, c));
        }
    }
    gusHeadStart[size_t(n)] = uint32_t(gusHeadRules.size());
    gusBodyStart[size_t(n)] = uint32_t(gusBodyRules.size());
    // Only a rule with a member among several head atoms can stop being a
    // source when another of them is assigned.
    for (const RULESHAPE& shape : ruleShapes) {
        if (shape.heads < 2) continue;
        const int32_t* heads = ruleAtoms.data() + shape.start;
        if (std::none_of(heads, heads + shape.heads, [this](int32_t h) { return gusComponent[h] >= 0; })) continue;
        for (uint32_t i = 0; i < shape.heads; ++i) gusAtomState[heads[i]] |= GUS_COHEAD;
    }
}

void MODELGENERATOR::queueForResourcing(int32_t atom) {
    if (gusAtomState[atom] & GUS_LISTED) return;
    gusAtomState[atom] |= GUS_LISTED;
    gusPendingAtoms[gdg->componentOfSlot(atom)].push_back(atom);
}

// Before a level is undone: the parked atoms it made false are listed
// again, for they will be undefined.
void MODELGENERATOR::unparkUndoneAtoms(const INTERPRETATION& I) {
    for (size_t k = I.atomLog.size(); gusParkedCount != 0 && k-- > 0;) {
        const int32_t p = I.atomLog[k].atom;
        if (p < 0) break;
        if (!(gusAtomState[p] & GUS_PARKED)) continue;
        gusAtomState[p] &= uint8_t(~GUS_PARKED);
        --gusParkedCount;
        queueForResourcing(p);
    }
}

// A true or must-be-true head atom stops a rule from founding its head atoms
// in other components; a rule with one head atom founds only that one.
void MODELGENERATOR::noteHeadAssigned(int32_t atom) {
    if (!(gusAtomState[atom] & GUS_COHEAD)) return;
    for (GROUNDRULE* r : headOccurrences[atom])
        if (shapeOf(*r).heads > 1) noteSourceRuleChanged(*r);
}

// The rank of a sourced atom exceeds the ranks of its source's positive
// body atoms inside the component. An atom p that lost its source takes at
// once a rule that can found it whose body atoms there have sources and
// ranks below p's: none of them depends on p, and the atoms founded through
// p keep their sources. True when it found one.
bool MODELGENERATOR::resourceBelowRank(int32_t p, int32_t c, const INTERPRETATION& I) {
    const int32_t rank = gusRank[p];
    const int32_t* at = gusHeadRules.data() + gusHeadStart[size_t(p)];
    const int32_t* const end = gusHeadRules.data() + gusHeadStart[size_t(p) + 1];
    while (at != end) {
        GROUNDRULE* const r = groundRules->data() + at[0];
        const int32_t* const inside = at + 2;
        at = inside + at[1];
        // The body atoms first: they lie in small arrays, the rule's
        // counters in its record.
        bool usable = true;
        for (const int32_t* b = inside; b != at; ++b)
            if (!(gusAtomState[*b] & GUS_SOURCED) || gusRank[*b] >= rank) {
                usable = false;
                break;
            }
        if (!usable || !canFoundMember(*r, p, c, I)) continue;
        gusSource[p] = r;
        gusAtomState[p] |= GUS_SOURCED;
        return true;
    }
    return false;
}

// The atoms of gusLost from position from on have lost their source for
// good: so do the atoms whose source has one of them in its positive body
// and that find no other one below their rank, in turn.
void MODELGENERATOR::loseSources(int32_t c, size_t from, const INTERPRETATION& I) {
    for (size_t i = from; i < gusLost.size(); ++i) {
        const int32_t q = gusLost[i];
        ++gusAtomsVisited;
        const int32_t* const end = gusBodyRules.data() + gusBodyStart[size_t(q) + 1];
        for (const int32_t* at = gusBodyRules.data() + gusBodyStart[size_t(q)]; at != end; at += 2) {
            GROUNDRULE* const r = groundRules->data() + at[0];
            const int32_t h = at[1];
            if (gusSource[h] != r || !(gusAtomState[h] & GUS_SOURCED)) continue;
            gusAtomState[h] &= uint8_t(~GUS_SOURCED);
            ++gusAtomsVisited;
            if (!resourceBelowRank(h, c, I)) gusLost.push_back(h);
        }
    }
}

// Finds sources for the non-false atoms of gusLost: a rule that can found
// the atom and waits for no body atom without source is taken at once; one
// that waits counts the body atoms it waits for, and is taken when the last
// of them gets its source, if it can found the atom (the founded atoms pass
// once through gusAtomQueue).
void MODELGENERATOR::findSources(int32_t c, const INTERPRETATION& I) {
    GROUNDRULE* const firstRule = groundRules->data();
    auto takeSource = [&](int32_t h, GROUNDRULE* r, int32_t rank) {
        gusRank[h] = rank;
        gusSource[h] = r;
        gusAtomState[h] |= GUS_SOURCED;
        gusAtomQueue.push(EVENT{GUS_FOUNDED, h});
    };
    for (const int32_t p : gusLost) {
        if ((gusAtomState[p] & GUS_SOURCED) || I.values[p] == TV_FALSE) continue;
        // A rule with no positive body atom inside c is preferred: a source
        // through other members makes a chain that a later loss would have
        // to walk again.
        GROUNDRULE* founded = nullptr;
        int32_t foundedRank = 0;
        const int32_t* at = gusHeadRules.data() + gusHeadStart[size_t(p)];
        const int32_t* const end = gusHeadRules.data() + gusHeadStart[size_t(p) + 1];
        while (at != end) {
            GROUNDRULE* const r = firstRule + at[0];
            const int32_t* const inside = at + 2;
            at = inside + at[1];
            int32_t waiting = 0, rank = 0;
            for (const int32_t* b = inside; b != at; ++b) {
                if (!(gusAtomState[*b] & GUS_SOURCED)) ++waiting;
                rank = std::max(rank, gusRank[*b] + 1);
            }
            if (waiting != 0) {
                // Whether it can found p is asked when its count runs out.
                gusWaiting[size_t(r - firstRule)] = waiting;
                gusWaitingRules.push_back(r);
                continue;
            }
            if ((founded && inside != at) || !canFoundMember(*r, p, c, I)) continue;
            founded = r;
            foundedRank = rank;
            if (inside == at) break;
        }
        if (founded) takeSource(p, founded, foundedRank);
        // Atoms founded now found further rules before any other count is
        // taken, so that no founded atom is both left out of a count and
        // subtracted from it.
        while (!gusAtomQueue.empty()) {
            const int32_t q = gusAtomQueue.pop().atom;
            ++gusAtomsVisited;
            const int32_t* const bodyEnd = gusBodyRules.data() + gusBodyStart[size_t(q) + 1];
            for (const int32_t* at = gusBodyRules.data() + gusBodyStart[size_t(q)]; at != bodyEnd; at += 2) {
                int32_t& waiting = gusWaiting[size_t(at[0])];
                if (waiting == 0 || --waiting != 0) continue;
                const int32_t h = at[1];
                if ((gusAtomState[h] & GUS_SOURCED) || !canFoundMember(firstRule[at[0]], h, c, I)) continue;
                // Every body atom inside has its source now.
                int32_t rank = 0;
                for (const int32_t b : positiveBodyAtoms(firstRule[at[0]]))
                    if (gusComponent[b] == c) rank = std::max(rank, gusRank[b] + 1);
                takeSource(h, firstRule + at[0], rank);
            }
        }
    }
    for (GROUNDRULE* r : gusWaitingRules) gusWaiting[size_t(r - firstRule)] = 0;
    gusWaitingRules.clear();
}

// ---------------------------------------------------------------------------
// The step.

bool MODELGENERATOR::computeUnfoundedSet(int32_t c, INTERPRETATION& I) {
    assert(gusAtomQueue.empty());
    gusUnfounded.clear();
    if (!gusIncremental) {
        foundComponentFromScratch(c, I);
        for (int32_t p : gdg->components[c])
            if (p < groundAtomCount && gusScratch.values[p] == GUS_UNFOUNDED && !isAggregateAtom(p))
                gusUnfounded.push_back(p);
        return falsifyUnfoundedAtoms(c, I);
    }
    std::vector<int32_t>& pending = gusPendingAtoms[c];
    if (!pending.empty()) {
        // Listed atoms whose source no longer founds them lose it, and so
        // do the atoms founded through them; atoms listed without a source
        // founded nothing since.
        gusLost.clear();
        for (const int32_t p : pending) {
            ++gusAtomsVisited;
            gusAtomState[p] &= uint8_t(~GUS_LISTED);
            if ((gusAtomState[p] & GUS_SOURCED) && canFoundMember(*gusSource[p], p, c, I)) continue;
            if (gusAtomState[p] & GUS_SOURCED) {
                gusAtomState[p] &= uint8_t(~GUS_SOURCED);
                if (!resourceBelowRank(p, c, I)) gusLost.push_back(p);
            } else {
                gusUnfounded.push_back(p);
            }
        }
        pending.clear();
        loseSources(c, 0, I);
        gusLost.insert(gusLost.end(), gusUnfounded.begin(), gusUnfounded.end());
        gusUnfounded.clear();
        findSources(c, I);
        // What is left without a source is unfounded and stays listed; a
        // false atom is parked until backtracking undoes its value.
        for (const int32_t p : gusLost) {
            if (gusAtomState[p] & GUS_SOURCED) continue;
            if (I.values[p] == TV_FALSE) {
                gusAtomState[p] |= GUS_PARKED;
                ++gusParkedCount;
                continue;
            }
            gusAtomState[p] |= GUS_LISTED;
            pending.push_back(p);
            gusUnfounded.push_back(p);
        }
        std::sort(gusUnfounded.begin(), gusUnfounded.end(),
                  [&](int32_t a, int32_t b) { return gusMemberPosition[a] < gusMemberPosition[b]; });
    }
    if (gusCrossCheck && gusCheckFailed(c, I)) internalError("incremental unfounded set differs");
    return falsifyUnfoundedAtoms(c, I);
}

// The unfounded atoms of gusUnfounded, in member order, become false, the
// set their reason; a true or must-be-true one is a conflict of the set and
// that atom (those before it stay false).
bool MODELGENERATOR::falsifyUnfoundedAtoms(int32_t c, INTERPRETATION& I) {
    const REASON why = keepUnfoundedSet(c, I);
    for (const int32_t p : gusUnfounded) {
        if (I.values[p] != TV_UNDEFINED) {  // true or must-be-true
            if (why.kind == REASON_UNFOUNDED) {
                unfoundedRecords[size_t(why.data)].conflict = p;
                conflictSeeds.assign({why, REASON{REASON_ATOM, p}});
            } else {
                conflictSeeds.clear();
            }
            return false;
        }
        setFalse(p, I, why);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The step from scratch.

// gusScratch of every member of c: 1 false, 8 founded, 0 unfounded. The
// founded atoms are those reachable from rules whose positive body inside c
// is empty, through rules whose positive body atoms inside c are founded.
void MODELGENERATOR::foundComponentFromScratch(int32_t c, const INTERPRETATION& I) {
    for (int32_t p : gdg->components[c]) {
        if (p >= groundAtomCount) continue;
        ++gusAtomsVisited;
        LISTVIEW<GROUNDRULE*> rules = headOccurrences[p];
        if (I.values[p] == TV_FALSE) {
            gusScratch.values[p] = GUS_FALSE;
            for (GROUNDRULE* r : rules) gusPending(*r) = 0;
            continue;
        }
        gusScratch.values[p] = GUS_UNFOUNDED;
        for (GROUNDRULE* r : rules) {
            gusPending(*r) = 0;
            if (gusScratch.values[p] == GUS_FOUNDED || !canFound(*r, c, I)) continue;
            // The rule waits for its positive body atoms inside c.
            int32_t waiting = 0;
            if (r->body) {
                const GROUNDCONJUNCTION& body = *r->body;
                for (size_t i = 0; i < body.firstNegative; ++i) {
                    const int32_t b = body.literals[i].atom;
                    if (gdg->componentOfSlot(b) == c && !isAggregateAtom(b)) ++waiting;
                }
            }
            gusPendingBody(*r) = waiting;
            if (waiting == 0) {
                gusScratch.values[p] = GUS_FOUNDED;
                gusAtomQueue.push(EVENT{GUS_FOUNDED, p});
            } else {
                gusPending(*r) = 1;
            }
        }
    }
    // Founded atoms found further rules; a rule of an atom's leading run
    // has a head atom in the atom's component.
    while (!gusAtomQueue.empty()) {
        const int32_t q = gusAtomQueue.pop().atom;
        LISTVIEW<GROUNDRULE*> rules = posBodyOccurrences[q];
        const uint32_t run = posBodySplit.empty() ? 0 : posBodySplit[q];
        for (uint32_t k = 0; k < run; ++k) {
            GROUNDRULE& r = *rules[k];
            if (gusPending(r) != 1) continue;
            if (--gusPendingBody(r) != 0) continue;
            const int32_t h = headInComponent(headAtoms(r), gusComponent, c);
            if (gusScratch.values[h] != GUS_FOUNDED) {
                gusScratch.values[h] = GUS_FOUNDED;
                gusAtomQueue.push(EVENT{GUS_FOUNDED, h});
            }
        }
    }
}

// Whether gusUnfounded differs from the unfounded atoms found from scratch.
bool MODELGENERATOR::gusCheckFailed(int32_t c, const INTERPRETATION& I) {
    foundComponentFromScratch(c, I);
    size_t k = 0;
    for (int32_t p : gdg->components[c]) {
        if (p >= groundAtomCount || gusScratch.values[p] != GUS_UNFOUNDED || isAggregateAtom(p)) continue;
        if (k == gusUnfounded.size() || gusUnfounded[k] != p) return true;
        ++k;
    }
    return k != gusUnfounded.size();
}

}  // namespace veltra
