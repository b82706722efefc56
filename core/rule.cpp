// core/rule.cpp: rule construction and printing; the input containers.
#include "core/rule.h"

namespace veltra {

std::vector<RULE> rules;
std::vector<CONSTRAINT> constraints;
std::vector<WEAKCONSTRAINT> weakConstraints;
std::unique_ptr<CONJUNCTION> query;
std::vector<std::unique_ptr<OBJECT>> objects;
bool objectsUsed = false;
bool strictRulesUsed = false;
std::vector<int32_t> trueNegatedPredicates;

RULE::RULE(const std::vector<ATOM>* h, const CONJUNCTION* b)
    : head(h ? std::make_unique<std::vector<ATOM>>(*h) : nullptr),
      body(b ? std::make_unique<CONJUNCTION>(*b) : nullptr) {}

RULE::RULE(const RULE& other) : RULE(other.head.get(), other.body.get()) {}

RULE& RULE::operator=(const RULE& other) {
    if (this != &other) {
        head = other.head ? std::make_unique<std::vector<ATOM>>(*other.head) : nullptr;
        body = other.body ? std::make_unique<CONJUNCTION>(*other.body) : nullptr;
    }
    return *this;
}

std::ostream& printProgramRule(std::ostream& out, const RULE& rule) {
    if (rule.head) {
        const char* sep = "";
        for (const ATOM& a : *rule.head) {
            out << sep;
            printAtom(out, a);
            sep = " v ";
        }
    }
    if (rule.body) {
        out << " :- ";
        printLiterals(out, *rule.body, ", ");
    }
    return out << '.';
}

std::ostream& printProgramConstraint(std::ostream& out, const CONSTRAINT& c) {
    out << ":- ";
    return printLiterals(out, c.body, ", ") << '.';
}

static void printWeightOrLevel(std::ostream& out, const TERM& t, bool isWeight) {
    if (t.kind == TERM_VARIABLE)
        out << '_' << t.index;
    else if (t.kind == TERM_INTEGER)
        out << (isWeight ? integerValue(t) / 1000 : integerValue(t));
}

std::ostream& printProgramWeakConstraint(std::ostream& out, const WEAKCONSTRAINT& c) {
    out << ":~ ";
    printLiterals(out, c.body, ", ") << ". [";
    printWeightOrLevel(out, c.weight, true);
    out << ':';
    printWeightOrLevel(out, c.level, false);
    return out << ']';
}

ATOMSET& OBJECT::facts() { return isDefault ? edbFacts : ownFacts; }
std::vector<RULE>& OBJECT::rules() { return isDefault ? veltra::rules : ownRules; }

}  // namespace veltra
