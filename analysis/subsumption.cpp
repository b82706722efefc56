// analysis/subsumption.cpp: deletion of rules that another rule subsumes,
// tested greedily: one match per atom or literal, never revisited.
#include <cassert>
#include <cstdint>
#include <vector>

#include "analysis/rewrite.h"
#include "core/predicatetable.h"

namespace veltra {

namespace {

// The bindings of the subsuming rule's variables, indexed by variable number
// (the order in which pairs were added does not matter to the test). A
// target term may be a variable of the other rule, which counts as a symbol.
struct SUBSTITUTION {
    TERM target[MAXVARIABLES];
    uint64_t bound = 0;  // bit v: variable v has a target

    bool isBound(int32_t v) const { return (bound >> v) & 1; }
    void bind(int32_t v, const TERM& t) {
        target[v] = t;
        bound |= uint64_t(1) << v;
    }
};

// Built-ins whose first two arguments may be exchanged: "==", "!=", "+", "*".
bool isSymmetric(int32_t predicate) {
    return predicate == BUILTIN_EQ || predicate == BUILTIN_NE || predicate == BUILTIN_PLUS ||
           predicate == BUILTIN_TIMES;
}

// Whether pattern's arguments match target's (first two exchanged when swap)
// under s; on success the new pairs are in extension.
bool matchArguments(const LITERAL& pattern, const LITERAL& target, bool swap, const SUBSTITUTION& s,
                    SUBSTITUTION& extension) {
    size_t n = pattern.arity();
    if (target.arity() != n) return false;
    extension.bound = 0;
    for (size_t i = 0; i < n; ++i) {
        const TERM& p = pattern.term(i);
        const TERM& t = target.term(swap && i < 2 ? 1 - i : i);
        if (!p.isVariable()) {
            if (p != t) return false;  // a constant never matches a variable
            continue;
        }
        assert(p.index >= 0 && p.index < MAXVARIABLES);
        if (s.isBound(p.index)) {
            if (s.target[p.index] != t) return false;
        } else if (extension.isBound(p.index)) {
            if (extension.target[p.index] != t) return false;
        } else {
            extension.bind(p.index, t);
        }
    }
    return true;
}

void commit(SUBSTITUTION& s, const SUBSTITUTION& extension) {
    for (int32_t v = 0; v < MAXVARIABLES; ++v)
        if (extension.isBound(v)) s.bind(v, extension.target[v]);
}

// How many orientations of target the pattern matches (0, 1 or 2); the pairs
// of the first matching orientation are added to s when extend is set.
int matchPattern(const LITERAL& pattern, const LITERAL& target, SUBSTITUTION& s, bool extend) {
    if (pattern.isAggregate() || target.isAggregate()) return 0;
    if (pattern.predicate != target.predicate || pattern.negated != target.negated) return 0;
    SUBSTITUTION straight, exchanged;
    int count = 0;
    if (matchArguments(pattern, target, false, s, straight)) {
        ++count;
        if (extend) commit(s, straight);
    }
    if (isSymmetric(pattern.predicate) && pattern.arity() >= 2 &&
        matchArguments(pattern, target, true, s, exchanged)) {
        if (count == 0 && extend) commit(s, exchanged);
        ++count;
    }
    return count;
}

// Distinct variables of literal without a target in s.
int unboundVariables(const LITERAL& literal, const SUBSTITUTION& s) {
    uint64_t seen = 0;
    int count = 0;
    for (size_t i = 0; i < literal.arity(); ++i) {
        const TERM& t = literal.term(i);
        if (!t.isVariable() || s.isBound(t.index)) continue;
        uint64_t bit = uint64_t(1) << t.index;
        if (!(seen & bit)) ++count;
        seen |= bit;
    }
    return count;
}

bool moreUnbound(const LITERAL& x, const LITERAL& y, const SUBSTITUTION& s) {
    if (x.arity() == 0) return false;
    return y.arity() == 0 || unboundVariables(x, s) > unboundVariables(y, s);
}

struct CHOICE {
    int count = 0;             // 0: some pattern has no candidate
    size_t pattern = 0;        // position among the remaining patterns
    const LITERAL* partner = nullptr;
};

// The remaining pattern with the fewest candidates among targets (ties go to
// the later one only with more unbound variables); count 0 when a pattern has
// none. Candidates are counted without changing s.
CHOICE choose(const std::vector<LITERAL>& patterns, const std::vector<LITERAL>& targets, SUBSTITUTION& s) {
    CHOICE best;
    for (size_t i = 0; i < patterns.size(); ++i) {
        int count = 0;
        const LITERAL* partner = nullptr;
        for (const LITERAL& t : targets) {
            int c = matchPattern(patterns[i], t, s, false);
            if (c == 0) continue;
            count += c;
            partner = &t;
        }
        if (count == 0) return CHOICE{};
        if (best.count == 0 || count < best.count ||
            (count == best.count && moreUnbound(patterns[i], patterns[best.pattern], s)))
            best = CHOICE{count, i, partner};
    }
    return best;
}

std::vector<LITERAL> headLiterals(const RULE& rule) {
    std::vector<LITERAL> head;
    if (rule.head)
        for (const ATOM& a : *rule.head) head.emplace_back(a, false);
    return head;
}

}  // namespace

bool subsumes(const RULE& r1, const RULE& r2) {
    std::vector<LITERAL> head = headLiterals(r1);
    std::vector<LITERAL> body = r1.body ? r1.body->literals : std::vector<LITERAL>();
    const std::vector<LITERAL> targetHead = headLiterals(r2);
    SUBSTITUTION s;
    while (!head.empty() || !body.empty()) {
        CHOICE a, b;
        if (!head.empty()) {
            if (!r2.head) return false;
            a = choose(head, targetHead, s);
            if (a.count == 0) return false;
        }
        if (!body.empty()) {
            if (!r2.body) return false;
            b = choose(body, r2.body->literals, s);
            if (b.count == 0) return false;
        }
        bool takeHead = a.count != 0 && (b.count == 0 || a.count < b.count ||
                                         (a.count == b.count && moreUnbound(head[a.pattern], body[b.pattern], s)));
        std::vector<LITERAL>& from = takeHead ? head : body;
        const CHOICE& c = takeHead ? a : b;
        matchPattern(from[c.pattern], *c.partner, s, true);
        from.erase(from.begin() + static_cast<std::ptrdiff_t>(c.pattern));
    }
    return true;
}

bool removeSubsumedRules(std::vector<RULE>& rules) {
    size_t i = 0;
    while (i < rules.size()) {
        bool erasedI = false;
        size_t j = i + 1;
        while (j < rules.size()) {
            if (subsumes(rules[j], rules[i])) {
                rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(i));
                erasedI = true;  // start again at i with the rule that moved up
                break;
            }
            if (subsumes(rules[i], rules[j]))
                rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(j));
            else
                ++j;
        }
        if (!erasedI) ++i;
    }
    return true;
}

}  // namespace veltra
