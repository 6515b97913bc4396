// Libraries opened on first use: one that is not there, or lacks a function
// the program calls, is never taken for ready. (That the forwarded calls
// reach the real libraries, every decoding and music test shows.)

#include "library_on_demand.h"

#include <gtest/gtest.h>

namespace tremlo::sound::test {
namespace {

bool resolveNothing(void*) {
    return true;
}

bool missAFunction(void*) {
    return false;
}

TEST(LibraryOnDemand, IsReadyOnlyWhenTheLibraryAndEveryFunctionAreThere) {
    LibraryOnDemand absent("libtremlo-absent.so.0", resolveNothing);
    EXPECT_FALSE(absent.ready());
    EXPECT_FALSE(absent.ready()) << "and stays so, without trying again";
    LibraryOnDemand incomplete("libm.so.6", missAFunction);
    EXPECT_FALSE(incomplete.ready());
    LibraryOnDemand present("libm.so.6", resolveNothing);
    EXPECT_TRUE(present.ready());
}

} // namespace
} // namespace tremlo::sound::test
