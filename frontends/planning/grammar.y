/* frontends/planning/grammar.y: declarations, causation statements and goals
   of the planning language, stored as planning records. */
%code requires {
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "frontends/planning/planning.h"
}

%code {
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "core/options.h"
#include "input/parse.h"
#include "input/program.h"

using namespace veltra;

int planyylex();
void planyyrestart(FILE* file);

namespace {

// The block of declarations being read: "actions" or "fluents".
enum : int32_t { SECTION_ACTIONS = 0, SECTION_FLUENTS = 1 };
int32_t declarationSection = SECTION_ACTIONS;
// Set in an "initially" block; the rule records take their flag from it.
bool initiallySection = false;
// "time" is a term only inside the "where" part of a cost declaration.
bool timeKeywordAllowed = false;

void reportCounted(const char* message) {
    reportParseError(message);
    ++parseErrorCount;
}

// "syntax error" is counted by the error rule; nothing else is counted here.
void planyyerror(const char* message) { reportParseError(message); }

// A NUMBER token: its value, recorded as the largest integer read so far.
int32_t numberValue(char* text) {
    int32_t value = static_cast<int32_t>(std::strtol(text, nullptr, 10));  // at most 9 digits
    delete[] text;
    if (value > OPTIONS.maxIntegerInInput) OPTIONS.maxIntegerInInput = value;
    return value;
}

std::string* takeText(char* text) {
    auto* s = new std::string(text);
    delete[] text;
    return s;
}

PLANNINGBODYLITERAL* bodyLiteral(PLANNINGLITERAL* literal, bool naf) {
    auto* b = new PLANNINGBODYLITERAL{naf, std::move(*literal)};
    delete literal;
    return b;
}

PLANNINGLITERAL* builtin(const char* name, std::string* a, std::string* b, std::string* c) {
    auto* args = new std::vector<std::string>{std::move(*a)};
    if (b) args->push_back(std::move(*b));
    if (c) args->push_back(std::move(*c));
    delete a;
    delete b;
    delete c;
    return new PLANNINGLITERAL(false, name, args);
}

// The condition of an "inertial" or "default" literal: "not -l", or under C l.
PLANNINGBODYLITERAL defaultCondition(const PLANNINGLITERAL& l) {
    PLANNINGBODYLITERAL condition{false, l};
    if (frontend != FRONTEND_PLANNING_C) {
        condition.naf = true;
        condition.literal.trueNegated = !l.trueNegated;
    }
    return condition;
}

void checkNotNaf(const PLANNINGLITERALLIST* list, const char* message) {
    if (!list) return;
    for (const PLANNINGBODYLITERAL& b : *list)
        if (b.naf) reportCounted(message);
}

using CONDITIONS = std::pair<PLANNINGLITERALLIST*, PLANNINGLITERALLIST*>;

void releaseConditions(CONDITIONS* c) {
    delete c->first;
    delete c->second;
    delete c;
}

void nonexecutableStatement(PLANNINGLITERALLIST* actions, CONDITIONS* c) {
    if (c->second) reportCounted("No after part allowed in nonexecutable statements");
    if (actions) {
        for (const PLANNINGBODYLITERAL& b : *actions) {
            if (b.naf)
                reportCounted("Negation as failure not allowed for A in rule: nonexecutable A if B");
            else if (!isActionName(b.literal.name))
                reportCounted("Only actions allowed for A in rule: nonexecutable A if B");
        }
    }
    PLANNINGLITERALLIST after;
    if (c->first) after = *c->first;
    if (actions) after.insert(after.end(), actions->begin(), actions->end());
    addPlanningRule(nullptr, nullptr, &after, false);
}

void executableStatement(PLANNINGLITERAL* action, CONDITIONS* c) {
    if (frontend == FRONTEND_PLANNING_C)
        reportCounted("Executable not allowed in Frontend -FPc");
    else if (!isActionName(action->name))
        reportCounted("Only actions allowed for A in rule: executable A if B");
    if (c->second) reportCounted("No after part allowed in executable statements");
    bool saved = initiallySection;
    initiallySection = false;  // executability is about every step
    addPlanningRule(action, c->first, nullptr, true);
    initiallySection = saved;
}

void inertialStatement(PLANNINGLITERALLIST* list, CONDITIONS* c) {
    if (frontend == FRONTEND_PLANNING_C && (c->first || c->second))
        reportCounted("inertial ... if... after ... not allowed in Frontend -FPc");
    checkNotNaf(list, "Negation as failure not allowed for A in rule: inertial A if B after C");
    if (!list) return;
    for (const PLANNINGBODYLITERAL& b : *list) {
        PLANNINGLITERALLIST ifPart, afterPart;
        if (c->first) ifPart = *c->first;
        if (c->second) afterPart = *c->second;
        ifPart.push_back(defaultCondition(b.literal));
        afterPart.push_back(PLANNINGBODYLITERAL{false, b.literal});
        addPlanningRule(&b.literal, &ifPart, &afterPart, false);
    }
}

void totalStatement(PLANNINGLITERAL* fluent, CONDITIONS* c) {
    if (fluent->trueNegated) reportCounted("True negation not allowed for A in rule: total A if B after C");
    if (frontend == FRONTEND_PLANNING_C)
        reportCounted("Total not allowed in Frontend -FPc");
    else if (!isFluentName(fluent->name))
        reportCounted("Only fluents allowed for A in rule: total A if B");
    addPlanningRule(fluent, c->first, c->second, true);
}

void defaultStatement(PLANNINGLITERALLIST* list) {
    checkNotNaf(list, "Negation as failure not allowed for A in rule: default A");
    if (!list) return;
    for (const PLANNINGBODYLITERAL& b : *list) {
        PLANNINGLITERALLIST ifPart{defaultCondition(b.literal)};
        addPlanningRule(&b.literal, &ifPart, nullptr, false);
    }
}

void plainDeclaration(PLANNINGLITERAL* literal, PLANNINGLITERALLIST* requires) {
    addPlanningDeclaration(*literal, requires, nullptr, nullptr);
    if (frontend == FRONTEND_PLANNING_C) {
        // Under C every fluent and action is guessed: fluents at step 0.
        initiallySection = declarationSection == SECTION_FLUENTS;
        addPlanningRule(literal, requires, nullptr, true);
    }
}

void costDeclaration(PLANNINGLITERAL* literal, PLANNINGLITERALLIST* requires, std::string* costs,
                     PLANNINGLITERALLIST* where) {
    if (frontend == FRONTEND_PLANNING_C) reportCounted("Costs not allowed inPlanning Language C");
    addPlanningDeclaration(*literal, requires, costs, where);
}

// The goal as the warning about a replaced goal writes it.
void printGoal(std::ostream& out, const PLANNINGLITERALLIST* goal, int32_t length) {
    if (goal) printPlanningLiterals(out, *goal);
    out << "? (" << length << ')';
}

void goalStatement(PLANNINGLITERALLIST* goal, int32_t length, bool lengthGiven) {
    if (planningGoal) {
        int32_t oldLength = OPTIONS.goalPlanLength < 0 ? 0 : OPTIONS.goalPlanLength;
        int32_t newLength = lengthGiven ? length : std::max(OPTIONS.planLength, 0);
        if (OPTIONS.planLength >= 0) oldLength = newLength = OPTIONS.planLength;
        std::cout.flush();
        std::cerr << "Warning: goal: ";
        printGoal(std::cerr, goal, newLength);
        std::cerr << (lengthGiven ? " replaces goal: " : " replaces goal:");
        printGoal(std::cerr, planningGoal.get(), oldLength);
        std::cerr << '\n';
    }
    planningGoal.reset(goal);
    if (!lengthGiven)
        OPTIONS.goalPlanLength = -1;
    else if (OPTIONS.planLength < 0)
        OPTIONS.goalPlanLength = length;
}

}  // namespace
}

%union {
    char* text;
    int32_t integer;
    std::string* string;
    std::vector<std::string>* strings;
    veltra::PLANNINGLITERAL* literal;
    veltra::PLANNINGBODYLITERAL* bodyLiteral;
    veltra::PLANNINGLITERALLIST* list;
    std::pair<veltra::PLANNINGLITERALLIST*, veltra::PLANNINGLITERALLIST*>* conditions;
}

%define api.prefix {planyy}
%define api.token.prefix {PLAN_}

%token <text> IDENTIFIER NUMBER
%token ERROR BAR "|"
%token INITIALLY "initially" GOAL "goal" CAUSED "caused" IF "if" AFTER "after" ACTIONS "actions"
%token FLUENTS "fluents" NONEXECUTABLE "nonexecutable" EXECUTABLE "executable"
%token NOCONCURRENCY "noConcurrency" SECUREPLAN "securePlan" INERTIAL "inertial" ALWAYS "always"
%token DEFAULT "default" REQUIRES "requires" COSTS "costs" WHERE "where" TOTAL "total"
%token FORBIDDEN "forbidden" TIME "time" FALSE "false" NOT "not"
%token COMMA "," DOT "." COLON ":" PLUS "+" TIMES "*" EQUALS "=" LPAREN "(" RPAREN ")"
%token EQ "==" NE "!=" LT "<" GT ">" LE "<=" GE ">=" QUERY "?" MAXINT "#maxint" INT "#int"
%token SUCC "#succ" ANONYMOUS "_" MINUS "-"

%type <integer> integerValue
%type <string> term costValue costSpec comparisonOp arithmeticOp
%type <strings> terms
%type <literal> literal builtinLiteral causedHead
%type <bodyLiteral> bodyLiteral
%type <list> literalList requiresPart wherePart
%type <conditions> conditionParts

%destructor { delete[] $$; } <text>
%destructor { delete $$; } <string> <strings> <literal> <bodyLiteral> <list>
%destructor { releaseConditions($$); } <conditions>

%{
/* The parser gives up (status 2, "memory exhausted") beyond this depth. */
#define YYMAXDEPTH 10000
%}

%%

planInput
    : sectionList
    | error                 { ++parseErrorCount; }
    ;

sectionList
    : %empty
    | sectionList declarationBlock
    | sectionList statementBlock
    ;

declarationBlock
    : "actions" { declarationSection = SECTION_ACTIONS; } ":" declarations
    | "fluents" { declarationSection = SECTION_FLUENTS; } ":" declarations
    ;

declarations
    : declaration
    | declarations declaration
    ;

declaration
    : literal requiresPart "."
                            { plainDeclaration($1, $2); delete $1; delete $2; }
    | literal requiresPart "costs" costSpec { timeKeywordAllowed = true; } wherePart { timeKeywordAllowed = false; } "."
                            { costDeclaration($1, $2, $4, $6); delete $1; delete $2; delete $4; delete $6; }
    ;

requiresPart
    : %empty                { $$ = nullptr; }
    | "requires" literalList
                            { $$ = $2; }
    ;

wherePart
    : %empty                { $$ = nullptr; }
    | "where" literalList   { $$ = $2; }
    ;

costSpec
    : costValue             { $$ = $1; $$->append(":1"); actionCostsGiven = true; }
    | costValue ":" costValue
                            { $$ = $1; *$$ += ":" + *$3; delete $3; actionCostsGiven = costLevelsGiven = true; }
    ;

costValue
    : "time"                { $$ = new std::string("T$1"); }
    | integerValue          { $$ = new std::string(std::to_string($1)); }
    | IDENTIFIER            {
                                $$ = takeText($1);
                                if (!std::isupper(static_cast<unsigned char>((*$$)[0])))
                                    reportCounted("Action costs or cost levels should be 'time', a number, or a variable");
                            }
    ;

statementBlock
    : "initially" { initiallySection = true; } ":" statements
    | "always" { initiallySection = false; } ":" statements
    | "goal" ":" goalSpec
    ;

statements
    : statement "."
    | statements statement "."
    ;

goalSpec
    : literalList "?"       { goalStatement($1, 0, false); }
    | literalList "?" "(" NUMBER ")"
                            { goalStatement($1, numberValue($4), true); }
    ;

statement
    : literal               { addPlanningRule($1, nullptr, nullptr, false); delete $1; }
    | "caused" causedHead conditionParts
                            { addPlanningRule($2, $3->first, $3->second, false); delete $2; releaseConditions($3); }
    | "nonexecutable" literalList conditionParts
                            { nonexecutableStatement($2, $3); delete $2; releaseConditions($3); }
    | "forbidden" literalList
                            { addPlanningRule(nullptr, $2, nullptr, false); delete $2; }
    | "forbidden" literalList "after" literalList
                            { addPlanningRule(nullptr, $2, $4, false); delete $2; delete $4; }
    | "executable" literal conditionParts
                            { executableStatement($2, $3); delete $2; releaseConditions($3); }
    | "inertial" literalList conditionParts
                            { inertialStatement($2, $3); delete $2; releaseConditions($3); }
    | "total" literal conditionParts
                            { totalStatement($2, $3); delete $2; releaseConditions($3); }
    | "default" literalList { defaultStatement($2); delete $2; }
    | "noConcurrency"       { if (planMinActions == 0 && planMaxActions == 0) planMaxActions = 1; }
    | "securePlan"          {
                                if (frontend == FRONTEND_PLANNING_C)
                                    reportCounted("Secure Planning not allowed in Frontend -FPc");
                                else if (!(planningMode & PLANNING_OPTIMISTIC))
                                    planningMode |= PLANNING_SECURE;
                            }
    ;

causedHead
    : literal               { $$ = $1; }
    | "false"               { $$ = nullptr; }
    ;

conditionParts
    : %empty                { $$ = new CONDITIONS(nullptr, nullptr); }
    | "if" literalList      { $$ = new CONDITIONS($2, nullptr); }
    | "after" literalList   { $$ = new CONDITIONS(nullptr, $2); }
    | "if" literalList "after" literalList
                            { $$ = new CONDITIONS($2, $4); }
    ;

literalList
    : %empty                { $$ = nullptr; }
    | bodyLiteral           { $$ = new PLANNINGLITERALLIST; $$->push_back(std::move(*$1)); delete $1; }
    | literalList "," bodyLiteral
                            {
                                $$ = $1 ? $1 : new PLANNINGLITERALLIST;
                                $$->push_back(std::move(*$3));
                                delete $3;
                            }
    ;

bodyLiteral
    : literal               { $$ = bodyLiteral($1, false); }
    | "not" literal         {
                                if (frontend == FRONTEND_PLANNING_C)
                                    reportCounted("Negation as failure not allowed in Planning Language C");
                                $$ = bodyLiteral($2, true);
                            }
    | builtinLiteral        { $$ = bodyLiteral($1, false); }
    ;

literal
    : IDENTIFIER            { $$ = new PLANNINGLITERAL(false, $1, nullptr); delete[] $1; }
    | IDENTIFIER "(" terms ")"
                            { $$ = new PLANNINGLITERAL(false, $1, $3); delete[] $1; }
    | "-" IDENTIFIER        { $$ = new PLANNINGLITERAL(true, $2, nullptr); delete[] $2; }
    | "-" IDENTIFIER "(" terms ")"
                            { $$ = new PLANNINGLITERAL(true, $2, $4); delete[] $2; }
    ;

terms
    : term                  { $$ = new std::vector<std::string>; $$->push_back(std::move(*$1)); delete $1; }
    | terms "," term        { $$ = $1; $$->push_back(std::move(*$3)); delete $3; }
    ;

builtinLiteral
    : "#int" "(" term ")"   { $$ = builtin("#int", $3, nullptr, nullptr); }
    | "#succ" "(" term "," term ")"
                            { $$ = builtin("#succ", $3, $5, nullptr); }
    | comparisonOp "(" term "," term ")"
                            { $$ = builtin($1->c_str(), $3, $5, nullptr); delete $1; }
    | term comparisonOp term
                            { $$ = builtin($2->c_str(), $1, $3, nullptr); delete $2; }
    | arithmeticOp "(" term "," term "," term ")"
                            { $$ = builtin($1->c_str(), $3, $5, $7); delete $1; }
    | term "=" term arithmeticOp term
                            { $$ = builtin($4->c_str(), $3, $5, $1); delete $4; }
    ;

comparisonOp
    : "=="                  { $$ = new std::string("=="); }
    | "!="                  { $$ = new std::string("!="); }
    | "<"                   { $$ = new std::string("<"); }
    | ">"                   { $$ = new std::string(">"); }
    | "<="                  { $$ = new std::string("<="); }
    | ">="                  { $$ = new std::string(">="); }
    ;

arithmeticOp
    : "+"                   { $$ = new std::string("+"); }
    | "*"                   { $$ = new std::string("*"); }
    ;

term
    : IDENTIFIER            { $$ = takeText($1); }
    | integerValue          { $$ = new std::string(std::to_string($1)); }
    | "_"                   { $$ = new std::string("_"); }
    | "time"                {
                                if (!timeKeywordAllowed) reportCounted("Keyword 'time' not allowed here");
                                $$ = new std::string("T$1");
                            }
    ;

integerValue
    : NUMBER                {
                                $$ = numberValue($1);
                                if (OPTIONS.maxInt != -1 && $$ > OPTIONS.maxInt)
                                    reportCounted("number outside of given integer range");
                            }
    | "#maxint"             {
                                if (OPTIONS.maxInt == -1)
                                    reportCounted("#maxint used but no upper integer bound (option -N) given");
                                $$ = OPTIONS.maxInt;
                            }
    ;

%%

namespace veltra {

void addPlanningRule(const PLANNINGLITERAL* head, const PLANNINGLITERALLIST* ifPart,
                     const PLANNINGLITERALLIST* afterPart, bool guessed) {
    if (!head && !ifPart && !afterPart) reportCounted("Empty rules not allowed");
    if (initiallySection && afterPart) reportCounted("No dynamic rules allowed in initial section");
    if (head && !guessed && !isFluentName(head->name)) reportCounted("Only fluents can be caused");
    PLANNINGSTATEMENT s;
    s.initially = initiallySection;
    s.guessed = guessed;
    if (head) s.head = std::make_unique<PLANNINGLITERAL>(*head);
    if (ifPart) s.ifPart = std::make_unique<PLANNINGLITERALLIST>(*ifPart);
    if (afterPart) s.afterPart = std::make_unique<PLANNINGLITERALLIST>(*afterPart);
    planningRules.push_back(std::move(s));
    resetVariables();
}

void addPlanningDeclaration(const PLANNINGLITERAL& literal, const PLANNINGLITERALLIST* requires,
                            const std::string* costs, const PLANNINGLITERALLIST* where) {
    if (costs && declarationSection == SECTION_FLUENTS) reportCounted("Costs not allowed for fluents");
    if (literal.args)
        for (const std::string& a : *literal.args)
            if (!std::isupper(static_cast<unsigned char>(a[0])))
                reportCounted("Only variables allowed in action/fluent declaration");
    if (isFluentName(literal.name) || isActionName(literal.name)) reportCounted("Action/Fluent name already in use");
    int32_t arity = static_cast<int32_t>(literal.argCount()) + 1;
    if (declarationSection == SECTION_FLUENTS) {
        addPredicate(fluentTable, NAME(literal.name), arity, KIND_IDB);
    } else {
        addPredicate(actionTable, NAME(literal.name), arity, KIND_IDB);
        if (literal.args) maxActionArity = std::max<uint32_t>(maxActionArity, uint32_t(literal.args->size()));
    }
    PLANNINGSTATEMENT s;
    s.initially = !(declarationSection == SECTION_ACTIONS && frontend == FRONTEND_PLANNING_C);
    s.guessed = true;
    s.isDeclaration = true;
    if (costs) s.costs = std::make_unique<std::string>(*costs);
    s.head = std::make_unique<PLANNINGLITERAL>(literal);
    if (requires) s.ifPart = std::make_unique<PLANNINGLITERALLIST>(*requires);
    if (where) s.afterPart = std::make_unique<PLANNINGLITERALLIST>(*where);
    planningDeclarations.push_back(std::move(s));
    resetVariables();
}

void parsePlanningFile(FILE* file) {
    planyyrestart(file);
    planyyparse();
}

}  // namespace veltra
