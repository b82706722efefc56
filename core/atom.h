// core/atom.h: atoms, literals and conjunctions of the non-ground program.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/predicatetable.h"
#include "core/term.h"

namespace veltra {

struct AGGREGATEATOM;

// The arguments of an ordinary atom: their count, then the terms, in one
// allocation. A stored ground atom thus costs one block besides its
// container's node, not a vector object and its storage.
class TERMLIST {
public:
    TERMLIST(const TERMLIST&) = delete;
    TERMLIST& operator=(const TERMLIST&) = delete;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    TERM* data() { return reinterpret_cast<TERM*>(this + 1); }
    const TERM* data() const { return reinterpret_cast<const TERM*>(this + 1); }
    TERM* begin() { return data(); }
    TERM* end() { return data() + size_; }
    const TERM* begin() const { return data(); }
    const TERM* end() const { return data() + size_; }
    TERM& operator[](size_t i) { return data()[i]; }
    const TERM& operator[](size_t i) const { return data()[i]; }
    const TERM& front() const { return data()[0]; }
    const TERM& back() const { return data()[size_ - 1]; }
    std::vector<TERM> toVector() const { return std::vector<TERM>(begin(), end()); }

    // A list of n terms copied from first (n may be 0), room for capacity;
    // released by destroy. Atoms own theirs: only ATOM calls these.
    static TERMLIST* make(const TERM* first, size_t n, size_t capacity);
    static void destroy(TERMLIST* list);
    // A list without terms, for atoms without an argument list.
    static const TERMLIST& none();

private:
    friend class ATOM;
    TERMLIST() = default;

    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};
static_assert(sizeof(TERMLIST) == 8 && alignof(TERMLIST) >= alignof(TERM), "the terms follow the header");

constexpr int MAXVARIABLES = 60;  // distinct variables of one statement

// A predicate applied to argument terms, or, when the predicate is an
// aggregate (kind 4), an aggregate atom. The atom owns its payload; copies are
// deep. The atom records which payload it holds itself, so that no operation,
// the destructor included, depends on predicateTable still existing (atoms
// live in tables destroyed at process exit in unspecified order).
class ATOM {
public:
    int32_t predicate = 0;  // index into predicateTable

    ATOM() = default;
    // Registers the predicate (arity = number of terms) with kind; an arity
    // clash ends the run with status 1, a kind clash is an internal error.
    ATOM(const char* name, const std::vector<TERM>* terms, int32_t kind);
    // An ordinary atom of a known predicate; terms copied, no registration.
    ATOM(int32_t predicate, const std::vector<TERM>& terms);
    ATOM(int32_t predicate, const TERMLIST& terms);
    // An aggregate atom of a registered aggregate predicate; takes ownership.
    ATOM(int32_t predicate, AGGREGATEATOM* aggregate);
    // Instantiating copy: bound variables replaced by their bindings.
    ATOM(const ATOM& pattern, const TERM* bindings);
    ATOM(const ATOM& other);
    ATOM(ATOM&& other) noexcept : predicate(other.predicate), isAggregate_(other.isAggregate_), payload_(other.payload_) {
        other.payload_ = nullptr;
    }
    ATOM& operator=(const ATOM& other);
    ATOM& operator=(ATOM&& other) noexcept;
    ~ATOM();

    bool isAggregate() const { return isAggregate_; }
    // Arguments, or null for an atom without an argument vector or an aggregate.
    const TERMLIST* terms() const { return isAggregate() ? nullptr : static_cast<TERMLIST*>(payload_); }
    TERMLIST* terms() { return isAggregate() ? nullptr : static_cast<TERMLIST*>(payload_); }
    size_t arity() const { const auto* t = terms(); return t ? t->size() : 0; }
    // The arguments; an empty list for an atom without them or an aggregate.
    const TERMLIST& arguments() const { const auto* t = terms(); return t ? *t : TERMLIST::none(); }
    const TERM& term(size_t i) const { return (*terms())[i]; }
    TERM& term(size_t i) { return (*terms())[i]; }
    const AGGREGATEATOM* aggregate() const { return isAggregate() ? static_cast<AGGREGATEATOM*>(payload_) : nullptr; }
    AGGREGATEATOM* aggregate() { return isAggregate() ? static_cast<AGGREGATEATOM*>(payload_) : nullptr; }
    // Replaces the argument vector (predicate must not be an aggregate).
    void setTerms(const std::vector<TERM>* terms);
    // Gives an ordinary atom n arguments (those beyond the old count
    // unspecified) and returns them; allocates only when its block is too
    // small. For scratch atoms that are rewritten again and again.
    TERM* resizeTerms(size_t n);
    bool isGround() const;

private:
    void release();
    bool isAggregate_ = false;  // payload_ is an AGGREGATEATOM*
    void* payload_ = nullptr;   // TERMLIST* or AGGREGATEATOM*
};

static_assert(sizeof(void*) != 8 || sizeof(ATOM) == 16, "ATOM stays two words");

struct LITERAL : ATOM {
    uint8_t negated = 0;  // set for "not"

    LITERAL() = default;
    LITERAL(const ATOM& atom, bool neg) : ATOM(atom), negated(neg) {}
    LITERAL(ATOM&& atom, bool neg) : ATOM(std::move(atom)), negated(neg) {}
};

// Positive literals come first; firstNegative is the position of the first
// negative literal, literals.size() when there is none.
struct CONJUNCTION {
    std::vector<LITERAL> literals;
    size_t firstNegative = 0;

    CONJUNCTION() = default;
    CONJUNCTION(const CONJUNCTION& other);
    CONJUNCTION(CONJUNCTION&&) noexcept = default;
    CONJUNCTION& operator=(const CONJUNCTION& other);
    CONJUNCTION& operator=(CONJUNCTION&&) noexcept = default;

    void addLiteral(const LITERAL& literal);
    void recomputeFirstNegative();
    size_t size() const { return literals.size(); }
    bool empty() const { return literals.empty(); }
};

// Looks name up without registering it; false when absent.
bool atomFromName(const char* name, const std::vector<TERM>* terms, ATOM& target);

// Three-way order of atoms: the order of every atom set and the equality test.
int compareAtoms(const ATOM& a, const ATOM& b);
struct ATOMLESS {
    bool operator()(const ATOM& a, const ATOM& b) const { return compareAtoms(a, b) < 0; }
};

std::ostream& printAtom(std::ostream& out, const ATOM& atom);
// An atom of an answer set when the input defines objects.
std::ostream& printOutputAtom(std::ostream& out, const ATOM& atom);
// The texts of printAtom and printOutputAtom, appended to out.
void appendAtom(std::string& out, const ATOM& atom);
void appendOutputAtom(std::string& out, const ATOM& atom);
// Literals joined by separator, "not " before negative ones.
std::ostream& printLiterals(std::ostream& out, const CONJUNCTION& body, const char* separator);

}  // namespace veltra
