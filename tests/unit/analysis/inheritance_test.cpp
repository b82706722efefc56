// Inheritance rewriting of object programs: the rewritten program, its
// warning, and the model grounding derives from the rewritten program.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "analysis/rewrite.h"
#include "core/groundprogram.h"
#include "core/predicatetable.h"
#include "core/rule.h"
#include "tests/unit/support/ground.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

CHILDRUN rewritten(const std::string& text) {
    return runInChild(text, [] {
        rewriteInheritance(objects);
        std::cout << programText();
    });
}

CHILDRUN model(const std::string& text) {
    return runInChild(text, [] {
        rewriteInheritance(objects);
        std::cout << groundModel() << '\n';
    });
}

struct REWRITECASE {
    const char* what;
    const char* input;
    const char* program;  // facts, rules, constraints, weak constraints, query after the pass
    const char* warnings;
};

const REWRITECASE rewriteCases[] = {
    {"object 0 in place; projection rules appended on the way are not walked",
     "p(1). -p(2). r(3). q(X) :- p(X), not p(X). o { s. }",
     "p(#defaultobject,1).\n"
     "-p(#defaultobject,2).\n"
     "r(3).\n"
     "s.\n"
     "q(_0) :- p(_1,_0), not __projp(_0).\n"
     "__projp(_0) :- p(_1,_0).\n",
     ""},
    {"precedence facts: an ancestor reached on two paths once",
     "a { } b : a { } c : a { } d : b, c { } e : d { }",
     "__prec(b,a).\n__prec(c,a).\n__prec(d,a).\n__prec(d,b).\n__prec(d,c).\n"
     "__prec(e,a).\n__prec(e,b).\n__prec(e,c).\n__prec(e,d).\n",
     ""},
    {"a fact redefined below warns, keeps its arguments and is dropped",
     "a { p(1). p(2). q(X) :- p(X), not -p(X). } b : a { -p(1). -p(3). }",
     "p(a,2).\n"
     "-p(b,1).\n-p(b,3).\n__prec(b,a).\n"
     "__ovrp(a,_0) :- -p(_1,_0), __prec(_1,a).\n"
     "__proj-p(_0) :- -p(_1,_0).\n"
     "q(_0) :- p(_1,_0), not __proj-p(_0).\n",
     "An EDB fact (p(1)) would have to be rewritten. Currently, we do not handle this automatically. "
     "Please rewrite your program, such that p(1) belongs to the IDB.\n"},
    {"guarded rules numbered in order of objects and rules; an unguarded rule is only rewritten",
     "a { p(1) :- t. p(4) :- t. p(1) v p(2) :- t. t. } b : a { -p(1). -p(2). }"
     "c : a { -p(3). p(5) :- t. } d : c { -p(5). }",
     "t.\n"
     "-p(b,1).\n-p(b,2).\n-p(c,3).\n-p(d,5).\n"
     "__prec(b,a).\n__prec(c,a).\n__prec(d,a).\n__prec(d,c).\n"
     "__ovrp(a,_0) :- -p(_1,_0), __prec(_1,a).\n"
     "__ovrp(a,_0) :- -p(_1,_0), __prec(_1,a).\n"
     "__ovr0(a,1) :- __ovrp(a,1).\n"
     "p(a,1) :- t, not __ovr0(a,1).\n"
     "p(a,4) :- t.\n"
     "__ovr1(a,1,2) :- __ovrp(a,1), __ovrp(a,2).\n"
     "p(a,1) v p(a,2) :- t, not __ovr1(a,1,2).\n"
     "__ovrp(c,_0) :- -p(_1,_0), __prec(_1,c).\n"
     "__ovr2(c,5) :- __ovrp(c,5).\n"
     "p(c,5) :- t, not __ovr2(c,5).\n",
     ""},
    {"fresh object variables above every variable; one projection rule per predicate",
     "s(X,Y) :- p(X), p(Y), r(X,Y), not p(X), not -p(Y), not p(Y). -p(1). o { }",
     "-p(#defaultobject,1).\n"
     "s(_0,_1) :- p(_2,_0), p(_3,_1), r(_0,_1), not __projp(_0), not __proj-p(_1), not __projp(_1).\n"
     "__projp(_0) :- p(_1,_0).\n"
     "__proj-p(_0) :- -p(_1,_0).\n",
     ""},
    {"constraints are projected after the last object",
     ":- p(X), q(X). :- r(X), not p(X). p(1). -p(2). o { -q(1) :- r(1). }",
     "p(#defaultobject,1).\n-p(#defaultobject,2).\n"
     "-q(o,1) :- r(1).\n"
     "__projp(_0) :- p(_1,_0).\n"
     ":- p(_1,_0), q(_2,_0).\n"
     ":- r(_0), not __projp(_0).\n",
     ""},
    {"atoms without arguments get the object as their only argument",
     "a { p :- t. t. q :- p. } b : a { -p. }",
     "t.\n-p(b).\n__prec(b,a).\n"
     "__ovrp(a) :- -p(_0), __prec(_0,a).\n"
     "__ovr0(a) :- __ovrp(a).\n"
     "p(a) :- t, not __ovr0(a).\n"
     "q :- p(_0).\n",
     ""},
    {"an aggregate ranges over the projection of every object",
     "q(Y) :- r(Y), p(Y), Y < #count{X : p(X)}. o { -p(1). }",
     "-p(o,1).\n"
     "q(_0) :- r(_0), p(_2,_0), _0 < #count{_1 : __projp(_1)} <= 2147483647.\n"
     "__projp(_0) :- p(_1,_0).\n",
     ""},
    {"a fact of a predicate a later object made IDB becomes a rule",
     "a { p(1) :- t. t. } b : a { -p(1). } c : b { -p(2) :- t. }",
     "t.\n__prec(b,a).\n__prec(c,a).\n__prec(c,b).\n"
     "__ovrp(a,_0) :- -p(_1,_0), __prec(_1,a).\n"
     "__ovr0(a,1) :- __ovrp(a,1).\n"
     "p(a,1) :- t, not __ovr0(a,1).\n"
     "-p(b,1).\n"
     "-p(c,2) :- t.\n",
     ""},
    {"weak constraints are rewritten like constraints, so their costs still apply",
     ":~ p(X). [1:1] :~ r(X), not p(X). [2:1] r(1). a { p(1). } b : a { -p(2). }",
     "p(a,1).\nr(1).\n-p(b,2).\n__prec(b,a).\n__projp(_0) :- p(_1,_0).\n:~ p(_1,_0). [1000:1]\n:~ r(_0), not __projp(_0). [2000:1]\n",
     ""},
    {"predicates without a complement stay as they are",
     "a { q(X) :- r(X), not s(X). r(1). } b : a { s(1). }",
     "r(1).\ns(1).\n__prec(b,a).\nq(_0) :- r(_0), not s(_0).\n",
     ""},
};

TEST(Inheritance, RewrittenProgram) {
    for (const REWRITECASE& c : rewriteCases) {
        CHILDRUN r = rewritten(c.input);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.out, c.program) << c.what;
        EXPECT_EQ(r.err, c.warnings) << c.what;
    }
}

// The atoms of an overridden-atom set make the complement of their predicate
// known, and from then on the predicate counts as having one.
TEST(Inheritance, OverriddenAtomRegistersItsComplement) {
    CHILDRUN r = runInChild("a { p(1) :- t. t. } b : a { }", [] {
        std::vector<TERM> one{integerTerm(1)};
        objects[1]->overridden.add(ATOM("p", &one, KIND_UNKNOWN));
        rewriteInheritance(objects);
        std::cout << programText();
    });
    EXPECT_EQ(r.out,
              "t.\n__prec(b,a).\n"
              "__ovrp(a,_0) :- -p(_1,_0), __prec(_1,a).\n"
              "__ovr0(a,1) :- __ovrp(a,1).\n"
              "p(a,1) :- t, not __ovr0(a,1).\n");
}

std::string manyVariables(const char* extra) {
    std::string text = "q :- r(";
    for (int i = 0; i < 60; ++i) text += (i ? ",V" : "V") + std::to_string(i);
    return text + ")" + extra + ". o { -p(1). }";
}

TEST(Inheritance, FreshVariableBeyondTheLimitEndsTheRun) {
    CHILDRUN r = rewritten(manyVariables(", p(V0)"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Rule contains too many variables after the inheritance rewriting.\n");
    r = rewritten(manyVariables(""));
    EXPECT_EQ(r.status, 0);
}

struct MODELCASE {
    const char* what;
    const char* input;
    const char* model;  // as printed for the single model
};

const MODELCASE modelCases[] = {
    {"an object below overrides an inherited rule",  //
     "a { t. q :- p(1). p(1) :- t. } b : a { -p(1). }", "{t, -p(1)}"},
    {"without the complement nothing is overridden",  //
     "a { t. q :- p(1). p(1) :- t. } b : a { }", "{t, q, p(1)}"},
    {"overriding over several levels, a disjunctive rule blocked by its guard",
     "a { p(1) :- t. p(2) :- t. p(3) :- t. p(1) v p(2) :- t. t. } b : a { -p(1). -p(2). }"
     "c : b { -p(3) :- t. }",
     "{t, -p(1), -p(2), -p(3)}"},
    {"a rule not redefined below stays in force",
     "a { p(1) :- t. p(2) :- t. t. } b : a { -p(1). }", "{t, -p(1), p(2)}"},
    {"a negated literal holds when no object derives the atom",
     "a { r(1). r(2). q(X) :- r(X), not p(X). } b : a { p(1) :- r(1). } c { -p(3). }",
     "{r(1), r(2), -p(3), q(2), p(1)}"},
    {"a strict rule belongs to no object and sees every object",
     "a { t. q :- p(1). p(1) :- t. p(2) :- t. } b : a { -p(1). } r(X) :- p(X)!", "{t, -p(1), p(2), r(2)}"},
    {"positive literals hold for any object",
     "a { p(1). } b { -p(2). } q(X) :- p(X). s(X) :- -p(X).", "{p(1), -p(2), q(1), s(2)}"},
};

TEST(Inheritance, ModelOfTheRewrittenProgram) {
    for (const MODELCASE& c : modelCases) {
        CHILDRUN r = model(c.input);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.out, std::string(c.model) + "\n") << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

// A chain of k objects has k(k-1)/2 precedence facts, but only those whose
// ancestor overrides something are read. Unless every fact is asked for, the
// others are counted, not stored: the stored facts grow linearly with k, and
// the model stays the same.
std::string objectChain(int k) {
    std::string text = "o1 { t. p(1). flag :- t. q(X) :- p(X), not r(X). }\n";
    for (int i = 2; i <= k; ++i)
        text += "o" + std::to_string(i) + " : o" + std::to_string(i - 1) + " { p(" + std::to_string(i) + ")." +
                (i == k ? " -flag. r(1)." : "") + " }\n";
    return text;
}

TEST(Inheritance, PrecedenceFactsNobodyReadsAreCountedNotStored) {
    for (int k : {200, 400}) {
        SCOPED_TRACE(k);
        std::string modelWithEveryFact;
        for (bool every : {true, false}) {
            CHILDRUN r = runInChild(objectChain(k), [every] {
                rewriteInheritance(objects, every);
                const int32_t p = predicateTable.find(NAME("__prec"));
                std::cout << (p >= 0 ? edbFacts.atomsOfPredicate(p).size() : 0) << ' ' << omittedFacts.count;
                for (uint32_t d : omittedFacts.distinct) std::cout << ' ' << d;
                std::cout << '\n' << omittedFacts.ancestorsWalked << '\n' << groundModel() << '\n';
            });
            EXPECT_EQ(r.status, 0) << r.err;
            const size_t all = size_t(k) * (k - 1) / 2;
            const std::string counts = r.out.substr(0, r.out.find('\n'));
            if (every)
                EXPECT_EQ(counts, std::to_string(all) + " 0");
            else
                EXPECT_EQ(counts, std::to_string(k - 1) + " " + std::to_string(all - (k - 1)) + " " +
                                      std::to_string(k - 1) + " " + std::to_string(k - 1));
            // Only the facts stored are walked to (and the first one left
            // out, which names the predicate): linear in k.
            const size_t second = r.out.find('\n') + 1, third = r.out.find('\n', second) + 1;
            const uint64_t walked = std::stoull(r.out.substr(second, third - second));
            if (every)
                EXPECT_EQ(walked, all);
            else
                EXPECT_LE(walked, uint64_t(2 * k));
            const std::string model = r.out.substr(third);
            if (every)
                modelWithEveryFact = model;
            else
                EXPECT_EQ(model, modelWithEveryFact);
        }
    }
}

}  // namespace
}  // namespace veltra
