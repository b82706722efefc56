// input/parse.h: the entry points of the main-language reader and the common
// parse-error reporter shared by every input language.
#pragma once
#include <cstdio>
#include <sstream>
#include <string>

namespace veltra {

extern int lineNumber;               // current input line; the driver sets it per file
extern std::string currentFileName;  // "" for standard input
extern int parseErrorCount;          // counted input errors

// Writes a parse error or warning in the common format; counts nothing.
void reportParseError(const char* message);

// Reads one main-language input (a file, or standard input) to its end,
// appending to the global program containers.
void parseMainLanguage(FILE* input);

// Runs the main-language parser over program text the system generates
// ("$" names accepted); empties the stream; true when no error was counted.
bool parseFromStream(std::stringstream& text);

}  // namespace veltra
