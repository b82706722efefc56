// frontends/planning/causation.cpp: causation statements become time-stamped
// rules and constraints of the main language.
#include <cctype>
#include <iostream>
#include <sstream>

#include "core/finish.h"
#include "core/options.h"
#include "frontends/planning/planning.h"
#include "input/parse.h"

namespace veltra {

namespace {

bool isExecName(const std::string& name) { return name.compare(0, 6, "$exec_") == 0; }

bool isPlanningName(const std::string& name) { return isFluentName(name) || isActionName(name); }

const PLANNINGSTATEMENT* declarationOf(const std::string& name) {
    const std::string& base = isExecName(name) ? name.substr(6) : name;
    for (const PLANNINGSTATEMENT& d : planningDeclarations)
        if (d.head->name == base) return &d;
    return nullptr;
}

// Letters and digits stay; every other byte becomes "_" and a letter code,
// so that different texts never give the same fragment of a name.
void appendEncoded(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else if (c == '_') {
            out += "_u";
        } else {
            out += "_x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
}

// The variable that stands for the local variable x of a requires list when
// it types literal: one variable per local variable and literal (name and
// arguments), and no name the input could spell, since it holds a "$".
std::string localVariableName(const std::string& x, const PLANNINGLITERAL& literal) {
    std::string name = "V$";
    appendEncoded(name, x);
    name += "_n";
    appendEncoded(name, literal.name);
    if (literal.args) {
        for (const std::string& a : *literal.args) {
            name += "_a";
            appendEncoded(name, a);
        }
    }
    return name;
}

std::ostream& printBodyLiteral(std::ostream& out, const PLANNINGBODYLITERAL& b) {
    if (b.naf) out << "not ";
    return printPlanningLiteral(out, b.literal);
}

}  // namespace

void addRequiresLiterals(PLANNINGSTATEMENT& s) {
    std::vector<PLANNINGLITERAL> collected;
    if (s.head) collected.push_back(*s.head);
    if (s.ifPart)
        for (const PLANNINGBODYLITERAL& b : *s.ifPart)
            if (isFluentName(b.literal.name) && (b.naf || (frontend == FRONTEND_PLANNING_C && s.head)))
                collected.push_back(b.literal);
    if (s.afterPart)
        for (const PLANNINGBODYLITERAL& b : *s.afterPart)
            if (b.naf && isPlanningName(b.literal.name)) collected.push_back(b.literal);

    for (const PLANNINGLITERAL& l : collected) {
        const PLANNINGSTATEMENT* d = declarationOf(l.name);
        if (!d || !d->ifPart) continue;
        const std::vector<std::string>* parameters = d->head->args.get();
        for (const PLANNINGBODYLITERAL& r : *d->ifPart) {
            PLANNINGBODYLITERAL added{r.naf, PLANNINGLITERAL(r.literal.trueNegated, r.literal.name, nullptr)};
            if (r.literal.args) {
                added.literal.args = std::make_unique<std::vector<std::string>>();
                for (const std::string& x : *r.literal.args) {
                    size_t h = 0;
                    while (parameters && h < parameters->size() && h < l.argCount() && (*parameters)[h] != x) ++h;
                    if (parameters && h < parameters->size() && h < l.argCount())
                        added.literal.args->push_back((*l.args)[h]);
                    else if (std::isupper(static_cast<unsigned char>(x[0])))
                        added.literal.args->push_back(localVariableName(x, l));
                    else
                        added.literal.args->push_back(x);
                }
            }
            if (!s.ifPart) s.ifPart = std::make_unique<PLANNINGLITERALLIST>();
            s.ifPart->push_back(std::move(added));
        }
    }
}

void translateCausationRule(PLANNINGSTATEMENT& s) {
    const PLANNINGSTATEMENT written = s;
    const std::string time = s.initially ? "0" : "T$1";
    const bool headIsAction = s.head && (isActionName(s.head->name) || isExecName(s.head->name));
    std::ostringstream head, body;

    if (s.head) {
        s.head->appendArgument(time);
        printPlanningLiteral(head, *s.head);
        if (s.guessed) {
            head << " v -";
            printPlanningLiteral(head, *s.head);
        }
    }
    if (s.ifPart) {
        for (size_t i = 0; i < s.ifPart->size(); ++i) {
            PLANNINGBODYLITERAL& b = (*s.ifPart)[i];
            bool action = isActionName(b.literal.name);
            if (action || isFluentName(b.literal.name)) {
                if (action && !headIsAction) {
                    std::cout.flush();
                    std::cerr << "Actions must not be used in the " << "if-part of causation rules.\n";
                    finish(1);
                }
                if (frontend == FRONTEND_PLANNING_C && s.head) {
                    b.naf = !b.naf;
                    b.literal.trueNegated = !b.literal.trueNegated;
                }
                b.literal.appendArgument(time);
            }
            printBodyLiteral(body << (i ? "," : ""), b);
        }
    }
    if (s.afterPart) {
        if (s.ifPart) body << ", ";
        for (size_t i = 0; i < s.afterPart->size(); ++i) {
            PLANNINGBODYLITERAL& b = (*s.afterPart)[i];
            if (isPlanningName(b.literal.name) || isExecName(b.literal.name)) b.literal.appendArgument("T$");
            printBodyLiteral(body << (i ? "," : ""), b);
        }
    }
    if (s.ifPart || s.afterPart) body << ", ";
    if (s.afterPart)
        body << "$nexttime(T$," << time << ')';
    else if (headIsAction)
        body << "$actiontime(" << time << ')';
    else if (s.head || s.ifPart)
        body << "$time(" << time << ')';
    if (!s.head && !s.ifPart && !(planningMode & PLANNING_OPTIMISTIC)) head << "$abs";

    std::stringstream text;
    text << head.str() << " :- " << body.str() << '.';
    if (!parseFromStream(text)) {
        std::cout.flush();
        std::cerr << "Error while translating rule:\n   ";
        printPlanningStatement(std::cerr, written) << '\n';
        finish(1);
    }
}

void translateActionCosts(const PLANNINGSTATEMENT& d) {
    const std::string& costs = *d.costs;
    const std::string w = costs.substr(0, costs.find(':'));
    const std::string v = costs.substr(costs.find(':') + 1);
    PLANNINGLITERAL action = *d.head;
    action.appendArgument("T$");

    std::string atom = "$costs_" + action.name + "(";
    for (const std::string& a : *action.args) atom += a + ",";
    if (costLevelsGiven) atom += v + ",";
    atom += w + ")";

    auto report = [&d]() {
        std::cout.flush();
        std::cerr << "Error while translating declaration:\n   ";
        printPlanningStatement(std::cerr, d) << '\n';
        finish(1);
    };
    std::stringstream weak;
    weak << ":~ " << atom;
    if (std::isupper(static_cast<unsigned char>(w[0]))) weak << ", 0 < " << w;
    if (std::isupper(static_cast<unsigned char>(v[0]))) weak << ", 0 < " << v;
    weak << ". [" << costs << ']';
    if (!parseFromStream(weak)) report();

    bool timeUsed = costs.find("T$1") != std::string::npos;
    std::stringstream rule;
    rule << atom << " :- ";
    printPlanningLiteral(rule, action);
    for (const PLANNINGLITERALLIST* list : {d.ifPart.get(), d.afterPart.get()}) {
        if (!list) continue;
        rule << ", ";
        for (size_t i = 0; i < list->size(); ++i) {
            printBodyLiteral(rule << (i ? "," : ""), (*list)[i]);
            if (list == d.afterPart.get() && (*list)[i].literal.args)
                for (const std::string& a : *(*list)[i].literal.args) timeUsed = timeUsed || a == "T$1";
        }
    }
    if (timeUsed) rule << ", $nexttime(T$,T$1)";
    rule << ".\n";
    if (!parseFromStream(rule)) report();
}

}  // namespace veltra
