// core/atom.cpp: construction, deep copy, order and printing of atoms and
// conjunctions. The only place that allocates or frees an atom's payload.
#include "core/atom.h"

#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "core/aggregate.h"
#include "core/blockpool.h"
#include "core/conjunction.h"
#include "core/finish.h"
#include "core/groundprogram.h"

namespace veltra {

TERMLIST* TERMLIST::make(const TERM* first, size_t n, size_t capacity) {
    if (capacity < n) capacity = n;
    if (capacity > UINT32_MAX) internalError("argument list too long");
    void* block = allocateBlock(sizeof(TERMLIST) + capacity * sizeof(TERM));
    TERMLIST* list = new (block) TERMLIST();
    list->size_ = uint32_t(n);
    list->capacity_ = uint32_t(capacity);
    std::uninitialized_copy_n(first, n, list->data());
    return list;
}

void TERMLIST::destroy(TERMLIST* list) {
    const size_t bytes = sizeof(TERMLIST) + list->capacity_ * sizeof(TERM);
    list->~TERMLIST();
    releaseBlock(list, bytes);
}

const TERMLIST& TERMLIST::none() {
    static const TERMLIST empty;
    return empty;
}

static TERMLIST* copyTerms(const std::vector<TERM>& terms) { return TERMLIST::make(terms.data(), terms.size(), 0); }
static TERMLIST* copyTerms(const TERMLIST& terms) { return TERMLIST::make(terms.data(), terms.size(), 0); }

ATOM::ATOM(const char* name, const std::vector<TERM>* terms, int32_t kind) {
    int32_t arity = terms ? static_cast<int32_t>(terms->size()) : 0;
    auto [index, ok] = addPredicate(predicateTable, NAME(name), arity, kind);
    if (!ok && kind != KIND_LOOKUP) {
        if (predicateTable.arities[index] == arity) internalError("ATOM constructor");
        std::cerr << name << ", first used with arity " << predicateTable.arities[index] << ", now seen with arity "
                  << arity << ".\n";
        std::exit(1);
    }
    predicate = index;
    if (terms) payload_ = copyTerms(*terms);
}

ATOM::ATOM(int32_t p, const std::vector<TERM>& terms) : predicate(p), payload_(copyTerms(terms)) {}

ATOM::ATOM(int32_t p, const TERMLIST& terms) : predicate(p), payload_(copyTerms(terms)) {}

ATOM::ATOM(int32_t p, AGGREGATEATOM* aggregate) : predicate(p), isAggregate_(true), payload_(aggregate) {}

ATOM::ATOM(const ATOM& pattern, const TERM* bindings) : predicate(pattern.predicate), isAggregate_(pattern.isAggregate_) {
    if (pattern.isAggregate()) {
        payload_ = new AGGREGATEATOM(*pattern.aggregate(), bindings);
        return;
    }
    const TERMLIST* src = pattern.terms();
    if (!src) return;
    TERMLIST* dst = copyTerms(*src);
    for (TERM& t : *dst)
        if (t.kind == TERM_VARIABLE && !bindings[t.index].isNull()) t = bindings[t.index];
    payload_ = dst;
}

ATOM::ATOM(const ATOM& other) : predicate(other.predicate), isAggregate_(other.isAggregate_) {
    if (!other.payload_) return;
    if (other.isAggregate())
        payload_ = new AGGREGATEATOM(*other.aggregate());
    else
        payload_ = copyTerms(*other.terms());
}

ATOM& ATOM::operator=(const ATOM& other) {
    if (this == &other) return *this;
    ATOM copy(other);
    return *this = std::move(copy);
}

ATOM& ATOM::operator=(ATOM&& other) noexcept {
    if (this == &other) return *this;
    release();
    predicate = other.predicate;
    isAggregate_ = other.isAggregate_;
    payload_ = other.payload_;
    other.payload_ = nullptr;
    return *this;
}

ATOM::~ATOM() { release(); }

void ATOM::release() {
    if (!payload_) return;
    if (isAggregate_)
        delete static_cast<AGGREGATEATOM*>(payload_);
    else
        TERMLIST::destroy(static_cast<TERMLIST*>(payload_));
    payload_ = nullptr;
    isAggregate_ = false;
}

void ATOM::setTerms(const std::vector<TERM>* terms) {
    release();
    if (terms) payload_ = copyTerms(*terms);
}

TERM* ATOM::resizeTerms(size_t n) {
    TERMLIST* list = terms();
    if (!list || list->capacity_ < n) {
        TERMLIST* grown = TERMLIST::make(list ? list->data() : nullptr, list ? list->size() : 0, n);
        release();
        payload_ = list = grown;
    }
    list->size_ = uint32_t(n);
    return list->data();
}

bool ATOM::isGround() const {
    if (const auto* t = terms()) {
        for (const TERM& x : *t)
            if (x.kind == TERM_VARIABLE) return false;
    }
    return true;
}

CONJUNCTION::CONJUNCTION(const CONJUNCTION& other) : literals(other.literals) { recomputeFirstNegative(); }

CONJUNCTION& CONJUNCTION::operator=(const CONJUNCTION& other) {
    if (this != &other) {
        literals = other.literals;
        recomputeFirstNegative();
    }
    return *this;
}

void CONJUNCTION::recomputeFirstNegative() { firstNegative = firstNegativeOf(literals); }

void CONJUNCTION::addLiteral(const LITERAL& literal) { addPositiveFirst(literals, firstNegative, literal); }

bool atomFromName(const char* name, const std::vector<TERM>* terms, ATOM& target) {
    int32_t p = predicateTable.find(NAME(name));
    if (p < 0) return false;
    ATOM a;
    a.predicate = p;
    if (terms) a.setTerms(terms);
    target = std::move(a);
    return true;
}

static int sign(int64_t d) { return (d > 0) - (d < 0); }

static int compareConjunctions(const CONJUNCTION& a, const CONJUNCTION& b) {
    if (a.size() != b.size()) return sign(int64_t(a.size()) - int64_t(b.size()));
    for (size_t i = 0; i < a.size(); ++i) {
        if (a.literals[i].negated != b.literals[i].negated) return sign(int(a.literals[i].negated) - b.literals[i].negated);
        if (int c = compareAtoms(a.literals[i], b.literals[i])) return c;
    }
    return 0;
}

static int compareAggregates(const AGGREGATEATOM& a, const AGGREGATEATOM& b) {
    if (a.lowerInclusive != b.lowerInclusive) return sign(int(a.lowerInclusive) - b.lowerInclusive);
    if (int c = compareTerms(a.lowerGuard, b.lowerGuard)) return c;
    if (a.upperInclusive != b.upperInclusive) return sign(int(a.upperInclusive) - b.upperInclusive);
    if (int c = compareTerms(a.upperGuard, b.upperGuard)) return c;
    if (a.assignment != b.assignment) return sign(int(a.assignment) - b.assignment);
    const AGGREGATEFUNCTION& fa = a.fn();
    const AGGREGATEFUNCTION& fb = b.fn();
    if (fa.kind != fb.kind) return sign(int64_t(fa.kind) - fb.kind);
    // Element terms and whole bodies: two aggregates are equal only when
    // their whole conjunctions are.
    if (fa.elementTerms.size() != fb.elementTerms.size())
        return sign(int64_t(fa.elementTerms.size()) - int64_t(fb.elementTerms.size()));
    for (size_t i = 0; i < fa.elementTerms.size(); ++i)
        if (int c = compareTerms(fa.elementTerms[i], fb.elementTerms[i])) return c;
    if (int c = compareConjunctions(fa.body, fb.body)) return c;
    const GROUNDSET* pa = fa.setOrNull();
    const GROUNDSET* pb = fb.setOrNull();
    if (!pa != !pb) return pa ? 1 : -1;
    if (pa) {
        const GROUNDSET& sa = *pa;
        const GROUNDSET& sb = *pb;
        if (sa.size() != sb.size()) return sign(int64_t(sa.size()) - int64_t(sb.size()));
        for (size_t i = 0; i < sa.size(); ++i) {
            if (int c = compareTerms(sa.elements[i].value, sb.elements[i].value)) return c;
            if (sa.elements[i].atom != sb.elements[i].atom) return sign(int64_t(sb.elements[i].atom) - sa.elements[i].atom);
        }
    }
    if (fa.lower != fb.lower) return fa.lower < fb.lower ? -1 : 1;
    if (fa.upper != fb.upper) return fa.upper < fb.upper ? -1 : 1;
    if (fa.extra1() != fb.extra1()) return fa.extra1() < fb.extra1() ? -1 : 1;
    if (fa.extra2() != fb.extra2()) return fa.extra2() < fb.extra2() ? -1 : 1;
    return 0;
}

int compareAtoms(const ATOM& a, const ATOM& b) {
    if (a.predicate != b.predicate) return sign(int64_t(a.predicate) - b.predicate);
    if (a.isAggregate()) return compareAggregates(*a.aggregate(), *b.aggregate());
    const TERMLIST* ta = a.terms();
    const TERMLIST* tb = b.terms();
    size_t na = ta ? ta->size() : 0, nb = tb ? tb->size() : 0;
    if (na != nb) return sign(int64_t(na) - int64_t(nb));
    for (size_t i = 0; i < na; ++i)
        if (int c = compareTerms((*ta)[i], (*tb)[i])) return c;
    return 0;
}

// An upper guard that was not written prints as the integer it once stood for.
static void printGuard(std::ostream& out, const TERM& g) {
    if (g.kind == TERM_VARIABLE || g.kind == TERM_INTEGER) printTerm(out, g);
    if (g.isNull()) out << INT32_MAX;
}

static void printTermList(std::ostream& out, const TERMLIST& terms, size_t from) {
    out << '(';
    for (size_t i = from; i < terms.size(); ++i) {
        if (i > from) out << ',';
        printTerm(out, terms[i]);
    }
    out << ')';
}

std::ostream& printAtom(std::ostream& out, const ATOM& atom) {
    if (!atom.isAggregate()) {
        out << predicateTable.name(atom.predicate).str();
        const TERMLIST* t = atom.terms();
        if (t && !t->empty()) printTermList(out, *t, 0);
        return out;
    }
    const AGGREGATEATOM& agg = *atom.aggregate();
    const AGGREGATEFUNCTION& fn = agg.fn();
    printGuard(out, agg.lowerGuard);
    out << (agg.lowerInclusive ? " <= " : " < ") << fn.keyword() << '{';
    const GROUNDSET* set = fn.setOrNull();
    if (set && !set->empty()) {
        const char* sep = "";
        for (const GROUNDSETELEMENT& e : *set) {
            out << sep << '<';
            printTerm(out, e.value) << ',';
            printAtom(out, groundAtom(e.atom)) << '>';
            sep = ",";
        }
    } else {
        const char* sep = "";
        for (const TERM& t : fn.elementTerms) {
            out << sep;
            printTerm(out, t);
            sep = ",";
        }
        out << " : ";
        if (!fn.body.empty()) printAtom(out, fn.body.literals[0]);
    }
    out << '}' << (agg.upperInclusive ? " <= " : " < ");
    printGuard(out, agg.upperGuard);
    return out;
}

std::ostream& printOutputAtom(std::ostream& out, const ATOM& atom) {
    const std::string& name = predicateTable.name(atom.predicate).str();
    out << name;
    const TERMLIST* t = atom.terms();
    if (!t || t->empty()) return out;
    std::string complement = name[0] == '-' ? name.substr(1) : "-" + name;
    size_t from = predicateTable.find(NAME(complement)) >= 0 ? 1 : 0;
    if (from < t->size()) printTermList(out, *t, from);
    return out;
}

static void appendTermList(std::string& out, const TERMLIST& terms, size_t from) {
    out += '(';
    for (size_t i = from; i < terms.size(); ++i) {
        if (i > from) out += ',';
        appendTerm(out, terms[i]);
    }
    out += ')';
}

void appendAtom(std::string& out, const ATOM& atom) {
    if (atom.isAggregate()) {
        // Never part of a model; formed by the stream printer.
        std::ostringstream text;
        printAtom(text, atom);
        out += text.str();
        return;
    }
    out += predicateTable.name(atom.predicate).str();
    const TERMLIST* t = atom.terms();
    if (t && !t->empty()) appendTermList(out, *t, 0);
}

void appendOutputAtom(std::string& out, const ATOM& atom) {
    const std::string& name = predicateTable.name(atom.predicate).str();
    out += name;
    const TERMLIST* t = atom.terms();
    if (!t || t->empty()) return;
    std::string complement = name[0] == '-' ? name.substr(1) : "-" + name;
    size_t from = predicateTable.find(NAME(complement)) >= 0 ? 1 : 0;
    if (from < t->size()) appendTermList(out, *t, from);
}

std::ostream& printLiterals(std::ostream& out, const CONJUNCTION& body, const char* separator) {
    const char* sep = "";
    for (const LITERAL& l : body.literals) {
        out << sep << (l.negated ? "not " : "");
        printAtom(out, l);
        sep = separator;
    }
    return out;
}

}  // namespace veltra
