// analysis/rewrite.h: the rewriting passes that edit the non-ground program in
// place before grounding: basic rewriting, projection and subsumption.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/rule.h"

namespace veltra {

// Facts about the program found by basicRewriting, for the driver: a positive
// built-in literal occurs (rules out the propositional grounder), an aggregate
// literal occurs (handed to the model generator). False until the pass runs.
extern bool builtinsPresent;
extern bool aggregatesPresent;

// Set once a rule or constraint qualified for projection, whether or not it
// was then changed; read by the model generator's printer of atom sets.
extern bool projectionApplied;

// Under "-ORb" drops negative literals over undefined predicates (kind still
// 0), and under "-ORb -ORdr" whole rules and constraints with a positive
// literal over one; removes head atoms that the rule's own body denies and
// turns a rule whose head became empty into a constraint. Sets both flags
// (first cleared) under any options. A constraint whose body becomes empty
// ends the run through finish(0). Weak constraints are only read.
void basicRewriting(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints,
                    const std::vector<WEAKCONSTRAINT>& weakConstraints, bool& builtinsPresent,
                    bool& aggregatesPresent);

// Projection of the rules present at the call; the defining rules of the
// auxiliary predicates are appended to rules and not rewritten themselves.
void projectRules(std::vector<RULE>& rules);
// The same over the constraints present at the call; defining rules go to rules.
void projectConstraints(std::vector<CONSTRAINT>& constraints, std::vector<RULE>& rules);
// Projects one rule (isRule) or constraint of the containers in place.
void projectionRewriting(std::vector<RULE>& rules, std::vector<CONSTRAINT>& constraints, size_t index,
                         bool isRule);

// Deletes every rule that another rule subsumes (the subsuming one stays; of
// two rules equal up to variable names the later stays). Constraints are not
// looked at. Returns true.
bool removeSubsumedRules(std::vector<RULE>& rules);
// Greedy test whether one substitution maps r1's head into r2's head and r1's
// body into r2's body. It may miss a subsumption; a true answer is sound.
bool subsumes(const RULE& r1, const RULE& r2);

// Turns the object program into plain rules, once, when objects beyond object
// 0 exist: atoms of predicates with a complement get their object as first
// argument, overriding goes through the generated "__prec", "__ovr" and
// "__proj" predicates. Edits edbFacts, rules and constraints (weak constraints
// and the query stay); warns about facts an object below redefines.
// Unless everyPrecedenceFact, the precedence facts that no rule reads (those
// whose ancestor overrides nothing) stay out of edbFacts; omittedFacts
// describes them. A caller sets it when edbFacts is printed or counted.
void rewriteInheritance(std::vector<std::unique_ptr<OBJECT>>& objects, bool everyPrecedenceFact = true);

// EDB facts of one predicate that edbFacts leaves out because no rule can
// match them. The grounder's size and distinct-value figures count them as
// if they were present, so that it orders bodies as it would with them.
struct OMITTEDFACTS {
    int32_t predicate = -1;          // -1: none left out
    uint32_t count = 0;              // facts left out
    std::vector<uint32_t> distinct;  // per argument position: distinct values over every fact, stored or not
    uint64_t ancestorsWalked = 0;    // steps of the walks over ancestors that made or counted them
};
extern OMITTEDFACTS omittedFacts;
// Number of the next "__ovrN" guard; grows through the run.
extern int32_t overrideRuleCounter;

// Magic sets for a ground query: replaces rules by the query rules, the magic
// rules, the seeds and the rules guarded by their magic atoms. Prints why
// and changes nothing when the query has no IDB atom with arguments, when
// constraints exist or when a rule is disjunctive. The caller has checked
// that a query exists, is ground and names no EDB predicate.
void rewriteMagicSets();

}  // namespace veltra
