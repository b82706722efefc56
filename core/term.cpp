// core/term.cpp: the constant and integer tables and term order.
#include "core/term.h"

#include <charconv>

namespace veltra {

SYMBOLTABLE symbolTable;
NUMBERTABLE numberTable;

static int sign(int64_t d) { return (d > 0) - (d < 0); }

int compareTerms(const TERM& a, const TERM& b) {
    if (a.kind != b.kind) return sign(int64_t(a.kind) - b.kind);
    switch (a.kind) {
    case TERM_VARIABLE:
    case TERM_SYMBOL: return sign(int64_t(a.index) - b.index);
    case TERM_INTEGER:
        if (a.index == b.index) return 0;
        return sign(int64_t(integerValue(a)) - integerValue(b));
    default: return 0;
    }
}

std::ostream& printTerm(std::ostream& out, const TERM& t) {
    switch (t.kind) {
    case TERM_VARIABLE: return out << '_' << t.index;
    case TERM_SYMBOL: return out << symbolName(t).str();
    case TERM_INTEGER: return out << integerValue(t);
    default: return out << "NullConst";
    }
}

static void appendInteger(std::string& out, int64_t value) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, size_t(end - digits));
}

void appendTerm(std::string& out, const TERM& t) {
    switch (t.kind) {
    case TERM_VARIABLE:
        out += '_';
        appendInteger(out, t.index);
        return;
    case TERM_SYMBOL: out += symbolName(t).str(); return;
    case TERM_INTEGER: appendInteger(out, integerValue(t)); return;
    default: out += "NullConst"; return;
    }
}

}  // namespace veltra
