// core/aggregate.cpp: aggregate functions, their bounds and copies.
#include "core/aggregate.h"

#include <algorithm>
#include <iostream>

#include "core/groundprogram.h"

namespace veltra {

const char* const aggregateKeywords[7] = {"#any", "#avg", "#count", "#max", "#min", "#sum", "#times"};

int compareElements(const GROUNDSETELEMENT& a, const GROUNDSETELEMENT& b) {
    if (int c = compareTerms(a.value, b.value)) return c;
    return (a.atom < b.atom) - (a.atom > b.atom);  // larger atom first
}

void GROUNDSET::normalize() {
    std::sort(elements.begin(), elements.end(),
              [](const GROUNDSETELEMENT& a, const GROUNDSETELEMENT& b) { return compareElements(a, b) < 0; });
    elements.erase(std::unique(elements.begin(), elements.end(),
                               [](const GROUNDSETELEMENT& a, const GROUNDSETELEMENT& b) { return compareElements(a, b) == 0; }),
                   elements.end());
}

bool GROUNDSET::operator==(const GROUNDSET& o) const {
    if (size() != o.size()) return false;
    for (size_t i = 0; i < size(); ++i)
        if (compareTerms(elements[i].value, o.elements[i].value) != 0 || elements[i].atom != o.elements[i].atom) return false;
    return true;
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r)) r = a > 0 ? BOUNDLIMIT : -BOUNDLIMIT;
    return std::clamp(r, -BOUNDLIMIT, BOUNDLIMIT);
}

int64_t saturatingMul(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) r = ((a < 0) != (b < 0)) ? -BOUNDLIMIT : BOUNDLIMIT;
    return std::clamp(r, -BOUNDLIMIT, BOUNDLIMIT);
}

AGGREGATEFUNCTION::AGGREGATEFUNCTION(const AGGREGATEFUNCTION& other)
    : elementTerms(other.elementTerms),
      body(other.body),
      groundSetIndex(other.groundSetIndex),
      groundSet(other.groundSet ? std::make_unique<GROUNDSET>(*other.groundSet) : nullptr),
      lower(other.lower),
      upper(other.upper),
      kind(other.kind) {}

static const GROUNDSET emptyGroundSet;

const GROUNDSET* AGGREGATEFUNCTION::setOrNull() const {
    if (groundSet) return groundSet.get();
    if (groundSetIndex >= 0 && size_t(groundSetIndex) < groundSetsByIndex.size()) return &groundSetsByIndex[groundSetIndex]->first;
    return nullptr;
}

const GROUNDSET& AGGREGATEFUNCTION::set() const {
    const GROUNDSET* s = setOrNull();
    return s ? *s : emptyGroundSet;
}

int64_t AGGREGATEFUNCTION::integerCheck(const TERM& value) const {
    if (value.kind != TERM_INTEGER) {
        std::cerr << "Error: free variables inside the " << keyword()
                  << " aggregate must only be instantiated with integer values.\n";
        std::exit(1);
    }
    return integerValue(value);
}

std::unique_ptr<AGGREGATEFUNCTION> makeAggregateFunction(int32_t kind) {
    std::unique_ptr<AGGREGATEFUNCTION> f;
    switch (kind) {
    case AGG_COUNT: f = std::make_unique<COUNTFUNCTION>(); break;
    case AGG_MAX: f = std::make_unique<MAXFUNCTION>(); break;
    case AGG_MIN: f = std::make_unique<MINFUNCTION>(); break;
    case AGG_SUM: f = std::make_unique<SUMFUNCTION>(); break;
    case AGG_TIMES: f = std::make_unique<TIMESFUNCTION>(); break;
    default: return nullptr;
    }
    f->kind = kind;
    f->reset();
    return f;
}

// A new object of this function's class with the base part copied.
static std::unique_ptr<AGGREGATEFUNCTION> copyBase(const AGGREGATEFUNCTION& from) {
    switch (from.kind) {
    case AGG_COUNT: return std::make_unique<COUNTFUNCTION>(static_cast<const COUNTFUNCTION&>(from));
    case AGG_MAX: return std::make_unique<MAXFUNCTION>(static_cast<const MAXFUNCTION&>(from));
    case AGG_MIN: return std::make_unique<MINFUNCTION>(static_cast<const MINFUNCTION&>(from));
    case AGG_SUM: return std::make_unique<SUMFUNCTION>(static_cast<const SUMFUNCTION&>(from));
    case AGG_TIMES: return std::make_unique<TIMESFUNCTION>(static_cast<const TIMESFUNCTION&>(from));
    default: return nullptr;
    }
}

std::unique_ptr<AGGREGATEFUNCTION> AGGREGATEFUNCTION::clone() const { return copyBase(*this); }

std::unique_ptr<AGGREGATEFUNCTION> AGGREGATEFUNCTION::instantiate(const TERM* bindings) const {
    std::unique_ptr<AGGREGATEFUNCTION> f = makeAggregateFunction(kind);
    if (!f) return nullptr;
    f->elementTerms = elementTerms;
    f->groundSetIndex = groundSetIndex;
    f->lower = lower;
    f->upper = upper;
    if (!body.empty()) f->body.addLiteral(LITERAL(ATOM(body.literals[0], bindings), false));
    if (groundSet) f->groundSet = std::make_unique<GROUNDSET>(*groundSet);
    f->copyExtra(*this);
    return f;
}

void SUMFUNCTION::setTruthValue(const TERM& value, bool isTrue) {
    int64_t v = integerCheck(value);
    if (isTrue)
        lower = saturatingAdd(lower, v);
    else
        upper = saturatingAdd(upper, -v);
}

void MAXFUNCTION::addUndefined(const TERM& value) {
    int32_t v = static_cast<int32_t>(integerCheck(value));
    potentialMax = std::max(potentialMax, v);
    lower = trueMax;
    upper = std::max(potentialMax, trueMax);
}

void MAXFUNCTION::setTruthValue(const TERM& value, bool isTrue) {
    if (isTrue) trueMax = std::max(trueMax, static_cast<int32_t>(integerCheck(value)));
    lower = trueMax;
    upper = std::max(potentialMax, trueMax);
}

void MAXFUNCTION::copyExtra(const AGGREGATEFUNCTION& from) {
    potentialMax = static_cast<int32_t>(from.extra1());
    trueMax = static_cast<int32_t>(from.extra2());
}

void MINFUNCTION::addUndefined(const TERM& value) {
    int32_t v = static_cast<int32_t>(integerCheck(value));
    if (potentialMin == INT_MIN || v < potentialMin) potentialMin = v;
    lower = std::min(potentialMin, trueMin);
    upper = trueMin;
}

void MINFUNCTION::setTruthValue(const TERM& value, bool isTrue) {
    if (isTrue) {
        int32_t v = static_cast<int32_t>(integerCheck(value));
        if (trueMin == INT_MAX || v < trueMin) trueMin = v;
    }
    lower = std::min(potentialMin, trueMin);
    upper = trueMin;
}

void MINFUNCTION::copyExtra(const AGGREGATEFUNCTION& from) {
    potentialMin = static_cast<int32_t>(from.extra1());
    trueMin = static_cast<int32_t>(from.extra2());
}

void TIMESFUNCTION::addUndefined(const TERM& value) {
    int64_t v = integerCheck(value);
    if (v > 0) upper = saturatingMul(upper, v);
    if (v == 0) ++undefinedZeros;
}

void TIMESFUNCTION::setTruthValue(const TERM& value, bool isTrue) {
    int64_t v = integerCheck(value);
    if (v == 0 && undefinedZeros > 0) --undefinedZeros;
    if (lower == 0 && upper == 0 && trueProduct == 0) return;  // certainly 0 already
    if (isTrue) {
        if (lower != 0)
            lower = saturatingMul(lower, v);
        else
            trueProduct = saturatingMul(trueProduct, v);
        if (trueProduct == 0) upper = 0;
    } else if (v > 0) {
        // Only positive values were multiplied into the upper bound. A
        // saturated bound cannot be divided back; it stays an upper bound
        // until the generator recomputes it from the set.
        if (!isSaturated(upper)) upper /= v;
    } else if (v == 0 && undefinedZeros == 0) {
        lower = trueProduct;  // the last undefined 0 is gone
    }
}

void TIMESFUNCTION::finalizeBounds() {
    if (undefinedZeros == 0) lower = trueProduct;
    if (trueProduct == 0) upper = 0;
}

void TIMESFUNCTION::copyExtra(const AGGREGATEFUNCTION& from) {
    trueProduct = from.extra1();
    undefinedZeros = from.extra2();
}

AGGREGATEATOM::AGGREGATEATOM(const AGGREGATEATOM& other)
    : function(other.function ? other.function->clone() : nullptr),
      aggregateIndex(other.aggregateIndex),
      lowerGuard(other.lowerGuard),
      lowerInclusive(other.lowerInclusive),
      upperGuard(other.upperGuard),
      upperInclusive(other.upperInclusive),
      assignment(other.assignment) {}

// The integer value of a guard under bindings (a variable must be bound).
static int64_t guardValue(const TERM& g, const TERM* bindings) {
    const TERM& t = g.kind == TERM_VARIABLE ? bindings[g.index] : g;
    return integerValue(t);
}

AGGREGATEATOM::AGGREGATEATOM(const AGGREGATEATOM& pattern, const TERM* bindings)
    : assignment(pattern.assignment) {
    if (pattern.lowerGuard.kind == TERM_VARIABLE || pattern.lowerGuard.kind == TERM_INTEGER) {
        int64_t v = guardValue(pattern.lowerGuard, bindings) + (pattern.lowerInclusive ? 0 : 1);
        lowerGuard = integerTerm(static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
    } else {
        lowerGuard = pattern.lowerGuard;
    }
    if (pattern.upperGuard.kind == TERM_VARIABLE || pattern.upperGuard.kind == TERM_INTEGER) {
        int64_t v = guardValue(pattern.upperGuard, bindings) - (pattern.upperInclusive ? 0 : 1);
        upperGuard = integerTerm(static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
    } else {
        upperGuard = pattern.upperGuard;
    }
    lowerInclusive = upperInclusive = 1;
    const AGGREGATEFUNCTION& f = pattern.fn();
    function = f.instantiate(bindings);
}

AGGREGATEFUNCTION& AGGREGATEATOM::fn() const {
    if (function) return *function;
    return *aggregatesByIndex[aggregateIndex];
}

}  // namespace veltra
