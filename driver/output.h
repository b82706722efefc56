// driver/output.h: printing of models, costs and query answers, and the model
// hooks of plain, brave and cautious reasoning.
#pragma once
#include <memory>
#include <ostream>

#include "core/groundprogram.h"
#include "generator/modelgenerator.h"

namespace veltra {

extern bool queryWitnessFound;                     // a ground query was decided by a witness
extern std::unique_ptr<INTERPRETATION> queryAnswers;  // answers of a non-ground query

// One model without a line end: "{", the printable atoms joined by ", ", "}".
// Facts first (unless "-nofacts"), then set, then the true atoms of model.
void printInterpretation(std::ostream& out, const ATOMSET* set, const INTERPRETATION* model);

// Between these two calls printInterpretation keeps every atom's text it
// formed: the search's answer sets share most of their atoms. Only while the
// tables, filters and facts stay unchanged, as they do during the search.
void beginModelOutput();
void endModelOutput();

bool printModelWithCost(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);
bool braveModelHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);
bool cautiousModelHook(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);

// The answers of a non-ground query: the arguments of every true "#query" atom.
void printQueryAnswers(std::ostream& out, const ATOMSET& set, const INTERPRETATION& answers);

// The verdict printed at the end of a brave or cautious run without witness.
void printQueryVerdict(std::ostream& out);

}  // namespace veltra
