/* frontends/diagnosis/grammar.y: the entries of hypothesis and observation files. */
%code requires {
#include <vector>

#include "core/atom.h"
#include "core/term.h"
}

%code {
#include <cstdlib>
#include <cstring>

#include "core/finish.h"
#include "core/options.h"
#include "frontends/diagnosis/diagnosis.h"
#include "input/parse.h"

using namespace veltra;

int diagyylex();

// Every error of these files is counted, so that the run ends after reading.
static void diagyyerror(const char* message) {
    reportParseError(message);
    ++parseErrorCount;
}

// "-FDmincost" is the variant only while it is the last frontend option.
static bool minCostSelected() {
    return frontend == FRONTEND_ABDUCTIVE_DIAGNOSIS && diagnosisMode == DIAGNOSIS_PENALIZATION;
}

// An atom of these files; its predicate becomes an IDB predicate at once.
static ATOM* makeAtom(char* name, std::vector<TERM>* terms) {
    auto* atom = new ATOM(name, terms, KIND_UNKNOWN);
    delete[] name;
    delete terms;
    factsToRules(*atom);
    return atom;
}

static TERM* makeNumber(char* digits) {
    // At most nine digits: the value fits.
    auto value = static_cast<int32_t>(std::strtol(digits, nullptr, 10));
    delete[] digits;
    if (value > OPTIONS.maxIntegerInInput) OPTIONS.maxIntegerInInput = value;
    return new TERM(integerTerm(value));
}

static TERM* makeSymbol(char* name) {
    auto* term = new TERM(symbolTerm(name));
    delete[] name;
    return term;
}

static void addEntry(LITERAL* literal) {
    if (readingObservations) {
        observations.push_back(std::move(*literal));
    } else if (minCostSelected()) {
        reportParseError("-FDmincost selected but unweighted hypothesis encountered.");
        finish(1);
    } else {
        hypotheses.push_back(HYPOTHESIS{std::move(*literal), 0});
    }
    delete literal;
}

static void addWeightedEntry(LITERAL* literal, char* digits) {
    auto weight = static_cast<int32_t>(std::strtol(digits, nullptr, 10));
    delete[] digits;
    if (readingObservations) {
        reportParseError("Weights are not allowed in observations");
        ++parseErrorCount;
    } else if (!minCostSelected()) {
        reportParseError("-FD selected but weighted hypothesis encountered. ");
        finish(1);
    } else if (weight > maxHypothesisWeight) {
        reportParseError("Weight exceeds the largest supported value 2147483");
        ++parseErrorCount;
    } else {
        hypotheses.push_back(HYPOTHESIS{std::move(*literal), weight});
    }
    delete literal;
}
}

%define api.prefix {diagyy}
%define api.token.prefix {TOK_}

%union {
    char* text;
    veltra::TERM* term;
    std::vector<veltra::TERM>* terms;
    veltra::ATOM* atom;
    veltra::LITERAL* literal;
}

%token <text> NAME NUMBER
%token ERROR
%token COMMA "," DOT "." LPAREN "(" RPAREN ")" LBRACKET "[" RBRACKET "]" NOT "not"

%type <term> term
%type <terms> terms
%type <atom> atom
%type <literal> literal

%destructor { delete[] $$; } <text>
%destructor { delete $$; } <term> <terms> <atom> <literal>

%%

file
    : %empty
    | file literal "."                      { addEntry($2); }
    | file literal "." "[" NUMBER "]"       { addWeightedEntry($2, $5); }
    ;

literal
    : atom                  { $$ = new LITERAL(std::move(*$1), false); delete $1; }
    | "not" atom            { $$ = new LITERAL(std::move(*$2), true); delete $2; }
    ;

atom
    : NAME                  { $$ = makeAtom($1, nullptr); }
    | NAME "(" terms ")"    { $$ = makeAtom($1, $3); }
    ;

terms
    : term                  { $$ = new std::vector<TERM>(1, *$1); delete $1; }
    | terms "," term        { $$ = $1; $$->push_back(*$3); delete $3; }
    ;

term
    : NAME                  { $$ = makeSymbol($1); }
    | NUMBER                { $$ = makeNumber($1); }
    ;

%%

namespace veltra {

std::vector<HYPOTHESIS> hypotheses;
std::vector<LITERAL> observations;
bool readingObservations = false;

void restartDiagnosisScanner(FILE* input);

void readDiagnosisFile(FILE* input) {
    restartDiagnosisScanner(input);
    diagyyparse();
}

}  // namespace veltra
