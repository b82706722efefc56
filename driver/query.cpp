// driver/query.cpp: query set-up for brave and cautious reasoning.
#include "driver/query.h"

#include <algorithm>
#include <iostream>

#include "core/finish.h"
#include "core/rule.h"
#include "driver/options.h"

namespace veltra {

static bool hasVariable(const LITERAL& l, int32_t& maxVariable) {
    bool found = false;
    if (const TERMLIST* t = l.terms())
        for (const TERM& x : *t)
            if (x.kind == TERM_VARIABLE) {
                found = true;
                maxVariable = std::max(maxVariable, x.index);
            }
    return found;
}

// Adds "#query(X0..Xm) :- query." for a non-ground query.
static void addQueryRule(int32_t maxVariable) {
    int32_t arity = maxVariable + 1;
    auto [p, ok] = addPredicate(predicateTable, NAME("#query"), arity, KIND_IDB);
    if (!ok) {
        if (predicateTable.arities[p] == arity) internalError("ATOM constructor");
        std::cerr << "#query, first used with arity " << predicateTable.arities[p] << ", now seen with arity " << arity
                  << ".\n";
        std::exit(1);
    }
    std::vector<TERM> args;
    for (int32_t i = 0; i < arity; ++i) args.push_back(variableTerm(i));
    std::vector<ATOM> head{ATOM(p, args)};
    rules.emplace_back(&head, query.get());
}

bool setupQuery() {
    if (!query) {
        if (frontend == FRONTEND_BRAVE || frontend == FRONTEND_CAUTIOUS) {
            std::cerr << "No query supplied. Cannot continue.\n";
            return false;
        }
        return true;
    }
    int32_t maxVariable = 0;
    for (const LITERAL& l : query->literals)
        if (hasVariable(l, maxVariable)) OPTIONS.queryGround = false;

    if (frontend == FRONTEND_CAUTIOUS && OPTIONS.queryGround) {
        constraints.emplace_back(*query, true);
        return true;
    }
    if (frontend != FRONTEND_BRAVE && frontend != FRONTEND_CAUTIOUS && !OPTIONS.queryGround) {
        std::cerr << "Non-ground queries are only supported with brave and cautious reasoning.\n";
        return false;
    }
    if (frontend != FRONTEND_CAUTIOUS) {
        for (const LITERAL& l : query->literals) {
            int32_t unused = 0;
            if (hasVariable(l, unused)) continue;
            CONJUNCTION body;
            body.addLiteral(LITERAL(static_cast<const ATOM&>(l), !l.negated));
            constraints.emplace_back(body, true);
        }
        if (OPTIONS.queryGround) return true;
    }
    addQueryRule(maxVariable);
    return true;
}

}  // namespace veltra
