// core/term.cpp: the constant and integer tables and term order.
#include "core/term.h"

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

}  // namespace veltra
