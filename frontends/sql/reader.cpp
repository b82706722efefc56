// frontends/sql/reader.cpp: reading one ".sql" file, and printing the result
// relation after grounding.
#include "frontends/sql/sql.h"

#include <iostream>

#include "core/predicatetable.h"
#include "core/term.h"

// The generated scanner and parser.
extern FILE* sqlyyin;
void sqlyyrestart(FILE* input);
int sqlyyparse();

namespace veltra {

void readSQLFile(FILE* file) {
    // A parse stopped by a syntax error leaves the rest of its file in the
    // scanner's buffer: start every file on a fresh one.
    sqlyyin = file;
    sqlyyrestart(file);
    sqlyyparse();
}

void printSQLResult(const ATOMSET& trueAtoms) {
    if (sqlResultPredicate.empty()) return;
    for (int32_t p = 0; p < predicateTable.count; ++p) {
        if (predicateTable.name(p).str() != sqlResultPredicate) continue;
        for (const ATOM& atom : trueAtoms.atomsOfPredicate(p)) {
            for (size_t i = 0; i < atom.arity(); ++i) {
                const TERM& t = atom.term(i);
                if (t.kind == TERM_SYMBOL) {
                    const std::string& name = symbolName(t).str();
                    std::cout << name << (name.size() <= 7 ? "\t\t" : "\t");
                } else if (t.kind == TERM_INTEGER) {
                    std::cout << integerValue(t) << "\t\t";
                } else if (t.kind == TERM_VARIABLE) {
                    std::cout << '_' << t.index << "\t\t";
                } else {
                    std::cout << "NullConst\t\t";
                }
            }
            std::cout << '\n';
        }
    }
    std::cout.flush();
}

}  // namespace veltra
