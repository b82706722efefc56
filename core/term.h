// core/term.h: terms and the dense numbering tables of constants and integers.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

namespace veltra {

enum : int32_t { TERM_VARIABLE = 0, TERM_SYMBOL = 1, TERM_INTEGER = 2, TERM_NULL = 3 };

// A term never holds text or a value itself, only an index into symbolTable or
// numberTable, so comparing, hashing and binding are integer work.
struct TERM {
    int32_t kind = TERM_NULL;  // TERM_VARIABLE .. TERM_NULL
    int32_t index = 0;         // variable number (0..59), or table index

    TERM() = default;
    TERM(int32_t k, int32_t i) : kind(k), index(i) {}
    bool isVariable() const { return kind == TERM_VARIABLE; }
    bool isNull() const { return kind == TERM_NULL; }
    bool operator==(const TERM& o) const { return kind == o.kind && (kind == TERM_NULL || index == o.index); }
    bool operator!=(const TERM& o) const { return !(*this == o); }
};
static_assert(sizeof(TERM) == 8, "TERM is two words");

// Owned text, ordered byte-wise (bytes unsigned, a prefix first).
class NAME {
public:
    NAME() = default;
    NAME(const char* s) : text_(s) {}
    NAME(std::string s) : text_(std::move(s)) {}
    const char* text() const { return text_.c_str(); }
    const std::string& str() const { return text_; }
    bool operator<(const NAME& o) const { return text_ < o.text_; }
    bool operator==(const NAME& o) const { return text_ == o.text_; }
    bool operator!=(const NAME& o) const { return text_ != o.text_; }

private:
    std::string text_;
};

struct NAMEHASH {
    size_t operator()(const NAME& n) const { return std::hash<std::string>()(n.str()); }
};

// A dense numbering of keys: indices are handed out from 0 in order of first
// insertion, never removed or renumbered. byIndex points into the node-based
// map, whose nodes never move.
template <class KEY, class HASH = std::hash<KEY>>
struct INDEXTABLE {
    using ENTRY = std::pair<const KEY, int32_t>;
    std::unordered_map<KEY, int32_t, HASH> indexOf;
    std::vector<const ENTRY*> byIndex;
    int32_t count = 0;

    // The index of key, entering it first when new. A known key allocates
    // nothing.
    int32_t insert(const KEY& key) {
        auto it = indexOf.find(key);
        if (it != indexOf.end()) return it->second;
        it = indexOf.emplace(key, count).first;
        byIndex.push_back(&*it);
        return count++;
    }
    // The index of key, or -1 when absent.
    int32_t find(const KEY& key) const {
        auto it = indexOf.find(key);
        return it == indexOf.end() ? -1 : it->second;
    }
    const KEY& key(int32_t index) const { return byIndex[index]->first; }
};

using SYMBOLTABLE = INDEXTABLE<NAME, NAMEHASH>;

// The integers, with their values also in a flat array: comparing integer
// terms is the grounder's most frequent operation and must not chase a
// pointer into the map.
struct NUMBERTABLE : INDEXTABLE<int32_t> {
    std::vector<int32_t> values;  // values[i] == key(i)

    int32_t insert(int32_t value) {
        int32_t before = count;
        int32_t index = INDEXTABLE<int32_t>::insert(value);
        if (count != before) values.push_back(value);
        return index;
    }
    int32_t key(int32_t index) const { return values[index]; }
};

extern SYMBOLTABLE symbolTable;  // symbolic constants, by first appearance
extern NUMBERTABLE numberTable;  // integers occurring as terms, key = value

inline TERM symbolTerm(const char* name) { return TERM(TERM_SYMBOL, symbolTable.insert(NAME(name))); }
inline TERM integerTerm(int32_t value) { return TERM(TERM_INTEGER, numberTable.insert(value)); }
inline TERM variableTerm(int32_t number) { return TERM(TERM_VARIABLE, number); }
inline int32_t integerValue(const TERM& t) { return numberTable.key(t.index); }
// An integer term's value, 0 for any other term (a symbolic constant has no
// entry in the number table).
inline int32_t integerOrZero(const TERM& t) { return t.kind == TERM_INTEGER ? integerValue(t) : 0; }
inline const NAME& symbolName(const TERM& t) { return symbolTable.key(t.index); }

// Three-way order: variables, then symbolic constants by first appearance,
// then integers by value, then the null term. Never overflows.
int compareTerms(const TERM& a, const TERM& b);

std::ostream& printTerm(std::ostream& out, const TERM& t);
// The text printTerm writes, appended to out: printed models are formed in
// a string, without a stream's per-insertion overhead.
void appendTerm(std::string& out, const TERM& t);

// Hash code shared by the ground-atom hash and every TERM-keyed hash map.
inline uint32_t termCode(const TERM& t) {
    if (t.kind == TERM_SYMBOL) return static_cast<uint32_t>(t.index);
    if (t.kind == TERM_INTEGER) return static_cast<uint32_t>(symbolTable.count) + static_cast<uint32_t>(integerValue(t));
    return 0;
}

}  // namespace veltra
