// analysis/magicsets.cpp: the magic sets rewriting for a ground query.
// Bindings flow from the query into the rules through adorned predicates
// ("p#bf": one letter per argument, bound or free); the magic predicate of an
// adorned one ("_p#bf") collects the bound arguments it is needed for, and
// every adorned rule with a bound head argument is guarded by it.
#include <cassert>
#include <cstdint>
#include <iostream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/depgraph.h"
#include "analysis/rewrite.h"
#include "core/aggregate.h"
#include "core/predicatetable.h"

namespace veltra {

namespace {

// What an adorned predicate was made from.
struct ADORNMENT {
    int32_t base = 0;          // the predicate it adorns
    std::string letters;       // 'b' or 'f' per argument
    bool hasBound = false;     // letters holds a 'b'
};

// A rule under construction: the body in binding order, negative literals
// where the order placed them.
struct ADORNEDRULE {
    std::vector<ATOM> head;
    bool hasBody = false;
    std::vector<LITERAL> body;
};

// Variables of one rule known to be bound, by variable number.
struct BOUNDSET {
    uint64_t bits = 0;
    bool contains(const TERM& t) const { return t.isVariable() && ((bits >> t.index) & 1); }
    void add(const TERM& t) {
        assert(!t.isVariable() || (t.index >= 0 && t.index < MAXVARIABLES));
        if (t.isVariable()) bits |= uint64_t(1) << t.index;
    }
};

int32_t kindOf(const ATOM& a) { return predicateTable.kinds[a.predicate]; }
bool isIDB(const ATOM& a) { return kindOf(a) == KIND_IDB; }
bool isEDB(const ATOM& a) { return kindOf(a) == KIND_EDB; }
bool isBuiltin(const ATOM& a) { return kindOf(a) == KIND_BUILTIN; }
bool withoutArguments(const ATOM& a) { return a.arity() == 0; }

bool isBoundArgument(const TERM& t, const BOUNDSET& bound) { return !t.isVariable() || bound.contains(t); }

bool hasBoundArgument(const LITERAL& l, const BOUNDSET& bound) {
    for (size_t i = 0; i < l.arity(); ++i)
        if (isBoundArgument(l.term(i), bound)) return true;
    return false;
}

// Constants and bound variables, each occurrence counted.
int32_t countBoundArguments(const LITERAL& l, const BOUNDSET& bound) {
    int32_t n = 0;
    for (size_t i = 0; i < l.arity(); ++i) n += isBoundArgument(l.term(i), bound);
    return n;
}

bool everyVariableBound(const LITERAL& l, const BOUNDSET& bound) {
    for (size_t i = 0; i < l.arity(); ++i)
        if (!isBoundArgument(l.term(i), bound)) return false;
    return true;
}

// "==", "+" and "*" compute an argument from the others.
bool isFunctional(int32_t p) { return p == BUILTIN_EQ || p == BUILTIN_PLUS || p == BUILTIN_TIMES; }

bool isEvaluable(const LITERAL& l, const BOUNDSET& bound) {
    if (withoutArguments(l)) return true;
    if (l.negated)
        return everyVariableBound(l, bound) || (isFunctional(l.predicate) && hasBoundArgument(l, bound));
    if (!isBuiltin(l)) return true;
    if (l.predicate == BUILTIN_INT || l.predicate == BUILTIN_SUCC) return false;
    if (isFunctional(l.predicate)) return hasBoundArgument(l, bound);
    return everyVariableBound(l, bound);
}

// Whether l is a better next literal than r, the current choice; both are
// evaluable and l comes later in the body.
bool prefer(const LITERAL& l, const LITERAL& r, const BOUNDSET& bound) {
    if (isEDB(r) && withoutArguments(r)) return false;
    if (isEDB(l) && withoutArguments(l)) return true;
    if (isIDB(l) && withoutArguments(l)) return false;
    if (isIDB(r) && withoutArguments(r)) return true;
    bool rBound = hasBoundArgument(r, bound), lBound = hasBoundArgument(l, bound);
    if (rBound && !lBound) return false;
    if (rBound && lBound) {
        if (isEDB(r) || isBuiltin(r)) return false;
        return !(isIDB(l) && countBoundArguments(l, bound) <= countBoundArguments(r, bound));
    }
    if (!rBound && lBound) return true;
    return !(isEDB(r) || isBuiltin(r) || isIDB(l));
}

class MAGICSETS {
public:
    MAGICSETS();
    void adornProgram();
    void assemble();

private:
    std::vector<LITERAL> adornedQuery_;
    std::vector<ADORNEDRULE> adornedRules_;
    std::vector<int32_t> worklist_;                      // predicate indices; the last pushed is taken first
    std::vector<uint8_t> seen_;                          // per predicate index: pushed once already
    std::unordered_map<int32_t, ADORNMENT> adornments_;  // adorned predicate index -> its making
    std::vector<std::vector<size_t>> rulesByHead_;       // per predicate: indices of the rules it heads

    void push(int32_t predicate);
    const ADORNMENT* adornmentOf(int32_t predicate) const;
    ATOM makeAdornedAtom(const ATOM& atom, const std::string& letters);
    ATOM makeMagicAtom(const ATOM& adorned) const;
    LITERAL adornBodyLiteral(const LITERAL& literal, const BOUNDSET& bound);
    void adornRulesOf(int32_t predicate);
    ADORNEDRULE adornRule(const RULE& rule, int32_t predicate);
    bool needsMagic(const ATOM& head) const;
    void buildQueryRules(std::vector<RULE>& out) const;
    void buildMagicRules(std::vector<RULE>& out) const;
    void buildSeeds(std::vector<RULE>& out) const;
    void buildModifiedRules(std::vector<RULE>& out) const;
};

MAGICSETS::MAGICSETS() {
    for (size_t i = 0; i < rules.size(); ++i) {
        const RULE& r = rules[i];
        if (!r.head || r.head->empty()) continue;
        size_t p = static_cast<size_t>((*r.head)[0].predicate);
        if (rulesByHead_.size() <= p) rulesByHead_.resize(p + 1);
        rulesByHead_[p].push_back(i);
    }
}

void MAGICSETS::push(int32_t predicate) {
    if (seen_.size() <= size_t(predicate)) seen_.resize(size_t(predicateTable.count), 0);
    if (seen_[predicate]) return;
    seen_[predicate] = 1;
    worklist_.push_back(predicate);
}

const ADORNMENT* MAGICSETS::adornmentOf(int32_t predicate) const {
    auto it = adornments_.find(predicate);
    return it == adornments_.end() ? nullptr : &it->second;
}

// p#letters with atom's arguments, of the kind of atom's predicate.
ATOM MAGICSETS::makeAdornedAtom(const ATOM& atom, const std::string& letters) {
    std::string name = predicateTable.name(atom.predicate).str() + "#" + letters;
    const std::vector<TERM> terms = atom.arguments().toVector();
    ATOM adorned(name.c_str(), atom.terms() ? &terms : nullptr, kindOf(atom));
    auto [it, isNew] = adornments_.try_emplace(adorned.predicate);
    if (isNew) {
        it->second.base = atom.predicate;
        it->second.letters = letters;
        it->second.hasBound = letters.find('b') != std::string::npos;
    }
    return adorned;
}

// "_p#letters" over the arguments at the bound positions.
ATOM MAGICSETS::makeMagicAtom(const ATOM& adorned) const {
    const ADORNMENT& a = *adornmentOf(adorned.predicate);
    std::vector<TERM> terms;
    for (size_t i = 0; i < a.letters.size(); ++i)
        if (a.letters[i] == 'b') terms.push_back(adorned.term(i));
    std::string name = "_" + predicateTable.name(adorned.predicate).str();
    return ATOM(name.c_str(), &terms, kindOf(adorned));
}

LITERAL MAGICSETS::adornBodyLiteral(const LITERAL& literal, const BOUNDSET& bound) {
    if (const AGGREGATEATOM* aggregate = literal.aggregate()) {
        // The aggregate stays as it is; the rules of the IDB predicates of
        // its conjunction are needed unadorned, whatever the bindings.
        for (const LITERAL& l : aggregate->fn().body.literals)
            if (!l.isAggregate() && isIDB(l)) push(l.predicate);
        return literal;
    }
    if (!isIDB(literal)) return literal;
    if (withoutArguments(literal)) {
        push(literal.predicate);
        return literal;
    }
    std::string letters;
    for (size_t i = 0; i < literal.arity(); ++i) letters += isBoundArgument(literal.term(i), bound) ? 'b' : 'f';
    LITERAL adorned(makeAdornedAtom(literal, letters), literal.negated);
    push(adorned.predicate);
    return adorned;
}

void MAGICSETS::adornProgram() {
    if (query)
        for (const LITERAL& l : query->literals) {
            if (!isIDB(l) || l.isAggregate()) continue;
            if (withoutArguments(l)) {
                // Its rules are needed to answer the query as well.
                adornedQuery_.push_back(l);
                push(l.predicate);
                continue;
            }
            std::string letters;
            for (size_t i = 0; i < l.arity(); ++i) letters += l.term(i).isVariable() ? 'f' : 'b';
            adornedQuery_.emplace_back(makeAdornedAtom(l, letters), false);
            push(adornedQuery_.back().predicate);
        }
    while (!worklist_.empty()) {
        int32_t predicate = worklist_.back();
        worklist_.pop_back();
        adornRulesOf(predicate);
    }
}

// The rules whose head predicate is the base of predicate.
void MAGICSETS::adornRulesOf(int32_t predicate) {
    const ADORNMENT* a = adornmentOf(predicate);
    size_t base = static_cast<size_t>(a ? a->base : predicate);
    if (base >= rulesByHead_.size()) return;
    for (size_t i : rulesByHead_[base]) adornedRules_.push_back(adornRule(rules[i], predicate));
}

ADORNEDRULE MAGICSETS::adornRule(const RULE& rule, int32_t predicate) {
    ADORNEDRULE adorned;
    const ATOM& head = (*rule.head)[0];
    const ADORNMENT* a = adornmentOf(predicate);
    if (withoutArguments(head) || !a) {
        adorned.head.push_back(head);
    } else {
        adorned.head.emplace_back(head);
        adorned.head[0].predicate = predicate;
    }
    if (!rule.body) return adorned;
    adorned.hasBody = true;
    BOUNDSET bound;
    if (a)
        for (size_t i = 0; i < head.arity() && i < a->letters.size(); ++i)
            if (a->letters[i] == 'b') bound.add(head.term(i));
    std::vector<LITERAL> remaining = rule.body->literals;
    adorned.body.reserve(remaining.size());
    while (!remaining.empty()) {
        size_t chosen = remaining.size();
        for (size_t i = 0; i < remaining.size(); ++i) {
            if (!isEvaluable(remaining[i], bound)) continue;
            if (chosen == remaining.size() || prefer(remaining[i], remaining[chosen], bound)) chosen = i;
        }
        if (chosen == remaining.size()) {
            // Nothing can be evaluated: the rest goes in its current order.
            for (const LITERAL& l : remaining) adorned.body.push_back(adornBodyLiteral(l, bound));
            break;
        }
        const LITERAL& l = remaining[chosen];
        bool binds = hasBoundArgument(l, bound);
        adorned.body.push_back(adornBodyLiteral(l, bound));
        if (binds)
            for (size_t i = 0; i < l.arity(); ++i) bound.add(l.term(i));
        remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    return adorned;
}

// A head with arguments, adorned with at least one bound argument.
bool MAGICSETS::needsMagic(const ATOM& head) const {
    const ADORNMENT* a = adornmentOf(head.predicate);
    return a && a->hasBound && !withoutArguments(head);
}

// p(t) :- p#b..(t). for each adorned query literal.
void MAGICSETS::buildQueryRules(std::vector<RULE>& out) const {
    for (const LITERAL& l : adornedQuery_) {
        const ADORNMENT* a = adornmentOf(l.predicate);
        if (!a) continue;
        std::vector<ATOM> head{ATOM(a->base, *l.terms())};
        CONJUNCTION body;
        body.addLiteral(l);
        out.emplace_back(&head, &body);
    }
}

// For each adorned body literal with a bound argument: its magic atom holds
// when the head's magic atom and the literals placed before it hold. A rule
// whose head has no magic atom (no argument, or none bound) still needs the
// magic atoms of such literals, which a constant argument can bind: they
// hold when the literals placed before hold.
void MAGICSETS::buildMagicRules(std::vector<RULE>& out) const {
    for (const ADORNEDRULE& r : adornedRules_) {
        const ATOM& head = r.head[0];
        bool guarded = needsMagic(head);
        ATOM headMagic = guarded ? makeMagicAtom(head) : ATOM();
        for (size_t i = 0; i < r.body.size(); ++i) {
            const LITERAL& l = r.body[i];
            const ADORNMENT* a = adornmentOf(l.predicate);
            if (!a || !a->hasBound || withoutArguments(l) || compareAtoms(l, head) == 0) continue;
            std::vector<ATOM> magicHead{makeMagicAtom(l)};
            CONJUNCTION body;
            if (guarded) body.addLiteral(LITERAL(headMagic, false));
            for (size_t j = 0; j < r.body.size(); ++j) {
                const LITERAL& before = r.body[j];
                if (before.negated == l.negated && compareAtoms(before, l) == 0) break;
                body.addLiteral(before);
            }
            out.emplace_back(&magicHead, body.empty() ? nullptr : &body);
        }
    }
}

void MAGICSETS::buildSeeds(std::vector<RULE>& out) const {
    for (const LITERAL& l : adornedQuery_) {
        if (!adornmentOf(l.predicate)) continue;
        std::vector<ATOM> head{makeMagicAtom(l)};
        out.emplace_back(&head, nullptr);
    }
}

// Each adorned rule, guarded by its head's magic atom where it has one.
void MAGICSETS::buildModifiedRules(std::vector<RULE>& out) const {
    for (const ADORNEDRULE& r : adornedRules_) {
        bool guarded = needsMagic(r.head[0]);
        if (!r.hasBody && !guarded) {
            out.emplace_back(&r.head, nullptr);
            continue;
        }
        CONJUNCTION body;
        if (guarded) body.addLiteral(LITERAL(makeMagicAtom(r.head[0]), false));
        for (const LITERAL& l : r.body) body.addLiteral(l);
        out.emplace_back(&r.head, &body);
    }
}

void MAGICSETS::assemble() {
    std::vector<RULE> rewritten;
    buildQueryRules(rewritten);
    buildMagicRules(rewritten);
    buildSeeds(rewritten);
    buildModifiedRules(rewritten);
    rules = std::move(rewritten);
}

// Whether some negative dependency lies inside a cycle of the predicates.
bool hasUnstratifiedNegation() {
    std::vector<CONSTRAINT> none;
    DG dg(rules, none, DEPGRAPH_DG_FULL);
    dg.computeComponentFlags();
    for (size_t c = 0; c < dg.componentCount(); ++c)
        if (dg.notStratified[c]) return true;
    return false;
}

// The conditions of the rewriting; each failure is printed, and false leaves
// the program alone.
bool applicable() {
    bool ok = true;
    bool queryAtom = false;
    if (query)
        for (const LITERAL& l : query->literals)
            if (!l.isAggregate() && isIDB(l) && !withoutArguments(l)) queryAtom = true;
    if (!queryAtom) {
        std::cerr << "The query must have at least one not propositional IDB atom.\n";
        ok = false;
    }
    if (!constraints.empty()) {
        std::cerr << "Magic Sets for constraints are not yet implemented.\n";
        ok = false;
    }
    for (const RULE& r : rules)
        if (r.head && r.head->size() > 1) {
            std::cerr << "Magic Sets for disjunctive programs are not yet implemented.\n";
            ok = false;
            break;
        }
    // Dropping the rules the query does not reach changes the answer sets of
    // a program with weak constraints or with negation through recursion
    // (z :- not z. has none, whatever the query): leave such programs alone.
    if (!weakConstraints.empty()) {
        std::cerr << "Magic Sets for weak constraints are not yet implemented.\n";
        ok = false;
    }
    if (hasUnstratifiedNegation()) {
        std::cerr << "Magic Sets for programs with unstratified negation are not yet implemented.\n";
        ok = false;
    }
    if (!ok) std::cerr << "It is not possible to apply the Magic Sets optimization.\n";
    return ok;
}

}  // namespace

void rewriteMagicSets() {
    if (!applicable()) return;
    MAGICSETS pass;
    pass.adornProgram();
    pass.assemble();
}

}  // namespace veltra
