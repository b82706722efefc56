// frontends/sql/sql.h: what the driver calls of the SQL frontend: reading a
// ".sql" file into rules, and printing the result relation after grounding.
#pragma once
#include <cstdio>
#include <string>

#include "core/groundprogram.h"

namespace veltra {

// The predicate whose tuples are the printed result: the one the first query
// statement of every ".sql" file writes; empty until such a file is read.
extern std::string sqlResultPredicate;

// Reads one ".sql" file to its end, or to its first syntax error: every
// SELECT block becomes a rule in rules. Syntax and scanner errors are
// reported and counted in parseErrorCount; translation errors end the run.
void readSQLFile(FILE* file);

// Writes the tuples of sqlResultPredicate in trueAtoms, one line each, every
// value followed by tabs.
void printSQLResult(const ATOMSET& trueAtoms);

}  // namespace veltra
