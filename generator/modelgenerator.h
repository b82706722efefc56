// generator/modelgenerator.h: the answer-set search object and the hooks
// through which it reports answer sets.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/groundprogram.h"
#include "core/timer.h"
#include "generator/cost.h"

namespace veltra {

// Truth values per ground atom: 0 undefined, 1 false, 2 must-be-true, 4 true
// after must-be-true, 8 true by assumption; above 3 counts as true.
enum : int32_t { TV_UNDEFINED = 0, TV_FALSE = 1, TV_MUSTBETRUE = 2, TV_TRUE = 4, TV_ASSUMED = 8 };
inline bool isTrueValue(int32_t v) { return v > 3; }

struct INTERPRETATION {
    std::vector<int32_t> values;  // one per ground atom
    uint32_t mustBeTrueCount = 0;
    bool logging = false;
    std::vector<int32_t> undoLog;
    std::vector<int32_t> undoValues;
    COSTVECTOR cost;
};

class MODELGENERATOR;
using MODELHOOK = bool (*)(MODELGENERATOR* generator, const ATOMSET& trueAtoms, const INTERPRETATION* model);

// The search state the driver and the model hooks read and write.
class MODELGENERATOR {
public:
    bool optimumKnown = true;
    std::unique_ptr<INTERPRETATION> bestModel;
    COSTVECTOR initialCost;
    uint32_t answerSetsComputed = 0;
    uint32_t answerSetsPrinted = 0;
    uint32_t maxModels = 0;  // 0: all
    int32_t searchState = 0;  // a hook sets 1 to stop the search
    bool weakConstraintsPresent = false;       // the ground program has weak constraints
    bool inputWeakConstraintsPresent = false;  // the input had weak constraints
    bool wcTrace = false;
    bool costBoundGiven = false;
    MODELHOOK modelHook = nullptr;
    TIMER searchTimer, totalTimer, callbackTimer;
};

}  // namespace veltra
