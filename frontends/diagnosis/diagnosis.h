// frontends/diagnosis/diagnosis.h: abductive and Reiter's diagnosis. Hypotheses
// (".hyp") and observations (".obs") are read into two lists, translated into
// rules, constraints and weak constraints whose answer sets are the
// diagnoses, and every diagnosis is printed as the hypotheses it assumes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/atom.h"
#include "core/rule.h"
#include "generator/modelgenerator.h"

namespace veltra {

struct HYPOTHESIS {
    ATOM atom;           // a "not" written before it is dropped
    int32_t weight = 0;  // 0 .. maxHypothesisWeight; only "-FDmincost" admits one
};

// Hypothesis number i, counted from 1, is entry i - 1; the translation and
// the output name hypotheses by these numbers.
extern std::vector<HYPOTHESIS> hypotheses;
// The negation flag is set for an entry written with "not" or "non".
extern std::vector<LITERAL> observations;
// Set by the driver before each file: false for ".hyp", true for ".obs".
extern bool readingObservations;

// The largest hypothesis weight whose fixed-point form (times 1000) fits the
// stored weights of weak constraints.
constexpr int32_t maxHypothesisWeight = 2147483;

// Reads one ".hyp" or ".obs" file from its beginning to its end or to its
// first syntax error, appending to hypotheses or observations. Errors are
// reported and counted in parseErrorCount; the two weight errors of
// hypothesis files end the run with status 1.
void readDiagnosisFile(FILE* input);

// Makes the predicate of atom an IDB predicate; facts of it read before move
// from edbFacts to rules as bodiless rules, so generated rules may define it.
void factsToRules(const ATOM& atom);

// Checks that the theory (every rule and constraint read so far) fits the
// diagnosis variant of frontend and diagnosisMode, and appends the variant's
// rules, constraints and weak constraints. A theory that does not fit ends
// the run with a message and status 1.
void translateDiagnosis(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                        std::vector<WEAKCONSTRAINT>& weakConstraints, const std::vector<HYPOTHESIS>& hypotheses,
                        const std::vector<LITERAL>& observations);

// The layer that rejects every answer set whose diagnosis stays one without
// one of its members (subset-minimal variants). r and m are the numbers of
// theory rules and theory constraints, the first entries of their containers.
void addMinimalityCheck(std::vector<RULE>& rules, size_t r, const std::vector<HYPOTHESIS>& hypotheses,
                        const std::vector<LITERAL>& observations, std::vector<CONSTRAINT>& constraints, size_t m);

// The model hook of both diagnosis frontends: "Diagnosis:" and the atoms of
// the hypotheses whose "_sol" atom is true, in trueAtoms or in model. Counts
// the diagnosis and stops the search at "-n=". Always true.
bool printDiagnosis(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);

}  // namespace veltra
