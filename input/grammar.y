/* input/grammar.y: the statements of the main input language. */
%code requires {
#include <cstdint>
#include <utility>
#include <vector>

#include "core/atom.h"
#include "core/rule.h"
#include "core/term.h"
#include "input/bodyaggregates.h"
#include "input/statements.h"
}

%code {
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/options.h"
#include "input/dbstatement.h"
#include "input/objects.h"
#include "input/parse.h"
#include "input/program.h"
#include "input/scan.h"

using namespace veltra;

int yylex();

// The parser's own reports: "syntax error" is counted by the error rule of
// program; running out of stack ends the parse and is counted here.
static void yyerror(const char* message) {
    reportParseError(message);
    if (std::strcmp(message, "memory exhausted") == 0) ++parseErrorCount;
}

static char* copyString(const std::string& s) {
    char* copy = new char[s.size() + 1];
    std::memcpy(copy, s.c_str(), s.size() + 1);
    return copy;
}

// user, password, select and delete texts: quotes removed, or reported.
static char* quotedArgument(char* text, const char* what) {
    if (isQuoted(text)) {
        char* inner = copyString(unquote(text));
        delete[] text;
        return inner;
    }
    reportParseError((std::string(what) + " must be enclosed by double quotes").c_str());
    ++parseErrorCount;
    return text;
}

static AGGREGATEDESCRIPTION* aggregateDescription(int32_t kind, std::vector<TERM>* terms, BODYBUILDER* builder) {
    CONJUNCTION* body = &builder->body;
    auto* d = new AGGREGATEDESCRIPTION;
    d->kind = kind;
    d->elementTerms = std::move(*terms);
    // An aggregate inside an aggregate's conjunction is not supported: it is
    // reported and left out, so that no later step meets one.
    bool nested = false;
    for (const LITERAL& l : body->literals)
        if (l.isAggregate()) nested = true;
    if (nested) {
        reportParseError("Nested aggregates are not supported");
        ++parseErrorCount;
        for (const LITERAL& l : body->literals)
            if (!l.isAggregate()) d->body.addLiteral(l);
    } else {
        d->body = std::move(*body);
    }
    delete terms;
    delete builder;
    return d;
}

// A guarded aggregate: the upper guard is made first, then the lower one.
static ATOM* guardedAggregate(const TERM* lower, bool lowerInclusive, const TERM* upper, bool upperInclusive,
                              AGGREGATEDESCRIPTION* description) {
    GUARD u = upper ? makeGuard(*upper, upperInclusive, false) : GUARD{TERM(), true};
    GUARD l = makeGuard(lower ? *lower : integerTerm(defaultLowerGuard), lowerInclusive, true);
    ATOM* atom = new ATOM(makeAggregateAtom(l, u, *description));
    delete description;
    return atom;
}

static LITERAL* literal(ATOM* atom, bool negated) {
    auto* l = new LITERAL(std::move(*atom), negated);
    delete atom;
    return l;
}
}

%union {
    char* text;
    int32_t integer;
    int64_t weight;
    veltra::TERM* term;
    std::vector<veltra::TERM>* terms;
    veltra::ATOM* atom;
    veltra::LITERAL* literal;
    veltra::BODYBUILDER* body;
    std::vector<veltra::ATOM>* head;
    std::vector<veltra::RULE>* rules;
    std::pair<veltra::TERM, veltra::TERM>* weightLevel;
    veltra::AGGREGATEDESCRIPTION* aggregate;
    std::vector<int32_t>* objectList;
}

%define api.token.prefix {TOK_}
%token-table

%token <text> ID NUMBER
%token ERROR NEWLINE
%token COMMA "," DOT "." COLON ":" SEMICOLON ";" EXCLAMATION "!" PLUS "+" TIMES "*" EQUALS "=" BAR "|" V "v"
%token IF ":-" WEAKIF ":~" ANONYMOUS "_" LPAREN "(" RPAREN ")" LBRACKET "[" RBRACKET "]" LBRACE "{" RBRACE "}"
%token EQ "==" NE "!=" LT "<" GT ">" LE "<=" GE ">="
%token INT "#int" SUCC "#succ"
%token ANY "#any" AVG "#avg" COUNT "#count" MAX "#max" MIN "#min" SUM "#sum" TIMESAGGREGATE "#times"
%token NOT "not" MINUS "-" MAXINT "#maxint" CONST "#const" QUERY "?"
%token IMPORT "#import" EXPORT "#export" EXPORTQUERYRESULT "#exportQueryResult"

%type <text> name objectName userString passwordString selectString typeSpec typeList deleteSpec
%type <integer> number comparisonOperator arithmeticOperator aggregateFunction
%type <weight> weightNumber
%type <term> term restrictedTerm numberTerm maxintTerm weight level maxintDefinition
%type <terms> termList oneArgument twoArguments threeArguments
%type <atom> atom simpleAtom builtin aggregateLiteral
%type <literal> literal
%type <body> body
%type <head> head
%type <rules> ruleParts rule strictRule
%type <weightLevel> weightLevel
%type <aggregate> aggregate
%type <objectList> parents parentList

%destructor { delete[] $$; } <text>
%destructor { delete $$; } <term> <terms> <atom> <literal> <body> <head> <rules> <weightLevel> <aggregate> <objectList>

%{
/* The parser gives up (status 2, "memory exhausted") beyond this depth. */
#define YYMAXDEPTH 10000
%}

%%

program
    : %empty
    | program statement
    | error                 { ++parseErrorCount; abandonStatement(); }
    ;

statement
    : databaseStatement NEWLINE
    | objectDefinition
    | ruleStatement
    | queryStatement
    | constantDefinition
    | maxintDefinition "."  { maxintStatement(*$1); delete $1; }
    ;

objectDefinition
    : objectName parents objectStart "{" objectBody "}"
                            { currentObject = 0; delete[] $1; delete $2; }
    ;

objectStart
    : %empty                { defineObject($<text>-1, $<objectList>0); }
    ;

parents
    : %empty                { $$ = nullptr; }
    | ":" parentList        { $$ = $2; }
    ;

objectName
    : name
    ;

parentList
    : objectName            { $$ = new std::vector<int32_t>; lookupObject(*$$, $1); delete[] $1; }
    | parentList "," objectName
                            { $$ = $1; lookupObject(*$$, $3); delete[] $3; }
    ;

objectBody
    : %empty
    | objectBody ruleStatement
    ;

ruleStatement
    : rule                  { ruleStatement(*$1, false); delete $1; }
    | strictRule            { ruleStatement(*$1, true); delete $1; }
    | constraint
    | weakConstraint
    ;

maxintDefinition
    : "#maxint" "=" term    { $$ = $3; }
    ;

databaseStatement
    : importStatement
    | exportStatement
    ;

importStatement
    : "#import" "(" ID "," userString "," passwordString "," selectString "," ID typeSpec ")" "."
                            {
                                addImportStatement($3, $5, $7, $9, $11, $12);
                                delete[] $3; delete[] $5; delete[] $7; delete[] $9; delete[] $11; delete[] $12;
                            }
    ;

typeSpec
    : %empty                { $$ = copyString(""); }
    | "," ID ":" typeList
                            {
                                if (std::strcmp($2, "type") != 0) {
                                    reportParseError("type definition must be start with keyword 'type'");
                                    ++parseErrorCount;
                                }
                                delete[] $2;
                                $$ = $4;
                            }
    ;

typeList
    : ID                    { $$ = $1; }
    | typeList "," ID       { $$ = copyString(std::string($1) + ", " + $3); delete[] $1; delete[] $3; }
    ;

exportStatement
    : "#export" "(" ID "," userString "," passwordString "," ID "," ID deleteSpec ")" "."
                            {
                                exportStatements.push_back(DBSTATEMENT{$3, $5, $7, $11, $9, $12});
                                delete[] $3; delete[] $5; delete[] $7; delete[] $9; delete[] $11; delete[] $12;
                            }
    | "#exportQueryResult" "(" ID "," userString "," passwordString "," ID deleteSpec ")" "."
                            {
                                exportStatements.push_back(DBSTATEMENT{$3, $5, $7, $9, "", $10});
                                delete[] $3; delete[] $5; delete[] $7; delete[] $9; delete[] $10;
                            }
    ;

userString
    : ID                    { $$ = quotedArgument($1, "user string"); }
    ;

passwordString
    : ID                    { $$ = quotedArgument($1, "password string"); }
    ;

selectString
    : ID                    { $$ = quotedArgument($1, "select string"); }
    ;

deleteSpec
    : %empty                { $$ = copyString(""); }
    | "," ID                { $$ = quotedArgument($2, "delete condition"); }
    ;

rule
    : ruleParts "."         { $$ = $1; }
    ;

strictRule
    : ruleParts "!"         { $$ = $1; }
    ;

ruleParts
    : head                  { $$ = new std::vector<RULE>; $$->emplace_back($1, nullptr); delete $1; }
    | head ":-"             { $$ = new std::vector<RULE>; $$->emplace_back($1, nullptr); delete $1; }
    | head ":-" body
                            {
                                processBodyAggregates($3->body);
                                $$ = new std::vector<RULE>;
                                $$->emplace_back($1, &$3->body);
                                delete $1;
                                delete $3;
                            }
    | name "(" term "." "." term ")"
                            { $$ = intervalFacts($1, *$3, *$6); delete[] $1; delete $3; delete $6; }
    ;

constraint
    : ":-" body "."         { processBodyAggregates($2->body); makeConstraint($2->body); delete $2; }
    ;

weakConstraint
    : ":~" body "." weightLevel
                            {
                                processBodyAggregates($2->body);
                                makeWeakConstraint($2->body, $4);
                                delete $2;
                                delete $4;
                            }
    ;

weightLevel
    : %empty                { $$ = weightLevel(1, nullptr, nullptr); }
    | "[" ":" level "]"     { $$ = weightLevel(2, nullptr, $3); }
    | "[" weight ":" "]"    { $$ = weightLevel(3, $2, nullptr); }
    | "[" weight ":" level "]"
                            { $$ = weightLevel(4, $2, $4); }
    ;

weight
    : name                  { $$ = new TERM(termFromIdentifier($1)); delete[] $1; }
    | weightNumber          { $$ = weightTerm($1); }
    ;

level
    : name                  { $$ = new TERM(termFromIdentifier($1)); delete[] $1; }
    | number                { $$ = new TERM(integerTerm($1)); }
    ;

weightNumber
    : number                { $$ = weightNumber($1, nullptr); }
    | number "." NUMBER     { $$ = weightNumber($1, $3); delete[] $3; }
    ;

number
    : NUMBER                { $$ = static_cast<int32_t>(std::strtol($1, nullptr, 10)); delete[] $1; }
    ;

queryStatement
    : body "?"              { queryStatement(new CONJUNCTION(std::move($1->body))); delete $1; }
    ;

head
    : atom                  { $$ = new std::vector<ATOM>; $$->push_back(std::move(*$1)); delete $1; }
    | head headSeparator atom
                            { $$ = $1; $$->push_back(std::move(*$3)); delete $3; }
    ;

headSeparator
    : "v"
    | "|"
    | ";"
    ;

body
    : literal               { $$ = new BODYBUILDER; $$->add(*$1); delete $1; }
    | body "," literal      { $$ = $1; $$->add(*$3); delete $3; }
    ;

literal
    : atom                  { $$ = literal($1, false); }
    | "not" atom            { $$ = literal($2, true); }
    | builtin               { $$ = literal($1, false); }
    | aggregateLiteral      { $$ = literal($1, false); }
    | "not" aggregateLiteral
                            { $$ = literal($2, true); }
    ;

atom
    : simpleAtom
    | name "(" termList ")" { $$ = new ATOM($1, $3, KIND_UNKNOWN); delete[] $1; delete $3; }
    | "-" name "(" termList ")"
                            { $$ = new ATOM(makeTrueNegatedAtom($2, $4)); delete[] $2; delete $4; }
    ;

simpleAtom
    : name                  { $$ = new ATOM($1, nullptr, KIND_UNKNOWN); delete[] $1; }
    | "-" name              { $$ = new ATOM(makeTrueNegatedAtom($2, nullptr)); delete[] $2; }
    ;

termList
    : term                  { $$ = new std::vector<TERM>{*$1}; delete $1; }
    | termList "," term     { $$ = $1; $$->push_back(*$3); delete $3; }
    ;

builtin
    : comparisonOperator twoArguments
                            { $$ = new ATOM(builtinAtom($1, *$2)); delete $2; }
    | "=" twoArguments      { $$ = new ATOM(builtinAtom(BUILTIN_EQ, *$2)); delete $2; }
    | term comparisonOperator term
                            { $$ = new ATOM(builtinAtom($2, makeTermList(*$1, $3))); delete $1; delete $3; }
    | restrictedTerm "=" term
                            { $$ = new ATOM(builtinAtom(BUILTIN_EQ, makeTermList(*$1, $3))); delete $1; delete $3; }
    | "#int" oneArgument    { arithmeticCheck(); $$ = new ATOM(builtinAtom(BUILTIN_INT, *$2)); delete $2; }
    | "#succ" twoArguments  { arithmeticCheck(); $$ = new ATOM(builtinAtom(BUILTIN_SUCC, *$2)); delete $2; }
    | arithmeticOperator threeArguments
                            { $$ = new ATOM(builtinAtom($1, *$2)); delete $2; }
    | restrictedTerm "=" term arithmeticOperator term
                            {
                                $$ = new ATOM(builtinAtom($4, makeTermList(*$3, $5, $1)));
                                delete $1; delete $3; delete $5;
                            }
    | maxintDefinition arithmeticOperator term
                            { $$ = new ATOM(maxintArithmetic($2, *$1, *$3)); delete $1; delete $3; }
    ;

aggregateLiteral
    : term "<" aggregate    { $$ = guardedAggregate($1, false, nullptr, true, $3); delete $1; }
    | term "<=" aggregate   { $$ = guardedAggregate($1, true, nullptr, true, $3); delete $1; }
    | restrictedTerm "=" aggregate
                            { $$ = guardedAggregate($1, true, $1, true, $3); delete $1; }
    | term ">=" aggregate   { $$ = guardedAggregate(nullptr, true, $1, true, $3); delete $1; }
    | term ">" aggregate    { $$ = guardedAggregate(nullptr, true, $1, false, $3); delete $1; }
    | aggregate "<" term    { $$ = guardedAggregate(nullptr, true, $3, false, $1); delete $3; }
    | aggregate "<=" term   { $$ = guardedAggregate(nullptr, true, $3, true, $1); delete $3; }
    | aggregate "=" term    { $$ = guardedAggregate($3, true, $3, true, $1); delete $3; }
    | aggregate ">=" term   { $$ = guardedAggregate($3, true, nullptr, true, $1); delete $3; }
    | aggregate ">" term    { $$ = guardedAggregate($3, false, nullptr, true, $1); delete $3; }
    | term "<" aggregate "<" term
                            { $$ = guardedAggregate($1, false, $5, false, $3); delete $1; delete $5; }
    | term "<" aggregate "<=" term
                            { $$ = guardedAggregate($1, false, $5, true, $3); delete $1; delete $5; }
    | term "<=" aggregate "<" term
                            { $$ = guardedAggregate($1, true, $5, false, $3); delete $1; delete $5; }
    | term "<=" aggregate "<=" term
                            { $$ = guardedAggregate($1, true, $5, true, $3); delete $1; delete $5; }
    ;

comparisonOperator
    : "=="                  { $$ = BUILTIN_EQ; }
    | "!="                  { $$ = BUILTIN_NE; }
    | "<"                   { $$ = BUILTIN_LT; }
    | ">"                   { $$ = BUILTIN_GT; }
    | "<="                  { $$ = BUILTIN_LE; }
    | ">="                  { $$ = BUILTIN_GE; }
    ;

arithmeticOperator
    : "+"                   { arithmeticCheck(); $$ = BUILTIN_PLUS; }
    | "*"                   { arithmeticCheck(); $$ = BUILTIN_TIMES; }
    ;

aggregate
    : aggregateFunction "{" termList ":" body "}"
                            { $$ = aggregateDescription($1, $3, $5); }
    ;

aggregateFunction
    : "#any"                { $$ = AGG_ANY; }
    | "#avg"                { $$ = AGG_AVG; }
    | "#count"              { $$ = AGG_COUNT; }
    | "#max"                { $$ = AGG_MAX; }
    | "#min"                { $$ = AGG_MIN; }
    | "#sum"                { $$ = AGG_SUM; }
    | "#times"              { $$ = AGG_TIMES; }
    ;

oneArgument
    : "(" term ")"          { $$ = new std::vector<TERM>(makeTermList(*$2)); delete $2; }
    ;

twoArguments
    : "(" term "," term ")" { $$ = new std::vector<TERM>(makeTermList(*$2, $4)); delete $2; delete $4; }
    ;

threeArguments
    : "(" term "," term "," term ")"
                            { $$ = new std::vector<TERM>(makeTermList(*$2, $4, $6)); delete $2; delete $4; delete $6; }
    ;

term
    : name                  { $$ = new TERM(termFromName($1)); delete[] $1; }
    | numberTerm
    | "_"                   { $$ = new TERM(anonymousVariable()); }
    | maxintTerm
    | "-" term
                            {
                                reportParseError("Cannot use true negation for terms");
                                ++parseErrorCount;
                                $$ = $2;
                            }
    ;

restrictedTerm
    : name                  { $$ = new TERM(termFromName($1)); delete[] $1; }
    | numberTerm
    | "_"                   { $$ = new TERM(anonymousVariable()); }
    ;

name
    : ID
    | "v"                   { $$ = copyString("v"); }
    ;

numberTerm
    : number                { $$ = new TERM(numberTerm($1)); }
    ;

maxintTerm
    : "#maxint"             { $$ = new TERM(maxintTerm()); }
    ;

constantDefinition
    : "#const" name "=" number "."
                            { defineNumberConstant($2, $4); delete[] $2; }
    | "#const" name "=" name "."
                            { defineNameConstant($2, $4); delete[] $2; delete[] $4; }
    ;

%%

namespace veltra {

void restartScanner(FILE* input);
void* beginScanningText(const std::string& text);
void finishScanningText(void* handle);

void parseMainLanguage(FILE* input) {
    restartScanner(input);
    yyparse();
}

bool parseFromStream(std::stringstream& text) {
    int errorsBefore = parseErrorCount;
    void* scan = beginScanningText(text.str());
    yyparse();
    finishScanningText(scan);
    text.str("");
    text.clear();
    return parseErrorCount == errorsBefore;
}

std::vector<SCANNEDTOKEN> scanText(const std::string& text) {
    std::vector<SCANNEDTOKEN> tokens;
    void* scan = beginScanningText(text);
    while (int code = yylex()) {
        SCANNEDTOKEN token;
        token.name = yytname[YYTRANSLATE(code)];
        if (code == TOK_ID || code == TOK_NUMBER) {
            token.text = yylval.text;
            delete[] yylval.text;
        }
        tokens.push_back(std::move(token));
    }
    finishScanningText(scan);
    return tokens;
}

}  // namespace veltra
