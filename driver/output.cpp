// driver/output.cpp: models, costs, query verdicts and answers.
#include "driver/output.h"

#include <iostream>
#include <string>
#include <vector>

#include "core/finish.h"
#include "core/rule.h"
#include "driver/options.h"
#include "input/dbstatement.h"

namespace veltra {

bool queryWitnessFound = false;
std::unique_ptr<INTERPRETATION> queryAnswers;

// Whether an atom of a model is printed: internal predicates never, and with
// "-filter="/"-pfilter=" only the named predicates.
static bool printable(const ATOM& atom) {
    if (predicateTable.internal[atom.predicate]) return false;
    if (outputFilter.empty() && positiveOutputFilter.empty()) return true;
    const std::string& name = predicateTable.name(atom.predicate).str();
    bool strong = !name.empty() && name[0] == '-';
    if (outputFilter.count(strong ? name.substr(1) : name)) return true;
    return !strong && positiveOutputFilter.count(name);
}

// The texts of printed atoms, kept between beginModelOutput and
// endModelOutput, while the search reports answer sets: the atom, symbol and
// predicate tables, the filters and the facts stay as they are then, so each
// atom is formed once. Outside that window every model is formed afresh: a
// text kept there could outlive the tables it was formed from.
namespace {
constexpr uint32_t TEXT_UNKNOWN = UINT32_MAX;      // not formed yet
constexpr uint32_t TEXT_HIDDEN = UINT32_MAX - 1;   // not printable
struct ATOMTEXT {
    size_t offset = 0;
    uint32_t length = TEXT_UNKNOWN;
};
struct MODELTEXTS {
    bool active = false;
    const ATOMSET* set = nullptr;  // the set whose atoms head holds
    bool headFormed = false;
    bool headEmpty = true;         // head holds no atom
    std::string head;              // "{", the facts and the atoms of set
    std::string pool;              // the ground atoms' texts, end to end
    std::vector<ATOMTEXT> atoms;   // by ground atom index
    std::string out;               // the model being formed
};
MODELTEXTS modelTexts;
}  // namespace

static void appendModelAtom(std::string& out, const ATOM& atom) {
    if (objectsUsed)
        appendOutputAtom(out, atom);
    else
        appendAtom(out, atom);
}

// Appends "{" and the printable facts (when printed) and atoms of set (when
// given); false when no atom was.
static bool appendHead(std::string& out, const ATOMSET* set) {
    bool first = true;
    auto write = [&](const ATOM& atom) {
        if (!printable(atom)) return;
        if (!first) out += ", ";
        first = false;
        appendModelAtom(out, atom);
    };
    out += '{';
    if (OPTIONS.printFacts) edbFacts.forEach(write);
    if (set) set->forEach(write);
    return !first;
}

// The text of ground atom i from the window's store, formed on first use;
// false when the atom is not printable.
static bool storedText(int32_t i, const char*& text, size_t& length) {
    MODELTEXTS& m = modelTexts;
    ATOMTEXT& entry = m.atoms[size_t(i)];
    if (entry.length == TEXT_UNKNOWN) {
        const ATOM& atom = groundAtom(i);
        if (!printable(atom)) {
            entry.length = TEXT_HIDDEN;
        } else {
            entry.offset = m.pool.size();
            appendModelAtom(m.pool, atom);
            size_t n = m.pool.size() - entry.offset;
            if (n >= TEXT_HIDDEN) internalError("atom text too long");
            entry.length = uint32_t(n);
        }
    }
    if (entry.length == TEXT_HIDDEN) return false;
    text = m.pool.data() + entry.offset;
    length = entry.length;
    return true;
}

void beginModelOutput() {
    modelTexts = MODELTEXTS();
    modelTexts.active = true;
    modelTexts.atoms.resize(size_t(groundAtomCount));
}

void endModelOutput() { modelTexts = MODELTEXTS(); }

void printInterpretation(std::ostream& target, const ATOMSET* set, const INTERPRETATION* model) {
    // The text goes to target in one write: many small writes to a stream
    // synchronised with C stdio cost more than forming the text.
    MODELTEXTS& m = modelTexts;
    bool stored = m.active && size_t(groundAtomCount) == m.atoms.size();
    std::string& out = m.out;
    out.clear();
    bool first;
    if (stored) {
        if (!m.headFormed || m.set != set) {
            m.head.clear();
            m.headEmpty = !appendHead(m.head, set);
            m.set = set;
            m.headFormed = true;
        }
        out += m.head;
        first = m.headEmpty;
    } else {
        first = !appendHead(out, set);
    }
    if (model) {
        for (int32_t i = 0; i < groundAtomCount; ++i) {
            if (!isTrueValue(model->values[i])) continue;
            if (stored) {
                const char* text;
                size_t length;
                if (!storedText(i, text, length)) continue;
                if (!first) out += ", ";
                out.append(text, length);
            } else {
                const ATOM& atom = groundAtom(i);
                if (!printable(atom)) continue;
                if (!first) out += ", ";
                appendModelAtom(out, atom);
            }
            first = false;
        }
    }
    out += '}';
    target.write(out.data(), std::streamsize(out.size()));
    if (OPTIONS.exportPending) {
        exportModel();
        OPTIONS.exportPending = false;
    }
}

// Counts a reported answer set; stops the search when -n= is reached.
static void countPrinted(MODELGENERATOR* generator) {
    ++generator->answerSetsPrinted;
    if (generator->answerSetsPrinted == 1) generator->searchTimer.stop();
    if (generator->maxModels != 0 && generator->maxModels == generator->answerSetsPrinted)
        generator->searchState = SEARCH_STOPPED;
}

bool printModelWithCost(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model) {
    if (!silent && generator && generator->answerSetsPrinted > 0) std::cout << '\n';
    bool weak = generator && (generator->weakConstraintsPresent || generator->inputWeakConstraintsPresent);
    if (weak) {
        if (generator->optimumKnown && !generator->costBoundGiven)
            std::cout << "Best model: ";
        else if (generator->wcTrace)
            std::cout << "Current model [maybe not optimal]: ";
    }
    printInterpretation(std::cout, &trueAtoms, model);
    std::cout << '\n';
    if (generator && generator->optimumKnown) countPrinted(generator);
    if (weak) {
        std::cout << "Cost ([Weight:Level]): ";
        if (model)
            printCostLine(std::cout, model->cost, maxWeakConstraintLevel);
        else
            std::cout << "<0>";
        std::cout << '\n';
    }
    return true;
}

static void printQuery(std::ostream& out) {
    if (query) printLiterals(out, *query, ", ");
}

// A ground query decided by this answer set: print the witness and stop.
static bool reportWitness(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model,
                          const char* verdict, bool blankLine) {
    printQuery(std::cout);
    std::cout << verdict;
    printInterpretation(std::cout, &trueAtoms, model);
    std::cout << '\n';
    if (blankLine && !silent) std::cout << '\n';
    queryWitnessFound = true;
    if (generator) countPrinted(generator);
    return false;
}

static std::unique_ptr<INTERPRETATION> newAnswers(int32_t value) {
    auto answers = std::make_unique<INTERPRETATION>();
    answers->values.assign(groundAtomCount, value);
    return answers;
}

bool braveModelHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model) {
    if (OPTIONS.queryGround) return reportWitness(generator, trueAtoms, model, " is bravely true, evidenced by ", true);
    if (!generator || !model) {
        queryAnswers = newAnswers(TV_FALSE);
        return true;
    }
    if (generator->answerSetsComputed == 1 || !queryAnswers) queryAnswers = newAnswers(TV_FALSE);
    for (int32_t i = 0; i < groundAtomCount; ++i)
        if (isTrueValue(model->values[i])) queryAnswers->values[i] = TV_ASSUMED;
    return true;
}

bool cautiousModelHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model) {
    if (OPTIONS.queryGround)
        return reportWitness(generator, trueAtoms, model, " is cautiously false, evidenced by ", false);
    if (!generator || !model) {
        queryAnswers = newAnswers(TV_FALSE);
        return true;
    }
    if (generator->answerSetsComputed == 1 || !queryAnswers) queryAnswers = newAnswers(TV_ASSUMED);
    int32_t queryPredicate = predicateTable.find(NAME("#query"));
    bool candidateLeft = false;
    for (int32_t i = 0; i < groundAtomCount; ++i) {
        if (groundAtom(i).predicate != queryPredicate) continue;
        if (!isTrueValue(model->values[i]))
            queryAnswers->values[i] = TV_FALSE;
        else if (isTrueValue(queryAnswers->values[i]))
            candidateLeft = true;
    }
    return candidateLeft;
}

static void printArguments(std::ostream& out, const ATOM& atom) {
    const char* sep = "";
    if (const TERMLIST* t = atom.terms())
        for (const TERM& x : *t) {
            out << sep;
            printTerm(out, x);
            sep = ", ";
        }
    out << '\n';
}

void printQueryAnswers(std::ostream& out, const ATOMSET& set, const INTERPRETATION& answers) {
    int32_t queryPredicate = addPredicate(predicateTable, NAME("#query"), 0, KIND_LOOKUP).first;
    for (const ATOM& a : set.atomsOfPredicate(queryPredicate)) printArguments(out, a);
    for (int32_t i = 0; i < groundAtomCount && size_t(i) < answers.values.size(); ++i) {
        const ATOM& a = groundAtom(i);
        if (predicateTable.name(a.predicate).str() == "#query" && isTrueValue(answers.values[i])) printArguments(out, a);
    }
}

void printQueryVerdict(std::ostream& out) {
    if (queryWitnessFound) return;
    if (OPTIONS.queryGround) {
        if (!query) return;
        printQuery(out);
        out << (frontend == FRONTEND_BRAVE ? " is bravely false." : " is cautiously true.") << '\n';
    } else if (queryAnswers) {
        printQueryAnswers(out, trueAtoms, *queryAnswers);
    } else {
        out << "No stable model found.\n";
    }
}

}  // namespace veltra
