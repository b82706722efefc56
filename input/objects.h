// input/objects.h: objects of the inheritance language and named constants
// ("#const") as the parser defines them.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/atom.h"
#include "core/term.h"

namespace veltra {

// Object 0, "#defaultobject", when no object exists yet; the driver calls it
// before any input is read.
void ensureDefaultObject();

// Creates an object with the given parents (copied; null: no parent list)
// and makes it current.
void defineObject(const char* name, const std::vector<int32_t>* parents);

// Appends the number of the first object named name to list; reports and
// counts "Undefined object identifier" when there is none.
void lookupObject(std::vector<int32_t>& list, const char* name);

// Forgets the names lookupObject has indexed; called when the objects are
// cleared.
void forgetObjectNames();

// Records atom in the overridden-atom sets of the ancestors (from parents on)
// that define it by a fact or a rule head.
void propagateToParentObjects(const ATOM& atom, const std::vector<int32_t>& parents);

// The atom of the complementary predicate ("-p" for "p", "p" for "-p") with
// the same arguments; false when that predicate is not registered.
bool complementaryAtom(const ATOM& atom, ATOM& out);

// Named constants: name to an integer or a symbolic constant; never emptied.
extern std::unordered_map<std::string, TERM> namedConstants;

// The checks of a "#const" name; each failure is reported and counted.
void checkConstantName(const char* name);

// The "#const" statement with a number or a name as value.
void defineNumberConstant(const char* name, int32_t value);
void defineNameConstant(const char* name, const char* value);

// The value of a named constant; false when name is none.
bool lookupNamedConstant(const char* name, TERM& value);

// An integer written in the input as a term: range test against "#maxint"
// (reported and counted) and the largest integer seen so far.
TERM numberTerm(int32_t value);

}  // namespace veltra
