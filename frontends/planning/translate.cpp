// frontends/planning/translate.cpp: the planning problem and the background
// program become one program over the time steps 0 .. plan length.
#include <iostream>
#include <sstream>

#include "analysis/depgraph.h"
#include "core/rule.h"
#include "core/finish.h"
#include "core/options.h"
#include "frontends/planning/planning.h"
#include "input/parse.h"
#include "input/program.h"

namespace veltra {

namespace {

// The executability conditions of the actions depend on each other in a cycle.
bool executabilityCyclic = false;

[[noreturn]] void fail(const char* message) {
    std::cout.flush();
    std::cerr << message << '\n';
    finish(1);
}

void warn(const char* message) {
    std::cout.flush();
    std::cerr << message << '\n';
}

bool hasActionHeadAndIfPart(const PLANNINGSTATEMENT& s) {
    return s.head && s.ifPart && isActionName(s.head->name);
}

// The background program: no weak constraints, no aggregates, no planning
// names; unstratified or disjunctive parts only warned about.
void checkBackground() {
    if (!weakConstraints.empty()) fail("Background knowledge must not contain weak constraints.");
    auto hasAggregate = [](const CONJUNCTION& body) {
        for (const LITERAL& l : body.literals)
            if (predicateTable.kinds[l.predicate] == KIND_AGGREGATE) return true;
        return false;
    };
    bool aggregates = false;
    for (const CONSTRAINT& c : constraints) aggregates = aggregates || hasAggregate(c.body);
    for (const RULE& r : rules) aggregates = aggregates || (r.body && hasAggregate(*r.body));
    if (aggregates) fail("Background knowledge must not contain aggregates.");

    DG dg(rules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_FULL);
    dg.computeComponentFlags();
    for (size_t c = 0; c < dg.componentCount(); ++c) {
        if (dg.notStratified[c] || dg.disjunctive[c]) {
            warn("Warning: Background knowledge is either unstratified or includes disjunction.");
            break;
        }
    }

    auto inBackground = [](const std::string& name) {
        return predicateTable.find(NAME(name)) >= 0 || predicateTable.find(NAME("-" + name)) >= 0;
    };
    for (int32_t i = 0; i < fluentTable.count; ++i)
        if (inBackground(fluentTable.name(i).str()))
            fail("Predicate names used in the background knowledge can not be used as fluent names.");
    for (int32_t i = 0; i < actionTable.count; ++i)
        if (inBackground(actionTable.name(i).str()))
            fail("Predicate names used in the background knowledge can not be used as action names.");
}

// Whether the executability conditions of the actions form a cycle.
void findExecutabilityCycles() {
    std::vector<RULE> graphRules;
    for (const PLANNINGSTATEMENT& s : planningRules) {
        if (!hasActionHeadAndIfPart(s)) continue;
        for (const PLANNINGBODYLITERAL& b : *s.ifPart) {
            if (b.naf || !isActionName(b.literal.name)) continue;
            std::vector<ATOM> head{ATOM(("$" + s.head->name).c_str(), nullptr, KIND_IDB)};
            CONJUNCTION body;
            body.addLiteral(LITERAL(ATOM(("$" + b.literal.name).c_str(), nullptr, KIND_UNKNOWN), false));
            graphRules.emplace_back(&head, &body);
        }
    }
    if (graphRules.empty()) return;
    DG dg(graphRules, std::vector<CONSTRAINT>(), DEPGRAPH_DG_HCF_TEST);
    executabilityCyclic = dg.isCyclic();
}

// "executable a if B" becomes "caused $exec_a if B", a free guess of a, and
// the constraint that a is executed only where $exec_a holds.
void splitExecutability() {
    size_t count = planningRules.size();
    for (size_t i = 0; i < count; ++i) {
        if (!hasActionHeadAndIfPart(planningRules[i])) continue;
        PLANNINGLITERAL action = *planningRules[i].head;
        PLANNINGLITERAL exec(false, "$exec_" + action.name, nullptr);
        if (action.args) exec.args = std::make_unique<std::vector<std::string>>(*action.args);

        PLANNINGSTATEMENT guess;
        guess.guessed = true;
        guess.head = std::make_unique<PLANNINGLITERAL>(action);
        PLANNINGSTATEMENT constraint;
        constraint.afterPart = std::make_unique<PLANNINGLITERALLIST>();
        constraint.afterPart->push_back(PLANNINGBODYLITERAL{false, action});
        constraint.afterPart->push_back(PLANNINGBODYLITERAL{true, exec});

        planningRules[i].head = std::make_unique<PLANNINGLITERAL>(exec);
        planningRules[i].guessed = false;
        planningRules.push_back(std::move(guess));
        planningRules.push_back(std::move(constraint));
    }
}

// The plan length in use, and the time facts of its steps.
int32_t fixPlanLength() {
    int32_t n = 0;
    if (OPTIONS.goalPlanLength >= 0)
        n = OPTIONS.goalPlanLength;
    else if (OPTIONS.planLength >= 0)
        n = OPTIONS.planLength;
    else
        warn("Warning: No plan length given. Plan length defaults to zero.");
    OPTIONS.planLength = n;
    if (n > OPTIONS.maxIntegerInInput) OPTIONS.maxIntegerInInput = n;
    if (OPTIONS.maxInt >= 0 && OPTIONS.maxInt < n) warn("Warning: #maxint is smaller than plan length.");
    for (int32_t t = 0; t <= n; ++t) {
        std::vector<TERM> now{integerTerm(t)};
        edbFacts.add(ATOM("$time", &now, KIND_EDB));
        if (t < n) {
            std::vector<TERM> next{integerTerm(t), integerTerm(t + 1)};
            edbFacts.add(ATOM("$actiontime", &now, KIND_EDB));
            edbFacts.add(ATOM("$nexttime", &next, KIND_EDB));
        }
    }
    return n;
}

TERM goalTerm(const std::string& text) {
    if (std::isdigit(static_cast<unsigned char>(text[0])))
        return integerTerm(static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10)));
    if (text == "_") return variableTerm(static_cast<int32_t>(nextVariable++));
    return termFromIdentifier(text.c_str());
}

// ":- not $goal." and "$goal :- the goal literals at the last step."
void translateGoal(int32_t n) {
    if (!planningGoal) fail("No goal query has been specified.");
    PLANNINGLITERALLIST written = *planningGoal;
    for (PLANNINGBODYLITERAL& b : *planningGoal) {
        if (!isFluentName(b.literal.name)) fail("Only fluent literals allowed in planning goal queries.");
        b.literal.appendArgument(std::to_string(n));
    }
    CONJUNCTION notGoal;
    notGoal.addLiteral(LITERAL(ATOM("$goal", nullptr, KIND_IDB), true));
    constraints.emplace_back(notGoal, false);

    resetVariables();
    CONJUNCTION body;
    for (const PLANNINGBODYLITERAL& b : *planningGoal) {
        std::vector<TERM> terms;
        for (const std::string& a : *b.literal.args) terms.push_back(goalTerm(a));
        const char* name = b.literal.name.c_str();
        ATOM atom = b.literal.trueNegated ? makeTrueNegatedAtom(name, &terms) : ATOM(name, &terms, KIND_IDB);
        body.addLiteral(LITERAL(std::move(atom), b.naf));
    }
    if (!isBodySafe(body)) {
        std::cout.flush();
        std::cerr << "Goal query is not safe:\n   ";
        printPlanningLiterals(std::cerr, written) << "? (" << n << ")\n";
        finish(1);
    }
    std::vector<ATOM> head{ATOM("$goal", nullptr, KIND_IDB)};
    rules.emplace_back(&head, &body);
    resetVariables();
}

}  // namespace

void translatePlanningProblem() {
    checkBackground();
    findExecutabilityCycles();
    for (const PLANNINGSTATEMENT& d : planningDeclarations)
        if (d.costs) translateActionCosts(d);
    if (executabilityCyclic) splitExecutability();
    for (size_t i = 0; i < planningRules.size(); ++i) {
        addRequiresLiterals(planningRules[i]);
        translateCausationRule(planningRules[i]);
    }
    constrainNumberOfActions();
    int32_t n = fixPlanLength();
    translateGoal(n);
    internAtom(ATOM("$abs", nullptr, KIND_IDB));
    internAtom(ATOM("$goal", nullptr, KIND_IDB));
}

}  // namespace veltra
