// fuzz/mainlanguage.cpp: libFuzzer target of the main-language reader. The
// first byte chooses a user file (even) or generated text (odd); the rest is
// the program text. Every input starts from a fresh run's state.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "core/groundprogram.h"
#include "core/options.h"
#include "core/predicatetable.h"
#include "core/rule.h"
#include "input/dbstatement.h"
#include "input/objects.h"
#include "input/parse.h"
#include "input/program.h"
#include "input/scan.h"

using namespace veltra;

namespace {

void resetState() {
    resetInputState();
    currentFileName = "fuzz.dl";
}

// Inputs whose run would end by design rather than return: a predicate used
// with two arities ends the run, and an interval with a large bound makes a
// fact per value. Both are judged conservatively from the tokens: a name
// before "(" has the arity of the argument list up to the matching ")", any
// other name arity 0 (after a syntax error any name may begin an atom), and
// interval bounds by the numbers in the input.
bool returnsNormally(const std::string& text) {
    std::vector<SCANNEDTOKEN> tokens = scanText(text);
    std::map<std::string, size_t> arities;
    bool interval = false, largeNumber = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const SCANNEDTOKEN& t = tokens[i];
        if (t.name == "\".\"" && i + 1 < tokens.size() && tokens[i + 1].name == "\".\"") interval = true;
        if (t.name == "NUMBER" && std::strtol(t.text.c_str(), nullptr, 10) > 100) largeNumber = true;
        if (t.name != "ID" && t.name != "\"v\"") continue;
        std::string name = t.name == "ID" ? t.text : "v";
        size_t arity = 0;
        if (i + 1 < tokens.size() && tokens[i + 1].name == "\"(\"") {
            arity = 1;
            int depth = 0;
            for (size_t j = i + 1; j < tokens.size(); ++j) {
                if (tokens[j].name == "\"(\"") ++depth;
                if (tokens[j].name == "\")\"" && --depth == 0) break;
                if (tokens[j].name == "\",\"" && depth == 1) ++arity;
            }
        }
        for (const std::string& n : {name, "-" + name}) {
            auto [it, isNew] = arities.emplace(n, arity);
            if (!isNew && it->second != arity) return false;
        }
    }
    return !(interval && largeNumber);
}

// Exercise the printers on whatever was stored.
void printProgram() {
    std::ostringstream out;
    edbFacts.forEach([&](const ATOM& a) { printAtom(out, a); });
    for (const RULE& r : rules) printProgramRule(out, r);
    for (const CONSTRAINT& c : constraints) printProgramConstraint(out, c);
    for (const WEAKCONSTRAINT& w : weakConstraints) printProgramWeakConstraint(out, w);
    if (query) printLiterals(out, *query, ", ");
    for (const auto& object : objects) {
        object->overridden.forEach([&](const ATOM& a) { printAtom(out, a); });
        for (const RULE& r : object->ownRules) printProgramRule(out, r);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    bool generated = data[0] & 1;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    resetState();
    OPTIONS.internalParse = generated;
    if (!returnsNormally(text)) return 0;
    if (generated) {
        std::stringstream stream(text);
        parseFromStream(stream);
    } else {
        FILE* file = fmemopen(text.data(), text.size(), "r");
        if (!file) return 0;
        parseMainLanguage(file);
        std::fclose(file);
    }
    OPTIONS.internalParse = true;
    printProgram();
    return 0;
}
