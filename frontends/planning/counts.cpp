// frontends/planning/counts.cpp: the bounds on the number of actions executed
// at one time step ("noConcurrency", "-planminactions=", "-planmaxactions=").
#include <cctype>
#include <iostream>
#include <sstream>

#include "core/atom.h"
#include "core/finish.h"
#include "core/options.h"
#include "frontends/planning/planning.h"
#include "input/parse.h"

namespace veltra {

namespace {

int32_t parameterCount(int32_t action) { return actionTable.arities[action] - 1; }

// A generated rule over the action with variables variables would pass the
// limit of variables per rule: refused before any text is written.
void checkVariableLimit(int32_t action, int64_t variables) {
    if (variables <= MAXVARIABLES) return;
    std::cout.flush();
    std::cerr << "Action " << actionTable.name(action).str()
              << " has too many parameters for the limit on the number of actions per time.\n";
    finish(1);
}

// An action's name as a constant of the projection: a name that begins with
// an upper-case letter would be read as a variable there, so it is written
// with a leading '$', which no declared name has.
std::string actionConstant(const std::string& name) {
    return std::isupper(static_cast<unsigned char>(name[0])) ? "$" + name : name;
}

// A bound above the integer range ("-N=") could not be written into the
// count constraint.
void checkBoundInRange(uint32_t bound, const char* option, const char* what) {
    if (OPTIONS.maxInt < 0 || bound <= uint32_t(OPTIONS.maxInt)) return;
    std::cout.flush();
    std::cerr << option << ": " << what << " number of actions per time exceeds the maximum integer (-N).\n";
    finish(1);
}

}  // namespace

void processNoConc() {
    for (int32_t i = 0; i < actionTable.count; ++i) checkVariableLimit(i, 2 * int64_t(parameterCount(i)) + 1);
    for (int32_t i = 0; i < actionTable.count; ++i) {
        const std::string& a = actionTable.name(i).str();
        const int32_t p = parameterCount(i);
        std::string first = a + "(", second = a + "(";
        for (int32_t k = p; k >= 1; --k) {
            first += "X" + std::to_string(2 * k) + ",";
            second += "X" + std::to_string(2 * k - 1) + ",";
        }
        first += "T)";
        second += "T)";
        std::stringstream text;
        for (int32_t f = 2 * p; f >= 2; f -= 2)
            text << ":- " << first << ", " << second << ", X" << f << "!= X" << f - 1 << ".\n";
        for (int32_t j = i + 1; j < actionTable.count; ++j) {
            const int32_t q = parameterCount(j);
            std::string other = actionTable.name(j).str() + "(";
            for (int32_t m = 2 * p + q; m >= 2 * p + 1; --m) other += "X" + std::to_string(m) + ", ";
            other += "T)";
            text << ":- " << first << ", " << other << ".\n";
        }
        if (!parseFromStream(text)) internalError("processNoConc");
    }
}

void constrainNumberOfActions() {
    const uint32_t least = static_cast<uint32_t>(planMinActions), most = static_cast<uint32_t>(planMaxActions);
    if (least == 0 && most == 0) return;
    if (least == 0 && most == 1) {
        processNoConc();
        return;
    }
    if (least >= 1 && most >= 1 && most < least) {
        std::cout.flush();
        std::cerr << "-planminactions: Minimum number of actions must be less than or equal to maximum number "
                     "of actions per time.\n";
        finish(1);
    }
    checkBoundInRange(least, "-planminactions", "Minimum");
    checkBoundInRange(most, "-planmaxactions", "Maximum");
    for (int32_t i = 0; i < actionTable.count; ++i)
        if (uint32_t(parameterCount(i)) == maxActionArity) checkVariableLimit(i, int64_t(maxActionArity) + 2);

    std::stringstream text;
    for (int32_t i = 0; i < actionTable.count; ++i) {
        const std::string& a = actionTable.name(i).str();
        const uint32_t p = static_cast<uint32_t>(parameterCount(i));
        text << "$proj_action(" << actionConstant(a) << ',';
        for (uint32_t k = 1; k <= maxActionArity; ++k) {
            if (k <= p)
                text << 'X' << k << ',';
            else
                text << "0,";
        }
        text << "T) :- " << a << '(';
        for (uint32_t k = 1; k <= p; ++k) text << 'X' << k << ',';
        text << "T).\n";
    }
    std::string tuple;
    for (uint32_t k = 1; k <= maxActionArity; ++k) tuple += ",X" + std::to_string(k);
    text << ":-$actiontime(T), not " << least << " <= #count{A" << tuple << ":$proj_action(A" << tuple << ",T)}";
    if (most != 0) text << "<= " << most;
    text << ".\n";
    if (!parseFromStream(text)) internalError("constrainNumberOfActions");
}

}  // namespace veltra
