// Undoing levels and runs restores every value, counter, support count and
// aggregate bound exactly.
#include "tests/unit/support/search.h"

namespace veltra {

namespace {

const char* const program =
    "p(X) v q(X) :- r(X). r(1). r(2). r(3). r(4).\n"
    "a v b. c v d :- a. e :- c, not b. e :- p(1). f :- e, not d.\n"
    "ok1 :- #count{X: p(X)} >= 2. ok2 :- #sum{X: p(X)} <= 5. ok3 :- #times{X: p(X)} >= 6.\n"
    "ok4 :- #max{X: p(X)} <= 3. ok5 :- #min{X: p(X)} >= 2.\n"
    ":- ok1, ok2, not a. :- not f, q(4).\n"
    ":~ a, p(2). [2:1] :~ q(1). [1:3] :~ not e. [4:1]\n";

}  // namespace

TEST(Undo, LeavingLevelsRestoresEverything) {
    // Choice sequences, each taken level by level; every prefix is undone
    // in reverse and compared with the state before it.
    const std::vector<std::pair<const char*, int32_t>> paths[] = {
        {{"a", TV_ASSUMED}, {"p(1)", TV_ASSUMED}, {"p(3)", TV_FALSE}, {"q(2)", TV_MUSTBETRUE}},
        {{"p(4)", TV_ASSUMED}, {"p(2)", TV_ASSUMED}, {"b", TV_FALSE}, {"p(3)", TV_ASSUMED}},
        {{"q(4)", TV_ASSUMED}, {"e", TV_FALSE}, {"p(1)", TV_MUSTBETRUE}},
        {{"d", TV_ASSUMED}, {"p(2)", TV_FALSE}, {"p(3)", TV_FALSE}, {"p(4)", TV_FALSE}},
    };
    for (const auto& path : paths) {
        inFreshProcess([&path] {
            groundProgram(program);
            GENERATORRUN run;
            ASSERT_TRUE(run.consistent);
            MODELGENERATOR& g = run.gen();
            std::vector<SEARCHSTATE> before;
            std::vector<LEVELMARK> marks;
            bool conflict = false;
            for (const auto& [atom, value] : path) {
                if (run.value(atom) != TV_UNDEFINED) continue;  // decided by an earlier choice
                before.push_back(snapshot(g, run.interpretation));
                marks.push_back(g.enterLevel(run.interpretation));
                g.assignChoice(atomIndex(atom), value, run.interpretation);
                if (!g.propagateEvents(run.interpretation)) {
                    conflict = true;
                    break;
                }
            }
            EXPECT_GE(before.size(), 2u) << "the path ends too early to test anything";
            (void)conflict;
            while (!marks.empty()) {
                g.leaveLevel(run.interpretation, marks.back());
                marks.pop_back();
                EXPECT_TRUE(snapshot(g, run.interpretation) == before.back()) << "level " << marks.size() + 1;
                before.pop_back();
            }
            EXPECT_EQ(g.level, 0);
        });
    }
}

TEST(Undo, ConflictingChoiceIsUndoneToo) {
    inFreshProcess([] {
        groundProgram("a v b. c v d. :- a, not c. a1 :- x. b1 :- x. x v y. :- a1, b1.");
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        SEARCHSTATE start = snapshot(run.gen(), run.interpretation);
        LEVELMARK mark = run.gen().enterLevel(run.interpretation);
        run.gen().assignChoice(atomIndex("x"), TV_ASSUMED, run.interpretation);
        ASSERT_FALSE(run.gen().propagateEvents(run.interpretation));
        run.gen().leaveLevel(run.interpretation, mark);
        EXPECT_TRUE(snapshot(run.gen(), run.interpretation) == start);
    });
}

TEST(Undo, EndOfRunRestoresIndexedState) {
    inFreshProcess([] {
        groundProgram(program);
        GENERATORRUN run;
        ASSERT_TRUE(run.consistent);
        MODELGENERATOR& g = run.gen();
        SEARCHSTATE first = snapshot(g, run.interpretation);
        ASSERT_TRUE(run.choose("a", TV_ASSUMED));
        ASSERT_TRUE(run.choose("p(1)", TV_ASSUMED));
        // A search stopped deep down: the end of the run unwinds it all, and a
        // second run starts from exactly the same state.
        g.endRun(run.interpretation);
        EXPECT_TRUE(g.headOccurrences.items.empty());
        INTERPRETATION second;
        ASSERT_TRUE(g.startRun(second));
        EXPECT_TRUE(snapshot(g, second) == first);
        g.endRun(second);
    });
}

}  // namespace veltra
