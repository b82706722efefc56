// input/scan.h: the token stream of the main-language scanner, for tests and
// tools that look at the input below the grammar.
#pragma once
#include <string>
#include <vector>

namespace veltra {

struct SCANNEDTOKEN {
    std::string name;  // grammar symbol: ID, NUMBER, ERROR, NEWLINE, or the quoted spelling ("\":-\"")
    std::string text;  // the value of ID and NUMBER, "" otherwise
};

// Scans text to its end as parseFromStream would (lexical errors reported
// and counted), without parsing it.
std::vector<SCANNEDTOKEN> scanText(const std::string& text);

}  // namespace veltra
