// generator/invariants.cpp: the search state recomputed from the
// interpretation and compared with what propagation keeps incrementally: the
// counters of rules and constraints, the support counts, the aggregate
// bookkeeping, the assignment log and the queues that propagation leaves
// empty.
//
// These hold between propagations: after a propagation that succeeded, and
// once a level is left (everything done since its entry undone). The checked
// build (VELTRA_CHECK_INVARIANTS) checks them at both points; elsewhere the
// calls compile away and only the unit tests call brokenInvariant.
#include <sstream>
#include <string>

#include "core/finish.h"
#include "generator/modelgenerator.h"

namespace veltra {

namespace {

// A full check costs about one unit per atom and per literal. Amortised
// over the calls it stays below this many units per call, plus a full check
// at every call whose number is a power of two.
constexpr uint64_t fullCheckBudget = 512;

bool isPowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// The smallest power of two not below n (n >= 1).
uint64_t ceilPowerOfTwo(uint64_t n) {
    uint64_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// Whether a value is one of the five truth values.
bool isTruthValue(int32_t v) {
    return v == TV_UNDEFINED || v == TV_FALSE || v == TV_MUSTBETRUE || v == TV_TRUE || v == TV_ASSUMED;
}

// Whether an atom's value may change from old to now in one assignment:
// an undefined atom becomes false, must-be-true or true directly, a
// must-be-true one becomes supported.
bool isAssignment(int32_t old, int32_t now) {
    if (old == TV_UNDEFINED) return now == TV_FALSE || now == TV_MUSTBETRUE || now == TV_ASSUMED;
    return old == TV_MUSTBETRUE && now == TV_TRUE;
}

// The literal counts of one conjunction under I.
struct LITERALCOUNTS {
    bool someFalse = false;      // a positive atom false, or a negated one true or must-be-true
    uint32_t openPos = 0;        // positive atoms undefined or must-be-true
    uint32_t mustBeTruePos = 0;  // positive atoms must-be-true
    uint32_t undefinedPos = 0;   // positive atoms undefined
    uint32_t undefinedNeg = 0;   // negated atoms undefined
};

LITERALCOUNTS countLiterals(const GROUNDCONJUNCTION& body, const INTERPRETATION& I) {
    LITERALCOUNTS n;
    for (size_t i = 0; i < body.literals.size(); ++i) {
        const int32_t v = I.values[body.literals[i].atom];
        if (i < body.firstNegative) {
            if (v == TV_FALSE) n.someFalse = true;
            if (v == TV_UNDEFINED || v == TV_MUSTBETRUE) ++n.openPos;
            if (v == TV_MUSTBETRUE) ++n.mustBeTruePos;
            if (v == TV_UNDEFINED) ++n.undefinedPos;
        } else {
            if (isTrueOrMustBeTrue(v)) n.someFalse = true;
            if (v == TV_UNDEFINED) ++n.undefinedNeg;
        }
    }
    return n;
}

}  // namespace

// Collects the first broken invariant's description.
struct INVARIANTFINDING {
    std::ostringstream text;
    bool found = false;

    // Records what is broken unless something was found before; returns true.
    bool broken(const char* what, int64_t item, int64_t kept, int64_t recomputed) {
        if (found) return true;
        found = true;
        text << what << ' ' << item << " is " << kept << ", recomputed " << recomputed;
        return true;
    }
    bool broken(const char* what, int64_t kept, int64_t recomputed) {
        if (found) return true;
        found = true;
        text << what << " is " << kept << ", recomputed " << recomputed;
        return true;
    }
    bool broken(const char* what) {
        if (found) return true;
        found = true;
        text << what;
        return true;
    }
    // The stream to describe the first finding on, null after it.
    std::ostream* first() {
        if (found) return nullptr;
        found = true;
        return &text;
    }
};

// ---------------------------------------------------------------------------
// The parts of a check.

namespace {

// Rule counters, and the support counts they imply (added to support).
// A rule's status and soleTrueHead are always exact, and while the rule is
// open so is every counter; once a head atom is true (the body not false),
// openPosBody and openNegBody still are. The other counters keep the values
// they had when the rule stopped being open.
bool rulesBroken(const MODELGENERATOR& g, const INTERPRETATION& I, std::vector<int32_t>& support, INVARIANTFINDING& f) {
    std::vector<GROUNDRULE>& rules = *g.groundRules;
    for (size_t k = 0; k < rules.size(); ++k) {
        GROUNDRULE& r = rules[k];
        const std::vector<ATOMID>& hs = *r.head;
        uint32_t openHeadNow = 0, mustBeTrueHeadNow = 0, trueHeads = 0, truePosition = 0;
        for (size_t i = 0; i < hs.size(); ++i) {
            const int32_t v = I.values[hs[i]];
            if (v == TV_UNDEFINED || v == TV_MUSTBETRUE) ++openHeadNow;
            if (v == TV_MUSTBETRUE) ++mustBeTrueHeadNow;
            if (isTrueValue(v)) {
                ++trueHeads;
                truePosition = uint32_t(i + 1);
            }
        }
        const LITERALCOUNTS body = r.body ? countLiterals(*r.body, I) : LITERALCOUNTS();
        const uint32_t status = (body.someFalse ? 1u : 0u) | (trueHeads > 0 ? 2u : 0u);
        const uint32_t sole = !body.someFalse && trueHeads == 1 ? truePosition : 0;
        if (ruleStatus(r) != status) return f.broken("the status of rule", k, ruleStatus(r), status);
        if (soleTrueHead(r) != sole) return f.broken("soleTrueHead of rule", k, soleTrueHead(r), sole);
        if (status == 0) {
            if (openHead(r) != openHeadNow) return f.broken("openHead of rule", k, openHead(r), openHeadNow);
            if (mustBeTrueHead(r) != mustBeTrueHeadNow)
                return f.broken("mustBeTrueHead of rule", k, mustBeTrueHead(r), mustBeTrueHeadNow);
            if (mustBeTruePosBody(r) != body.mustBeTruePos)
                return f.broken("mustBeTruePosBody of rule", k, mustBeTruePosBody(r), body.mustBeTruePos);
        } else if (openHead(r) > hs.size()) {
            return f.broken("openHead of rule", k, openHead(r), openHeadNow);
        }
        if ((status & 1) == 0) {
            if (openPosBody(r) != body.openPos) return f.broken("openPosBody of rule", k, openPosBody(r), body.openPos);
            if (openNegBody(r) != body.undefinedNeg)
                return f.broken("openNegBody of rule", k, openNegBody(r), body.undefinedNeg);
        }
        // An open rule supports every head atom; a rule with one true head
        // atom and a body not false supports that atom only.
        if (status == 0)
            for (ATOMID h : hs) ++support[h];
        else if (sole != 0)
            ++support[hs[sole - 1]];
    }
    return false;
}

// Constraint counters: satisfied exact; while not satisfied, the open counts
// exact and (for a constraint, not a weak one) at least one literal open.
// satisfiedKept: the kept satisfied mark; open: openPos, openNeg (the
// generator's record of a constraint, the ground record's own of a weak one).
bool constraintBroken(const GROUNDCONSTRAINT& m, uint32_t satisfiedKept, const uint32_t* open, size_t k, bool weak,
                      const INTERPRETATION& I, INVARIANTFINDING& f) {
    const LITERALCOUNTS n = countLiterals(m.body, I);
    const uint32_t satisfied = n.someFalse ? 1 : 0;
    if (satisfiedKept != satisfied)
        return f.broken(weak ? "satisfied of weak constraint" : "satisfied of constraint", k, satisfiedKept, satisfied);
    if (satisfied) return false;
    if (open[0] != n.undefinedPos)
        return f.broken(weak ? "openPos of weak constraint" : "openPos of constraint", k, open[0], n.undefinedPos);
    if (open[1] != n.undefinedNeg)
        return f.broken(weak ? "openNeg of weak constraint" : "openNeg of constraint", k, open[1], n.undefinedNeg);
    if (!weak && n.undefinedPos + n.undefinedNeg == 0) return f.broken("violated constraint", k, 0, 1);
    return false;
}

// The assignment log, read backwards from the current values: every entry
// is one assignment of its atom (no atom assigned twice with the same
// change), and the level markers are as many as the levels entered since
// recording started.
bool logBroken(const MODELGENERATOR& g, const INTERPRETATION& I, INVARIANTFINDING& f) {
    std::vector<int32_t> value(I.values);
    size_t markers = 0;
    for (size_t e = I.atomLog.size(); e-- > 0;) {
        const ATOMLOGENTRY& entry = I.atomLog[e];
        if (entry.atom < 0) {
            ++markers;
            continue;
        }
        if (size_t(entry.atom) >= value.size()) return f.broken("the atom of log entry", e, entry.atom, 0);
        if (!isAssignment(entry.oldValue, value[entry.atom])) {
            if (std::ostream* out = f.first())
                *out << "the change of atom " << entry.atom << " from " << entry.oldValue << " to "
                     << value[entry.atom] << " in the log";
            return true;
        }
        value[entry.atom] = entry.oldValue;
    }
    size_t costMarkers = 0;
    for (const COSTLOGENTRY& entry : I.costLog) costMarkers += entry.slot < 0 ? 1 : 0;
    // The search records from level 1 on, a run driven by hand from level 0.
    if (I.recording && (markers > size_t(g.level) || markers + 1 < size_t(g.level)))
        return f.broken("log markers at level", g.level, markers, g.level);
    if (costMarkers != markers) return f.broken("cost log markers", costMarkers, markers);
    return false;
}

// An undo trail holds the markers of levels 0 to its top level, in order.
template <class CELL>
bool trailBroken(const UNDOTRAIL<CELL>& trail, const char* name, INVARIANTFINDING& f) {
    int64_t next = 0;
    for (const auto& entry : trail.entries)
        if (!entry.cell) {
            if (entry.old != next) return f.broken(name, entry.old, next);
            ++next;
        }
    if (next - 1 != trail.topLevel) return f.broken(name, trail.topLevel + 1, next);
    return false;
}

// The atoms marked for the model checker: each once, each true.
bool checkAtomsBroken(const MODELGENERATOR& g, const INTERPRETATION& I, INVARIANTFINDING& f) {
    if (!g.checkAtoms) return !g.checkAtomList.empty() && f.broken("atoms listed for the model checker without marks");
    size_t marked = 0;
    for (uint8_t m : *g.checkAtoms) marked += m ? 1 : 0;
    if (marked != g.checkAtomList.size())
        return f.broken("atoms marked for the model checker", marked, g.checkAtomList.size());
    for (uint32_t a : g.checkAtomList) {
        if (!(*g.checkAtoms)[a]) return f.broken("mark for the model checker of atom", a, 0, 1);
        if (!isTrueValue(I.values[a]))
            return f.broken("value of atom marked for the model checker", a, I.values[a], TV_TRUE);
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The check.

bool MODELGENERATOR::cheapInvariantBroken(const INTERPRETATION& I, INVARIANTFINDING& f) const {
    if (!eventQueue.empty()) return f.broken("events left in the queue", eventQueue.size(), 0);
    if (!gusComponentQueue.empty())
        return f.broken("components left in the unfounded-set queue", gusComponentQueue.size(), 0);
    if (!pendingComplements.empty()) return f.broken("complements left in the queue", pendingComplements.size(), 0);
    if (I.mustBeTrueCount < 0) return f.broken("negative count of must-be-true atoms");
    if (!groundRecordsStayed()) return f.broken("ground records moved");
    if (counterTrail.topLevel > level || supportTrail.topLevel > level || aggregateTrail.topLevel > level)
        return f.broken("a trail above the current level");
    return false;
}

bool MODELGENERATOR::fullInvariantBroken(const INTERPRETATION& I, INVARIANTFINDING& f) const {
    size_t mustBeTrue = 0;
    for (size_t a = 0; a < I.values.size(); ++a) {
        if (!isTruthValue(I.values[a])) return f.broken("the value of atom", a, I.values[a], 0);
        mustBeTrue += I.values[a] == TV_MUSTBETRUE ? 1 : 0;
    }
    if (size_t(I.mustBeTrueCount) != mustBeTrue)
        return f.broken("the must-be-true count", I.mustBeTrueCount, mustBeTrue);
    std::vector<int32_t> support(supportCount.size(), 0);
    if (rulesBroken(*this, I, support, f)) return true;
    for (size_t a = 0; a < support.size(); ++a)
        if (supportCount[a] != support[a])
            return f.broken("support count of atom", a, supportCount[a], support[a]);
    // The constraints' counters exist while a run lasts.
    for (size_t k = 0; k < constraintHandles.size(); ++k)
        if (constraintBroken((*groundConstraints)[k], constraintSatisfiedAt(constraintHandles[k]),
                             constraintAt(constraintHandles[k]) + CONSTRAINT_OPENPOS, k, false, I, f))
            return true;
    for (size_t k = 0; k < groundWeakConstraints->size(); ++k) {
        const GROUNDWEAKCONSTRAINT& w = (*groundWeakConstraints)[k];
        if (constraintBroken(w, w.counters[0], w.counters + 1, k, true, I, f)) return true;
    }
    if (aggregatesBroken(I, f)) return true;
    if (logBroken(*this, I, f) || trailBroken(counterTrail, "the level markers of the counter trail", f) ||
        trailBroken(supportTrail, "the level markers of the support trail", f) || checkAtomsBroken(*this, I, f))
        return true;
    if (gusActive)
        for (size_t c = 0; c < gusQueued.size(); ++c)
            if (gusQueued[c]) return f.broken("unfounded-set queue mark of component", c, 1, 0);
    // Without heuristics, every rule that offers a choice is marked.
    if (offerIndexActive) {
        GROUNDLITERAL literal{0, 0};
        size_t position = 0;
        for (size_t k = 0; k < groundRules->size(); ++k)
            if (!(offerBits[k >> 6] >> (k & 63) & 1) && ruleOffersChoice((*groundRules)[k], literal, position, I))
                return f.broken("offer mark of rule", k, 0, 1);
    }
    return false;
}

// The bookkeeping of the aggregates a run registered: the gap between the
// bounds of #count and #sum is what the undefined elements add (unless a
// bound is saturated), and timesFactors counts the #times elements of at
// least 2 that are not false, and trueElements the #max and #min elements
// that are true.
bool MODELGENERATOR::aggregatesBroken(const INTERPRETATION& I, INVARIANTFINDING& f) const {
    for (int32_t g : registeredAggregates_) {
        const AGGREGATEFUNCTION& function = aggregateFunction(g);
        int64_t undefinedPart = 0, factors = 0, trueOnes = 0;
        for (const GROUNDSETELEMENT& e : function.set()) {
            const int32_t v = I.values[e.atom];
            if (isTrueValue(v)) ++trueOnes;
            // A #count element may be a symbolic constant: no integer value.
            const int64_t value = integerOrZero(e.value);
            if (v == TV_UNDEFINED) undefinedPart = saturatingAdd(undefinedPart, function.kind == AGG_COUNT ? 1 : value);
            if (v != TV_FALSE && value >= 2) ++factors;
        }
        if (function.kind == AGG_COUNT || function.kind == AGG_SUM) {
            if (isSaturated(function.lower) || isSaturated(function.upper) || isSaturated(undefinedPart)) continue;
            if (function.upper - function.lower != undefinedPart)
                return f.broken("the gap between the bounds of aggregate", g,
                                function.upper - function.lower, undefinedPart);
        } else if (function.kind == AGG_TIMES && timesFactors[g] != factors) {
            return f.broken("the large #times factors of aggregate", g, timesFactors[g],
                            factors);
        } else if ((function.kind == AGG_MAX || function.kind == AGG_MIN) && trueElements[g] != trueOnes) {
            return f.broken("the true elements of aggregate", g, trueElements[g], trueOnes);
        }
    }
    return false;
}

std::string MODELGENERATOR::brokenInvariant(const INTERPRETATION& I, bool full) const {
    INVARIANTFINDING f;
    // Before indexing and after a run's end there are no counters to check.
    if (!cheapInvariantBroken(I, f) && full && !supportCount.empty()) fullInvariantBroken(I, f);
    return f.text.str();
}

void MODELGENERATOR::checkInvariants(const INTERPRETATION& I, const char* where) {
    if (invariantProgramSize == 0) {
        uint64_t size = uint64_t(groundAtomCount) + 1;
        for (const GROUNDRULE& r : *groundRules) size += r.head->size() + (r.body ? r.body->size() : 0);
        for (const GROUNDCONSTRAINT& c : *groundConstraints) size += c.body.size();
        for (const GROUNDWEAKCONSTRAINT& w : *groundWeakConstraints) size += w.body.size();
        for (int32_t g : registeredAggregates_) size += aggregateFunction(g).set().size();
        invariantProgramSize = size;
    }
    ++invariantChecks;
    const uint64_t stride = ceilPowerOfTwo((invariantProgramSize + fullCheckBudget - 1) / fullCheckBudget);
    const bool full = (invariantChecks & (stride - 1)) == 0 || isPowerOfTwo(invariantChecks);
    const std::string broken = brokenInvariant(I, full);
    if (broken.empty()) return;
    const std::string tag = "broken invariant at " + std::string(where) + ": " + broken;
    internalError(tag.c_str());
}

}  // namespace veltra
