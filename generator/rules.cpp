// generator/rules.cpp: rule-level propagation: what a rule with one open
// literal, a rule whose body became false or whose head became true, and an
// atom left with a single supporting rule force.
#include "generator/modelgenerator.h"

namespace veltra {

bool MODELGENERATOR::propagateRule(GROUNDRULE& r, INTERPRETATION& I) {
    const RULESHAPE& shape = shapeOf(r);
    const int32_t* atoms = ruleAtoms.data() + shape.start;
    const LISTVIEW<int32_t> hs{atoms, atoms + shape.heads};
    // The first undefined atom of the positive (or negated) body.
    auto firstUndefined = [&](bool positive) -> int32_t {
        const int32_t* from = atoms + shape.heads + (positive ? 0 : shape.positive);
        const int32_t* to = positive ? from + shape.positive : from + shape.negative;
        for (; from != to; ++from)
            if (I.values[*from] == TV_UNDEFINED) return *from;
        return -1;
    };
    const REASON why{REASON_RULE, ruleIndex(r)};
    if (mustBeTruePosBody(r) == 0) {
        // Every positive body atom is true or undefined.
        if (openHead(r) == 1) {
            for (ATOMID h : hs) {
                int32_t v = I.values[h];
                if (v != TV_UNDEFINED && v != TV_MUSTBETRUE) continue;
                if (v == TV_UNDEFINED)
                    setTrueDirectly(h, I, why);
                else
                    setSupported(h, I, why);
                if (inHeadCycleComponent(h)) ++currentInfo.madeTrueInHeadCycles;
                break;
            }
            return true;
        }
        if (openPosBody(r) == 1) {
            if (int32_t a = firstUndefined(true); a >= 0) setFalse(a, I, why);
            return true;
        }
        if (openNegBody(r) == 1) {
            if (int32_t a = firstUndefined(false); a >= 0) setMustBeTrue(a, I, why);
            return true;
        }
        conflictSeeds.push_back(why);
        return false;  // the body is true and every head atom false
    }
    // The body still waits for must-be-true atoms: what follows is only
    // must-be-true.
    if (openHead(r) == 1) {
        for (ATOMID h : hs)
            if (I.values[h] == TV_UNDEFINED) {
                setMustBeTrue(h, I, why);
                break;
            }
        return true;
    }
    if (openPosBody(r) - mustBeTruePosBody(r) == 1) {
        if (int32_t a = firstUndefined(true); a >= 0) setFalse(a, I, why);
        return true;
    }
    if (openNegBody(r) == 1) {
        if (int32_t a = firstUndefined(false); a >= 0) setMustBeTrue(a, I, why);
        return true;
    }
    conflictSeeds.push_back(why);
    return false;
}

bool MODELGENERATOR::loseSupport(int32_t h, INTERPRETATION& I) {
    setSupport(h, supportCount[h] - 1);
    const int32_t v = I.values[h];
    if (v != TV_FALSE) queueComponentForGUS(gdg->componentOfSlot(h));
    switch (supportCount[h]) {
    case 0:
        if (v == TV_UNDEFINED) setFalse(h, I, REASON{REASON_SUPPORT, h});
        if (v != TV_MUSTBETRUE) return true;
        noteConflict(REASON_SUPPORT, h);
        return false;
    case 1:
        if (isTrueOrMustBeTrue(v)) return forceSingleSupport(h, I);
        return true;
    case 2:
        if (v == TV_MUSTBETRUE) {
            ++currentInfo.madeMustBeTrueSupport2;
            ++currentInfo.madeTrueSupport3;
        }
        return true;
    case 3:
        if (v == TV_MUSTBETRUE) ++currentInfo.madeMustBeTrueSupport3;
        return true;
    default: return true;
    }
}

bool MODELGENERATOR::onRuleBodyFalse(GROUNDRULE& r, INTERPRETATION& I) {
    noteSourceRuleChanged(r);
    if (ruleStatus(r) != 0) {
        if (ruleStatus(r) == 2) setCounter(ruleStatus(r), 3);
        if (soleTrueHead(r) != 0) {
            const int32_t h = headAtoms(r)[soleTrueHead(r) - 1];
            setSupport(h, supportCount[h] - 1);
            queueComponentForGUS(gdg->componentOfSlot(h));
            if (supportCount[h] == 0) {  // a true atom lost its last support
                noteConflict(REASON_SUPPORT, h);
                return false;
            }
            setCounter(soleTrueHead(r), 0);
        }
        return true;
    }
    if (openHead(r) == 0 || bodyUndefined(r) == 0) ++currentInfo.itemsSatisfiedClosed;
    ++currentInfo.itemsSatisfied;
    setCounter(ruleStatus(r), 1);
    for (int32_t h : headAtoms(r))
        if (!loseSupport(h, I)) return false;
    return true;
}

bool MODELGENERATOR::onRuleHeadTrue(GROUNDRULE& r, int32_t atom, INTERPRETATION& I) {
    const LISTVIEW<int32_t> hs = headAtoms(r);
    for (size_t k = 0; k < hs.size(); ++k) {
        if (hs[k] == atom)
            setCounter(soleTrueHead(r), static_cast<uint32_t>(k + 1));
        else if (!loseSupport(hs[k], I))
            return false;
    }
    return true;
}

bool MODELGENERATOR::forceSingleSupport(int32_t a, INTERPRETATION& I) {
    if (recordingReads) forcedSupportAtoms.push_back(a);
    // The rule that supports a: open, or with a its sole true head atom
    // (read by index, without the record's shape).
    GROUNDRULE* found = nullptr;
    uint32_t index = 0;
    for (uint32_t k : eventList(eventRun(a), EVENTS_HEAD)) {
        GROUNDRULE& r = ruleAt(k);
        const uint32_t sole = soleTrueHead(r);
        if (sole == 0 ? ruleStatus(r) == 0 : ruleAtoms[ruleShapes[k].start + sole - 1] == a) {
            found = &r;
            index = k;
            break;
        }
    }
    assert(found);
    if (!found) return true;
    GROUNDRULE& r = *found;
    // Every value forced and every conflict found rests on a and the rules
    // with a in the head.
    const REASON why{REASON_SUPPORT, a};
    auto fail = [&]() {
        conflictSeeds.push_back(why);
        return false;
    };
    if (mustBeTrueHead(r) >= 2) return fail();
    const RULESHAPE& shape = ruleShapes[index];
    const int32_t* heads = ruleAtoms.data() + shape.start;
    const int32_t* positive = heads + shape.heads;
    const int32_t* negative = positive + shape.positive;
    const int32_t* end = negative + shape.negative;
    for (const int32_t* p = positive; p != end; ++p) {
        const int32_t v = I.values[*p];
        if (p < negative ? v == TV_FALSE : isTrueOrMustBeTrue(v)) return fail();
    }
    for (const int32_t* p = heads; p != positive; ++p) {
        if (*p == a) continue;
        int32_t v = I.values[*p];
        if (isTrueOrMustBeTrue(v)) return fail();
        if (v == TV_UNDEFINED) setFalse(*p, I, why);
    }
    for (const int32_t* p = positive; p != negative; ++p) {
        int32_t v = I.values[*p];
        if (v == TV_FALSE) return fail();
        if (v == TV_UNDEFINED) setMustBeTrue(*p, I, why);
    }
    for (const int32_t* p = negative; p != end; ++p) {
        int32_t v = I.values[*p];
        if (isTrueOrMustBeTrue(v)) return fail();
        if (v == TV_UNDEFINED) setFalse(*p, I, why);
    }
    return true;
}

bool MODELGENERATOR::falsifyLastWeakLiteral(int32_t weak, INTERPRETATION& I) {
    GROUNDWEAKCONSTRAINT& w = (*groundWeakConstraints)[weak];
    const auto& ls = w.body.literals;
    if (openPos(w) == 1) {
        for (size_t i = 0; i < w.body.firstNegative; ++i)
            if (I.values[ls[i].atom] == TV_UNDEFINED) {
                setFalse(ls[i].atom, I);
                break;
            }
        return true;
    }
    if (openNeg(w) == 1) {
        for (size_t i = w.body.firstNegative; i < ls.size(); ++i)
            if (I.values[ls[i].atom] == TV_UNDEFINED) {
                setMustBeTrue(ls[i].atom, I);
                break;
            }
        return true;
    }
    return false;
}

}  // namespace veltra
