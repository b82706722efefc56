// input/program.cpp: the variable numbering of a statement, and the builders
// that finish rules, constraints and weak constraints and store them.
#include "input/program.h"

#include <algorithm>
#include <memory>

#include "core/groundprogram.h"
#include "core/options.h"
#include "core/predicatetable.h"
#include "input/bodyaggregates.h"
#include "input/dbstatement.h"
#include "input/objects.h"
#include "input/parse.h"

namespace veltra {

std::map<std::string, int32_t> variableNames;
uint32_t nextVariable = 0;
int32_t weightFormat = 0;
int32_t currentObject = 0;

namespace {

void reportCounted(const char* message) {
    reportParseError(message);
    ++parseErrorCount;
}

bool isConstant(const TERM& t) { return t.kind == TERM_SYMBOL || t.kind == TERM_INTEGER; }

void replaceInArguments(ATOM& atom, const TERM& replacement, const TERM& target) {
    if (TERMLIST* terms = atom.terms())
        for (TERM& t : *terms)
            if (t == target) t = replacement;
}

// A guard that becomes a constant is a comparison from then on, never an
// assignment; it is checked and normalised like a written guard.
bool replaceGuard(TERM& guard, uint8_t& inclusive, uint8_t& assignment, bool isLower, const TERM& replacement,
                  const TERM& target) {
    if (guard != target) return true;
    GUARD g = makeGuard(replacement, inclusive, isLower);
    guard = g.term;
    inclusive = g.inclusive;
    assignment = 0;
    return g.term.kind != TERM_SYMBOL;
}

// Facts of a predicate that has just become IDB turn into bodiless rules.
void moveFactsToRules(int32_t predicate) {
    if (size_t(predicate) >= edbFacts.byPredicate.size()) return;
    auto& facts = edbFacts.byPredicate[predicate];
    for (const ATOM& fact : facts) {
        std::vector<ATOM> head(1, fact);
        rules.emplace_back(&head, nullptr);
    }
    facts.clear();
}

void propagateComplement(const ATOM& atom, const OBJECT& object) {
    if (object.parents.empty()) return;
    ATOM complement;
    if (complementaryAtom(atom, complement)) propagateToParentObjects(complement, object.parents);
}

// A rule that passed every check: predicates classified, facts apart from
// rules, the rule filed under the current object.
void storeRule(const RULE& rule) {
    ensureDefaultObject();
    OBJECT& object = *objects[currentObject];
    std::vector<int32_t>& kinds = predicateTable.kinds;
    if (rule.head->size() != 1 || rule.body) {
        for (const ATOM& a : *rule.head) {
            int32_t kind = kinds[a.predicate];
            if (kind == KIND_IDB) continue;
            kinds[a.predicate] = KIND_IDB;
            if (kind != KIND_UNKNOWN) moveFactsToRules(a.predicate);
        }
        if (nextVariable != 0) OPTIONS.rulesGround = false;
        object.rules().push_back(rule);
        for (const ATOM& a : *rule.head) propagateComplement(a, object);
        return;
    }
    const ATOM& fact = (*rule.head)[0];
    int32_t kind = kinds[fact.predicate];
    if (kind == KIND_UNKNOWN) {
        kinds[fact.predicate] = KIND_EDB;
    } else if (kind != KIND_EDB) {
        kinds[fact.predicate] = KIND_IDB;
        rules.push_back(rule);
        return;
    }
    object.facts().add(fact);
    propagateComplement(fact, object);
}

}  // namespace

void resetVariables() {
    variableNames.clear();
    nextVariable = 0;
}

TERM termFromIdentifier(const char* name) {
    if (name[0] >= 'A' && name[0] <= 'Z') {
        auto [it, isNew] = variableNames.emplace(name, static_cast<int32_t>(nextVariable));
        if (isNew) ++nextVariable;
        return variableTerm(it->second);
    }
    return symbolTerm(name);
}

ATOM makeTrueNegatedAtom(const char* name, const std::vector<TERM>* terms) {
    std::string negated = std::string("-") + name;
    ATOM atom(negated.c_str(), terms, KIND_UNKNOWN);
    auto at = std::lower_bound(trueNegatedPredicates.begin(), trueNegatedPredicates.end(), atom.predicate);
    if (at == trueNegatedPredicates.end() || *at != atom.predicate) trueNegatedPredicates.insert(at, atom.predicate);
    return atom;
}

std::vector<TERM> makeTermList(const TERM& first, const TERM* second, const TERM* third) {
    std::vector<TERM> terms{first};
    if (second) {
        terms.push_back(*second);
        if (third) terms.push_back(*third);
    }
    return terms;
}

void addToBody(CONJUNCTION& body, const LITERAL& literal) {
    size_t from = literal.negated ? body.firstNegative : 0;
    size_t to = literal.negated ? body.literals.size() : body.firstNegative;
    for (size_t i = from; i < to; ++i)
        if (compareAtoms(body.literals[i], literal) == 0) return;
    body.addLiteral(literal);
}

bool substituteTerm(CONJUNCTION& body, const TERM& replacement, const TERM& target) {
    bool ok = true;
    for (LITERAL& l : body.literals) {
        AGGREGATEATOM* aggregate = l.aggregate();
        if (!aggregate) {
            replaceInArguments(l, replacement, target);
            continue;
        }
        if (aggregate->function && !aggregate->function->body.empty())
            replaceInArguments(aggregate->function->body.literals[0], replacement, target);
        ok &= replaceGuard(aggregate->upperGuard, aggregate->upperInclusive, aggregate->assignment, false, replacement,
                           target);
        ok &= replaceGuard(aggregate->lowerGuard, aggregate->lowerInclusive, aggregate->assignment, true, replacement,
                           target);
    }
    return ok;
}

bool eliminateEqualities(std::vector<ATOM>* head, CONJUNCTION& body, std::vector<SUBSTITUTION>* done) {
    bool ok = true;
    for (size_t i = 0; i < body.literals.size(); ++i) {
        const LITERAL& l = body.literals[i];
        if (l.negated || l.predicate != BUILTIN_EQ || l.isAggregate() || l.arity() != 2) continue;
        TERM a = l.term(0), b = l.term(1);
        SUBSTITUTION s;
        if (a.isVariable() && isConstant(b))
            s = {a, b};
        else if (isConstant(a) && b.isVariable())
            s = {b, a};
        else
            continue;
        if (head)
            for (ATOM& h : *head) replaceInArguments(h, s.replacement, s.target);
        ok &= substituteTerm(body, s.replacement, s.target);
        if (done) done->push_back(s);
    }
    return ok;
}

void makeRule(RULE& rule) {
    bool ok = !rule.body || eliminateEqualities(rule.head.get(), *rule.body, nullptr);
    if (!ok) {
    } else if (!isRuleSafe(rule)) {
        reportCounted("Rule is not safe");
    } else if (nextVariable > MAXVARIABLES) {
        reportCounted("Rule contains too many variables");
    } else {
        storeRule(rule);
    }
    resetVariables();
}

void makeConstraint(CONJUNCTION& body) {
    bool ok = eliminateEqualities(nullptr, body, nullptr);
    if (!ok) {
    } else if (!isBodySafe(body)) {
        reportCounted("Constraint is not safe");
    } else if (nextVariable > MAXVARIABLES) {
        reportCounted("Constraint contains too many variables");
    } else {
        if (nextVariable != 0) OPTIONS.constraintsGround = false;
        constraints.emplace_back(body, false);
    }
    resetVariables();
}

namespace {

// The checks of a weak constraint after safety; the weight and level as
// stored, or false after a reported error.
bool checkWeightAndLevel(TERM& weight, bool weightFromVariable, const TERM& level) {
    if (weight.kind != TERM_VARIABLE && weight.kind != TERM_INTEGER) {
        reportCounted("A weight should be a number or a variable");
        return false;
    }
    if (level.kind != TERM_VARIABLE && level.kind != TERM_INTEGER) {
        reportCounted("A level should be a number or a variable");
        return false;
    }
    if (weight.kind == TERM_INTEGER) {
        int64_t w = integerValue(weight);
        if (w < 0) {
            reportCounted("Weight must be a non-negative integer.");
            return false;
        }
        // A variable equated with a number carries the number itself; the
        // stored weight is in units of 1/1000.
        if (weightFromVariable) {
            if (w * 1000 > maxStoredWeight) {
                reportCounted("Weight exceeds the largest supported value 2147483.647");
                return false;
            }
            weight = integerTerm(static_cast<int32_t>(w * 1000));
        }
    }
    if (level.kind == TERM_INTEGER && integerValue(level) <= 0) {
        reportCounted("Level must be a positive integer.");
        return false;
    }
    return true;
}

}  // namespace

void makeWeakConstraint(CONJUNCTION& body, const std::pair<TERM, TERM>* weightAndLevel) {
    std::vector<SUBSTITUTION> done;
    bool ok = eliminateEqualities(nullptr, body, &done);
    if (ok && weightAndLevel) {
        std::pair<TERM, TERM> wl = *weightAndLevel;
        bool weightFromVariable = false;
        for (const SUBSTITUTION& s : done) {
            if (wl.first == s.target) {
                wl.first = s.replacement;
                weightFromVariable = true;
            }
            if (wl.second == s.target) wl.second = s.replacement;
        }
        if (!isBodySafe(body) || !isWeightLevelSafe(wl, body)) {
            reportCounted("Weak constraint is not safe");
        } else if (nextVariable > MAXVARIABLES) {
            reportCounted("Weak constraint contains too many variables");
        } else {
            if (nextVariable != 0) OPTIONS.weakConstraintsGround = false;
            if (checkWeightAndLevel(wl.first, weightFromVariable, wl.second)) {
                WEAKCONSTRAINT w;
                w.body = body;
                w.weight = wl.first;
                w.level = wl.second;
                weakConstraints.push_back(std::move(w));
            }
        }
    }
    resetVariables();
}

void resetInputState() {
    // The containers go before the tables their atoms refer to.
    rules.clear();
    constraints.clear();
    weakConstraints.clear();
    query.reset();
    objects.clear();
    forgetObjectNames();
    edbFacts = ATOMSET();
    objectsUsed = false;
    strictRulesUsed = false;
    trueNegatedPredicates.clear();
    importStatements.clear();
    exportStatements.clear();
    namedConstants.clear();
    resetVariables();
    weightFormat = 0;
    currentObject = 0;
    predicateTable = PREDICATETABLE();
    symbolTable = SYMBOLTABLE();
    numberTable = NUMBERTABLE();
    OPTIONS = OPTIONRECORD();
    verbose = 0;
    parseErrorCount = 0;
    lineNumber = 1;
    currentFileName.clear();
    registerBuiltins();
}

}  // namespace veltra
