// driver/startup.cpp: the tables every run starts with.
#include <memory>

#include "core/rule.h"
#include "driver/run.h"

namespace veltra {

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
