// The invariant check recomputes the generator's counters, support counts
// and log from the interpretation: it accepts every state a search reaches
// between propagations and names the first counter that was corrupted.
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

const char* const program =
    "p(X) v q(X) :- r(X). r(1). r(2). r(3).\n"
    "a v b. c v d :- a. e :- c, not b. e :- p(1). f :- e, not d. g :- f, not e.\n"
    "ok :- #count{X: p(X)} >= 2.\n"
    ":- ok, not a. :- not f, q(3).\n"
    ":~ a, p(2). [2:1] :~ not e. [1:1]\n";

// A corruption of one piece of state, undone by the returned function, and
// the words the description of the broken invariant must contain.
struct CORRUPTION {
    const char* name;
    const char* expected;
    std::function<std::function<void()>(MODELGENERATOR&, INTERPRETATION&)> apply;
};

// The first rule whose status is open (0), closed by the body (1), or
// satisfied by a head atom with a body not false (2).
GROUNDRULE& ruleWithStatus(uint32_t status) {
    for (GROUNDRULE& r : groundRules)
        if (ruleStatus(r) == status) return r;
    ADD_FAILURE() << "no rule with status " << status;
    return groundRules.front();
}

template <class T>
std::function<void()> bump(T& cell, T by) {
    cell += by;
    return [&cell, by] { cell -= by; };
}

const CORRUPTION corruptions[] = {
    {"openHead", "openHead of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(openHead(ruleWithStatus(0)), 1u); }},
    {"openPosBody", "openPosBody of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(openPosBody(ruleWithStatus(0)), 1u); }},
    {"openNegBody of a satisfied rule", "openNegBody of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(openNegBody(ruleWithStatus(2)), 1u); }},
    {"mustBeTrueHead", "mustBeTrueHead of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(mustBeTrueHead(ruleWithStatus(0)), 1u); }},
    {"mustBeTruePosBody", "mustBeTruePosBody of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(mustBeTruePosBody(ruleWithStatus(0)), 1u); }},
    {"status", "the status of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(ruleStatus(ruleWithStatus(0)), 2u); }},
    {"soleTrueHead", "soleTrueHead of rule",
     [](MODELGENERATOR&, INTERPRETATION&) { return bump(soleTrueHead(ruleWithStatus(2)), 1u); }},
    {"support count", "support count of atom",
     [](MODELGENERATOR& g, INTERPRETATION&) { return bump(g.supportCount[atomIndex("e")], 1); }},
    {"constraint", "of constraint",
     [](MODELGENERATOR& g, INTERPRETATION&) {
         for (uint32_t h : g.constraintHandles)
             if (g.constraintSatisfiedAt(h) == 0)
                 return bump(g.constraintAt(h)[MODELGENERATOR::CONSTRAINT_OPENNEG], 1u);
         ADD_FAILURE() << "no open constraint";
         return std::function<void()>([] {});
     }},
    {"weak constraint", "satisfied of weak constraint",
     [](MODELGENERATOR&, INTERPRETATION&) {
         for (GROUNDWEAKCONSTRAINT& w : groundWeakConstraints)
             if (constraintSatisfied(w) == 0) return bump(constraintSatisfied(w), 1u);
         ADD_FAILURE() << "no open weak constraint";
         return std::function<void()>([] {});
     }},
    {"aggregate bounds", "the bounds of aggregate",
     [](MODELGENERATOR& g, INTERPRETATION&) {
         const int32_t slot = g.aggregateAtomSlot[onlyAggregateAtom()];
         return bump(g.aggregateFunction(g.aggregateAtomInfo[slot].aggregate).upper, int64_t(1));
     }},
    {"must-be-true count", "must-be-true count",
     [](MODELGENERATOR&, INTERPRETATION& I) { return bump(I.mustBeTrueCount, 1); }},
    {"value", "value of atom",
     [](MODELGENERATOR&, INTERPRETATION& I) {
         int32_t& cell = I.values[atomIndex("g")];
         const int32_t old = cell;
         cell = 3;  // no truth value
         return std::function<void()>([&cell, old] { cell = old; });
     }},
    {"event left", "events left in the queue",
     [](MODELGENERATOR& g, INTERPRETATION&) {
         g.eventQueue.push(EVENT{TV_FALSE, atomIndex("g")});
         return std::function<void()>([&g] { g.eventQueue.clear(); });
     }},
    {"assignment logged twice", "in the log",
     [](MODELGENERATOR&, INTERPRETATION& I) {
         I.atomLog.push_back(ATOMLOGENTRY{atomIndex("a"), TV_UNDEFINED});
         return std::function<void()>([&I] { I.atomLog.pop_back(); });
     }},
    {"level marker", "log markers at level",
     [](MODELGENERATOR&, INTERPRETATION& I) {
         I.pushMarkers();
         I.pushMarkers();
         return std::function<void()>([&I] {
             I.atomLog.resize(I.atomLog.size() - 2);
             I.costLog.resize(I.costLog.size() - 2);
         });
     }},
    {"counter trail", "the counter trail",
     [](MODELGENERATOR& g, INTERPRETATION&) { return bump(g.counterTrail.topLevel, -1); }},
    {"model checker mark", "for the model checker",
     [](MODELGENERATOR& g, INTERPRETATION&) {
         g.checkAtomList.push_back(uint32_t(atomIndex("g")));
         return std::function<void()>([&g] { g.checkAtomList.pop_back(); });
     }},
};

}  // namespace

TEST(Invariants, HoldAlongASearchPathAndNameEachCorruptedCounter) {
    inFreshProcess([] {
        groundProgram(program);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        INTERPRETATION& I = run.interpretation;
        EXPECT_EQ(g.brokenInvariant(I, true), "");
        // Two levels deep: open, closed and satisfied rules all occur.
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        EXPECT_EQ(g.brokenInvariant(I, true), "");
        ASSERT_TRUE(run.choose("p(1)", TV_FALSE));
        EXPECT_EQ(g.brokenInvariant(I, true), "");
        for (const CORRUPTION& c : corruptions) {
            std::function<void()> undo = c.apply(g, I);
            const std::string found = g.brokenInvariant(I, true);
            EXPECT_NE(found.find(c.expected), std::string::npos) << c.name << ": " << found;
            undo();
            EXPECT_EQ(g.brokenInvariant(I, true), "") << "after undoing " << c.name;
        }
        // The cheap check alone sees the queue, not the counters.
        g.eventQueue.push(EVENT{TV_FALSE, atomIndex("g")});
        EXPECT_NE(g.brokenInvariant(I, false), "");
        g.eventQueue.clear();
        openHead(ruleWithStatus(0)) += 1;
        EXPECT_EQ(g.brokenInvariant(I, false), "");
        EXPECT_NE(g.brokenInvariant(I, true), "");
    });
}

TEST(Invariants, LeavingALevelRestoresThemAfterAConflict) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. :- a, not c. a1 :- x. b1 :- x. x v y. :- a1, b1.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        LEVELMARK mark = run.gen().enterLevel(run.interpretation);
        run.gen().assignChoice(atomIndex("x"), TV_ASSUMED, run.interpretation);
        ASSERT_FALSE(run.gen().propagateEvents(run.interpretation));
        run.gen().leaveLevel(run.interpretation, mark);
        EXPECT_EQ(run.gen().brokenInvariant(run.interpretation, true), "");
    });
}

TEST(Invariants, ABrokenInvariantIsAnInternalError) {
    CHILDRUN child = runCaptured([] {
        groundProgram(program);
        GENERATORRUN run;
        if (!run.consistent) endChild(3);
        openPosBody(ruleWithStatus(0)) += 1;
        // The first check is a full one.
        run.gen().checkInvariants(run.interpretation, "level entry");
        endChild(0);
    });
    EXPECT_EQ(child.status, 99);
    EXPECT_NE(child.err.find("broken invariant at level entry: openPosBody of rule"), std::string::npos) << child.err;
}

}  // namespace veltra
