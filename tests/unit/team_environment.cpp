// Every parallel loop of the unit tests runs on the team however little its
// work, so that the tests on several threads go through the team's path.
#include <gtest/gtest.h>

#include "rhlib_M.h"

namespace {

struct EveryLoopOnTheTeam : ::testing::Environment {
    void SetUp() override { drawn_blocks::SetLeastSharedSeconds(0.0); }
};

::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new EveryLoopOnTheTeam);

}  // namespace
