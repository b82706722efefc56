// frontends/planning/model.cpp: the records and tables of a planning problem
// and their printers.
#include "frontends/planning/planning.h"

namespace veltra {

PREDICATETABLE fluentTable;
PREDICATETABLE actionTable;
uint32_t maxActionArity = 0;
std::vector<PLANNINGSTATEMENT> planningDeclarations;
std::vector<PLANNINGSTATEMENT> planningRules;
std::unique_ptr<PLANNINGLITERALLIST> planningGoal;
bool actionCostsGiven = false;
bool costLevelsGiven = false;

namespace {

template <class T>
std::unique_ptr<T> copyOf(const std::unique_ptr<T>& p) {
    return p ? std::make_unique<T>(*p) : nullptr;
}

}  // namespace

PLANNINGLITERAL::PLANNINGLITERAL(const PLANNINGLITERAL& other)
    : trueNegated(other.trueNegated), name(other.name), args(copyOf(other.args)) {}

PLANNINGLITERAL& PLANNINGLITERAL::operator=(const PLANNINGLITERAL& other) {
    if (this != &other) {
        trueNegated = other.trueNegated;
        name = other.name;
        args = copyOf(other.args);
    }
    return *this;
}

void PLANNINGLITERAL::appendArgument(const std::string& a) {
    if (!args) args = std::make_unique<std::vector<std::string>>();
    args->push_back(a);
}

PLANNINGSTATEMENT::PLANNINGSTATEMENT(const PLANNINGSTATEMENT& other)
    : initially(other.initially),
      guessed(other.guessed),
      isDeclaration(other.isDeclaration),
      costs(copyOf(other.costs)),
      head(copyOf(other.head)),
      ifPart(copyOf(other.ifPart)),
      afterPart(copyOf(other.afterPart)) {}

PLANNINGSTATEMENT& PLANNINGSTATEMENT::operator=(const PLANNINGSTATEMENT& other) {
    if (this != &other) *this = PLANNINGSTATEMENT(other);
    return *this;
}

std::pair<int32_t, bool> findPredicate(const PREDICATETABLE& table, const std::string& name) {
    int32_t index = table.find(NAME(name));
    return {index, index >= 0};
}

std::vector<std::string>* makeArgumentList(const char* first, const char* second, const char* third) {
    auto* list = new std::vector<std::string>{first};
    if (second) list->push_back(second);
    if (third) list->push_back(third);
    return list;
}

std::ostream& printPlanningLiteral(std::ostream& out, const PLANNINGLITERAL& literal) {
    if (literal.trueNegated) out << '-';
    out << literal.name;
    if (literal.args && !literal.args->empty()) {
        out << '(';
        for (size_t i = 0; i < literal.args->size(); ++i) out << (i ? "," : "") << (*literal.args)[i];
        out << ')';
    }
    return out;
}

std::ostream& printPlanningLiterals(std::ostream& out, const PLANNINGLITERALLIST& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (i) out << ',';
        if (list[i].naf) out << "not ";
        printPlanningLiteral(out, list[i].literal);
    }
    return out;
}

std::ostream& printPlanningStatement(std::ostream& out, const PLANNINGSTATEMENT& s) {
    if (s.head) {
        bool fluent = isFluentName(s.head->name);
        if (s.isDeclaration)
            out << (fluent ? "fluents: " : "actions: ");
        else if (s.guessed)
            out << (fluent ? "total " : "executable ");
        else
            out << "caused ";
        printPlanningLiteral(out, *s.head);
    } else {
        out << "caused false";
    }
    if (s.ifPart) printPlanningLiterals(out << (s.isDeclaration ? " requires " : " if "), *s.ifPart);
    if (s.isDeclaration && s.costs) {
        out << " costs ";
        if (costLevelsGiven)
            out << *s.costs;
        else
            out << s.costs->substr(0, s.costs->find(':'));
    }
    if (s.afterPart) printPlanningLiterals(out << (s.isDeclaration ? " where " : " after "), *s.afterPart);
    return out << '.';
}

}  // namespace veltra
