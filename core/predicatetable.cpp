// core/predicatetable.cpp: predicate registration and the built-in
// predicates every run starts with.
#include "core/predicatetable.h"

#include <cstring>
#include <memory>

#include "core/options.h"
#include "core/rule.h"

namespace veltra {

PREDICATETABLE predicateTable;

bool isInternalName(const char* name) {
    return (name[0] == '"' && name[1] == '_') || std::strncmp(name, "aux#", 4) == 0 || name[0] == '#' ||
           (name[0] == '_' && name[1] == '_');
}

std::pair<int32_t, bool> addPredicate(PREDICATETABLE& table, const NAME& name, int32_t arity, int32_t kind) {
    int32_t before = table.count;
    int32_t i = table.insert(name);
    if (i == before) {
        table.arities.push_back(arity);
        table.kinds.push_back(kind);
        table.internal.push_back(kind != KIND_BUILTIN && isInternalName(name.text()));
        return {i, true};
    }
    if (table.arities[i] != arity) return {i, false};
    if (kind == KIND_UNKNOWN || table.kinds[i] == kind) return {i, true};
    if (table.kinds[i] == KIND_UNKNOWN) {
        table.kinds[i] = kind;
        return {i, true};
    }
    return {i, false};
}

bool renamePredicate(PREDICATETABLE& table, int32_t p, const NAME& newName) {
    auto [it, isNew] = table.indexOf.emplace(newName, p);
    if (!isNew) return false;
    table.byIndex[p] = &*it;
    return true;
}

static const char* const builtinNames[10] = {"==", "!=", "<", ">", "<=", ">=", "#int", "#succ", "+", "*"};

void registerBuiltins() {
    for (int i = 0; i < 10; ++i) addPredicate(predicateTable, NAME(builtinNames[i]), OPTIONS.builtinArities[i], KIND_BUILTIN);
    if (objects.empty()) {
        auto object = std::make_unique<OBJECT>();
        object->name = symbolTable.insert(NAME("#defaultobject"));
        object->isDefault = true;
        objects.push_back(std::move(object));
    }
}

}  // namespace veltra
