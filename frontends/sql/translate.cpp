// frontends/sql/translate.cpp: one SELECT block becomes one rule: correlations
// in scope, attribute references bound to variables and unified by "=", the
// head from the select list and one body literal per FROM item.
#include "frontends/sql/translate.h"

#include <algorithm>
#include <iostream>

#include "core/rule.h"
#include "core/finish.h"
#include "input/parse.h"

namespace veltra {

std::map<std::string, std::vector<std::string>> sqlSchemas;
std::map<std::string, std::vector<std::string>> sqlAttributeRelations;
std::map<std::string, std::string> sqlCorrelations;
std::map<std::string, std::vector<std::string>> sqlRelationCorrelations;
std::map<std::string, std::map<std::string, BINDING>> sqlBindings;
std::vector<BINDING*> sqlSelectList;
std::vector<std::string> sqlResultNames;
NAMEGENERATOR sqlInternNames{"sql2dl__intern", 0};
NAMEGENERATOR sqlVariableNames{"X", 0};
std::string sqlResultPredicate;

SSC_Tree::~SSC_Tree() {
    std::vector<std::unique_ptr<SSC_Tree>> pending;
    if (left) pending.push_back(std::move(left));
    if (right) pending.push_back(std::move(right));
    while (!pending.empty()) {
        std::unique_ptr<SSC_Tree> tree = std::move(pending.back());
        pending.pop_back();
        if (tree->left) pending.push_back(std::move(tree->left));
        if (tree->right) pending.push_back(std::move(tree->right));
    }
}

namespace {

void clearBlockScope() {
    sqlRelationCorrelations.clear();
    sqlCorrelations.clear();
    sqlBindings.clear();
    sqlSelectList.clear();
    sqlVariableNames.counter = 0;
}

void printNameLine(const std::string& name) { std::cerr << "         " << name << '\n'; }

[[noreturn]] void endWithStatus(int status) {
    std::cerr.flush();
    finish(status);
}

BINDING freshVariable() {
    BINDING b;
    b.variable = sqlVariableNames.counter++;
    return b;
}

TERM termOfBinding(const BINDING& b) {
    return b.isVariable ? variableTerm(b.variable) : symbolTerm(b.constant.c_str());
}

// The correlation of a column reference, which must be in scope and whose
// relation must declare the attribute.
std::string checkedCorrelation(const SSC_RelSpec& reference) {
    std::string correlation = reference.correlation.empty() ? resolveAttribute(reference.attribute) : reference.correlation;
    auto c = sqlCorrelations.find(correlation);
    if (c == sqlCorrelations.end()) {
        std::cout.flush();
        std::cerr << "At line " << lineNumber << ":\n"
                  << "Error: Correlation " << correlation << " doesn't exist in the current context.\n";
        endWithStatus(9);
    }
    const std::vector<std::string>& attributes = sqlSchemas[c->second];
    if (std::find(attributes.begin(), attributes.end(), reference.attribute) == attributes.end()) {
        std::cout.flush();
        std::cerr << "At line " << lineNumber << ":\n"
                  << "Error: Relation '" << c->second << "'";
        if (correlation != c->second) std::cerr << " (correlation '" << correlation << "')";
        std::cerr << " has no attribute '" << reference.attribute << "'.\n";
        endWithStatus(1);
    }
    return correlation;
}

// The binding of a column reference, a fresh variable when it has none yet.
BINDING& bindingOfReference(const std::string& correlation, const std::string& attribute) {
    if (BINDING* b = findBinding(correlation, attribute)) return *b;
    registerBinding(correlation, attribute, freshVariable());
    BINDING* b = findBinding(correlation, attribute);
    if (!b) {
        printStatementPosition();
        std::cerr << "Internal Error: A Binding just registered for a scalar value wasn't found again.\n";
        endWithStatus(5);
    }
    return *b;
}

// Renumbers the variables of a rule densely, in order of first occurrence,
// when a number reached the limit but their count did not; more distinct
// variables than the limit end the run.
void limitVariables(ATOM& head, CONJUNCTION& body) {
    std::vector<TERM*> terms;
    auto collect = [&terms](ATOM& atom) {
        if (TERMLIST* ts = atom.terms())
            for (TERM& t : *ts)
                if (t.isVariable()) terms.push_back(&t);
    };
    collect(head);
    for (LITERAL& l : body.literals) collect(l);
    int32_t highest = -1;
    for (const TERM* t : terms) highest = std::max(highest, t->index);
    if (highest < MAXVARIABLES) return;
    std::map<int32_t, int32_t> renumbered;
    for (TERM* t : terms) {
        auto [it, isNew] = renumbered.emplace(t->index, static_cast<int32_t>(renumbered.size()));
        (void)isNew;
        t->index = it->second;
    }
    if (renumbered.size() > size_t(MAXVARIABLES)) {
        printStatementPosition();
        std::cerr << "Error: The query needs " << renumbered.size() << " variables in one rule; at most "
                  << MAXVARIABLES << " are supported.\n";
        endWithStatus(1);
    }
}

// The head predicate becomes a derived one; facts already read for it turn
// into bodiless rules, as a rule of the main language does.
void classifyHead(const ATOM& head) {
    int32_t& kind = predicateTable.kinds[head.predicate];
    if (kind == KIND_IDB) return;
    bool hadFacts = kind != KIND_UNKNOWN;
    kind = KIND_IDB;
    if (!hadFacts || size_t(head.predicate) >= edbFacts.byPredicate.size()) return;
    auto& facts = edbFacts.byPredicate[head.predicate];
    for (const ATOM& fact : facts) {
        std::vector<ATOM> factHead(1, fact);
        rules.emplace_back(&factHead, nullptr);
    }
    facts.clear();
}

}  // namespace

void openSQLScope() {
    sqlSchemas.clear();
    sqlAttributeRelations.clear();
    clearBlockScope();
    sqlResultNames.clear();
    sqlInternNames = NAMEGENERATOR{"sql2dl__intern", 0};
    sqlVariableNames = NAMEGENERATOR{"X", 0};
    sqlResultNames.push_back(sqlInternNames.freshName());
    sqlResultPredicate = sqlResultNames.back();
}

void closeSQLScope() {
    sqlSchemas.clear();
    sqlAttributeRelations.clear();
    clearBlockScope();
    sqlResultNames.clear();
    sqlInternNames.counter = 0;
}

void printStatementPosition() {
    std::cout.flush();
    std::cerr << "In statement ending at line " << lineNumber << ":\n";
}

void refuseUnsupported(const char* message) {
    printStatementPosition();
    std::cerr << "Error: " << message << ".\n";
    endWithStatus(4);
}

void declareRelation(const std::string& relation, const std::vector<std::string>& attributes) {
    sqlSchemas[relation] = attributes;
    for (const std::string& a : attributes) sqlAttributeRelations[a].push_back(relation);
}

void enterWithElement(const std::string& name, const std::vector<std::string>& columns) {
    sqlResultNames.push_back(name);
    declareRelation(name, columns);
}

void leaveWithElement() { sqlResultNames.pop_back(); }

void registerCorrelation(const std::string& correlation, const std::string& relation) {
    auto earlier = sqlCorrelations.find(correlation);
    if (earlier != sqlCorrelations.end()) {
        std::cout.flush();
        std::cerr << "At Selectlist on line " << lineNumber << ":\n"
                  << "Error: Correlation " << correlation << " already exists.\n";
        bool newUnaliased = correlation == relation;
        bool earlierUnaliased = earlier->second == correlation;
        if (newUnaliased && earlierUnaliased)
            std::cerr << "       You probably have the same relation twice in your selectlist,\n"
                      << "       without defining aliases\n";
        else if (newUnaliased)
            std::cerr << "       You've used this unaliased relation as a correlation before.\n";
        else if (earlierUnaliased)
            std::cerr << "       You've used this correlation as an unaliased relation before.\n";
        endWithStatus(8);
    }
    if (sqlSchemas.find(relation) == sqlSchemas.end()) {
        std::cout.flush();
        std::cerr << "At line " << lineNumber << ":\n"
                  << "Error: Relation '" << relation << "' is not declared.\n";
        endWithStatus(1);
    }
    sqlCorrelations.emplace(correlation, relation);
    sqlRelationCorrelations[relation].push_back(correlation);
}

std::string resolveAttribute(const std::string& attribute) {
    auto entry = sqlAttributeRelations.find(attribute);
    if (entry == sqlAttributeRelations.end() || entry->second.empty()) {
        std::cout.flush();
        std::cerr << "Error: reference to undefined attribute '" << attribute << "'\n";
        endWithStatus(1);
    }
    const std::vector<std::string>& relations = entry->second;
    auto correlationsOf = [](const std::string& relation) -> const std::vector<std::string>* {
        auto it = sqlRelationCorrelations.find(relation);
        return it == sqlRelationCorrelations.end() || it->second.empty() ? nullptr : &it->second;
    };
    size_t first = 0;
    while (first < relations.size() && !correlationsOf(relations[first])) ++first;
    if (first == relations.size()) {
        std::cout.flush();
        std::cerr << "At line " << lineNumber << ":\n"
                  << "Error: Attribute '" << attribute << "' doesn't occur in any active relation\n";
        endWithStatus(2);
    }
    const std::string& r1 = relations[first];
    const std::vector<std::string>& c1s = *correlationsOf(r1);
    const std::string& c1 = c1s[0];
    int status = 0;
    if (c1s.size() > 1) {
        printStatementPosition();
        std::cerr << "Error: Attribute '" << attribute << "' is ambiguous.\n"
                  << "       There are several Correlation names for a matching relation\n"
                  << "       You'll have to qualify the attribute.\n"
                  << "       Relation:\n";
        printNameLine(r1);
        std::cerr << "       Correlations:\n";
        for (const std::string& c : c1s) printNameLine(c);
        status = 1;
    }
    bool listed = false;
    for (size_t i = first + 1; i < relations.size(); ++i) {
        const std::vector<std::string>* cs = correlationsOf(relations[i]);
        if (!cs) continue;
        if (!listed) {
            if (status == 1) {
                std::cerr << "       There are even other relations having the same attribute:\n";
            } else {
                printStatementPosition();
                std::cerr << "Error: Attribute '" << attribute << "' is ambiguous.\n"
                          << "       You'd better qualifiy it.\n"
                          << "       Candidate relations/correlations are:\n";
            }
            std::cerr << "       Relation:\n";
            printNameLine(r1);
            std::cerr << "       Correlation(s):\n";
            printNameLine(c1);
            listed = true;
            if (status == 0) status = 2;
        }
        std::cerr << "       Relation:\n";
        printNameLine(relations[i]);
        std::cerr << "       Correlation(s):\n";
        for (const std::string& c : *cs) printNameLine(c);
    }
    if (status != 0) endWithStatus(status);
    return c1;
}

BINDING* findBinding(const std::string& correlation, const std::string& attribute) {
    auto c = sqlBindings.find(correlation);
    if (c == sqlBindings.end()) return nullptr;
    auto a = c->second.find(attribute);
    return a == c->second.end() ? nullptr : &a->second;
}

void registerBinding(const std::string& correlation, const std::string& attribute, const BINDING& binding) {
    if (BINDING* existing = findBinding(correlation, attribute)) {
        BINDING copy = binding;
        unifyBindings(*existing, copy);
        return;
    }
    sqlBindings[correlation].emplace(attribute, binding);
}

void substituteVariable(int32_t variable, const BINDING& replacement) {
    BINDING copy = replacement;  // replacement may itself be among the bindings
    for (auto& [correlation, attributes] : sqlBindings)
        for (auto& [attribute, b] : attributes)
            if (b.isVariable && b.variable == variable) b = copy;
}

void unifyBindings(BINDING& a, BINDING& b) {
    if (a.isVariable && b.isVariable) {
        if (a.variable == b.variable) return;
        int32_t former = a.variable;
        a.variable = b.variable;
        substituteVariable(former, b);
    } else if (a.isVariable) {
        int32_t former = a.variable;
        a = b;
        substituteVariable(former, b);
    } else if (b.isVariable) {
        int32_t former = b.variable;
        b = a;
        substituteVariable(former, a);
    } else if (a.constant != b.constant) {
        printStatementPosition();
        std::cerr << "Error: One condition will always be false.\n"
                  << "         The query will always be empty.\n"
                  << "Error: Cannot handle this yet.\n";
        endWithStatus(3);
    }
}

void SSC_RelSpec::addToSelectList() {
    if (correlation.empty()) correlation = resolveAttribute(attribute);
    checkedCorrelation(*this);
    sqlSelectList.push_back(&bindingOfReference(correlation, attribute));
}

void SSC_Operator::addToSelectList() {
    printStatementPosition();
    std::cerr << "Error: Complex select lists not supported yet.\n";
    endWithStatus(4);
}

BINDING& evalScalar(const SSC_Tree& tree) {
    if (!tree.node) refuseUnsupported("Numeric literals not supported yet");
    if (tree.node->nodeType == SSC_RELSPEC) {
        const auto& reference = static_cast<const SSC_RelSpec&>(*tree.node);
        return bindingOfReference(checkedCorrelation(reference), reference.attribute);
    }
    if (tree.node->nodeType != SSC_OPERATOR) {
        printStatementPosition();
        std::cerr << "Internal Error: Undefined SSC_Tree Nodetype\n";
        endWithStatus(5);
    }
    int32_t op = static_cast<const SSC_Operator&>(*tree.node).op;
    printStatementPosition();
    if (op == SQL_EQUALS || op == SQL_AND) {
        std::cerr << "Error: Boolean operator encountered where scalar was expected.\n";
        endWithStatus(6);
    }
    std::cerr << "Error: Operators other than = and AND are not supported yet.\n";
    endWithStatus(4);
}

// AND chains are walked with an explicit stack, left operand first, so that
// a long chain cannot exhaust the call stack.
void evalCondition(const SSC_Tree& root) {
    std::vector<const SSC_Tree*> pending(1, &root);
    while (!pending.empty()) {
        const SSC_Tree& tree = *pending.back();
        pending.pop_back();
        if (!tree.node || (tree.node->nodeType != SSC_RELSPEC && tree.node->nodeType != SSC_OPERATOR)) {
            printStatementPosition();
            std::cerr << "Internal Error: Undefined SSC_Tree Nodetype\n";
            endWithStatus(5);
        }
        if (tree.node->nodeType == SSC_RELSPEC) {
            printStatementPosition();
            std::cerr << "Error: Scalar value encountered where boolean was expected.\n";
            endWithStatus(7);
        }
        int32_t op = static_cast<const SSC_Operator&>(*tree.node).op;
        if (op == SQL_AND) {
            pending.push_back(tree.right.get());
            pending.push_back(tree.left.get());
        } else if (op == SQL_EQUALS) {
            BINDING& left = evalScalar(*tree.left);
            BINDING& right = evalScalar(*tree.right);
            unifyBindings(left, right);
        } else if (op >= SQL_NOTEQUAL && op <= SQL_GREATEREQUAL) {
            refuseUnsupported("Comparison operators other than = are not supported yet");
        } else {
            printStatementPosition();
            std::cerr << "Error: Operators other than = and AND are not supported yet.\n";
            endWithStatus(4);
        }
    }
}

void evalWhereClause(const SSC_Tree& tree) {
    if (tree.node) evalCondition(tree);
}

ATOM buildHeadFromSelectList(const std::string& name) {
    std::vector<TERM> terms;
    terms.reserve(sqlSelectList.size());
    for (const BINDING* b : sqlSelectList) terms.push_back(termOfBinding(*b));
    return ATOM(name.c_str(), terms.empty() ? nullptr : &terms, KIND_UNKNOWN);
}

void buildBodyLiterals(const std::string& correlation, CONJUNCTION& body) {
    const std::string& relation = sqlCorrelations[correlation];
    const std::vector<std::string>& attributes = sqlSchemas[relation];
    std::vector<TERM> terms;
    terms.reserve(attributes.size());
    for (const std::string& a : attributes) {
        const BINDING* b = findBinding(correlation, a);
        terms.push_back(b ? termOfBinding(*b) : variableTerm(sqlVariableNames.counter++));
    }
    body.addLiteral(LITERAL(ATOM(relation.c_str(), terms.empty() ? nullptr : &terms, KIND_UNKNOWN), false));
}

// Every FROM item gets its body literal, referenced or not: an item none of
// whose attributes is used still restricts the result (to nothing when it
// is empty), as in SQL.
void emitQueryRule(const std::string& name) {
    ATOM head = buildHeadFromSelectList(name);
    CONJUNCTION body;
    for (const auto& entry : sqlCorrelations) buildBodyLiterals(entry.first, body);
    limitVariables(head, body);
    classifyHead(head);
    std::vector<ATOM> heads(1, std::move(head));
    rules.emplace_back(&heads, &body);
}

void translateSelectBlock(const SQLSELECTLIST& selectList, const SSC_Tree& where) {
    for (const std::unique_ptr<SSC_Tree>& item : selectList) {
        if (!item->node) refuseUnsupported("Numeric literals not supported yet");
        item->node->addToSelectList();
    }
    evalWhereClause(where);
    emitQueryRule(sqlResultNames.back());
    clearBlockScope();
}

}  // namespace veltra
