// The order of start-up: every step comes after the steps it needs.

#include "program.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace tremlo::test {
namespace {

TEST(StartOrder, EveryStepComesAfterTheStepsItNeeds) {
    std::set<std::string> done;
    for (const StartStep& step : startSteps()) {
        for (const char* needed : step.after)
            EXPECT_TRUE(done.contains(needed)) << step.name << " before " << needed;
        EXPECT_TRUE(done.insert(step.name).second) << step.name << " twice";
    }
    // The last step lets a request to end reach the event loop; one before
    // it would end a program whose window is not yet shown.
    ASSERT_FALSE(startSteps().empty());
    EXPECT_EQ(std::string(startSteps().back().name), "answer to signals");
}

} // namespace
} // namespace tremlo::test
