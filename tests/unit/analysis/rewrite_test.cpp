// The rewriting passes before grounding: basic rewriting (its edits, its flags
// and its exit), projection (auxiliary predicates and defining rules) and
// subsumption checking, each judged on the printed program.
#include "analysis/rewrite.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/aggregate.h"
#include "core/groundprogram.h"
#include "core/rule.h"
#include "driver/options.h"
#include "input/parse.h"
#include "tests/unit/support/program.h"

using namespace veltra;

namespace {

// Reads program text into the global containers the way the parser fills
// them: rule heads make their predicates IDB, a single ground fact makes its
// predicate EDB (and goes to edbFacts), body-only predicates stay unknown.
// Every user predicate name gets suffix, so that each test has fresh
// predicates in the one process-wide table; printed text drops it again.
// Syntax: "h1 v h2 :- b, not c, X < Y, +(X,Y,Z).", ":- b.", ":~ b. [w:l]".
class PROGRAMREADER {
public:
    explicit PROGRAMREADER(std::string suffix) : suffix_(std::move(suffix)) {}

    void read(const char* text) {
        p_ = text;
        for (skip(); *p_; skip()) statement();
    }
    const std::string& suffix() const { return suffix_; }

private:
    const char* p_ = nullptr;
    std::string suffix_;
    std::map<std::string, int32_t> variables_;
    int32_t nextVariable_ = 0;

    void skip() {
        while (std::isspace(static_cast<unsigned char>(*p_))) ++p_;
    }
    bool accept(const char* token) {
        skip();
        size_t n = std::strlen(token);
        if (std::strncmp(p_, token, n) != 0) return false;
        p_ += n;
        return true;
    }
    void expect(const char* token) {
        bool ok = accept(token);
        EXPECT_TRUE(ok) << "expected " << token << " at: " << p_;
        if (!ok) p_ += std::strlen(p_);
    }
    std::string word() {
        skip();
        const char* start = p_;
        if (*p_ == '-') ++p_;
        while (std::isalnum(static_cast<unsigned char>(*p_)) || *p_ == '_' || *p_ == '#') ++p_;
        return std::string(start, p_);
    }
    TERM term(const std::string& w) {
        if (w == "_") return variableTerm(nextVariable_++);
        if (std::isupper(static_cast<unsigned char>(w[0]))) {
            auto [it, isNew] = variables_.emplace(w, nextVariable_);
            if (isNew) ++nextVariable_;
            return variableTerm(it->second);
        }
        if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '-') return integerTerm(std::atoi(w.c_str()));
        return symbolTerm(w.c_str());
    }
    std::vector<TERM> arguments() {
        std::vector<TERM> terms;
        if (!accept("(")) return terms;
        do terms.push_back(term(word()));
        while (accept(","));
        expect(")");
        return terms;
    }
    ATOM atom(const std::string& name, int32_t kind) {
        std::vector<TERM> terms = arguments();
        return ATOM(name.c_str(), terms.empty() ? nullptr : &terms, kind);
    }
    LITERAL literal() {
        bool negated = accept("not ");
        skip();
        if (*p_ == '+' || *p_ == '*') {  // prefix built-ins
            std::string name(1, *p_++);
            return LITERAL(atom(name, KIND_UNKNOWN), negated);
        }
        std::string w = word();
        for (const char* op : {"==", "!=", "<=", ">=", "<", ">"}) {
            if (!accept(op)) continue;
            std::vector<TERM> terms{term(w), term(word())};
            return LITERAL(ATOM(op, &terms, KIND_UNKNOWN), negated);
        }
        std::string name = w[0] == '#' ? w : w + suffix_;
        return LITERAL(atom(name, KIND_UNKNOWN), negated);
    }
    CONJUNCTION body() {
        CONJUNCTION b;
        do b.addLiteral(literal());
        while (accept(","));
        return b;
    }
    void statement() {
        variables_.clear();
        nextVariable_ = 0;
        if (accept(":~")) {
            WEAKCONSTRAINT w;
            w.body = body();
            expect(".");
            expect("[");
            w.weight = integerTerm(std::atoi(word().c_str()) * 1000);
            expect(":");
            w.level = integerTerm(std::atoi(word().c_str()));
            expect("]");
            weakConstraints.push_back(std::move(w));
            return;
        }
        if (accept(":-")) {
            constraints.emplace_back(body(), false);
            expect(".");
            return;
        }
        // The head is read into names first: its kind depends on the rest.
        std::vector<std::pair<std::string, std::vector<TERM>>> head;
        do {
            std::string name = word() + suffix_;
            head.emplace_back(name, arguments());
        } while (accept("v "));
        std::unique_ptr<CONJUNCTION> b;
        if (accept(":-")) b = std::make_unique<CONJUNCTION>(body());
        expect(".");
        if (!b && head.size() == 1) {
            ATOM fact(head[0].first.c_str(), head[0].second.empty() ? nullptr : &head[0].second, KIND_EDB);
            if (fact.isGround()) {
                edbFacts.add(fact);
                return;
            }
        }
        std::vector<ATOM> atoms;
        for (auto& [name, terms] : head) atoms.emplace_back(name.c_str(), terms.empty() ? nullptr : &terms, KIND_IDB);
        rules.emplace_back(&atoms, b.get());
    }
};

// Every test starts from empty containers and with fresh predicate names.
class Rewrite : public ::testing::Test {
protected:
    OPTIONRECORD savedOptions = OPTIONS;
    PROGRAMREADER reader{"~" + std::to_string(++counter) + "~"};
    static inline int counter = 0;

    void SetUp() override {
        rules.clear();
        constraints.clear();
        weakConstraints.clear();
        projectionApplied = false;
    }
    void TearDown() override { OPTIONS = savedOptions; }

    std::string strip(std::string text) const {
        const std::string& s = reader.suffix();
        for (size_t at = text.find(s); at != std::string::npos; at = text.find(s, at)) text.erase(at, s.size());
        return text;
    }
    std::string printedRules() const { return strip(rulesText()); }
    std::string printedConstraints() const { return strip(constraintsText()); }
    // A "#count" literal: lower <= #count{element : inner} <= upper.
    LITERAL countLiteral(bool negated, TERM lower, TERM upper, TERM element, const LITERAL& inner) {
        static const int32_t predicate = addPredicate(predicateTable, NAME("#count~test"), 0, KIND_AGGREGATE).first;
        auto aggregate = std::make_unique<AGGREGATEATOM>();
        aggregate->function = makeAggregateFunction(AGG_COUNT);
        aggregate->function->elementTerms.push_back(element);
        aggregate->function->body.addLiteral(inner);
        aggregate->lowerGuard = lower;
        aggregate->upperGuard = upper;
        return LITERAL(ATOM(predicate, aggregate.release()), negated);
    }
    LITERAL ordinary(const char* name, std::vector<TERM> terms, bool negated = false) {
        std::string full = name + reader.suffix();
        return LITERAL(ATOM(full.c_str(), terms.empty() ? nullptr : &terms, KIND_UNKNOWN), negated);
    }
};

// ---------------------------------------------------------------- basic

struct BASICCASE {
    const char* title;
    const char* program;
    bool rewriteBasic, deleteFalseRules;
    const char* rulesAfter;
    const char* constraintsAfter;
    bool builtins, aggregates;
};

const BASICCASE basicCases[] = {
    {"head denied by its body becomes a constraint", "a :- not a.", true, true, "", ":- not a.\n", false, false},
    {"without -ORb the rule stays", "a :- not a.", false, true, "a :- not a.\n", "", false, false},
    {"denied disjunct is dropped", "c. a v b :- c, not a.", true, true, "b :- c, not a.\n", "", false, false},
    {"all disjuncts denied", "c. a v b :- c, not a, not b.", true, true, "", ":- c, not a, not b.\n", false, false},
    {"denied atom must match in its arguments", "r(1,2). p(X) v q(X) :- r(X,Y), not p(Y), not p(X).", true,
     true, "q(_0) :- r(_0,_1), not p(_1), not p(_0).\n", "", false, false},
    {"positive undefined literal erases the rule", "r. p :- q, not r.", true, true, "", "", false, false},
    {"-ORdr- keeps it", "r. p :- q, not r.", true, false, "p :- q, not r.\n", "", false, false},
    {"-ORdr- still drops undefined negatives", "p :- q, not r.", true, false, "p :- q.\n", "", false, false},
    {"body of undefined negatives only leaves a disjunctive fact", "p v s :- not r.", true, true, "p v s.\n", "",
     false, false},
    {"undefined negatives dropped before the head check", "a :- not a, not u.", true, true, "", ":- not a.\n",
     false, false},
    {"constraint with an undefined positive literal is erased", ":- q, not r.", true, true, "", "", false, false},
    {"constraint loses its undefined negatives", "b. :- b, not r.", true, true, "", ":- b.\n", false, false},
    {"no cascade: p keeps its kind from the erased rule", "p :- q. s :- p.", true, true, "s :- p.\n", "", false,
     false},
    {"-ORb- changes nothing but still sets the flags", "p(X) :- q(X), X < 3, not u(X). :- w, r(X), X > 1.", false,
     true, "p(_0) :- q(_0), <(_0,3), not u(_0).\n", ":- w, r(_0), >(_0,1).\n", true, false},
    {"negated built-in sets no flag", "q(1). p(X) :- q(X), not X < 3.", true, true,
     "p(_0) :- q(_0), not <(_0,3).\n", "", false, false},
    {"built-in before the undefined literal counts", "q(1). p(X) :- q(X), X < 3, u(X).", true, true, "", "", true,
     false},
    {"built-in after the undefined literal does not", "q(1). p(X) :- q(X), u(X), X < 3.", true, true, "", "", false,
     false},
    {"built-in in a constraint", "q(1). :- q(X), +(X,X,Y), Y > 1.", true, true, "", ":- q(_0), +(_0,_0,_1), >(_1,1).\n",
     true, false},
    {"built-in in a weak constraint, positive only", "q(1). :~ q(X), X > 1. [1:1]", true, true, "", "", true,
     false},
    {"negated built-in in a weak constraint", "q(1). :~ q(X), not X > 1. [1:1]", true, true, "", "", false, false},
};

TEST_F(Rewrite, BasicRewritingTable) {
    for (const BASICCASE& c : basicCases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        constraints.clear();
        weakConstraints.clear();
        PROGRAMREADER local("~b" + std::to_string(&c - basicCases) + "~");
        reader = local;
        reader.read(c.program);
        OPTIONS.rewriteBasic = c.rewriteBasic;
        OPTIONS.rewriteDeleteFalseRules = c.deleteFalseRules;
        bool builtins = true, aggregates = true;  // the pass clears them first
        basicRewriting(rules, constraints, weakConstraints, builtins, aggregates);
        EXPECT_EQ(printedRules(), c.rulesAfter);
        EXPECT_EQ(printedConstraints(), c.constraintsAfter);
        EXPECT_EQ(builtins, c.builtins);
        EXPECT_EQ(aggregates, c.aggregates);
    }
}

TEST_F(Rewrite, BasicRewritingWeakConstraintsStayUnchanged) {
    reader.read(":~ q(X), not u(X). [2:1] :~ w. [1:3]");
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    ASSERT_EQ(weakConstraints.size(), 2u);
    std::ostringstream out;
    for (const WEAKCONSTRAINT& w : weakConstraints) printProgramWeakConstraint(out, w) << '\n';
    EXPECT_EQ(strip(out.str()), ":~ q(_0), not u(_0). [2:1]\n:~ w. [1:3]\n");
}

TEST_F(Rewrite, BasicRewritingAggregateFlag) {
    reader.read("q(1). s(1).");
    TERM x = variableTerm(0);
    struct CASE {
        const char* title;
        int where;  // 0 rule body, 1 constraint, 2 weak constraint
        bool negated;
        bool expected;
    } cases[] = {
        {"positive in a rule", 0, false, true},
        {"negated in a rule", 0, true, true},
        {"negated in a constraint", 1, true, true},
        {"positive in a weak constraint", 2, false, true},
        {"negated in a weak constraint", 2, true, false},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        constraints.clear();
        weakConstraints.clear();
        CONJUNCTION body;
        body.addLiteral(ordinary("q", {x}));
        body.addLiteral(countLiteral(c.negated, integerTerm(1), x, variableTerm(1), ordinary("s", {variableTerm(1)})));
        std::vector<ATOM> head{ATOM(("p" + reader.suffix()).c_str(), nullptr, KIND_IDB)};
        if (c.where == 0) rules.emplace_back(&head, &body);
        if (c.where == 1) constraints.emplace_back(body, false);
        if (c.where == 2) {
            WEAKCONSTRAINT w;
            w.body = body;
            w.weight = integerTerm(1000);
            w.level = integerTerm(1);
            weakConstraints.push_back(std::move(w));
        }
        bool builtins = false, aggregates = false;
        basicRewriting(rules, constraints, weakConstraints, builtins, aggregates);
        EXPECT_EQ(aggregates, c.expected);
        EXPECT_FALSE(builtins);
        EXPECT_EQ(rules.size() + constraints.size() + weakConstraints.size(), 1u) << "nothing is erased";
    }
}

TEST_F(Rewrite, BasicRewritingConstraintsAddedByRulesComeLast) {
    reader.read("c. :- c, d. d :- c. a :- c, not a.");
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    EXPECT_EQ(printedRules(), "d :- c.\n");
    EXPECT_EQ(printedConstraints(), ":- c, d.\n:- c, not a.\n");
}

TEST_F(Rewrite, BasicRewritingKeepsTheOrderOfWhatRemains) {
    reader.read("b. r1 :- b. r2 :- u. r3 :- u. r4 :- b, not u. r5 :- u, b. r6 v r7 :- not u.");
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    EXPECT_EQ(printedRules(), "r1 :- b.\nr4 :- b.\nr6 v r7.\n");
}

using RewriteDeathTest = Rewrite;

TEST_F(RewriteDeathTest, BasicRewritingEmptiedConstraintEndsTheRun) {
    reader.read("b. :- b, q. :- not r. :- b.");
    EXPECT_EXIT(basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent),
                testing::ExitedWithCode(0), "^$");
}

TEST_F(Rewrite, BasicRewritingEmptiedConstraintWithoutBasicStays) {
    reader.read(":- not r.");
    OPTIONS.rewriteBasic = false;
    basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
    EXPECT_EQ(printedConstraints(), ":- not r.\n");
}

// ---------------------------------------------------------------- projection

struct PROJECTIONCASE {
    const char* title;
    const char* program;
    const char* rulesAfter;  // the rewritten rules, then the defining rules
    bool applied;
};

const PROJECTIONCASE projectionCases[] = {
    {"local variable", "p(X) :- q(X, Y), r(X).", "p(_0) :- \"_q,2\"(_0), r(_0).\n\"_q,2\"(_0) :- q(_0,_1).\n", true},
    {"repeated local variable and a constant", "p(X) :- q(X, Y, Y, a), r(X).",
     "p(_0) :- \"_q,2,3=2,[4=a]\"(_0), r(_0).\n\"_q,2,3=2,[4=a]\"(_0) :- q(_0,_1,_1,a).\n", true},
    {"repeated needed variable", "p(X) :- q(X, Y, X), r(X).",
     "p(_0) :- \"_q,2,[3=1]\"(_0,_0), r(_0).\n\"_q,2,[3=1]\"(_0,_0) :- q(_0,_1,_0).\n", true},
    {"integer constant and two locals", "p(X) :- q(X, 7, Y, Z), r(X).",
     "p(_0) :- \"_q,[2=int[7]],3,4\"(_0), r(_0).\n\"_q,[2=int[7]],3,4\"(_0) :- q(_0,7,_1,_2).\n", true},
    {"a built-in moves into the defining rule", "p(X) :- q(X, Y), r(X), X < 5.",
     "p(_0) :- \"_q,2<,1,[2=int[5]]\"(_0), r(_0).\n\"_q,2<,1,[2=int[5]]\"(_0) :- <(_0,5), q(_0,_1).\n", true},
    {"a negated built-in is copied and kept", "p(X) :- q(X, Y), r(X), not X < 5.",
     "p(_0) :- \"_q,2_<,1,[2=int[5]]\"(_0), r(_0), not <(_0,5).\n"
     "\"_q,2_<,1,[2=int[5]]\"(_0) :- q(_0,_1), not <(_0,5).\n",
     true},
    {"nothing to project, still applied", "p(X, Z) :- q(X), r(Z), X < Z.", "p(_0,_1) :- q(_0), r(_1), <(_0,_1).\n",
     true},
    {"literals wrapped with their built-in", "p(X) :- q(X), r(X), X > 2.",
     "p(_0) :- \"_q>,1,[2=int[2]]\"(_0), \"_r>,1,[2=int[2]]\"(_0).\n"
     "\"_q>,1,[2=int[2]]\"(_0) :- >(_0,2), q(_0).\n\"_r>,1,[2=int[2]]\"(_0) :- >(_0,2), r(_0).\n",
     true},
    {"wrapping keeps every argument", "p(X) :- q(X, Y), r(X), Y > 1.",
     "p(_0) :- \"_q>,2,[2=int[1]]\"(_0,_1), r(_0).\n\"_q>,2,[2=int[1]]\"(_0,_1) :- >(_1,1), q(_0,_1).\n", true},
    {"wrapping repeats the literal's descriptors per built-in", "p(X) :- q(X, a, X), r(X), X > 2, X < 9.",
     "p(_0) :- \"_q,[2=a],[3=1]>,3,[2=int[2]],[2=a],[3=1]<,3,[2=int[9]]\"(_0,a,_0), "
     "\"_r>,1,[2=int[2]]<,1,[2=int[9]]\"(_0).\n"
     "\"_q,[2=a],[3=1]>,3,[2=int[2]],[2=a],[3=1]<,3,[2=int[9]]\"(_0,a,_0) :- >(_0,2), <(_0,9), q(_0,a,_0).\n"
     "\"_r>,1,[2=int[2]]<,1,[2=int[9]]\"(_0) :- >(_0,2), <(_0,9), r(_0).\n",
     true},
    {"auxiliary atoms in the order of their lowest local variable", "p(X) :- r(X, Z), s(X), q(X, Y).",
     "p(_0) :- \"_r,2\"(_0), \"_q,2\"(_0), s(_0).\n\"_r,2\"(_0) :- r(_0,_1).\n\"_q,2\"(_0) :- q(_0,_2).\n", true},
    {"one auxiliary predicate per name", "p(X) :- q(X, Y), r(X). s(X) :- q(X, Z), t(X).",
     "p(_0) :- \"_q,2\"(_0), r(_0).\ns(_0) :- \"_q,2\"(_0), t(_0).\n\"_q,2\"(_0) :- q(_0,_1).\n", true},
    {"no local variable: negative literal", "p(X) :- q(X, Y), r(X), not s(Y).",
     "p(_0) :- q(_0,_1), r(_0), not s(_1).\n", true},
    {"no local variable: head", "p(X, Y) :- q(X, Y), r(X).", "p(_0,_1) :- q(_0,_1), r(_0).\n", true},
    {"no local variable: the same literal twice counts once",
     "p(X) :- q(X, Y, Y), r(X, Y).", "p(_0) :- q(_0,_1,_1), r(_0,_1).\n", true},
    {"one ordinary literal never qualifies", "p(X) :- q(X, Y), X < 3, not r(Y), not s(X).",
     "p(_0) :- q(_0,_1), <(_0,3), not r(_1), not s(_0).\n", false},
    {"a fact never qualifies", "p v q.", "p v q.\n", false},
    {"built-in arguments relative to the literal",
     "p(X) :- q(Y, X, Z), r(X), +(X, 1, X).",
     "p(_0) :- \"_q,1,3+,2,[2=int[1]],2\"(_0), r(_0).\n\"_q,1,3+,2,[2=int[1]],2\"(_0) :- +(_0,1,_0), q(_1,_0,_2).\n",
     true},
    // The built-in was merged by the projection of q; the rest of the body is
    // then not wrapped.
    {"merged built-in: no wrapping afterwards", "p(X) :- q(X, Y), r(X), s(X), X < 5.",
     "p(_0) :- \"_q,2<,1,[2=int[5]]\"(_0), r(_0), s(_0).\n\"_q,2<,1,[2=int[5]]\"(_0) :- <(_0,5), q(_0,_1).\n",
     true},
    // A built-in left over after the projections lets the other literals be
    // wrapped, with every built-in that fits them.
    {"left-over built-in: wrapping with all that fit", "p(X) :- q(X, Y), r(X, Z), X < 5, Z > 1.",
     "p(_0) :- \"_q,2<,1,[2=int[5]]\"(_0), \"_r<,1,[2=int[5]]>,2,[2=int[1]]\"(_0,_2).\n"
     "\"_q,2<,1,[2=int[5]]\"(_0) :- <(_0,5), q(_0,_1).\n"
     "\"_r<,1,[2=int[5]]>,2,[2=int[1]]\"(_0,_2) :- <(_0,5), >(_2,1), r(_0,_2).\n",
     true},
};

TEST_F(Rewrite, ProjectRulesTable) {
    for (const PROJECTIONCASE& c : projectionCases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        projectionApplied = false;
        reader = PROGRAMREADER("~p" + std::to_string(&c - projectionCases) + "~");
        reader.read(c.program);
        projectRules(rules);
        EXPECT_EQ(printedRules(), c.rulesAfter);
        EXPECT_EQ(projectionApplied, c.applied);
    }
}

TEST_F(Rewrite, AuxiliaryPredicatesAreInternalIdb) {
    reader.read("p(X) :- q(X, Y), r(X).");
    projectRules(rules);
    ASSERT_EQ(rules.size(), 2u);
    int32_t aux = (*rules[1].head)[0].predicate;
    EXPECT_EQ(strip(predicateTable.name(aux).str()), "\"_q,2\"");
    EXPECT_EQ(predicateTable.kinds[aux], KIND_IDB);
    EXPECT_TRUE(predicateTable.internal[aux]);
    EXPECT_EQ(predicateTable.arities[aux], 1);
}

TEST_F(Rewrite, ProjectConstraintsAppendsDefiningRules) {
    reader.read("p(X) :- q(X, Y), r(X). :- q(X, Z), r(X), not s(X). :- t(X, Y, Y), s(X).");
    projectConstraints(constraints, rules);
    EXPECT_EQ(printedConstraints(),
              ":- \"_q,2\"(_0), r(_0), not s(_0).\n:- \"_t,2,3=2\"(_0), s(_0).\n");
    EXPECT_EQ(printedRules(),
              "p(_0) :- q(_0,_1), r(_0).\n\"_q,2\"(_0) :- q(_0,_1).\n\"_t,2,3=2\"(_0) :- t(_0,_1,_1).\n");
    // The rules' own pass afterwards reuses the constraint's auxiliary predicate.
    projectRules(rules);
    EXPECT_EQ(printedRules(),
              "p(_0) :- \"_q,2\"(_0), r(_0).\n\"_q,2\"(_0) :- q(_0,_1).\n\"_t,2,3=2\"(_0) :- t(_0,_1,_1).\n");
}

TEST_F(Rewrite, ProjectionAndAggregates) {
    TERM x = variableTerm(0), y = variableTerm(1), w = variableTerm(2), z = variableTerm(3);
    const std::vector<TERM> headTerms{x};
    std::vector<ATOM> head{ATOM(("p" + reader.suffix()).c_str(), &headTerms, KIND_IDB)};
    struct CASE {
        const char* title;
        bool negated;
        const char* expected;
    } cases[] = {
        // W is local; Y (the aggregate's body) and X (its guard) are needed.
        {"positive aggregate", false,
         "p(_0) :- \"_q,3\"(_0,_1), 1 <= #count{_3 : s(_3,_1)} <= _0.\n\"_q,3\"(_0,_1) :- q(_0,_1,_2).\n"},
        {"negated aggregate: too few positive literals", true,
         "p(_0) :- q(_0,_1,_2), not 1 <= #count{_3 : s(_3,_1)} <= _0.\n"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        CONJUNCTION body;
        body.addLiteral(ordinary("q", {x, y, w}));
        body.addLiteral(countLiteral(c.negated, integerTerm(1), x, z, ordinary("s", {z, y})));
        rules.emplace_back(&head, &body);
        projectRules(rules);
        EXPECT_EQ(printedRules(), c.expected);
    }
}

// ---------------------------------------------------------------- subsumption

struct SUBSUMPTIONCASE {
    const char* title;
    const char* program;
    const char* rulesAfter;
};

const SUBSUMPTIONCASE subsumptionCases[] = {
    {"smaller body subsumes, first", "a(X) :- b(X). a(X) :- b(X), c(X).", "a(_0) :- b(_0).\n"},
    {"smaller body subsumes, second", "a(X) :- b(X), c(X). a(X) :- b(X).", "a(_0) :- b(_0).\n"},
    {"disjunctive fact subsumes a rule", "p v q v s :- r. p v q.", "p v q.\n"},
    {"a rule never subsumes a fact", "p v q :- r. p v q v s.", "p v q :- r.\np v q v s.\n"},
    {"equal up to order: the later stays", "p(X) v r(X) :- q(X). r(X) v p(X) :- q(X).",
     "r(_0) v p(_0) :- q(_0).\n"},
    {"negative literals match negative literals",
     "p(X) :- q(X, Z), not r(Z), s(Z). p(X) :- q(X, Y), not r(Y).", "p(_0) :- q(_0,_1), not r(_1).\n"},
    {"negation must agree", "p(X) :- q(X), r(X). p(X) :- q(X), not r(X).",
     "p(_0) :- q(_0), r(_0).\np(_0) :- q(_0), not r(_0).\n"},
    {"== matches with exchanged arguments", "p(X, Y) :- q(X, Y), Y == X, s(X). p(X, Y) :- q(X, Y), X == Y.",
     "p(_0,_1) :- q(_0,_1), ==(_0,_1).\n"},
    {"+ matches with exchanged first arguments", "p(Z) :- q(X, Y), +(Y, X, Z), s(X). p(Z) :- q(X, Y), +(X, Y, Z).",
     "p(_0) :- q(_1,_2), +(_1,_2,_0).\n"},
    {"< does not match > exchanged", "p(X, Y) :- q(X, Y), Y > X, s(X). p(X, Y) :- q(X, Y), X < Y.",
     "p(_0,_1) :- q(_0,_1), >(_1,_0), s(_0).\np(_0,_1) :- q(_0,_1), <(_0,_1).\n"},
    {"a variable maps onto a constant, not back", "p(a) :- q(a, b). p(X) :- q(X, Y).", "p(_0) :- q(_0,_1).\n"},
    {"two variables may map onto one, not back", "p(X) :- q(X, X). p(X) :- q(X, Y).", "p(_0) :- q(_0,_1).\n"},
    {"one variable keeps one target", "p(X) :- q(X, Y), r(X). p(X) :- q(Y, X), r(Y).",
     "p(_0) :- q(_0,_1), r(_0).\np(_0) :- q(_1,_0), r(_1).\n"},
    {"the more general body stays", "p(X) :- q(X), r(X). p(X) :- q(X), r(Y).", "p(_0) :- q(_0), r(_1).\n"},
    {"the greedy choice can miss", "p :- q(X, Y), r(Y). p :- q(a, b), q(c, d), r(b), r(e).",
     "p :- q(_0,_1), r(_1).\np :- q(a,b), q(c,d), r(b), r(e).\n"},
    {"a chain of subsumptions", "a(X) :- b(X), c(X), d(X). a(X) :- b(X), c(X). e :- f. a(X) :- b(X).",
     "e :- f.\na(_0) :- b(_0).\n"},
};

TEST_F(Rewrite, RemoveSubsumedRulesTable) {
    for (const SUBSUMPTIONCASE& c : subsumptionCases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        reader = PROGRAMREADER("~s" + std::to_string(&c - subsumptionCases) + "~");
        reader.read(c.program);
        EXPECT_TRUE(removeSubsumedRules(rules));
        EXPECT_EQ(printedRules(), c.rulesAfter);
    }
}

TEST_F(Rewrite, SubsumptionLeavesConstraintsAlone) {
    reader.read(":- a. :- a, b. a :- b. a :- b, c.");
    removeSubsumedRules(rules);
    EXPECT_EQ(printedRules(), "a :- b.\n");
    EXPECT_EQ(printedConstraints(), ":- a.\n:- a, b.\n");
}

TEST_F(Rewrite, SubsumptionWithAggregates) {
    reader.read("p :- q(X). p :- q(X), r(X).");
    TERM x = variableTerm(0), z = variableTerm(1);
    // p :- q(X), 1 <= #count{Z : s(Z)} <= X.
    RULE withAggregate = rules[0];
    withAggregate.body->addLiteral(countLiteral(false, integerTerm(1), x, z, ordinary("s", {z})));
    EXPECT_TRUE(subsumes(rules[0], withAggregate)) << "a rule with an aggregate can be subsumed";
    EXPECT_FALSE(subsumes(withAggregate, withAggregate)) << "but never subsumes";
    EXPECT_TRUE(subsumes(rules[0], rules[1]));
    EXPECT_FALSE(subsumes(rules[1], rules[0]));
}

// ---------------------------------------------------------------- from program text

// Reads text as a user file through the main-language parser.
void parseProgram(const std::string& text) { ASSERT_EQ(parseUserText(text, false).errors, 0) << text; }

// The passes in the driver's order over parsed programs; every case has
// predicate names of its own.
TEST_F(Rewrite, PassesOverParsedPrograms) {
    struct CASE {
        const char* title;
        const char* program;
        bool subsumption;
        const char* rulesAfter;
        const char* constraintsAfter;
        bool builtins, aggregates, projected;
    } cases[] = {
        {"undefined literals, then projection, then subsumption",
         "b2(1). c2(1,2). a2(X) :- b2(X), c2(X,Y). a2(X) :- b2(X), c2(X,Y), not e2(Y). f2 :- not a2(3), g2.", true,
         "a2(_0) :- \"_c2,2\"(_0), b2(_0).\n\"_c2,2\"(_0) :- c2(_0,_1).\n", "", false, false, true},
        {"without subsumption both rules stay",
         "b4(1). c4(1,2). a4(X) :- b4(X), c4(X,Y). a4(X) :- b4(X), c4(X,Y), not e4(Y).", false,
         "a4(_0) :- \"_c4,2\"(_0), b4(_0).\na4(_0) :- \"_c4,2\"(_0), b4(_0).\n\"_c4,2\"(_0) :- c4(_0,_1).\n", "",
         false, false, true},
        {"a constraint with a built-in", "b3(1). c3(1,2). :- b3(X), c3(X,Y), X > 1.", false,
         "\"_c3,2>,1,[2=int[1]]\"(_0) :- >(_0,1), c3(_0,_1).\n", ":- \"_c3,2>,1,[2=int[1]]\"(_0), b3(_0).\n", true,
         false, true},
        {"a rule turned into a constraint is projected as one", "b5(1). c5(1,2). a5 :- b5(X), c5(X,Y), not a5.",
         false, "\"_c5,2\"(_0) :- c5(_0,_1).\n", ":- \"_c5,2\"(_0), b5(_0), not a5.\n", false, false, true},
        {"an aggregate from text", "b6(1). c6(1,2). a6(X) :- b6(X), #count{Y : c6(X,Y)} > 0.", false, nullptr,
         nullptr, false, true, true},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.title);
        rules.clear();
        constraints.clear();
        weakConstraints.clear();
        projectionApplied = false;
        parseProgram(c.program);
        basicRewriting(rules, constraints, weakConstraints, builtinsPresent, aggregatesPresent);
        projectRules(rules);
        projectConstraints(constraints, rules);
        if (c.subsumption) removeSubsumedRules(rules);
        if (c.rulesAfter) {
            EXPECT_EQ(printedRules(), c.rulesAfter);
        }
        if (c.constraintsAfter) {
            EXPECT_EQ(printedConstraints(), c.constraintsAfter);
        }
        EXPECT_EQ(builtinsPresent, c.builtins);
        EXPECT_EQ(aggregatesPresent, c.aggregates);
        EXPECT_EQ(projectionApplied, c.projected);
    }
}

}  // namespace
