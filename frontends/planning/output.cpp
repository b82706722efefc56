// frontends/planning/output.cpp: plans with their trajectories and costs, and
// the questions of interactive planning.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "core/rule.h"
#include "core/options.h"
#include "frontends/planning/planning.h"
#include "core/cost.h"

namespace veltra {

std::set<PLANKEY> printedPlans;

namespace {

using ATOMLIST = std::vector<ATOM>;

void addAtTime(std::vector<ATOMLIST>& lists, const ATOM& atom) {
    if (atom.arity() == 0) return;
    const TERM& t = atom.term(atom.arity() - 1);
    if (t.kind != TERM_INTEGER) return;
    int32_t time = integerValue(t);
    if (time >= 0 && size_t(time) < lists.size()) lists[size_t(time)].push_back(atom);
}

// The atoms of a list without their time argument, each with its cost from
// the matching "$costs_" atom (the last match wins).
void printPlanAtoms(std::ostream& out, const ATOMLIST& list, const ATOMLIST* costList) {
    for (size_t i = 0; i < list.size(); ++i) {
        const ATOM& atom = list[i];
        const std::string& name = predicateTable.name(atom.predicate).str();
        int32_t cost = 0, level = 0;
        if (costList) {
            for (const ATOM& c : *costList) {
                const std::string& costName = predicateTable.name(c.predicate).str();
                size_t extra = costLevelsGiven ? 2 : 1;
                if (costName.size() < 7 || costName.compare(7, std::string::npos, name) != 0 || c.arity() != atom.arity() + extra) continue;
                bool same = true;
                for (size_t k = 0; k < atom.arity() && same; ++k) same = atom.term(k) == c.term(k);
                if (!same) continue;
                cost = integerOrZero(c.term(c.arity() - 1));
                if (costLevelsGiven) level = integerOrZero(c.term(c.arity() - 2));
            }
        }
        out << (i ? ", " : "") << name;
        if (atom.arity() > 1) {
            out << '(';
            for (size_t k = 0; k + 1 < atom.arity(); ++k) printTerm(out << (k ? "," : ""), atom.term(k));
            out << ')';
        }
        if (cost != 0) {
            if (costLevelsGiven)
                out << ":<" << cost << ':' << level << '>';
            else
                out << ':' << cost;
        }
    }
}

void printCostValue(std::ostream& out, uint64_t v) {
    out << v / 1000;
    if (v % 1000) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03u", unsigned(v % 1000));
        out << '.' << digits;
    }
}

uint64_t levelCost(const COSTVECTOR& cost, int32_t level) {
    int32_t slot = costSlot(level);
    return slot >= 0 && size_t(slot) < cost.size() ? cost.values[size_t(slot)] : 0;
}

void printPlanCost(std::ostream& out, const INTERPRETATION* model) {
    out << "  COST: ";
    const int32_t levels = costLevels.empty() ? 0 : costLevels.back();
    static const COSTVECTOR none;
    const COSTVECTOR& cost = model ? model->cost : none;
    if (costLevelsGiven) {
        out << '<';
        for (int32_t j = 1; j <= levels; ++j) {
            printCostValue(out << (j > 1 ? "," : "") << '[', levelCost(cost, j));
            out << ':' << j << ']';
        }
        out << '>';
    } else if (levels == 0) {
        out << '0';
    } else {
        printCostValue(out, levelCost(cost, 1));
    }
}

// One answer of the user: the first character of a line of standard input;
// no answer at the end of the input.
bool answeredYes() {
    std::cout.flush();
    char line[100];
    if (!std::fgets(line, sizeof line, stdin)) return false;
    return line[0] == 'y';
}

}  // namespace

bool printPlan(const ATOMSET& trueAtoms, const INTERPRETATION* model, bool notFirst, bool withCosts) {
    const bool secure = planningMode & PLANNING_SECURE;
    if (secure && !printedPlans.insert(planKey(model)).second) return false;
    const size_t n = size_t(OPTIONS.planLength);
    std::vector<ATOMLIST> states(n + 1), actions(n);
    ATOMLIST costs;

    if (!secure) {
        std::vector<std::string> names;
        for (int32_t f = 0; f < fluentTable.count; ++f) names.push_back(fluentTable.name(f).str());
        std::sort(names.begin(), names.end());
        for (const std::string& f : names) {
            for (const std::string& name : {f, "-" + f}) {
                int32_t p = predicateTable.find(NAME(name));
                if (p < 0) continue;
                for (const ATOM& a : trueAtoms.atomsOfPredicate(p)) addAtTime(states, a);
            }
        }
    }
    if (model) {
        for (ATOMID i = 0; i < atomCount; ++i) {
            if (!isTrueValue(model->values[i])) continue;
            if (actionAtoms[i])
                addAtTime(actions, groundAtom(i));
            else if (actionCostsGiven && costAtoms[i])
                costs.push_back(groundAtom(i));
            else if (!secure && fluentAtoms[i])
                addAtTime(states, groundAtom(i));
        }
    }
    const ATOMLIST* costList = actionCostsGiven ? &costs : nullptr;
    std::ostream& out = std::cout;
    if (!silent && notFirst) out << '\n';
    if (!secure) {
        for (size_t i = 0; i <= n; ++i) {
            printPlanAtoms(out << "STATE " << i << ": ", states[i], nullptr);
            out << '\n';
            if (i == n) break;
            out << "ACTIONS: ";
            if (actions[i].empty())
                out << "(no action)";
            else
                printPlanAtoms(out, actions[i], costList);
            out << '\n';
        }
    }
    if (model && OPTIONS.soundCheckMethod >= 0 &&
        isPlanSecure(*model, groundRules, groundConstraints, OPTIONS.soundCheckMethod))
        out << "PLAN (secure): ";
    else if (model && OPTIONS.completeCheckMethod >= 0 &&
             isPlanSecure(*model, groundRules, groundConstraints, OPTIONS.completeCheckMethod))
        out << "PLAN (security unknown): ";
    else
        out << "PLAN: ";
    for (size_t i = 0; i < n; ++i) {
        if (i) out << "; ";
        if (actions[i].empty())
            out << "(no action)";
        else
            printPlanAtoms(out, actions[i], costList);
    }
    if (withCosts) printPlanCost(out, model);
    out << '\n';
    return true;
}

bool planFoundHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model) {
    if (!model || !generator) {
        printPlan(trueAtoms, nullptr, false, false);
        return false;
    }
    if (printPlan(trueAtoms, model, generator->answerSetsPrinted != 0, actionCostsGiven)) {
        if (++generator->answerSetsPrinted == 1) generator->searchTimer.stop();
        if (generator->maxModels != 0 && generator->maxModels == generator->answerSetsPrinted)
            generator->searchState = SEARCH_STOPPED;
    }
    if (!(planningMode & PLANNING_INTERACTIVE)) return true;
    if (!(planningMode & PLANNING_SECURE)) {
        std::cout << "\nCheck whether that plan is secure (y/n)? ";
        if (answeredYes())
            std::cout << (isPlanSecure(*model, groundRules, groundConstraints, secureCheckMethod)
                              ? "The plan is secure."
                              : "The plan is NOT secure.")
                      << '\n';
    }
    std::cout << "\nSearch for other plans (y/n)? ";
    return answeredYes();
}

}  // namespace veltra
