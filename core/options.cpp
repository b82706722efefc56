// core/options.cpp: the option record and the flag globals, at their
// compiled-in defaults.
#include "core/options.h"

namespace veltra {

OPTIONRECORD OPTIONS;

int32_t frontend = FRONTEND_PLAIN;
int32_t diagnosisMode = DIAGNOSIS_PLAIN;
int32_t planningMode = 0;
int32_t statsLevel = STATS_NONE;
bool statsGrounding = false;
int32_t modelCheckMethod = 0;
int32_t verbose = 0;
bool silent = false;
bool satLike = false;
bool wcTrace = false;
bool costBoundGiven = false;
uint32_t combineComplementPT = 0;
NAMESET outputFilter;
NAMESET positiveOutputFilter;
std::vector<uint32_t> heuristicList;
std::vector<uint32_t> checkerHeuristicList;
std::vector<uint32_t> combineHeuristicList;
bool useMagicSets = false;
bool useSubsumption = false;
bool waitAtExit = false;
int32_t secureCheckMethod = 0;
int32_t planMinActions = 0;
int32_t planMaxActions = 0;

const char* programName = "";

}  // namespace veltra
