// The grounder for variable-free input: EDB literals decided by the facts,
// everything else interned as it stands.
#include <gtest/gtest.h>

#include "tests/unit/support/ground.h"

using namespace veltra;

namespace {

TEST(GroundPropositional, RulesConstraintsAndWeakConstraints) {
    GROUNDSETTINGS settings;
    settings.propositional = true;
    CHILDRUN run = groundText(
        "e. x(1).\n"
        "a v b.\nc :- a, not d.\nf :- e.\ng :- not e.\nh :- x(2).\ni :- x(1), a.\n"
        "p v p :- q.\nr :- a, a, not d, not d.\n"
        ":- a, b.\n:- x(2), a.\n"
        ":~ e. [2:3]\n:~ a, not d. [1:1]\n:~ x(2). [1:7]\n",
        settings);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "true:\nundefined:\n"
              "a v b.\nc :- a, not d.\nf.\ni :- a.\np :- q.\nr :- a, not d.\n"
              ":- a, b.\n"
              ":~ a, not d. [1:1]\n"
              "violated: :~ . [2:3]\n"
              "maxlevel: 7\n");
}

TEST(GroundPropositional, AlwaysViolatedConstraint) {
    GROUNDSETTINGS settings;
    settings.propositional = true;
    const char* program = "e.\na v b.\n:- a, b.\n:- e.\n:- b.\n:~ a. [1:2]\n";
    CHILDRUN run = groundText(program, settings);
    EXPECT_EQ(run.status, 100);
    EXPECT_EQ(run.out, "true:\nundefined:\na v b.\n:- a, b.\n");
    settings.instantiate = true;
    run = groundText(program, settings);
    EXPECT_EQ(run.status, 100);
    EXPECT_EQ(run.out,
              "% A constraint will always be violated, \n"
              "% so this program does not have any answer set.\n"
              ":- not a_Constant_Never_Occurring_In_Regular_Programs.\n"
              "true:\nundefined:\n");
}

}  // namespace
