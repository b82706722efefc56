// generator/index.cpp: indexing the ground program at the start of a run:
// occurrence lists in compressed rows, the counters of rules and constraints,
// support counts, aggregate memberships and the head-cycle marks.
#include <algorithm>

#include "generator/modelgenerator.h"

namespace veltra {

namespace {

template <class T>
using OCCURRENCEBUILDER = FLATLISTSBUILDER<T, uint32_t>;

bool sameComponent(const GDG& gdg, int32_t a, int32_t b) { return gdg.componentOfSlot(a) == gdg.componentOfSlot(b); }

// Whether rule belongs to the leading run of atom a: a head atom other than
// a lies in a's component.
bool inLeadingRun(const GDG& gdg, const GROUNDRULE& rule, int32_t a) {
    for (ATOMID h : *rule.head)
        if (h != a && sameComponent(gdg, h, a)) return true;
    return false;
}

}  // namespace

bool MODELGENERATOR::initDataStructures(INTERPRETATION& I) {
    const int32_t n = groundAtomCount;
    supportCount.assign(n, 0);
    ptPositiveWeight.assign(n, 0);
    ptNegativeWeight.assign(n, 0);
    ptTriedPositive.assign(n, false);
    ptTriedNegative.assign(n, false);
    registeredAggregates_.clear();
    registeredAtoms_.clear();
    aggregateSeen_.assign(std::max<size_t>(aggregateCount, aggregatesByIndex.size()), 0);
    aggregateAtomSeen_.assign(aggregateAtomInfo.size(), 0);
    timesBase.assign(aggregateSeen_.size(), 0);
    timesFactors.assign(aggregateSeen_.size(), 0);
    trueElements.assign(aggregateSeen_.size(), 0);
    decidedSuffix.assign(aggregateSeen_.size() + aggregateAtomInfo.size(), 0);
    decidedSavedAt.assign(decidedSuffix.size(), 0);
    decidedTrail.clear();
    bool ok = indexRules(I);
    if (gusActive) resetUnfoundedSources();
    if (ok) ok = indexConstraints(I);
    buildEventLists();
    if (ok) indexWeakConstraints(I);
    buildAggregateLists(I);
    return ok;
}

bool MODELGENERATOR::indexRules(INTERPRETATION& I) {
    const int32_t n = groundAtomCount;
    std::vector<GROUNDRULE>& rules = *groundRules;

    // Occurrence lists: count, lay out, fill. A rule in an atom's leading
    // run (its same-component rules) goes before the atom's split.
    headSplit.assign(n, 0);
    posBodySplit.assign(n, 0);
    OCCURRENCEBUILDER<GROUNDRULE*> head(headOccurrences, n), pos(posBodyOccurrences, n), neg(negBodyOccurrences, n);
    for (GROUNDRULE& r : rules) {
        for (ATOMID h : *r.head) {
            head.count(h);
            if (gusActive && inLeadingRun(*gdg, r, h)) ++headSplit[h];
        }
        if (!r.body) continue;
        const auto& ls = r.body->literals;
        for (size_t i = 0; i < ls.size(); ++i) {
            if (i < r.body->firstNegative) {
                pos.count(ls[i].atom);
                if (gusActive && inLeadingRun(*gdg, r, ls[i].atom)) ++posBodySplit[ls[i].atom];
            } else {
                neg.count(ls[i].atom);
            }
        }
    }
    head.layOut(&headSplit);
    pos.layOut(&posBodySplit);
    neg.layOut();
    for (GROUNDRULE& r : rules) {
        for (ATOMID h : *r.head) {
            if (gusActive && inLeadingRun(*gdg, r, h))
                head.addLeading(h, &r);
            else
                head.add(h, &r);
        }
        if (!r.body) continue;
        const auto& ls = r.body->literals;
        for (size_t i = 0; i < ls.size(); ++i) {
            if (i >= r.body->firstNegative)
                neg.add(ls[i].atom, &r);
            else if (gusActive && inLeadingRun(*gdg, r, ls[i].atom))
                pos.addLeading(ls[i].atom, &r);
            else
                pos.add(ls[i].atom, &r);
        }
    }

    // The rules' atoms, flat.
    ruleShapes.resize(rules.size());
    ruleAtoms.clear();
    for (size_t k = 0; k < rules.size(); ++k) {
        const GROUNDRULE& r = rules[k];
        RULESHAPE& s = ruleShapes[k];
        s.start = uint32_t(ruleAtoms.size());
        s.heads = uint32_t(r.head->size());
        s.positive = r.body ? uint32_t(r.body->firstNegative) : 0;
        s.negative = r.body ? uint32_t(r.body->literals.size() - r.body->firstNegative) : 0;
        ruleAtoms.insert(ruleAtoms.end(), r.head->begin(), r.head->end());
        if (r.body)
            for (const GROUNDLITERAL& l : r.body->literals) ruleAtoms.push_back(l.atom);
    }
    assert(ruleAtoms.size() <= UINT32_MAX);

    // Counters and support counts against the interpretation.
    for (GROUNDRULE& r : rules) {
        std::fill(r.counters, r.counters + 7, 0u);
        bool violated = true;
        const std::vector<ATOMID>& hs = *r.head;
        for (size_t k = 0; k < hs.size(); ++k) {
            int32_t v = I.values[hs[k]];
            if (v == TV_UNDEFINED) {
                ++openHead(r);
                violated = false;
            } else if (v == TV_MUSTBETRUE) {
                ++mustBeTrueHead(r);
                ++openHead(r);
                violated = false;
            } else if (isTrueValue(v)) {
                violated = false;
                if (ruleStatus(r) == 0) {
                    ruleStatus(r) = 2;
                    soleTrueHead(r) = static_cast<uint32_t>(k + 1);
                } else {
                    soleTrueHead(r) = 0;
                }
            }
        }
        if (r.body) {
            const auto& ls = r.body->literals;
            for (size_t i = 0; i < ls.size(); ++i) {
                int32_t a = ls[i].atom, v = I.values[a];
                if (isAggregateAtom(a)) registerAggregateAtom(a);
                if (i < r.body->firstNegative) {
                    if (v == TV_UNDEFINED) {
                        ++openPosBody(r);
                        violated = false;
                    } else if (v == TV_MUSTBETRUE) {
                        ++mustBeTruePosBody(r);
                        ++openPosBody(r);
                    } else if (v == TV_FALSE) {
                        violated = false;
                        soleTrueHead(r) = 0;
                        ruleStatus(r) |= 1;
                    }
                } else {
                    if (v == TV_UNDEFINED) {
                        ++openNegBody(r);
                        violated = false;
                    } else if (v != TV_FALSE) {
                        violated = false;
                        soleTrueHead(r) = 0;
                        ruleStatus(r) |= 1;
                    }
                }
            }
        }
        if (soleTrueHead(r) == 0 && ruleStatus(r) == 0) {
            for (ATOMID h : hs) ++supportCount[h];
        } else if (soleTrueHead(r) != 0) {
            ATOMID sole = hs[soleTrueHead(r) - 1];
            for (ATOMID h : hs)
                if (h == sole) ++supportCount[h];
        }
        if (violated) return false;
    }
    return true;
}

bool MODELGENERATOR::indexConstraints(INTERPRETATION& I) {
    const int32_t n = groundAtomCount;
    const std::vector<GROUNDCONSTRAINT>& constraints = *groundConstraints;
    OCCURRENCEBUILDER<uint32_t> pos(posConstraintOccurrences, n), neg(negConstraintOccurrences, n);
    for (const GROUNDCONSTRAINT& c : constraints)
        for (size_t i = 0; i < c.body.literals.size(); ++i)
            (i < c.body.firstNegative ? pos : neg).count(c.body.literals[i].atom);
    pos.layOut();
    neg.layOut();
    for (size_t k = 0; k < constraints.size(); ++k) {
        const GROUNDCONJUNCTION& body = constraints[k].body;
        for (size_t i = 0; i < body.literals.size(); ++i)
            (i < body.firstNegative ? pos : neg).add(body.literals[i].atom, uint32_t(k));
    }
    // The records laid out atom by atom, each with the first atom whose
    // lists name it, from the (line-aligned) start: an event's records then
    // share lines. A record that fits in a line but would cross a boundary
    // starts at the next one. The lists then name the records by handle.
    constexpr size_t line = 64 / sizeof(uint32_t);
    constexpr uint32_t unplaced = UINT32_MAX;
    constraintHandles.assign(constraints.size(), unplaced);
    size_t words = 0;
    auto place = [&](uint32_t k) {
        if (constraintHandles[k] != unplaced) return;
        const size_t length = CONSTRAINT_ATOMS + constraints[k].body.literals.size();
        if (length <= line && words / line != (words + length - 1) / line) words = (words / line + 1) * line;
        constraintHandles[k] = uint32_t(words);
        words += length;
    };
    for (int32_t a = 0; a < n; ++a) {
        for (uint32_t k : posConstraintOccurrences[size_t(a)]) place(k);
        for (uint32_t k : negConstraintOccurrences[size_t(a)]) place(k);
    }
    for (size_t k = 0; k < constraints.size(); ++k) place(uint32_t(k));
    assert(words <= UINT32_MAX);  // 32-bit handles, as the occurrence lists' offsets
    constraintData.assign(words, 0);
    constraintSatisfiedBits.assign(words / 128 + 1, 0);
    for (uint32_t& k : posConstraintOccurrences.items) k = constraintHandles[k];
    for (uint32_t& k : negConstraintOccurrences.items) k = constraintHandles[k];
    for (size_t k = 0; k < constraints.size(); ++k) {
        const GROUNDCONJUNCTION& body = constraints[k].body;
        uint32_t* c = constraintAt(constraintHandles[k]);
        c[CONSTRAINT_INDEX] = uint32_t(k);
        c[CONSTRAINT_POSITIVE] = uint32_t(body.firstNegative);
        c[CONSTRAINT_NEGATIVE] = uint32_t(body.literals.size() - body.firstNegative);
        for (size_t i = 0; i < body.literals.size(); ++i) c[CONSTRAINT_ATOMS + i] = uint32_t(body.literals[i].atom);
    }

    for (size_t k = 0; k < constraints.size(); ++k) {
        const GROUNDCONJUNCTION& body = constraints[k].body;
        uint32_t* c = constraintAt(constraintHandles[k]);
        bool violated = true;
        for (size_t i = 0; i < body.literals.size(); ++i) {
            int32_t a = body.literals[i].atom, v = I.values[a];
            if (isAggregateAtom(a)) registerAggregateAtom(a);
            if (v == TV_UNDEFINED) {
                ++c[i < body.firstNegative ? CONSTRAINT_OPENPOS : CONSTRAINT_OPENNEG];
                violated = false;
            } else if ((i < body.firstNegative) == (v == TV_FALSE)) {
                markConstraintSatisfied(constraintHandles[k]);
                violated = false;
            }
        }
        if (violated) return false;
    }
    return true;
}

void MODELGENERATOR::buildEventLists() {
    const size_t n = size_t(groundAtomCount);
    const GROUNDRULE* rules = groundRules->data();
    // An indexing that stopped early left later lists unbuilt: empty here.
    auto listOf = [](const auto& lists, size_t a) {
        return a + 1 < lists.start.size() ? lists[a] : decltype(lists[a])();
    };
    auto length = [&](size_t a) {
        return listOf(headOccurrences, a).size() + listOf(posConstraintOccurrences, a).size() +
               listOf(negConstraintOccurrences, a).size() + listOf(posBodyOccurrences, a).size() +
               listOf(negBodyOccurrences, a).size();
    };
    constexpr size_t inlineRoom = EVENTS_BLOCK - EVENTS_KINDS - 1;
    size_t overflow = 0;
    for (size_t a = 0; a < n; ++a)
        if (length(a) > inlineRoom) overflow += length(a);
    eventLists.assign(EVENTS_BLOCK * n + overflow, 0);
    assert(eventLists.size() <= UINT32_MAX);
    uint32_t* blocks = eventLists.data();
    size_t next = EVENTS_BLOCK * n;  // the next overflowing list, counted from the first block
    for (size_t a = 0; a < n; ++a) {
        uint32_t* block = blocks + a * EVENTS_BLOCK;
        size_t at = EVENTS_KINDS + 1;
        if (length(a) > inlineRoom) {
            at = next - a * EVENTS_BLOCK;
            next += length(a);
        }
        block[0] = uint32_t(at);
        auto add = [&](uint32_t item) { block[at++] = item; };
        auto end = [&](uint32_t kind) { block[kind + 1] = uint32_t(at); };
        for (GROUNDRULE* r : listOf(headOccurrences, a)) add(uint32_t(r - rules));
        end(EVENTS_HEAD);
        for (uint32_t h : listOf(posConstraintOccurrences, a)) add(h);
        end(EVENTS_POSCONSTRAINT);
        for (uint32_t h : listOf(negConstraintOccurrences, a)) add(h);
        end(EVENTS_NEGCONSTRAINT);
        for (GROUNDRULE* r : listOf(posBodyOccurrences, a)) add(uint32_t(r - rules));
        end(EVENTS_POSBODY);
        for (GROUNDRULE* r : listOf(negBodyOccurrences, a)) add(uint32_t(r - rules));
        end(EVENTS_NEGBODY);
    }
    // The constraints are read through the event lists only.
    posConstraintOccurrences.clear();
    negConstraintOccurrences.clear();
}

void MODELGENERATOR::indexWeakConstraints(INTERPRETATION& I) {
    const int32_t n = groundAtomCount;
    std::vector<GROUNDWEAKCONSTRAINT>& weak = *groundWeakConstraints;
    OCCURRENCEBUILDER<int32_t> pos(posWeakOccurrences, n), neg(negWeakOccurrences, n);
    for (const GROUNDWEAKCONSTRAINT& w : weak)
        for (size_t i = 0; i < w.body.literals.size(); ++i)
            (i < w.body.firstNegative ? pos : neg).count(w.body.literals[i].atom);
    pos.layOut();
    neg.layOut();
    for (size_t k = 0; k < weak.size(); ++k)
        for (size_t i = 0; i < weak[k].body.literals.size(); ++i)
            (i < weak[k].body.firstNegative ? pos : neg).add(weak[k].body.literals[i].atom, int32_t(k));

    for (size_t k = 0; k < weak.size(); ++k) {
        GROUNDWEAKCONSTRAINT& w = weak[k];
        std::fill(w.counters, w.counters + 3, 0u);
        bool violated = true;
        for (size_t i = 0; i < w.body.literals.size(); ++i) {
            int32_t a = w.body.literals[i].atom, v = I.values[a];
            if (isAggregateAtom(a)) registerAggregateAtom(a);
            if (v == TV_UNDEFINED) {
                ++(i < w.body.firstNegative ? openPos(w) : openNeg(w));
                violated = false;
            } else if ((i < w.body.firstNegative) == (v == TV_FALSE)) {
                constraintSatisfied(w) = 1;
                violated = false;
            }
        }
        if (violated) {
            int32_t slot = weakSlot[k];
            if (I.recording) I.costLog.push_back(COSTLOGENTRY{slot, I.cost.values[slot]});
            I.cost.values[slot] += weakWeight[k];
        }
    }
}

void MODELGENERATOR::markHeadCycleRules() {
    gdg->computeComponentFlags();
    for (size_t c = 0; c < gdg->componentCount(); ++c) {
        if (!gdg->isComponentCyclic(int32_t(c)) || !gdg->disjunctive[c]) continue;
        for (int32_t a : gdg->components[c])
            if (a < groundAtomCount)
                for (GROUNDRULE* r : headOccurrences[a]) r->notHeadCycle = 0;
    }
}

}  // namespace veltra
