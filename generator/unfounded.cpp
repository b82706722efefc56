// generator/unfounded.cpp: the unfounded-set step: for one cyclic component
// without internal disjunction, the atoms that no rule can found any longer
// become false (or the propagation fails when one of them is already true).
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// Scratch values of a member atom during one step.
enum : int32_t { GUS_UNFOUNDED = 0, GUS_FALSE = 1, GUS_FOUNDED = 8 };

}  // namespace

bool MODELGENERATOR::componentQualifiesForGUS(int32_t c) const {
    return c >= 0 && gdg->isComponentCyclic(c) && !gdg->disjunctive[c];
}

// Whether rule can found its head atom p of component c under I: its body is
// not false and no head atom outside c is true or must-be-true.
bool MODELGENERATOR::canFound(GROUNDRULE& rule, int32_t c, const INTERPRETATION& I) const {
    if (rule.body && (ruleStatus(rule) & 1)) return false;
    if ((ruleStatus(rule) & 2) == 0 && mustBeTrueHead(rule) == 0) return true;
    for (ATOMID h : *rule.head)
        if (gdg->componentOfSlot(h) != c && isTrueOrMustBeTrue(I.values[h])) return false;
    return true;
}

bool MODELGENERATOR::computeUnfoundedSet(int32_t c, INTERPRETATION& I) {
    assert(gusAtomQueue.empty());
    bool allFalse = true;
    for (int32_t p : gdg->components[c]) {
        if (p >= groundAtomCount) continue;
        LISTVIEW<GROUNDRULE*> rules = headOccurrences[p];
        if (I.values[p] == TV_FALSE) {
            gusScratch.values[p] = GUS_FALSE;
            for (GROUNDRULE* r : rules) gusPending(*r) = 0;
            continue;
        }
        allFalse = false;
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
    if (allFalse) return true;
    return falsifyUnfoundedAtoms(c, I);
}

bool MODELGENERATOR::falsifyUnfoundedAtoms(int32_t c, INTERPRETATION& I) {
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
            for (ATOMID h : *r.head) {
                if (gdg->componentOfSlot(h) != c) continue;
                if (gusScratch.values[h] != GUS_FOUNDED) {
                    gusScratch.values[h] = GUS_FOUNDED;
                    gusAtomQueue.push(EVENT{GUS_FOUNDED, h});
                }
                break;
            }
        }
    }
    // What is left unfounded is false, or the branch is hopeless.
    for (int32_t p : gdg->components[c]) {
        if (p >= groundAtomCount || gusScratch.values[p] != GUS_UNFOUNDED || isAggregateAtom(p)) continue;
        if (I.values[p] != TV_UNDEFINED) return false;  // true or must-be-true
        setFalse(p, I);
    }
    return true;
}

}  // namespace veltra
