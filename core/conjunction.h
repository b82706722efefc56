// core/conjunction.h: the positive-first discipline shared by conjunctions of
// literals and of ground literals.
#pragma once
#include <cstddef>
#include <vector>

namespace veltra {

// The position of the first negated literal, literals.size() when none.
template <class LITERALTYPE>
size_t firstNegativeOf(const std::vector<LITERALTYPE>& literals) {
    for (size_t i = 0; i < literals.size(); ++i)
        if (literals[i].negated) return i;
    return literals.size();
}

// Appends a negative literal; inserts a positive one before every negative
// literal. firstNegative stays the position of the first negative literal.
template <class LITERALTYPE>
void addPositiveFirst(std::vector<LITERALTYPE>& literals, size_t& firstNegative, const LITERALTYPE& literal) {
    if (literal.negated) {
        literals.push_back(literal);
    } else {
        literals.insert(literals.begin() + static_cast<std::ptrdiff_t>(firstNegative), literal);
        ++firstNegative;
    }
}

}  // namespace veltra
