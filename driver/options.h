// driver/options.h: the command line read into OPTIONS, the flag globals and
// the driver's own run settings (core/options.h); banner, usage and licence
// printers.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "core/options.h"

namespace veltra {

// Reads the command line left to right into OPTIONS, the flag globals and
// run. "-h", "-help" and "-license" print and exit with status 0; an
// unrecognised option prints the banner and the short usage and exits with
// status 255; a cost bound beyond maxCostBound exits with status 1.
void parseOptions(int argc, char** argv, RUNSETTINGS& run);

// The version banner on standard output, after prefix; under "-v" followed by
// the opening paragraphs of the licence.
void printBanner(const char* prefix);

// The usage text on stream; the short form sends its hint to standard output.
void printUsage(std::ostream& stream, bool full);

// The licence text, without a final line end.
extern const char* const licenceText;

// The opening of a licence text: its lines up to its third empty line (or its
// end) with the empty lines left out, then a line end.
void printLicenceOpening(std::ostream& out, const char* text);

// False when argument does not begin with name. Otherwise reads the rest as a
// signed decimal number and stores it in target when the whole rest was read
// and min <= value <= max, else warns on standard error; returns true.
bool parseIntOption(const char* name, const char* argument, int32_t& target, long min,
                    long max);

// True when both are non-null and text ends with suffix byte for byte.
bool endsWith(const char* text, const char* suffix);

// Adds the comma-separated names of text to names (empty parts too, but
// nothing after a final comma).
void parsePredicateList(const char* text, NAMESET& names);

// Appends the comma-separated unsigned numbers found from skip characters into
// text to list, warning on standard error about malformed text.
void parseHeuristicList(const char* text, size_t skip, std::vector<uint32_t>& list);

// Appends the levels of a "-costbound=" value to bounds and sets
// costBoundGiven; warns about malformed text, exits with status 1 on a bound
// beyond maxCostBound.
void parseCostBound(const char* value, std::vector<std::optional<uint32_t>>& bounds);

}  // namespace veltra
