// Query set-up for brave and cautious reasoning.
#include "driver/query.h"

#include <gtest/gtest.h>

#include "core/rule.h"
#include "driver/options.h"

using namespace veltra;

namespace {

std::string program() {
    std::ostringstream out;
    for (const RULE& r : rules) printProgramRule(out, r) << '\n';
    for (const CONSTRAINT& c : constraints) printProgramConstraint(out, c) << (c.generated ? " %gen" : "") << '\n';
    return out.str();
}

class QueryTest : public ::testing::Test {
protected:
    OPTIONRECORD savedOptions = OPTIONS;
    int32_t savedFrontend = frontend;
    void SetUp() override {
        rules.clear();
        constraints.clear();
    }
    void TearDown() override {
        OPTIONS = savedOptions;
        frontend = savedFrontend;
        query.reset();
        rules.clear();
        constraints.clear();
    }
    // query: literals given as (name, argument, negated); "X" is variable 0.
    void setQuery(std::initializer_list<std::tuple<const char*, const char*, bool>> literals) {
        query = std::make_unique<CONJUNCTION>();
        for (const auto& [name, arg, neg] : literals) {
            std::vector<TERM> t;
            if (arg) t.push_back(arg[0] == 'X' ? variableTerm(0) : symbolTerm(arg));
            query->addLiteral(LITERAL(ATOM(name, arg ? &t : nullptr, KIND_UNKNOWN), neg));
        }
    }
};

TEST_F(QueryTest, RewritingPerMode) {
    struct {
        int32_t frontend;
        std::initializer_list<std::tuple<const char*, const char*, bool>> query;
        bool ok;
        const char* program;
    } cases[] = {
        {1, {{"qy_a", nullptr, false}, {"qy_b", nullptr, true}}, true, ":- not qy_a. %gen\n:- qy_b. %gen\n"},
        {2, {{"qy_a", nullptr, false}}, true, ":- qy_a. %gen\n"},
        {0, {{"qy_a", nullptr, false}}, true, ":- not qy_a. %gen\n"},
        {1, {{"qy_p", "X", false}, {"qy_q", "a", false}}, true,
         "#query(_0) :- qy_p(_0), qy_q(a).\n:- not qy_q(a). %gen\n"},
        {2, {{"qy_p", "X", false}, {"qy_q", "a", false}}, true, "#query(_0) :- qy_p(_0), qy_q(a).\n"},
        {0, {{"qy_p", "X", false}}, false, ""},
    };
    for (const auto& c : cases) {
        SetUp();
        OPTIONS.queryGround = true;
        frontend = c.frontend;
        setQuery(c.query);
        testing::internal::CaptureStderr();
        EXPECT_EQ(setupQuery(), c.ok);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(program(), c.program) << "frontend " << c.frontend;
        if (!c.ok) {
            EXPECT_EQ(err, "Non-ground queries are only supported with brave and cautious reasoning.\n");
        }
    }
}

TEST_F(QueryTest, BraveOrCautiousNeedsAQuery) {
    frontend = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(setupQuery());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No query supplied. Cannot continue.\n");
    frontend = 0;
    EXPECT_TRUE(setupQuery());
}

TEST_F(QueryTest, QueryPredicateArityClash) {
    frontend = 1;
    // "#query" of arity 1 may exist from other tests of this process.
    std::vector<TERM> one{symbolTerm("a")};
    ATOM existing("#query", &one, KIND_IDB);
    setQuery({{"qy_r", "X", false}, {"qy_s", "b", false}});
    query->literals[1].term(0) = variableTerm(1);
    EXPECT_EXIT(setupQuery(), testing::ExitedWithCode(1), "^#query, first used with arity 1, now seen with arity 2\\.\n$");
}

}  // namespace
