// input/objects.cpp: objects of the inheritance language, the atoms their
// descendants override, and named constants.
#include "input/objects.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>

#include "core/options.h"
#include "core/rule.h"
#include "input/dbstatement.h"
#include "input/parse.h"
#include "input/program.h"

namespace veltra {

std::unordered_map<std::string, TERM> namedConstants;

namespace {

void reportCounted(const std::string& message) {
    reportParseError(message.c_str());
    ++parseErrorCount;
}

bool startsWithCapital(const char* name) { return name[0] >= 'A' && name[0] <= 'Z'; }

// Whether object defines atom by a fact or a rule head.
bool defines(OBJECT& object, const ATOM& atom) {
    if (object.facts().contains(atom)) return true;
    for (const RULE& rule : object.rules())
        if (rule.head)
            for (const ATOM& h : *rule.head)
                if (compareAtoms(h, atom) == 0) return true;
    return false;
}

void defineConstant(const char* name, const TERM& value) {
    if (!namedConstants.emplace(name, value).second)
        reportCounted(std::string("cannot redefine named constant '") + name + "'");
}

}  // namespace

void ensureDefaultObject() {
    if (!objects.empty()) return;
    auto object = std::make_unique<OBJECT>();
    object->name = symbolTable.insert(NAME("#defaultobject"));
    object->isDefault = true;
    objects.push_back(std::move(object));
}

void defineObject(const char* name, const std::vector<int32_t>* parents) {
    ensureDefaultObject();
    auto object = std::make_unique<OBJECT>();
    object->name = symbolTable.insert(NAME(name));
    if (parents) object->parents = *parents;
    objects.push_back(std::move(object));
    currentObject = static_cast<int32_t>(objects.size() - 1);
}

// The first object of each name, for the objects up to objectsIndexed: a
// chain of k objects names k parents, and a scan of all objects per name
// would cost k*k/2.
namespace {
std::unordered_map<int32_t, int32_t> firstObjectNamed;
size_t objectsIndexed = 0;
}  // namespace

void forgetObjectNames() {
    firstObjectNamed.clear();
    objectsIndexed = 0;
}

void lookupObject(std::vector<int32_t>& list, const char* name) {
    if (objects.size() < objectsIndexed) forgetObjectNames();
    for (; objectsIndexed < objects.size(); ++objectsIndexed)
        firstObjectNamed.emplace(objects[objectsIndexed]->name, int32_t(objectsIndexed));
    const int32_t symbol = symbolTable.find(NAME(name));
    if (symbol >= 0) {
        auto it = firstObjectNamed.find(symbol);
        if (it != firstObjectNamed.end()) {
            list.push_back(it->second);
            return;
        }
    }
    reportCounted("Undefined object identifier");
}

void propagateToParentObjects(const ATOM& atom, const std::vector<int32_t>& parents) {
    // Depth first over the ancestors, as the recursion over parent lists would
    // go; an ancestor that already records the atom ends its own list. An
    // ancestor reached again on another path is not walked again: its own
    // ancestors were walked the first time, and marks only grow, so a second
    // walk would record nothing new (and diamonds would cost every path).
    struct FRAME {
        const std::vector<int32_t>* parents;
        size_t next;
    };
    static std::vector<uint32_t> visitedInWalk;  // per object: the walk that last reached it
    static uint32_t walk = 0;
    visitedInWalk.resize(objects.size(), 0);
    if (++walk == 0) {  // the stamps wrapped around: start afresh
        std::fill(visitedInWalk.begin(), visitedInWalk.end(), 0);
        walk = 1;
    }
    std::vector<FRAME> stack{{&parents, 0}};
    while (!stack.empty()) {
        FRAME& top = stack.back();
        if (top.next == top.parents->size()) {
            stack.pop_back();
            continue;
        }
        const int32_t number = (*top.parents)[top.next++];
        OBJECT& parent = *objects[number];
        if (parent.overridden.contains(atom)) {
            stack.pop_back();
            continue;
        }
        if (visitedInWalk[number] == walk) continue;
        visitedInWalk[number] = walk;
        if (defines(parent, atom)) parent.overridden.add(atom);
        stack.push_back({&parent.parents, 0});
    }
}

bool complementaryAtom(const ATOM& atom, ATOM& out) {
    const std::string& name = predicateTable.name(atom.predicate).str();
    std::string complement = name[0] == '-' ? name.substr(1) : "-" + name;
    if (!atom.terms()) return atomFromName(complement.c_str(), nullptr, out);
    const std::vector<TERM> terms = atom.terms()->toVector();
    return atomFromName(complement.c_str(), &terms, out);
}

void checkConstantName(const char* name) {
    if (startsWithCapital(name)) reportCounted("a constant name cannot start with a capital letter");
    if (isQuoted(name)) reportCounted("a constant name cannot be a quoted string");
    if (symbolTable.find(NAME(name)) >= 0) reportCounted(std::string("constant term '") + name + "' already used");
}

void defineNumberConstant(const char* name, int32_t value) {
    checkConstantName(name);
    defineConstant(name, numberTerm(value));
}

void defineNameConstant(const char* name, const char* value) {
    checkConstantName(name);
    if (startsWithCapital(value)) reportCounted("a variable cannot be assigned to a named constant");
    defineConstant(name, symbolTerm(value));
}

bool lookupNamedConstant(const char* name, TERM& value) {
    if (namedConstants.empty()) return false;
    auto it = namedConstants.find(name);
    if (it == namedConstants.end()) return false;
    value = it->second;
    return true;
}

TERM numberTerm(int32_t value) {
    if (OPTIONS.maxInt != -1 && value > OPTIONS.maxInt) reportCounted("number outside of given integer range");
    if (value > OPTIONS.maxIntegerInInput) OPTIONS.maxIntegerInInput = value;
    return integerTerm(value);
}

}  // namespace veltra
