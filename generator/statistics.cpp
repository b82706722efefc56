// generator/statistics.cpp: the model generator's lines of the "-stats"
// report: what the search counted (depth, choices, lookaheads, partial and
// model checks, answer sets) and where its time went.
#include "generator/statistics.h"

#include <iomanip>

#include "checker/modelchecker.h"
#include "core/options.h"
#include "core/timer.h"

namespace veltra {

namespace {

// One line: label and count. Every line of the report is flushed at once, so
// that a run that dies later still leaves what was written.
void printCount(std::ostream& out, const char* label, uint32_t count) {
    out << label << count << '\n';
    out.flush();
}

void printTimeLine(std::ostream& out, const char* label, TIMEVALUE time) {
    out << label;
    printTime(out, time) << '\n';
    out.flush();
}

// a - b with the microseconds brought back into range once; a result that
// stays out of range (or negative) prints as a timing error.
TIMEVALUE subtractTime(TIMEVALUE a, TIMEVALUE b) {
    TIMEVALUE r{a.seconds - b.seconds, a.microseconds - b.microseconds};
    if (r.microseconds < 0) {
        r.microseconds += 1000000;
        --r.seconds;
    } else if (r.microseconds > 999999) {
        r.microseconds -= 1000000;
        ++r.seconds;
    }
    return r;
}

// The depth line, and at level 2 the per-depth counts with their sum.
void printDepth(const MODELGENERATOR& g, std::ostream& out) {
    out << "Maximum recursion level   : ";
    if (g.initiallyInconsistent) {
        out << "n/a (inconsistency in well-founded computation)\n";
        out.flush();
        return;
    }
    if (g.maxLevel == 0) {
        out << "n/a (initial partial model check failed)\n";
        out.flush();
        return;
    }
    out << g.maxLevel - 1 << '\n';
    out.flush();
    if (statsLevel == STATS_DETAILED) {
        // levelCounts[i] counts the entries into level i + 1, i.e. depth i.
        uint32_t consistent = 0;
        for (uint32_t depth = 1; depth < g.maxLevel; ++depth) {
            const uint32_t times = depth < g.levelCounts.size() ? uint32_t(g.levelCounts[depth]) : 0;
            consistent += times;
            // The field is padded with whatever fill the stream carries.
            out << "         Reached level " << std::setw(3) << depth << ": " << times << " times\n";
            out.flush();
        }
        printCount(out, "=> Consistent choices     : ", consistent);
        printCount(out, "Inconsistent choices      : ", g.inconsistentChoices);
    }
    printCount(out, "Choice Points             : ", g.choicePoints);
}

}  // namespace

void printSearchStatistics(const MODELGENERATOR& g, std::ostream& out) {
    printDepth(g, out);
    if (statsLevel == STATS_DETAILED) {
        printCount(out, "Lookaheads performed      : ", g.lookaheadsPerformed);
        printCount(out, " Inconsistent lookaheads  : ", g.inconsistentLookaheads);
        printCount(out, " Pruning lookaheads       : ", g.pruningLookaheads);
        printCount(out, "Choice Points (internal)  : ", g.internalChoicePoints);
        printCount(out, "Partial checks forwards   : ", g.forwardPartialChecks);
        printCount(out, "         forwards (failed): ", g.forwardPartialChecksFailed);
        printCount(out, "Partial checks backtracking: ", g.backtrackingPartialChecks);
        printCount(out, "      backtracking (quick): ", g.quickPartialChecks);
        printCount(out, "Answer set candidates     : ", g.answerSetCandidates);
        printCount(out, "Total model checks        : ", g.totalModelChecks);
        printCount(out, "Answer sets computed      : ", g.answerSetsComputed);
        out << '\n';
        out.flush();
    }
    printCount(out, "Answer sets printed       : ", g.answerSetsPrinted);
}

void printGeneratorTimes(const MODELGENERATOR* generator, std::ostream& out) {
    // No search ran: all timers zero, model checks counted as on.
    static const TIMER zero;
    auto timer = [&](TIMER MODELGENERATOR::*field) { return timeOf(generator ? generator->*field : zero); };
    const uint32_t checkFlags = generator ? generator->checkFlags : CHECK_MODEL_CHECKING_ON;

    TIMEVALUE own = timer(&MODELGENERATOR::totalTimer);
    own = subtractTime(own, timer(&MODELGENERATOR::modelCheckTimer));
    own = subtractTime(own, timer(&MODELGENERATOR::partialCheckTimer));
    own = subtractTime(own, timer(&MODELGENERATOR::frontendTimer));
    printTimeLine(out, "Model Generator time      : ", own);
    if (statsLevel == STATS_DETAILED) {
        printTimeLine(out, " DS Initialisation        : ", timer(&MODELGENERATOR::initTimer));
        printTimeLine(out, " Depgraph                 : ", timer(&MODELGENERATOR::depgraphTimer));
        printTimeLine(out, " Well-founded computation : ", timer(&MODELGENERATOR::wellFoundedTimer));
        printTimeLine(out, " PT computation           : ", timer(&MODELGENERATOR::ptTimer));
        printTimeLine(out, " Frontend callbacks       : ", timer(&MODELGENERATOR::frontendTimer));
    }
    printTimeLine(out, "Model Checker time        : ",
                  addTimes(timer(&MODELGENERATOR::modelCheckTimer), timer(&MODELGENERATOR::partialCheckTimer)));
    if (!(checkFlags & CHECK_MODEL_CHECKING_ON)) return;
    printTimeLine(out, " Total Model Check time   : ", timer(&MODELGENERATOR::modelCheckTimer));
    printTimeLine(out, " Partial Model Check time : ", timer(&MODELGENERATOR::partialCheckTimer));
    if (statsLevel == STATS_DETAILED) {
        printTimeLine(out, "  Quick Partial Check time: ", timer(&MODELGENERATOR::quickCheckTimer));
        printModelCheckerStatistics();  // always on standard error
    }
}

}  // namespace veltra
