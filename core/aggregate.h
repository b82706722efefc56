// core/aggregate.h: aggregate atoms and the aggregate functions that keep the
// bounds of an aggregate's value incrementally.
#pragma once
#include <cstdint>
#include <climits>
#include <memory>
#include <vector>

#include "core/atom.h"

namespace veltra {

enum : int32_t { AGG_ANY, AGG_AVG, AGG_COUNT, AGG_MAX, AGG_MIN, AGG_SUM, AGG_TIMES };
extern const char* const aggregateKeywords[7];  // "#any" .. "#times" by kind

// One element of a ground set: an instantiated value and its ground atom.
struct GROUNDSETELEMENT {
    TERM value;
    int32_t atom;  // ground-atom index
};
// Ordered by value (compareTerms), equal values with the larger atom first.
int compareElements(const GROUNDSETELEMENT& a, const GROUNDSETELEMENT& b);

// An ordered set of elements without duplicates. Elements are appended while
// collecting, then normalize() sorts them once; readers see a normalized set.
struct GROUNDSET {
    std::vector<GROUNDSETELEMENT> elements;

    void add(const GROUNDSETELEMENT& e) { elements.push_back(e); }
    void normalize();
    size_t size() const { return elements.size(); }
    bool empty() const { return elements.empty(); }
    const GROUNDSETELEMENT& front() const { return elements.front(); }
    const GROUNDSETELEMENT& back() const { return elements.back(); }
    auto begin() const { return elements.begin(); }
    auto end() const { return elements.end(); }
    bool operator==(const GROUNDSET& o) const;
};

// Bounds are 64-bit: sums and products of 32-bit values can leave the 32-bit
// range, and a wrapped bound would compare wrongly with a guard. Products
// saturate at +-BOUNDLIMIT; a saturated bound is never divided back.
constexpr int64_t BOUNDLIMIT = INT64_C(1) << 62;
int64_t saturatingAdd(int64_t a, int64_t b);
int64_t saturatingMul(int64_t a, int64_t b);
inline bool isSaturated(int64_t v) { return v >= BOUNDLIMIT || v <= -BOUNDLIMIT; }

class AGGREGATEFUNCTION {
public:
    std::vector<TERM> elementTerms;   // before ":"; the first is the value
    CONJUNCTION body;                 // after ":"; its first literal gives the elements
    int32_t groundSetIndex = 0;       // meaningful only when groundSet is null
    std::unique_ptr<GROUNDSET> groundSet;
    int64_t lower = 0;                // lower bound of the value
    int64_t upper = 0;                // upper bound of the value
    int32_t kind = AGG_COUNT;

    AGGREGATEFUNCTION() = default;
    AGGREGATEFUNCTION(const AGGREGATEFUNCTION& other);
    AGGREGATEFUNCTION& operator=(const AGGREGATEFUNCTION&) = delete;
    virtual ~AGGREGATEFUNCTION() = default;

    virtual void reset() {}
    virtual void addUndefined(const TERM& value) { (void)value; }
    virtual void setTruthValue(const TERM& value, bool isTrue) { (void)value; (void)isTrue; }
    virtual void finalizeBounds() {}
    virtual bool hasNoValue() const { return false; }
    virtual int32_t getPotentialMax() const { return 0; }
    virtual int32_t getTrueMax() const { return 0; }
    virtual int32_t getPotentialMin() const { return 0; }
    virtual int32_t getTrueMin() const { return 0; }
    virtual void setPotentialMax(int32_t) {}
    virtual void setTrueMax(int32_t) {}
    virtual void setPotentialMin(int32_t) {}
    virtual void setTrueMin(int32_t) {}
    // The subclass fields, for interning and copying: (potential, true) extremes
    // or (trueProduct, 0).
    virtual int64_t extra1() const { return 0; }
    virtual int64_t extra2() const { return 0; }

    // A new object of the class of kind with all fields copied; null for
    // kinds without a class (#any, #avg).
    std::unique_ptr<AGGREGATEFUNCTION> clone() const;
    // Instantiating copy: the body is the first literal's atom instantiated
    // under bindings, element terms unchanged.
    std::unique_ptr<AGGREGATEFUNCTION> instantiate(const TERM* bindings) const;
    // The owned ground set, or the interned one at groundSetIndex (an empty
    // set when there is neither).
    const GROUNDSET& set() const;
    const GROUNDSET* setOrNull() const;
    const char* keyword() const { return aggregateKeywords[kind]; }

protected:
    // Ends the run when value is not an integer term.
    int64_t integerCheck(const TERM& value) const;
    virtual void copyExtra(const AGGREGATEFUNCTION& from) { (void)from; }
    friend std::unique_ptr<AGGREGATEFUNCTION> makeAggregateFunction(int32_t kind);
};

// The value of an upper guard that is an integer, or BOUNDLIMIT for one that
// was not written (the null term); bounds never exceed BOUNDLIMIT.
inline int64_t upperGuardValue(const TERM& integerOrNull) {
    return integerOrNull.isNull() ? BOUNDLIMIT : integerValue(integerOrNull);
}

// A new function of the given kind at its reset values; null for #any, #avg.
std::unique_ptr<AGGREGATEFUNCTION> makeAggregateFunction(int32_t kind);

class COUNTFUNCTION : public AGGREGATEFUNCTION {
public:
    void reset() override { lower = upper = 0; }
    void addUndefined(const TERM&) override { ++upper; }
    void setTruthValue(const TERM&, bool isTrue) override { if (isTrue) ++lower; else --upper; }
};

class SUMFUNCTION : public AGGREGATEFUNCTION {
public:
    void reset() override { lower = upper = 0; }
    void addUndefined(const TERM& value) override { upper = saturatingAdd(upper, integerCheck(value)); }
    void setTruthValue(const TERM& value, bool isTrue) override;
};

class MAXFUNCTION : public AGGREGATEFUNCTION {
public:
    int32_t potentialMax = INT_MIN;  // largest value of all elements added
    int32_t trueMax = INT_MIN;       // largest value of the elements made true

    void reset() override { lower = upper = potentialMax = trueMax = INT_MIN; }
    void addUndefined(const TERM& value) override;
    void setTruthValue(const TERM& value, bool isTrue) override;
    bool hasNoValue() const override { return set().empty() && lower == INT_MIN && upper == INT_MIN; }
    int32_t getPotentialMax() const override { return potentialMax; }
    int32_t getTrueMax() const override { return trueMax; }
    void setPotentialMax(int32_t v) override { potentialMax = v; }
    void setTrueMax(int32_t v) override { trueMax = v; }
    int64_t extra1() const override { return potentialMax; }
    int64_t extra2() const override { return trueMax; }

protected:
    void copyExtra(const AGGREGATEFUNCTION& from) override;
};

class MINFUNCTION : public AGGREGATEFUNCTION {
public:
    int32_t potentialMin = INT_MIN;  // smallest value of all elements added
    int32_t trueMin = INT_MAX;       // smallest value of the elements made true

    void reset() override { lower = upper = potentialMin = INT_MIN; trueMin = INT_MAX; }
    void addUndefined(const TERM& value) override;
    void setTruthValue(const TERM& value, bool isTrue) override;
    bool hasNoValue() const override { return set().empty() && lower == INT_MIN && upper == INT_MIN; }
    int32_t getPotentialMin() const override { return potentialMin; }
    int32_t getTrueMin() const override { return trueMin; }
    void setPotentialMin(int32_t v) override { potentialMin = v; }
    void setTrueMin(int32_t v) override { trueMin = v; }
    int64_t extra1() const override { return potentialMin; }
    int64_t extra2() const override { return trueMin; }

protected:
    void copyExtra(const AGGREGATEFUNCTION& from) override;
};

// The upper bound is the product of the positive values of the elements not
// false; while an element of value 0 is undefined the lower bound stays 0.
class TIMESFUNCTION : public AGGREGATEFUNCTION {
public:
    int64_t trueProduct = 1;     // product of the true values while lower is 0
    int64_t undefinedZeros = 0;  // elements of value 0 still undefined

    void reset() override { lower = 0; upper = 1; trueProduct = 1; undefinedZeros = 0; }
    void addUndefined(const TERM& value) override;
    void setTruthValue(const TERM& value, bool isTrue) override;
    void finalizeBounds() override;
    int64_t extra1() const override { return trueProduct; }
    int64_t extra2() const override { return undefinedZeros; }

protected:
    void copyExtra(const AGGREGATEFUNCTION& from) override;
};

// The payload of an aggregate atom: guards and the owned function. Guards are
// inclusive ("<=") when the flag is set, strict ("<") otherwise. An upper
// guard that was not written is the null term: it bounds nothing.
struct AGGREGATEATOM {
    std::unique_ptr<AGGREGATEFUNCTION> function;  // null once interned
    int32_t aggregateIndex = 0;                   // valid when function is null
    TERM lowerGuard;
    uint8_t lowerInclusive = 1;
    TERM upperGuard;
    uint8_t upperInclusive = 1;
    uint8_t assignment = 0;  // both guards are one variable that takes the value

    AGGREGATEATOM() = default;
    AGGREGATEATOM(const AGGREGATEATOM& other);
    AGGREGATEATOM& operator=(const AGGREGATEATOM&) = delete;
    // Instantiating copy: guards become inclusive integer constants.
    AGGREGATEATOM(const AGGREGATEATOM& pattern, const TERM* bindings);

    // The own function, or the interned one at aggregateIndex.
    AGGREGATEFUNCTION& fn() const;
};

}  // namespace veltra
