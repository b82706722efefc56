// core/rule.h: rules, constraints and weak constraints of the non-ground
// program, and the process-wide input containers.
#pragma once
#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "core/atom.h"
#include "core/groundprogram.h"

namespace veltra {

struct RULE {
    std::unique_ptr<std::vector<ATOM>> head;  // the disjunction; null: no head
    std::unique_ptr<CONJUNCTION> body;        // null: a fact or disjunctive fact

    RULE() = default;
    RULE(const std::vector<ATOM>* head, const CONJUNCTION* body);  // deep copies
    RULE(const RULE& other);
    RULE& operator=(const RULE& other);
    RULE(RULE&&) noexcept = default;
    RULE& operator=(RULE&&) noexcept = default;
};

struct CONSTRAINT {
    CONJUNCTION body;
    uint8_t generated = 0;  // added by the system itself

    CONSTRAINT() = default;
    CONSTRAINT(const CONJUNCTION& b, bool gen) : body(b), generated(gen) {}
};

struct WEAKCONSTRAINT : CONSTRAINT {
    TERM weight;  // integer (times 1000) or a variable bound by the body
    TERM level;   // integer or a variable bound by the body
};

// "h1 v h2 :- b, not c."; a rule without head starts with a blank.
std::ostream& printProgramRule(std::ostream& out, const RULE& rule);
// ":- b, not c."
std::ostream& printProgramConstraint(std::ostream& out, const CONSTRAINT& c);
// ":~ b. [w:l]"; integer weights print divided by 1000.
std::ostream& printProgramWeakConstraint(std::ostream& out, const WEAKCONSTRAINT& c);

// One object of the inheritance language. Object 0, "#defaultobject", uses
// edbFacts and rules; every other object owns its facts and rules.
struct OBJECT {
    int32_t name = 0;              // symbolTable index
    std::vector<int32_t> parents;  // object indices
    ATOMSET ownFacts;
    std::vector<RULE> ownRules;
    ATOMSET overridden;  // atoms a descendant defines with the complementary predicate
    bool isDefault = false;

    ATOMSET& facts();
    std::vector<RULE>& rules();
};

extern std::vector<RULE> rules;
extern std::vector<CONSTRAINT> constraints;
extern std::vector<WEAKCONSTRAINT> weakConstraints;
extern std::unique_ptr<CONJUNCTION> query;     // null: no query
extern std::vector<std::unique_ptr<OBJECT>> objects;
extern bool objectsUsed;                       // objects beyond object 0
extern bool strictRulesUsed;
extern std::vector<int32_t> trueNegatedPredicates;  // ascending predicate indices of "-p"

}  // namespace veltra
