// Event propagation: what choices and constraints derive through rules,
// support counts and constraints, and when they conflict.
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

struct EXPECTED {
    const char* atom;
    int32_t value;
};

void expectValues(const GENERATORRUN& run, std::initializer_list<EXPECTED> expected) {
    for (const EXPECTED& e : expected) EXPECT_EQ(run.value(e.atom), e.value) << e.atom;
}

}  // namespace

TEST(Propagation, TrueHeadTakesSupportFromOtherHeadAtoms) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. a :- c. e :- a, not d.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // d true: c loses its only support; e's body is false, so e too; a
        // keeps the support of "a v b".
        ASSERT_TRUE(run.choose("d", TV_ASSUMED));
        expectValues(run, {{"c", TV_FALSE}, {"e", TV_FALSE}, {"a", TV_UNDEFINED}, {"b", TV_UNDEFINED}});
        EXPECT_EQ(run.gen().supportCount[atomIndex("a")], 1);
        EXPECT_EQ(soleTrueHead(groundRule("c v d.")), 2u);
        // b false: "a v b" has a single open literal left and makes a true.
        ASSERT_TRUE(run.choose("b", TV_FALSE));
        expectValues(run, {{"a", TV_ASSUMED}});
    });
}

TEST(Propagation, SingleRemainingSupportIsForced) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. e :- a. e :- c. :- not e.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        expectValues(run, {{"e", TV_MUSTBETRUE}});
        EXPECT_EQ(run.gen().supportCount[atomIndex("e")], 2);
        // a false leaves "e :- c." as e's only support: c must be true, and
        // its only support "c v d" makes d false; c then becomes supported,
        // and so does e through its now true body.
        ASSERT_TRUE(run.choose("a", TV_FALSE));
        expectValues(run, {{"b", TV_ASSUMED}, {"c", TV_TRUE}, {"d", TV_FALSE}, {"e", TV_TRUE}});
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 0);
    });
}

TEST(Propagation, ConstraintsWithOneOpenLiteral) {
    inFreshProcess([] {
        groundProgram("a v x. b v y. :- a. :- not b.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // ":- a." makes a false, then "a v x" makes x true; ":- not b." makes
        // b must-be-true, its single support makes y false and b supported.
        expectValues(run, {{"a", TV_FALSE}, {"x", TV_ASSUMED}, {"b", TV_TRUE}, {"y", TV_FALSE}});
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 0);
    });
}

TEST(Propagation, ConstraintLastLiteralAndConflict) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. :- a, not c. a1 :- x. b1 :- x. x v y. :- a1, b1.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // a true leaves "not c" as the constraint's last literal: c must be true.
        LEVELMARK mark = run.gen().enterLevel(run.interpretation);
        run.gen().assignChoice(atomIndex("a"), TV_ASSUMED, run.interpretation);
        ASSERT_TRUE(run.gen().propagateEvents(run.interpretation));
        expectValues(run, {{"b", TV_FALSE}, {"c", TV_TRUE}, {"d", TV_FALSE}});
        run.gen().leaveLevel(run.interpretation, mark);
        // c false leaves "a": a false, so b true.
        ASSERT_TRUE(run.choose("c", TV_FALSE));
        expectValues(run, {{"a", TV_FALSE}, {"b", TV_ASSUMED}, {"d", TV_ASSUMED}});
        // x true makes a1 and b1 true in one step: every literal of ":- a1, b1." holds.
        EXPECT_FALSE(run.choose("x", TV_ASSUMED));
        EXPECT_TRUE(run.gen().eventQueue.empty());
    });
}

TEST(Propagation, RuleWithOneOpenLiteral) {
    inFreshProcess([] {
        groundProgram("a :- b, not c. b v b1. c v c1.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // a false and b true: not c must be false, so c must be true.
        ASSERT_TRUE(run.choose("a", TV_FALSE));
        ASSERT_TRUE(run.choose("b", TV_ASSUMED));
        expectValues(run, {{"c", TV_TRUE}, {"c1", TV_FALSE}});
    });
}

TEST(Propagation, MustBeTrueBodyDerivesOnlyMustBeTrue) {
    inFreshProcess([] {
        groundProgram("b :- c. b :- d. c v c1. d v d1. a :- b. :- not b.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // b has two possible supports and none is certain yet, so a, derived
        // through b, is only must-be-true.
        expectValues(run, {{"b", TV_MUSTBETRUE}, {"a", TV_MUSTBETRUE}});
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 2);
        // c true supports b, and then a.
        ASSERT_TRUE(run.choose("c", TV_ASSUMED));
        expectValues(run, {{"b", TV_TRUE}, {"a", TV_TRUE}});
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 0);
        // Only the choice awaits the model checker: a and b were derived by
        // rules with a single open literal.
        EXPECT_EQ(run.gen().checkAtomList, std::vector<uint32_t>{uint32_t(atomIndex("c"))});
    });
}

TEST(Propagation, SupportStepMakesMustBeTrueHeadTrue) {
    inFreshProcess([] {
        groundProgram("a v b :- c. a :- d. c v c1. d v d1. :- not a.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        expectValues(run, {{"a", TV_MUSTBETRUE}});
        EXPECT_EQ(run.gen().supportCount[atomIndex("a")], 2);
        // c true makes the body of "a v b :- c." true with a must-be-true
        // head atom: a becomes supported and awaits the model checker; b
        // loses its only support.
        ASSERT_TRUE(run.choose("c", TV_ASSUMED));
        expectValues(run, {{"a", TV_TRUE}, {"b", TV_FALSE}});
        EXPECT_EQ(run.gen().checkAtomList,
                  (std::vector<uint32_t>{uint32_t(atomIndex("c")), uint32_t(atomIndex("a"))}));
        EXPECT_EQ(run.interpretation.mustBeTrueCount, 0);
    });
}

TEST(Propagation, MustBeTrueAtomsInConstraintsAndSingleSupports) {
    inFreshProcess([] {
        groundProgram("a v b. c :- a. :- not c.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        // c's single support forces a, and a's rule makes b false.
        expectValues(run, {{"a", TV_TRUE}, {"b", TV_FALSE}, {"c", TV_TRUE}});
    });
    inFreshProcess([] {
        // c is only must-be-true, but counts as true in ":- x, c.": x is false.
        groundProgram("a v b. c :- a. c :- b. :- not c. x v y. :- x, c.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        expectValues(run, {{"c", TV_MUSTBETRUE}, {"x", TV_FALSE}, {"y", TV_ASSUMED}});
    });
}

TEST(Propagation, CountsWhatItDid) {
    inFreshProcess([] {
        groundProgram("a v b. c :- a. :- c, d. d v e. f v g. f :- e.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        HEURISTICINFO& info = run.gen().currentInfo;
        info.clearCounters();
        // a true: b false, c true, d false (the constraint), e true, and f
        // true through "f :- e.", which takes g's last support.
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        expectValues(run, {{"b", TV_FALSE}, {"c", TV_ASSUMED}, {"d", TV_FALSE}, {"e", TV_ASSUMED},
                           {"f", TV_ASSUMED}, {"g", TV_FALSE}});
        EXPECT_EQ(info.atomsDecided, 7);
        EXPECT_EQ(info.madeMustBeTrue, 0);
        EXPECT_EQ(info.madeTrue, 0);
        // Rules with a first true head atom: "a v b", "c :- a", "d v e",
        // "f :- e", "f v g"; and the constraint.
        EXPECT_EQ(info.itemsSatisfied, 6);
    });
}

TEST(Propagation, InconsistentBeforeAnyChoice) {
    const char* programs[] = {
        "a v b. :- a. :- b.",                            // the rule loses every head atom
        "a v b :- c. c v d. :- not a. :- not b.",        // one rule cannot support both
        "a v b. c :- a. :- not c. :- a.",                // c is left without support
        // the count cannot reach 3
        "p(1) v q(1). p(2) v q(2). p(3) v q(3). :- p(3). :- not #count{X: p(X)} >= 3.",
    };
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        inFreshProcess([program] {
            groundProgram(program);
            GENERATORRUN run;
            EXPECT_FALSE(run.consistent);
            EXPECT_TRUE(run.gen().initiallyInconsistent);
            EXPECT_TRUE(run.gen().eventQueue.empty());
        });
    }
    inFreshProcess([] {
        groundProgram("a v b :- c. c v d. :- not a.");
        GENERATORRUN run;
        EXPECT_TRUE(run.consistent);
        EXPECT_FALSE(run.gen().initiallyInconsistent);
    });
}

}  // namespace veltra
