// grounding/propositional.cpp: the grounder for variable-free input: every
// item becomes its ground record once its EDB literals are decided.
#include <algorithm>
#include <iostream>

#include "grounding/grounder.h"

namespace veltra {

bool groundPropositionalBody(const CONJUNCTION& body, const ATOMSET& facts, GROUNDCONJUNCTION& groundBody) {
    static const TERM noBindings[MAXVARIABLES];
    for (const LITERAL& l : body.literals) {
        const int32_t kind = predicateTable.kinds[l.predicate];
        if (kind == KIND_EDB) {
            if (facts.contains(l) != !l.negated) return false;
            continue;
        }
        if (kind == KIND_AGGREGATE) {
            internAggregateLiteral(l, noBindings, groundBody);
            continue;
        }
        groundBody.addLiteralIfAbsent(GROUNDLITERAL{internAtom(l), l.negated});
    }
    return true;
}

bool groundPropositional(const std::vector<RULE>& inputRules, const std::vector<CONSTRAINT>& inputConstraints,
                         const std::vector<WEAKCONSTRAINT>& inputWeakConstraints, const ATOMSET& facts,
                         std::vector<GROUNDRULE>& outRules, std::vector<GROUNDCONSTRAINT>& outConstraints,
                         std::vector<GROUNDWEAKCONSTRAINT>& outWeakConstraints,
                         std::vector<GROUNDWEAKCONSTRAINT>& outViolated, bool instantiate) {
    std::vector<ATOMID> head;
    GROUNDCONJUNCTION body;
    for (const RULE& r : inputRules) {
        head.clear();
        if (r.head)
            for (const ATOM& h : *r.head) {
                ATOMID id = internAtom(h);
                if (std::find(head.begin(), head.end(), id) == head.end()) head.push_back(id);
            }
        body.literals.clear();
        body.firstNegative = 0;
        if (r.body && !groundPropositionalBody(*r.body, facts, body)) continue;
        outRules.emplace_back(&head, body.literals.empty() ? nullptr : &body);
    }
    for (const CONSTRAINT& c : inputConstraints) {
        body.literals.clear();
        body.firstNegative = 0;
        if (!groundPropositionalBody(c.body, facts, body)) continue;
        if (!body.literals.empty()) {
            outConstraints.emplace_back();
            outConstraints.back().body = body;
            continue;
        }
        if (instantiate) {
            std::cout << "% A constraint will always be violated, \n"
                         "% so this program does not have any answer set.\n"
                         ":- not a_Constant_Never_Occurring_In_Regular_Programs.\n";
            outRules.clear();
            outConstraints.clear();
        }
        return false;
    }
    for (const WEAKCONSTRAINT& w : inputWeakConstraints) {
        if (w.level.kind == TERM_INTEGER &&
            static_cast<uint32_t>(integerValue(w.level)) > static_cast<uint32_t>(maxWeakConstraintLevel))
            maxWeakConstraintLevel = integerValue(w.level);
        body.literals.clear();
        body.firstNegative = 0;
        if (!groundPropositionalBody(w.body, facts, body)) continue;
        std::vector<GROUNDWEAKCONSTRAINT>& target = body.literals.empty() ? outViolated : outWeakConstraints;
        target.emplace_back();
        target.back().body = body;
        target.back().weight = w.weight;
        target.back().level = w.level;
    }
    return true;
}

}  // namespace veltra
