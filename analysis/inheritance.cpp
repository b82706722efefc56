// analysis/inheritance.cpp: inheritance rewriting. Turns an object program
// into plain rules: atoms of predicates with a complement get the object as
// first argument, overriding is expressed by "__prec", "__ovr" and "__proj"
// predicates.
#include <cassert>
#include <cstdint>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "analysis/rewrite.h"
#include "core/aggregate.h"
#include "core/finish.h"
#include "core/predicatetable.h"

namespace veltra {

int32_t overrideRuleCounter = 0;

namespace {

std::string complementName(const std::string& name) { return name[0] == '-' ? name.substr(1) : "-" + name; }

const std::string& predicateName(int32_t p) { return predicateTable.name(p).str(); }

bool predicateHasComplement(int32_t p) { return predicateTable.find(NAME(complementName(predicateName(p)))) >= 0; }

// Aggregate atoms never take part in the rewriting.
bool hasComplement(const ATOM& atom) { return !atom.isAggregate() && predicateHasComplement(atom.predicate); }

// The grounder binds at most MAXVARIABLES variables per statement; a fresh
// variable beyond them ends the run.
TERM freshVariable(int32_t v, const char* statement) {
    if (v >= MAXVARIABLES) {
        std::cerr << statement << " contains too many variables after the inheritance rewriting.\n";
        finish(1);
    }
    return variableTerm(v);
}

// The object argument goes first; the recorded arity follows the atom the
// first time one of its atoms grows.
void addObjectArgument(ATOM& atom, const TERM& term) {
    int32_t& arity = predicateTable.arities[atom.predicate];
    std::vector<TERM> terms{term};
    if (const TERMLIST* old = atom.terms()) terms.insert(terms.end(), old->begin(), old->end());
    if (size_t(arity) + 1 == terms.size()) ++arity;
    atom.setTerms(&terms);
}

// Raises p's recorded arity to one more than k when it is k (or below, when
// onlyWhenEqual is false), so that an atom with an object argument fits.
void makeRoomForObjectArgument(int32_t p, size_t k, bool onlyWhenEqual) {
    int32_t& arity = predicateTable.arities[p];
    int32_t wanted = static_cast<int32_t>(k) + 1;
    if (onlyWhenEqual ? arity == wanted - 1 : arity < wanted) arity = wanted;
}

// The terms first, X0, ..., Xk-1 (first left out when null).
std::vector<TERM> variableList(const TERM* first, size_t k, const char* statement) {
    std::vector<TERM> terms;
    terms.reserve(k + 1);
    if (first) terms.push_back(*first);
    for (size_t i = 0; i < k; ++i) terms.push_back(freshVariable(static_cast<int32_t>(i), statement));
    return terms;
}

TERM objectConstant(const OBJECT& object) { return TERM(TERM_SYMBOL, object.name); }

void raiseAbove(const TERM& t, int32_t& next) {
    if (t.isVariable() && t.index >= next) next = t.index + 1;
}

// One more than the highest variable of body; 0 when there is none. The
// variables of aggregate atoms (guards, elements, the first literal of the
// conjunction) count too: a fresh object variable must not capture a
// variable local to an aggregate.
int32_t firstFreeVariable(const CONJUNCTION& body) {
    int32_t next = 0;
    for (const LITERAL& l : body.literals) {
        if (const TERMLIST* terms = l.terms())
            for (const TERM& t : *terms) raiseAbove(t, next);
        const AGGREGATEATOM* aggregate = l.aggregate();
        if (!aggregate) continue;
        raiseAbove(aggregate->lowerGuard, next);
        raiseAbove(aggregate->upperGuard, next);
        const AGGREGATEFUNCTION& fn = aggregate->fn();
        for (const TERM& t : fn.elementTerms) raiseAbove(t, next);
        for (const LITERAL& inner : fn.body.literals)
            if (const TERMLIST* terms = inner.terms())
                for (const TERM& t : *terms) raiseAbove(t, next);
    }
    return next;
}

// The walk of addPrecedenceFacts: visited[a] == stamp when a was met for the
// object being walked (one stamp per object, so nothing is cleared).
struct PRECEDENCEWALK {
    std::vector<uint32_t> visited;
    uint32_t stamp = 0;
    std::vector<int32_t> stack;
    std::vector<uint8_t> read;          // per object: an overriding rule reads __prec(X, object)
    bool everyFact = true;              // store every fact, read or not
    std::vector<uint8_t> hasAncestor;   // per object: some fact has it first
    std::vector<uint8_t> isAncestor;    // per object: some fact has it second
    // Where every object has at most one parent and facts may be left out:
    // per object its number of ancestors and its nearest ancestor that is
    // read (-1: none), so that only stored facts are walked.
    bool singleParents = false;
    std::vector<uint32_t> depth;
    std::vector<int32_t> nearestRead;
};

// The facts of addPrecedenceFacts where every object has at most one
// parent: the ancestors form a chain, the parent's chain extended by it.
// The chain is walked only for the facts stored and, until "__prec" is
// registered, for the first fact left out; the others are counted.
void addChainPrecedenceFacts(int32_t o, PRECEDENCEWALK& walk) {
    const std::vector<std::unique_ptr<OBJECT>>& all = objects;
    const int32_t p = all[o]->parents[0];
    walk.depth[o] = walk.depth[p] + 1;
    walk.nearestRead[o] = walk.read[p] ? p : walk.nearestRead[p];
    walk.hasAncestor[o] = 1;
    walk.isAncestor[p] = 1;
    std::vector<TERM> terms{objectConstant(*all[o]), TERM()};
    if (omittedFacts.predicate < 0) {
        for (int32_t a = p;; a = all[a]->parents[0]) {
            ++omittedFacts.ancestorsWalked;
            if (!walk.read[a]) {
                terms[1] = objectConstant(*all[a]);
                omittedFacts.predicate = ATOM("__prec", &terms, KIND_EDB).predicate;
                break;
            }
            if (all[a]->parents.empty()) break;
        }
    }
    uint32_t stored = 0;
    for (int32_t a = walk.nearestRead[o]; a >= 0; a = walk.nearestRead[a]) {
        ++omittedFacts.ancestorsWalked;
        terms[1] = objectConstant(*all[a]);
        edbFacts.add(ATOM("__prec", &terms, KIND_EDB));
        ++stored;
    }
    omittedFacts.count += walk.depth[o] - stored;
}

// __prec(o, a) for every ancestor a of object o. An ancestor met again on
// another path adds nothing new, nor do its own ancestors, so it is skipped.
// A chain of k objects has k(k-1)/2 such facts, but only an overriding rule
// reads them, always with its own object second: unless walk.everyFact, the
// facts of the other ancestors are only counted (omittedFacts).
void addPrecedenceFacts(int32_t o, PRECEDENCEWALK& walk) {
    const std::vector<std::unique_ptr<OBJECT>>& all = objects;
    if (all[o]->parents.empty()) return;
    if (walk.singleParents) return addChainPrecedenceFacts(o, walk);
    ++walk.stamp;
    std::vector<int32_t>& stack = walk.stack;
    stack.assign(all[o]->parents.rbegin(), all[o]->parents.rend());
    std::vector<TERM> terms{objectConstant(*all[o]), TERM()};
    while (!stack.empty()) {
        int32_t a = stack.back();
        stack.pop_back();
        if (walk.visited[a] == walk.stamp) continue;
        walk.visited[a] = walk.stamp;
        ++omittedFacts.ancestorsWalked;
        if (walk.everyFact || walk.read[a] || omittedFacts.predicate < 0) {
            // The first fact also registers "__prec", where it always was.
            terms[1] = objectConstant(*all[a]);
            ATOM fact("__prec", &terms, KIND_EDB);
            if (walk.everyFact || walk.read[a]) {
                edbFacts.add(fact);
            } else {
                omittedFacts.predicate = fact.predicate;
                ++omittedFacts.count;
            }
        } else {
            ++omittedFacts.count;
        }
        walk.hasAncestor[o] = 1;
        walk.isAncestor[a] = 1;
        const std::vector<int32_t>& parents = all[a]->parents;
        for (auto it = parents.rbegin(); it != parents.rend(); ++it) stack.push_back(*it);
    }
}

// __ovrp(o, X0, ..., Xk-1) :- q(Xk, X0, ..., Xk-1), __prec(Xk, o). for each
// atom of p in o's overridden-atom set, q the complement of p: the atom is
// overridden in o when an object below o asserts its complement.
void addOverridingRules(int32_t o) {
    const OBJECT& object = *objects[o];
    TERM self = objectConstant(object);
    object.overridden.forEach([&](const ATOM& a) {
        std::string p = predicateName(a.predicate);
        std::string q = complementName(p);
        size_t k = a.arity();
        int32_t qIndex = predicateTable.find(NAME(q));
        if (qIndex >= 0) makeRoomForObjectArgument(qIndex, k, false);
        std::vector<TERM> headTerms = variableList(&self, k, "Rule");
        TERM below = freshVariable(static_cast<int32_t>(k), "Rule");
        std::vector<TERM> complementTerms = variableList(&below, k, "Rule");
        std::vector<TERM> precedenceTerms{below, self};
        std::vector<ATOM> head{ATOM(("__ovr" + p).c_str(), &headTerms, KIND_IDB)};
        CONJUNCTION body;
        body.addLiteral(LITERAL(ATOM(q.c_str(), &complementTerms, KIND_UNKNOWN), false));
        body.addLiteral(LITERAL(ATOM("__prec", &precedenceTerms, KIND_UNKNOWN), false));
        rules.emplace_back(&head, &body);
    });
}

// "__projp", true for the arguments of p that hold for some object; its rule
// is added the first time it is asked for.
int32_t projectedPredicate(int32_t p, size_t k) {
    std::string projected = "__proj" + predicateName(p);
    int32_t index = predicateTable.find(NAME(projected));
    if (index >= 0) return index;
    std::vector<TERM> headTerms = variableList(nullptr, k, "Rule");
    std::vector<ATOM> head{ATOM(projected.c_str(), &headTerms, KIND_IDB)};
    makeRoomForObjectArgument(p, k, true);
    TERM anyObject = freshVariable(static_cast<int32_t>(k), "Rule");
    std::vector<TERM> terms = variableList(&anyObject, k, "Rule");
    CONJUNCTION projection;
    projection.addLiteral(LITERAL(ATOM(predicateName(p).c_str(), &terms, KIND_UNKNOWN), false));
    rules.emplace_back(&head, &projection);
    return head[0].predicate;
}

// Positive literals over a predicate with a complement hold for any object:
// each gets a fresh variable as its object argument. A negative literal over
// p becomes one over "__projp", true when p holds for some object, and so
// does a literal inside an aggregate: its elements are those of any object.
void addProjectionRules(CONJUNCTION& body, int32_t v, const char* statement) {
    for (size_t i = 0; i < body.firstNegative; ++i) {
        LITERAL& l = body.literals[i];
        if (!hasComplement(l)) continue;
        addObjectArgument(l, freshVariable(v++, statement));
    }
    for (size_t i = body.firstNegative; i < body.size(); ++i) {
        LITERAL& l = body.literals[i];
        if (hasComplement(l)) l.predicate = projectedPredicate(l.predicate, l.arity());
    }
    for (LITERAL& l : body.literals) {
        AGGREGATEATOM* aggregate = l.aggregate();
        if (!aggregate || !aggregate->function) continue;
        for (LITERAL& inner : aggregate->function->body.literals)
            if (hasComplement(inner)) inner.predicate = projectedPredicate(inner.predicate, inner.arity());
    }
}

void rewriteRule(RULE& rule, const TERM& object) {
    if (rule.head)
        for (ATOM& a : *rule.head)
            if (hasComplement(a)) addObjectArgument(a, object);
    if (rule.body) addProjectionRules(*rule.body, firstFreeVariable(*rule.body), "Rule");
}

// A rule all of whose head atoms an object below redefines applies only
// where none of them is overridden: "not __ovrN(o, head arguments)", with
// __ovrN defined from the "__ovr" predicates of the head atoms.
void guardRule(RULE& rule, const TERM& object) {
    std::string guard = "__ovr" + std::to_string(overrideRuleCounter++);
    std::vector<TERM> guardTerms{object};
    CONJUNCTION guardBody;
    for (const ATOM& h : *rule.head) {
        if (const TERMLIST* terms = h.terms()) {
            size_t from = predicateHasComplement(h.predicate) ? 1 : 0;
            if (from < terms->size()) guardTerms.insert(guardTerms.end(), terms->begin() + from, terms->end());
        }
        std::string overriding = "__ovr" + predicateName(h.predicate);
        const std::vector<TERM> terms = h.arguments().toVector();
        guardBody.addLiteral(LITERAL(ATOM(overriding.c_str(), h.terms() ? &terms : nullptr, KIND_UNKNOWN), false));
    }
    if (!rule.body) rule.body = std::make_unique<CONJUNCTION>();
    rule.body->addLiteral(LITERAL(ATOM(guard.c_str(), &guardTerms, KIND_UNKNOWN), true));
    std::vector<ATOM> head{ATOM(guard.c_str(), &guardTerms, KIND_IDB)};
    rules.emplace_back(&head, &guardBody);
}

bool overridesEveryHeadAtom(const OBJECT& object, const RULE& rule) {
    if (object.isDefault || !rule.head) return false;
    for (const ATOM& h : *rule.head)
        if (!object.overridden.contains(h)) return false;
    return true;
}

void warnOverriddenFact(const ATOM& fact) {
    std::cerr << "An EDB fact (";
    printAtom(std::cerr, fact) << ") would have to be rewritten. Currently, we do not handle this automatically. "
                                  "Please rewrite your program, such that ";
    printAtom(std::cerr, fact) << " belongs to the IDB.\n";
}

// Facts of object 0 are rewritten in edbFacts itself; those of any other
// object are copied into edbFacts once rewritten.
void rewriteFacts(OBJECT& object) {
    ATOMSET& facts = object.facts();
    TERM self = objectConstant(object);
    for (size_t p = 0; p < facts.byPredicate.size(); ++p) {
        ATOMORDEREDSET& set = facts.byPredicate[p];
        if (set.empty()) continue;
        bool complement = predicateHasComplement(static_cast<int32_t>(p));
        if (object.isDefault && !complement && object.overridden.atomsOfPredicate(int32_t(p)).empty()) continue;
        ATOMORDEREDSET kept;
        for (const ATOM& f : set) {
            if (object.overridden.contains(f)) {
                warnOverriddenFact(f);
                if (object.isDefault) kept.insert(kept.end(), f);
                continue;
            }
            ATOM rewritten(f);
            if (complement) addObjectArgument(rewritten, self);
            if (object.isDefault) {
                kept.insert(kept.end(), std::move(rewritten));
            } else if (predicateTable.kinds[p] == KIND_EDB) {
                edbFacts.add(rewritten);
            } else {
                // A rule of a later object made the predicate IDB after the
                // fact was filed: like the facts in edbFacts then, it becomes
                // a rule without body.
                std::vector<ATOM> head{std::move(rewritten)};
                rules.emplace_back(&head, nullptr);
            }
        }
        if (object.isDefault) set.swap(kept);
    }
}

// Object 0's rules are rewritten in place; rules appended while its list is
// walked (projection rules) are not walked. Any other object's rules are
// appended to rules once rewritten.
void rewriteRules(OBJECT& object) {
    std::vector<RULE>& list = object.rules();
    TERM self = objectConstant(object);
    size_t count = list.size();
    for (size_t i = 0; i < count; ++i) {
        // A copy, or the rule taken out of rules: appending to rules below
        // may move the vector.
        RULE rule = object.isDefault ? std::move(list[i]) : list[i];
        bool guarded = overridesEveryHeadAtom(object, rule);
        rewriteRule(rule, self);
        if (guarded) guardRule(rule, self);
        if (object.isDefault)
            list[i] = std::move(rule);
        else
            rules.push_back(std::move(rule));
    }
}

}  // namespace

OMITTEDFACTS omittedFacts;

void rewriteInheritance(std::vector<std::unique_ptr<OBJECT>>& objectList, bool everyPrecedenceFact) {
    assert(&objectList == &objects);
    const size_t n = objectList.size();
    PRECEDENCEWALK walk;
    walk.visited.assign(n, 0);
    walk.everyFact = everyPrecedenceFact;
    walk.read.assign(n, 0);
    walk.hasAncestor.assign(n, 0);
    walk.isAncestor.assign(n, 0);
    for (size_t o = 0; o < n; ++o)
        if (objectList[o]->overridden.size() > 0) walk.read[o] = 1;
    // Two objects of one name share their facts: leaving some out would then
    // need counting by name. Such programs keep every fact.
    std::unordered_set<int32_t> names;
    for (size_t o = 0; o < n && walk.everyFact == false; ++o)
        if (!names.insert(objectList[o]->name).second) walk.everyFact = true;
    if (!walk.everyFact) {
        walk.singleParents = true;
        for (size_t o = 0; o < n && walk.singleParents; ++o)
            if (objectList[o]->parents.size() > 1) walk.singleParents = false;
        if (walk.singleParents) {
            walk.depth.assign(n, 0);
            walk.nearestRead.assign(n, -1);
        }
    }
    for (size_t o = 0; o < n; ++o) {
        addPrecedenceFacts(static_cast<int32_t>(o), walk);
        addOverridingRules(static_cast<int32_t>(o));
        rewriteFacts(*objectList[o]);
        rewriteRules(*objectList[o]);
    }
    if (omittedFacts.predicate >= 0) {
        uint32_t first = 0, second = 0;
        for (size_t o = 0; o < n; ++o) {
            first += walk.hasAncestor[o];
            second += walk.isAncestor[o];
        }
        omittedFacts.distinct = {first, second};
    }
    for (CONSTRAINT& c : constraints) addProjectionRules(c.body, firstFreeVariable(c.body), "Constraint");
    // Weak constraints like constraints, so that their costs still apply to
    // the atoms that gained an object argument.
    for (WEAKCONSTRAINT& w : weakConstraints)
        addProjectionRules(w.body, firstFreeVariable(w.body), "Weak constraint");
}

}  // namespace veltra
