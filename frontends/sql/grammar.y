/* frontends/sql/grammar.y: declarations and SQL3 query statements of ".sql"
   files. The actions translate while the file is read: every SELECT block
   becomes a rule as soon as it has been read. */
%code requires {
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frontends/sql/translate.h"

using SQLRELATIONDECLARATION = std::pair<std::string, std::vector<std::string>>;
}

%code {
#include <cstring>
#include <iostream>

#include "input/parse.h"

using namespace veltra;

int sqlyylex();

// A comparison, an arithmetic operator or a sign as an operator node.
static SSC_Tree* operatorTree(int32_t op, SSC_Tree* left, SSC_Tree* right = nullptr) {
    return new SSC_Tree(new SSC_Operator(op), left, right);
}

// A reference to a relation in FROM puts its correlation in scope.
static void registerTableReference(std::string* relation, std::string* alias) {
    registerCorrelation(alias->empty() ? *relation : *alias, *relation);
    delete relation;
    delete alias;
}
}

%define api.prefix {sqlyy}
/* No reduction on a token that cannot follow: a statement with a syntax error
   is never translated, not even in part. */
%define lr.default-reduction consistent

%union {
    std::string* text;
    int32_t comparison;
    std::vector<std::string>* names;
    SQLRELATIONDECLARATION* declaration;
    std::vector<SQLRELATIONDECLARATION>* declarations;
    veltra::SSC_Tree* tree;
    veltra::SQLSELECTLIST* selectList;
}

%token WITH RECURSIVE AS UNION EXCEPT ALL INTERSECT SELECT DISTINCT FROM TABLE WHERE BETWEEN VALUES IN AND OR
%token UNLESS SUCH THAT EXISTS DATALOG_SCHEMA EXACT_NUMBER APPROX_NUMBER UNKNOWN_CHARACTER
%token <comparison> COMPARISON
%token <text> IDENTIFIER

%type <comparison> sign
%type <names> identifierList columnList
%type <declaration> relationDeclaration
%type <declarations> relationDeclarations
%type <text> correlationPart
%type <selectList> selectList selectItems
%type <tree> selectItem valueExpression valueTerm valueFactor valuePrimary columnReference
%type <tree> operand comparison andCondition searchCondition wherePart

%destructor { delete $$; } <text> <names> <declaration> <declarations> <tree> <selectList>

%{
#define YYMAXDEPTH 10000
%}

%%

script
    : { openSQLScope(); } statements { closeSQLScope(); }
    ;

statements
    : statement ';'
    | statements statement ';'
    ;

statement
    : queryStatement { sqlResultNames.push_back(sqlInternNames.freshName()); }
    | DATALOG_SCHEMA relationDeclarations
      {
          // Entered once the whole list has been read, from the last to the first.
          for (auto d = $2->rbegin(); d != $2->rend(); ++d) declareRelation(d->first, d->second);
          delete $2;
      }
    ;

relationDeclarations
    : relationDeclaration { $$ = new std::vector<SQLRELATIONDECLARATION>(1, std::move(*$1)); delete $1; }
    | relationDeclarations ',' relationDeclaration { $$ = $1; $$->push_back(std::move(*$3)); delete $3; }
    ;

relationDeclaration
    : IDENTIFIER '(' identifierList ')' { $$ = new SQLRELATIONDECLARATION(std::move(*$1), std::move(*$3)); delete $1; delete $3; }
    ;

identifierList
    : IDENTIFIER { $$ = new std::vector<std::string>(1, std::move(*$1)); delete $1; }
    | identifierList ',' IDENTIFIER { $$ = $1; $$->push_back(std::move(*$3)); delete $3; }
    ;

/* A query statement: WITH clauses, each optionally followed by UNLESS, then
   one query expression. */
queryStatement
    : withClauses queryExpression
    | queryExpression
    ;

withClauses
    : withClause
    | withClause unlessClause
    | withClauses withClause
    | withClauses withClause unlessClause
    ;

withClause
    : WITH withElements
    | WITH RECURSIVE withElements
    ;

withElements
    : withElement
    | withElements ',' withElement
    ;

/* The element is declared before its query is read, so that the query may
   use it; its blocks write rules for the element's predicate. */
withElement
    : IDENTIFIER columnList AS '(' { enterWithElement(*$1, *$2); } queryStatement ')'
      { leaveWithElement(); delete $1; delete $2; }
    ;

columnList
    : %empty { $$ = new std::vector<std::string>; }
    | '(' identifierList ')' { $$ = $2; }
    ;

unlessClause
    : UNLESS unlessCondition { refuseUnsupported("UNLESS not supported yet"); }
    | UNLESS unlessCondition SUCH THAT suchThatCondition { refuseUnsupported("UNLESS not supported yet"); }
    ;

unlessCondition
    : '(' EXISTS selectBlock ')'
    | '(' EXISTS selectBlock ')' OR unlessCondition
    ;

suchThatCondition
    : '(' EXISTS selectBlock ')'
    | '(' EXISTS selectBlock ')' AND suchThatCondition
    ;

queryExpression
    : queryTerm
    | queryExpression UNION setQuantifier queryTerm
    | queryExpression EXCEPT setQuantifier queryTerm { refuseUnsupported("EXCEPT not supported yet"); }
    ;

queryTerm
    : queryPrimary
    | queryTerm INTERSECT setQuantifier queryPrimary { refuseUnsupported("INTERSECT not supported yet"); }
    ;

setQuantifier
    : %empty
    | ALL
    ;

queryPrimary
    : simpleTable
    | '(' queryExpression ')'
    ;

simpleTable
    : selectBlock
    | VALUES operands { refuseUnsupported("VALUES not supported yet"); }
    | TABLE IDENTIFIER { delete $2; refuseUnsupported("TABLE not supported yet"); }
    ;

operands
    : operand { delete $1; }
    | operands ',' operand { delete $3; }
    ;

selectBlock
    : SELECT selectQuantifier selectList FROM tableReferences wherePart
      { translateSelectBlock(*$3, *$6); delete $3; delete $6; }
    ;

selectQuantifier
    : %empty
    | ALL { std::cout.flush(); std::cerr << "Warning: ALL: Datalog doesn't support duplicates\n"; }
    | DISTINCT
    ;

selectList
    : '*' { $$ = new SQLSELECTLIST; $$->emplace_back(new SSC_Tree(new SSC_RelSpec("*", ""))); }
    | selectItems
    ;

selectItems
    : selectItem { $$ = new SQLSELECTLIST; $$->emplace_back($1); }
    | selectItems ',' selectItem { $$ = $1; $$->emplace_back($3); }
    ;

/* The alias of a select item is dropped. */
selectItem
    : valueExpression
    | valueExpression IDENTIFIER { $$ = $1; delete $2; }
    | valueExpression AS IDENTIFIER { $$ = $1; delete $3; }
    ;

valueExpression
    : valueTerm
    | valueExpression '+' valueTerm { $$ = operatorTree(SQL_PLUS, $1, $3); }
    | valueExpression '-' valueTerm { $$ = operatorTree(SQL_MINUS, $1, $3); }
    ;

valueTerm
    : valueFactor
    | valueTerm '*' valueFactor { $$ = operatorTree(SQL_TIMES, $1, $3); }
    | valueTerm '/' valueFactor { $$ = operatorTree(SQL_DIVIDE, $1, $3); }
    ;

valueFactor
    : valuePrimary
    | sign valuePrimary { $$ = $1 == 1 ? operatorTree(SQL_NEGATE, $2) : $2; }
    ;

/* A numeric literal has no value: the empty tree. */
valuePrimary
    : numericLiteral { $$ = new SSC_Tree; }
    | columnReference
    ;

tableReferences
    : tableReference
    | tableReferences ',' tableReference
    ;

tableReference
    : IDENTIFIER correlationPart { registerTableReference($1, $2); }
    | '(' queryStatement ')' correlationPart { delete $4; refuseUnsupported("Derived tables not supported yet"); }
    | TABLE '(' queryStatement ')' correlationPart { delete $5; refuseUnsupported("Derived tables not supported yet"); }
    ;

/* The alias, or "" when none; a column list after it is dropped. */
correlationPart
    : %empty { $$ = new std::string; }
    | IDENTIFIER columnList { $$ = $1; delete $2; }
    | AS IDENTIFIER columnList { $$ = $2; delete $3; }
    ;

wherePart
    : %empty { $$ = new SSC_Tree; }
    | WHERE searchCondition { $$ = $2; }
    ;

searchCondition
    : andCondition
    | searchCondition OR andCondition { $$ = operatorTree(SQL_OR, $1, $3); }
    ;

andCondition
    : comparison
    | andCondition AND comparison { $$ = operatorTree(SQL_AND, $1, $3); }
    ;

/* Comparisons other than "=" are kept with their own code and refused when
   the block is translated. */
comparison
    : operand COMPARISON operand { $$ = operatorTree($2, $1, $3); }
    ;

operand
    : numericLiteral { $$ = new SSC_Tree; }
    | sign numericLiteral { (void)$1; $$ = new SSC_Tree; }
    | columnReference
    ;

numericLiteral
    : EXACT_NUMBER
    | APPROX_NUMBER
    ;

columnReference
    : IDENTIFIER { $$ = new SSC_Tree(new SSC_RelSpec("", std::move(*$1))); delete $1; }
    | IDENTIFIER '.' IDENTIFIER { $$ = new SSC_Tree(new SSC_RelSpec(std::move(*$1), std::move(*$3))); delete $1; delete $3; }
    ;

sign
    : '+' { $$ = 0; }
    | '-' { $$ = 1; }
    ;

%%

void sqlyyerror(const char* message) {
    reportParseError(message);
    ++parseErrorCount;
}
