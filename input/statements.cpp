// input/statements.cpp: statements, terms, built-ins and weights as the
// grammar actions build them.
#include "input/statements.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "core/options.h"
#include "input/bodyaggregates.h"
#include "input/objects.h"
#include "input/parse.h"
#include "input/program.h"

namespace veltra {

namespace {

void reportCounted(const std::string& message) {
    reportParseError(message.c_str());
    ++parseErrorCount;
}

bool maxIntSet() { return OPTIONS.maxInt != -1; }

}  // namespace

// Equal literals have equal signatures.
static uint64_t signature(const LITERAL& literal) {
    uint64_t h = (uint64_t(uint32_t(literal.predicate)) << 1) | literal.negated;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 0x100000001b3ULL + 0x9e3779b97f4a7c15ULL; };
    if (const TERMLIST* terms = literal.terms()) {
        mix(terms->size());
        for (const TERM& t : *terms) mix((uint64_t(uint32_t(t.kind)) << 32) | uint32_t(t.index));
    }
    return h;
}

void BODYBUILDER::add(const LITERAL& literal) {
    if (signatures.insert(signature(literal)).second)
        body.addLiteral(literal);
    else
        addToBody(body, literal);
}

TERM termFromName(const char* name) {
    TERM value;
    if (lookupNamedConstant(name, value)) return value;
    return termFromIdentifier(name);
}

TERM anonymousVariable() { return variableTerm(static_cast<int32_t>(nextVariable++)); }

TERM maxintTerm() {
    if (!maxIntSet()) {
        reportCounted("#maxint used but no upper integer bound (option -N) given");
        OPTIONS.maxInt = 0;
    }
    return integerTerm(OPTIONS.maxInt);
}

void maxintStatement(const TERM& value) {
    if (maxIntSet()) {
        reportParseError("Cannot redefine #maxint. Ignoring this definition");
        return;
    }
    if (value.kind != TERM_INTEGER) {
        reportCounted("syntax error in #maxint statement");
        return;
    }
    OPTIONS.maxInt = integerValue(value);
    if (OPTIONS.maxInt < OPTIONS.maxIntegerInInput)
        reportCounted("#maxint must not be less than the maximum integer (" + std::to_string(OPTIONS.maxIntegerInInput) +
                      ") occurring in input");
}

void queryStatement(CONJUNCTION* body) {
    std::unique_ptr<CONJUNCTION> newQuery(body);
    if (query) {
        std::cout << "Query ";
        printLiterals(std::cout, *newQuery, ", ") << " replaces ";
        printLiterals(std::cout, *query, ", ") << ".\n";
        query.reset();
    }
    processBodyAggregates(*newQuery);
    if (!isBodySafe(*newQuery))
        reportCounted("Query is not safe");
    else if (nextVariable > MAXVARIABLES)
        reportCounted("Query contains too many variables");
    query = std::move(newQuery);
    resetVariables();
}

std::vector<RULE>* intervalFacts(const char* name, const TERM& lower, const TERM& upper) {
    auto* list = new std::vector<RULE>;
    if (lower.kind != TERM_INTEGER || upper.kind != TERM_INTEGER) {
        reportCounted("integer range boundaries must be numeric constants");
        return list;
    }
    int64_t from = integerValue(lower), to = integerValue(upper);
    // After a reported error the program is not run: one fact still names the
    // predicate for the checks of later statements, the rest would only cost
    // time (a bound misread after an error can span the whole integer range).
    if (parseErrorCount > 0) to = std::min(to, from);
    // No reserve: a wide interval grows as its rules are made, so that memory
    // runs out (and is reported) only when it is really exhausted.
    for (int64_t i = from; i <= to; ++i) {
        std::vector<TERM> argument{integerTerm(static_cast<int32_t>(i))};
        std::vector<ATOM> head;
        head.emplace_back(name, &argument, KIND_UNKNOWN);
        list->emplace_back(&head, nullptr);
    }
    return list;
}

ATOM builtinAtom(int32_t builtin, const std::vector<TERM>& terms) {
    assert(builtin < predicateTable.count && predicateTable.kinds[builtin] == KIND_BUILTIN);
    return ATOM(builtin, terms);
}

void arithmeticCheck() {
    if (!maxIntSet()) reportCounted("arithmetics is only supported if #maxint has been set");
}

ATOM maxintArithmetic(int32_t builtin, const TERM& y, const TERM& z) {
    if (!maxIntSet()) reportCounted("#maxint used but no upper integer bound (option -N) given");
    TERM bound = integerTerm(OPTIONS.maxInt);
    return builtinAtom(builtin, makeTermList(y, &z, &bound));
}

void ruleStatement(std::vector<RULE>& list, bool strict) {
    for (RULE& rule : list) {
        if (!strict) {
            makeRule(rule);
            continue;
        }
        int32_t object = currentObject;
        currentObject = 0;
        makeRule(rule);
        currentObject = object;
        strictRulesUsed = true;
    }
}

int64_t weightNumber(int32_t integerPart, const char* fraction) {
    int64_t weight = int64_t(integerPart) * 1000;
    if (fraction) {
        std::string digits = fraction;
        if (digits.size() > 3) {
            reportParseError("Number has more precision than supported. Truncated");
            digits.resize(3);
        }
        digits.resize(3, '0');
        weight += std::strtol(digits.c_str(), nullptr, 10);
    }
    if (weight > maxStoredWeight) {
        reportCounted("Weight exceeds the largest supported value 2147483.647");
        return -1;
    }
    return weight;
}

TERM* weightTerm(int64_t weight) { return weight < 0 ? nullptr : new TERM(integerTerm(static_cast<int32_t>(weight))); }

std::pair<TERM, TERM>* weightLevel(int32_t format, TERM* weight, TERM* level) {
    std::unique_ptr<TERM> w(weight), l(level);
    if (weightFormat == 0) {
        weightFormat = format;
    } else if (weightFormat != format) {
        reportCounted("Weak constraint has different weight-format than others");
        return nullptr;
    }
    bool written = format >= 3;  // formats 3 and 4 give a weight
    if (written && !w) return nullptr;
    return new std::pair<TERM, TERM>(written ? *w : integerTerm(1000), l ? *l : integerTerm(1));
}

void abandonStatement() {
    resetVariables();
    currentObject = 0;
}

}  // namespace veltra
