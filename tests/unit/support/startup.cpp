// Every unit suite starts like a run: the built-in predicates hold indices 0
// to 9 and object 0 is registered before any test builds atoms.
#include <gtest/gtest.h>

#include "core/predicatetable.h"

namespace {

class STARTUP : public ::testing::Environment {
public:
    void SetUp() override { veltra::registerBuiltins(); }
};

const ::testing::Environment* const startup = ::testing::AddGlobalTestEnvironment(new STARTUP);

}  // namespace
