// frontends/planning/aftergrounding.cpp: after grounding, the ground atoms
// are classified, "$abs" is forbidden, and the transitions of an unstratified
// program are tested for mux-stratification.
#include <iostream>

#include "analysis/depgraph.h"
#include "core/finish.h"
#include "core/options.h"
#include "core/stagetimers.h"
#include "frontends/planning/planning.h"

namespace veltra {

ATOMFLAGS fluentAtoms, actionAtoms, costAtoms;
std::vector<std::vector<GROUNDRULE>> rulesByTime;
std::vector<std::vector<std::vector<uint32_t>>> exclusiveRulesByTime;

int32_t atomTime(ATOMID atom) {
    const ATOM& a = groundAtom(atom);
    if (a.arity() == 0) return -1;
    const TERM& t = a.term(a.arity() - 1);
    return t.kind == TERM_INTEGER ? integerValue(t) : -1;
}

namespace {

bool hasUnstratifiedComponent(const std::vector<GROUNDRULE>& rules) {
    GDG gdg(rules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_FULL);
    gdg.computeComponentFlags();
    for (size_t c = 0; c < gdg.componentCount(); ++c)
        if (gdg.notStratified[c]) return true;
    return false;
}

void classifyAtoms() {
    fluentAtoms.assign(atomCount, 0);
    actionAtoms.assign(atomCount, 0);
    costAtoms.assign(atomCount, 0);
    for (ATOMID i = 0; i < atomCount; ++i) {
        const std::string& name = predicateTable.name(groundAtom(i).predicate).str();
        const std::string positive = !name.empty() && name[0] == '-' ? name.substr(1) : name;
        if (isFluentName(positive))
            fluentAtoms[i] = 1;
        else if (isActionName(name))
            actionAtoms[i] = 1;
        else if (actionCostsGiven && name.compare(0, 7, "$costs_") == 0)
            costAtoms[i] = 1;
    }
}

// Whether positive literal p and literal q can never both hold: q is p under
// "not", or p's strong complement with equal arguments.
bool contradictsPositive(const GROUNDLITERAL& p, const GROUNDLITERAL& q) {
    if (q.negated) return q.atom == p.atom;
    const ATOM& a = groundAtom(p.atom);
    const ATOM& b = groundAtom(q.atom);
    if (a.arity() != b.arity()) return false;
    const std::string& na = predicateTable.name(a.predicate).str();
    const std::string& nb = predicateTable.name(b.predicate).str();
    bool complement = (na.size() == nb.size() + 1 && na[0] == '-' && na.compare(1, std::string::npos, nb) == 0) ||
                      (nb.size() == na.size() + 1 && nb[0] == '-' && nb.compare(1, std::string::npos, na) == 0);
    if (!complement) return false;
    for (size_t i = 0; i < a.arity(); ++i)
        if (!(a.term(i) == b.term(i))) return false;
    return true;
}

// Rule k's position joins rule j's list for every condition of j on step t
// that k's body contradicts.
void findExclusions(uint32_t t) {
    std::vector<GROUNDRULE>& rules = rulesByTime[t];
    for (size_t j = 0; j < rules.size(); ++j) {
        for (size_t k = j + 1; k < rules.size(); ++k) {
            for (const GROUNDLITERAL& p : rules[j].body->literals) {
                if (!fluentAtoms[p.atom] || atomTime(p.atom) != int32_t(t)) continue;
                const GROUNDCONJUNCTION& other = *rules[k].body;
                for (size_t m = 0; m < other.literals.size(); ++m) {
                    const GROUNDLITERAL& q = other.literals[m];
                    bool found;
                    if (p.negated) {
                        if (q.negated) break;  // positive literals come first
                        found = q.atom == p.atom;
                    } else {
                        found = contradictsPositive(p, q);
                    }
                    if (found) {
                        exclusiveRulesByTime[t][j].push_back(uint32_t(k));
                        break;
                    }
                }
            }
        }
    }
}

void groupRulesByTransition() {
    for (const GROUNDRULE& r : groundRules) {
        if (!r.head || r.head->empty() || !r.body) continue;
        ATOMID h = (*r.head)[0];
        if (!fluentAtoms[h]) continue;
        int32_t t = atomTime(h);
        if (t <= 0 || size_t(t) > rulesByTime.size()) continue;
        rulesByTime[t - 1].push_back(r);
        exclusiveRulesByTime[t - 1].emplace_back();
    }
}

}  // namespace

bool planningAfterGrounding() {
    classifyAtoms();
    rememberGroundingAggregates();
    ATOMID abs = internAtom(ATOM("$abs", nullptr, KIND_IDB));
    // Grounding derived "$abs" as a fact: every candidate violates the
    // constraint, so the program is inconsistent, as if grounding had found it.
    if (trueAtoms.contains(groundAtom(abs))) return false;
    GROUNDCONSTRAINT forbidAbs;
    forbidAbs.body.addLiteral(GROUNDLITERAL{abs, 0});
    groundConstraints.push_back(std::move(forbidAbs));

    if (!hasUnstratifiedComponent(groundRules)) return true;
    const uint32_t n = static_cast<uint32_t>(OPTIONS.planLength);
    rulesByTime.assign(n, {});
    exclusiveRulesByTime.assign(n, {});
    if (planningMode & PLANNING_OPTIMISTIC) return true;
    groupRulesByTransition();
    for (uint32_t t = n; t-- > 0;) {
        findExclusions(t);
        if (!(planningMode & (PLANNING_SECURE | PLANNING_INTERACTIVE))) continue;
        if (!isMuxStratified(t)) {
            std::cout.flush();
            std::cerr << "Warning: The domain is probably not mux-stratified, secure check might not work "
                         "correctly.\n";
            break;
        }
    }
    return true;
}

namespace {

// Every selection of the given rules of a step (indices in increasing order)
// in which no two contradicting rules are both chosen (a rule without
// contradictions among them always is; a chosen rule excludes the later
// rules it contradicts) must be stratified. The selections are enumerated
// depth first on an explicit stack, rule j's "not chosen" branch before its
// "chosen" one; false at the first unstratified selection.
// position: -1 per rule of the step, as it is left again (the groups share
// it, so that many small groups cost their own size only).
bool selectionsStratified(const std::vector<GROUNDRULE>& rules, const std::vector<std::vector<uint32_t>>& exclusions,
                          const std::vector<uint32_t>& group, std::vector<int32_t>& position) {
    const uint32_t count = static_cast<uint32_t>(group.size());
    // Exclusions as positions in the group.
    for (uint32_t i = 0; i < count; ++i) position[group[i]] = int32_t(i);
    std::vector<std::vector<uint32_t>> excludes(count);
    for (uint32_t i = 0; i < count; ++i)
        for (uint32_t k : exclusions[group[i]])
            if (position[k] >= 0) excludes[i].push_back(uint32_t(position[k]));
    for (uint32_t r : group) position[r] = -1;
    struct BRANCH {
        uint32_t rule;      // the rule with contradicting partners
        size_t chosenSize;  // chosen rules before it
        bool chosen;        // its second branch is being explored
    };
    std::vector<BRANCH> branches;
    std::vector<uint32_t> chosen;
    std::vector<uint32_t> excludedCount(count, 0);
    std::vector<GROUNDRULE> selection;
    uint32_t j = 0;
    for (;;) {
        for (; j < count; ++j) {
            if (excludedCount[j]) continue;
            if (excludes[j].empty())
                chosen.push_back(j);
            else
                branches.push_back(BRANCH{j, chosen.size(), false});
        }
        selection.clear();
        for (uint32_t r : chosen) selection.push_back(rules[group[r]]);
        if (hasUnstratifiedComponent(selection)) return false;
        for (;;) {
            if (branches.empty()) return true;
            BRANCH& b = branches.back();
            chosen.resize(b.chosenSize);
            if (!b.chosen) {
                b.chosen = true;
                for (uint32_t k : excludes[b.rule]) ++excludedCount[k];
                chosen.push_back(b.rule);
                j = b.rule + 1;
                break;
            }
            for (uint32_t k : excludes[b.rule]) --excludedCount[k];
            branches.pop_back();
        }
    }
}

}  // namespace

// Whether every selection of step t's rules is stratified. A selection's
// dependency graph is part of the graph of all the step's rules, so a cycle
// through negation in it lies within one unstratified component of that
// graph and is made of rules with a head atom there: the selections are
// enumerated for each such component over those rules alone (more rules
// chosen only add edges), instead of over all combinations of the step.
bool isMuxStratified(uint32_t t) {
    const std::vector<GROUNDRULE>& rules = rulesByTime[t];
    GDG gdg(rules, std::vector<GROUNDCONSTRAINT>(), DEPGRAPH_GDG_FULL);
    gdg.computeComponentFlags();
    std::vector<std::vector<uint32_t>> groups(gdg.componentCount());
    for (uint32_t r = 0; r < rules.size(); ++r) {
        for (ATOMID h : *rules[r].head) {
            const int32_t c = gdg.componentOfSlot(int32_t(h));
            if (c < 0 || !gdg.notStratified[size_t(c)]) continue;
            std::vector<uint32_t>& group = groups[size_t(c)];
            if (group.empty() || group.back() != r) group.push_back(r);
        }
    }
    std::vector<int32_t> position(rules.size(), -1);
    for (const std::vector<uint32_t>& group : groups)
        if (!group.empty() && !selectionsStratified(rules, exclusiveRulesByTime[t], group, position)) return false;
    return true;
}

}  // namespace veltra
