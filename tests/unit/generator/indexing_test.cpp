// Indexing: occurrence lists, rule counters and support counts.
#include "tests/unit/support/search.h"

namespace veltra {

TEST(Indexing, SupportCountsAndRuleCounters) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. a :- c. e :- a, not d.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        struct {
            const char* atom;
            int32_t support;
        } cases[] = {{"a", 2}, {"b", 1}, {"c", 1}, {"d", 1}, {"e", 1}};
        for (const auto& c : cases) EXPECT_EQ(g.supportCount[atomIndex(c.atom)], c.support) << c.atom;
        GROUNDRULE& r = groundRule("e :- a, not d.");
        EXPECT_EQ(ruleStatus(r), 0u);
        EXPECT_EQ(openHead(r), 1u);
        EXPECT_EQ(openPosBody(r), 1u);
        EXPECT_EQ(openNegBody(r), 1u);
        EXPECT_EQ(mustBeTrueHead(r) + mustBeTruePosBody(r) + soleTrueHead(r), 0u);
        // Every atom is listed where it occurs, once per rule.
        EXPECT_EQ(g.headOccurrences[atomIndex("a")].size(), 2u);
        EXPECT_EQ(g.posBodyOccurrences[atomIndex("a")].size(), 1u);
        EXPECT_EQ(g.negBodyOccurrences[atomIndex("d")].size(), 1u);
        EXPECT_EQ(g.headOccurrences[atomIndex("e")][0], &r);
        // Nothing is decided before a choice.
        for (const char* a : {"a", "b", "c", "d", "e"}) EXPECT_EQ(run.value(a), TV_UNDEFINED) << a;
    });
}

TEST(Indexing, HeadCycleRulesAreMarked) {
    inFreshProcess([] {
        groundProgram("a v b. a :- b. b :- a. c :- a.");
        GENERATORRUN run;
        EXPECT_EQ(groundRule("a v b.").notHeadCycle, 0);
        EXPECT_EQ(groundRule("a :- b.").notHeadCycle, 0);
        EXPECT_EQ(groundRule("c :- a.").notHeadCycle, 1);
        EXPECT_TRUE(run.gen().inHeadCycleComponent(atomIndex("a")));
        EXPECT_FALSE(run.gen().inHeadCycleComponent(atomIndex("c")));
    });
}

TEST(Indexing, WideRuleCountersDoNotWrap) {
    inFreshProcess([] {
        // One rule with 70000 positive body atoms: a 16-bit counter would wrap.
        std::string text = "h v g :- ";
        for (int i = 0; i < 70000; ++i) text += (i ? ", p" : "p") + std::to_string(i);
        text += ".\n";
        for (int i = 0; i < 70000; ++i) text += "p" + std::to_string(i) + " v q" + std::to_string(i) + ".\n";
        groundProgram(text, true);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        GROUNDRULE& r = *run.gen().headOccurrences[atomIndex("h")][0];
        EXPECT_EQ(openPosBody(r), 70000u);
        EXPECT_TRUE(run.choose("p0", TV_ASSUMED));
        EXPECT_EQ(openPosBody(r), 69999u);
    });
}

}  // namespace veltra
