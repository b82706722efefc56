// input/dbstatement.h: the "#import", "#export" and "#exportQueryResult"
// statements, collected for a database connection this build does not make.
#pragma once
#include <string>
#include <vector>

namespace veltra {

struct DBSTATEMENT {
    std::string database;
    std::string user;          // quotes removed
    std::string password;      // quotes removed
    std::string queryOrTable;  // import: the select text, quotes removed; export: the table
    std::string predicate;     // "" for "#exportQueryResult"
    std::string extra;         // import: type list "a, b"; export: delete condition; or ""
};

// Grouped by database: a new import goes in front of the first statement of
// its database, or at the end when there is none.
extern std::vector<DBSTATEMENT> importStatements;
// In input order.
extern std::vector<DBSTATEMENT> exportStatements;

void addImportStatement(const char* database, const char* user, const char* password, const char* select,
                        const char* predicate, const char* typeList);

// The export hook of the model printer (called once, after the first printed
// model); without a database connection it does nothing.
void exportModel();

// Whether text is enclosed in double quotes (at least two characters).
bool isQuoted(const char* text);
// text without its enclosing double quotes.
std::string unquote(const char* text);

}  // namespace veltra
