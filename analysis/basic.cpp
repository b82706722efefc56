// analysis/basic.cpp: basic rewriting. Removes what undefined predicates make
// irrelevant, simplifies heads against the negated body, and reports whether
// built-ins and aggregates occur.
#include <cassert>

#include "analysis/rewrite.h"
#include "core/finish.h"
#include "core/options.h"
#include "core/predicatetable.h"

namespace veltra {

bool builtinsPresent = false;
bool aggregatesPresent = false;

namespace {

// One sweep over the literals of a body; shared by rules and constraints.
// Returns false when a positive literal over an undefined predicate makes the
// body always false (the literals after it are then not examined); otherwise
// drops the negative literals over undefined predicates under "-ORb".
struct BODYSWEEP {
    bool deleteFalse;  // "-ORb" and "-ORdr"
    bool basic;        // "-ORb"
    bool& builtins;
    bool& aggregates;

    bool run(CONJUNCTION& body) const {
        const std::vector<int32_t>& kinds = predicateTable.kinds;
        for (size_t k = 0; k < body.firstNegative; ++k) {
            int32_t kind = kinds[body.literals[k].predicate];
            if (kind == KIND_UNKNOWN && deleteFalse) return false;
            if (kind == KIND_BUILTIN) builtins = true;
            if (kind == KIND_AGGREGATE) aggregates = true;
        }
        // Negative literals sit behind firstNegative, so removing one keeps it.
        size_t write = body.firstNegative;
        for (size_t k = body.firstNegative; k < body.literals.size(); ++k) {
            int32_t kind = kinds[body.literals[k].predicate];
            if (kind == KIND_UNKNOWN && basic) continue;  // always true
            if (kind == KIND_AGGREGATE) aggregates = true;
            if (write != k) body.literals[write] = std::move(body.literals[k]);
            ++write;
        }
        body.literals.resize(write);
        return true;
    }
};

// Removes the head atoms equal to the atom of some negative body literal.
void removeDeniedHeadAtoms(std::vector<ATOM>& head, const CONJUNCTION& body) {
    size_t write = 0;
    for (size_t h = 0; h < head.size(); ++h) {
        bool denied = false;
        for (size_t k = body.firstNegative; k < body.literals.size() && !denied; ++k)
            denied = compareAtoms(head[h], body.literals[k]) == 0;
        if (denied) continue;
        if (write != h) head[write] = std::move(head[h]);
        ++write;
    }
    head.resize(write);
}

}  // namespace

void basicRewriting(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                    const std::vector<WEAKCONSTRAINT>& weakConstraints, bool& builtinsPresent,
                    bool& aggregatesPresent) {
    builtinsPresent = false;
    aggregatesPresent = false;
    const bool basic = OPTIONS.rewriteBasic;
    const BODYSWEEP sweep{basic && OPTIONS.rewriteDeleteFalseRules, basic, builtinsPresent, aggregatesPresent};

    // Rules: erased ones are squeezed out in one pass, keeping the order of
    // the rest (the same as erasing each and going on at its place).
    size_t write = 0;
    for (size_t i = 0; i < rules.size(); ++i) {
        RULE& rule = rules[i];
        assert(rule.head);
        bool keep = true;
        if (rule.body) {
            keep = sweep.run(*rule.body);
            if (keep && basic) {
                if (rule.body->empty()) {
                    rule.body.reset();  // a (disjunctive) fact now
                } else {
                    removeDeniedHeadAtoms(*rule.head, *rule.body);
                    if (rule.head->empty()) {
                        // The copy recomputes its first-negative position.
                        constraints.emplace_back(*rule.body, false);
                        keep = false;
                    }
                }
            }
        }
        if (!keep) continue;
        if (write != i) rules[write] = std::move(rule);
        ++write;
    }
    rules.resize(write);

    // Constraints, those just added included.
    write = 0;
    for (size_t i = 0; i < constraints.size(); ++i) {
        CONSTRAINT& c = constraints[i];
        if (!sweep.run(c.body)) continue;  // can never be violated
        // Always violated: the program has no answer set.
        if (basic && c.body.empty()) finish(0);
        if (write != i) constraints[write] = std::move(c);
        ++write;
    }
    constraints.resize(write);

    // Weak constraints: positive literals, for the flags only.
    for (const WEAKCONSTRAINT& w : weakConstraints) {
        for (size_t k = 0; k < w.body.firstNegative; ++k) {
            int32_t kind = predicateTable.kinds[w.body.literals[k].predicate];
            if (kind == KIND_BUILTIN) builtinsPresent = true;
            if (kind == KIND_AGGREGATE) aggregatesPresent = true;
        }
    }
}

}  // namespace veltra
