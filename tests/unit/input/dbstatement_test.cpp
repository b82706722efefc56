// "#import", "#export" and "#exportQueryResult" statements.
#include <string>

#include "input/dbstatement.h"
#include "input/parse.h"
#include "tests/unit/support/program.h"

namespace veltra {
namespace {

class DbStatements : public INPUTTEST {};

std::string fields(const DBSTATEMENT& s) {
    return s.database + "|" + s.user + "|" + s.password + "|" + s.queryOrTable + "|" + s.predicate + "|" + s.extra;
}

TEST_F(DbStatements, ImportsGroupedByDatabase) {
    PARSERESULT r = parseUserText(
        "#import(dbA, \"u\", \"pw\", \"SELECT a FROM t\", p).\n"
        "#import(dbB, \"u2\", \"pw2\", \"SELECT b\", q, type : U_INT, CONST).\n"
        "  #import(dbA, \"u3\", \"pw3\", \"SELECT c\", r, type: T). % comment\n"
        "p(1).\n");
    EXPECT_EQ(r.stderrText, "");
    EXPECT_EQ(r.errors, 0);
    ASSERT_EQ(importStatements.size(), 3u);
    EXPECT_EQ(fields(importStatements[0]), "dbA|u3|pw3|SELECT c|r|T");
    EXPECT_EQ(fields(importStatements[1]), "dbA|u|pw|SELECT a FROM t|p|");
    EXPECT_EQ(fields(importStatements[2]), "dbB|u2|pw2|SELECT b|q|U_INT, CONST");
    EXPECT_EQ(factsText(), "p(1).\n");
}

TEST_F(DbStatements, ExportsInInputOrder) {
    PARSERESULT r = parseUserText(
        "#export(db, \"u\", \"p\", pred, \"Table\").\n"
        "#export(db, \"u\", \"p\", pred, tab, \"x > 1\").\n"
        "#exportQueryResult(db2, \"u\", \"p\", tab).\n"
        "#exportQueryResult(db2, \"u\", \"p\", tab, \"y\").\n");
    EXPECT_EQ(r.stderrText, "");
    ASSERT_EQ(exportStatements.size(), 4u);
    EXPECT_EQ(fields(exportStatements[0]), "db|u|p|\"Table\"|pred|");
    EXPECT_EQ(fields(exportStatements[1]), "db|u|p|tab|pred|x > 1");
    EXPECT_EQ(fields(exportStatements[2]), "db2|u|p|tab||");
    EXPECT_EQ(fields(exportStatements[3]), "db2|u|p|tab||y");
}

TEST_F(DbStatements, UnquotedStringsAreReportedAndKept) {
    PARSERESULT r = parseUserText(
        "#import(db, user, pw, select, p, typ: A, B).\n"
        "#export(db, \"u\", \"p\", pred, tab, cond).\n");
    EXPECT_EQ(r.stderrText,
              "program.dl: line 1: user string must be enclosed by double quotes.\n"
              "program.dl: line 1: password string must be enclosed by double quotes.\n"
              "program.dl: line 1: select string must be enclosed by double quotes.\n"
              "program.dl: line 1: type definition must be start with keyword 'type'.\n"
              "program.dl: line 2: delete condition must be enclosed by double quotes.\n");
    EXPECT_EQ(r.errors, 5);
    ASSERT_EQ(importStatements.size(), 1u);
    EXPECT_EQ(fields(importStatements[0]), "db|user|pw|select|p|A, B");
    EXPECT_EQ(fields(exportStatements[0]), "db|u|p|tab|pred|cond");
}

TEST_F(DbStatements, StatementMustEndItsLine) {
    // The statement is complete at its "." and kept; the missing line end is
    // a syntax error all the same.
    PARSERESULT r = parseUserText("#import(db, \"u\", \"p\", \"s\", p). q.\n");
    EXPECT_EQ(r.stderrText, "program.dl: line 1: syntax error.\n");
    EXPECT_GE(r.errors, 1);
    EXPECT_EQ(importStatements.size(), 1u);
    resetInputState();
    r = parseUserText("#export(db, \"u\", \"p\", pred, tab).");  // no final line end
    EXPECT_EQ(r.stderrText, "program.dl: line 1: syntax error.\n");
    EXPECT_EQ(r.errors, 1);
    resetInputState();
    r = parseUserText("p. #import(db, \"u\", \"p\", \"s\", p).\n");
    EXPECT_EQ(r.stderrText.substr(0, r.stderrText.find('\n')), "program.dl: line 1: syntax error (#).");
}

}  // namespace
}  // namespace veltra
