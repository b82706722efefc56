// input/dbstatement.cpp: the collected "#import" and "#export" statements.
#include "input/dbstatement.h"

#include <cstring>

namespace veltra {

std::vector<DBSTATEMENT> importStatements;
std::vector<DBSTATEMENT> exportStatements;

void addImportStatement(const char* database, const char* user, const char* password, const char* select,
                        const char* predicate, const char* typeList) {
    DBSTATEMENT statement{database, user, password, select, predicate, typeList};
    auto at = importStatements.begin();
    while (at != importStatements.end() && at->database != statement.database) ++at;
    importStatements.insert(at, std::move(statement));
}

void exportModel() {}

bool isQuoted(const char* text) {
    size_t length = std::strlen(text);
    return length >= 2 && text[0] == '"' && text[length - 1] == '"';
}

std::string unquote(const char* text) {
    size_t length = std::strlen(text);
    return length >= 2 ? std::string(text + 1, length - 2) : std::string();
}

}  // namespace veltra
