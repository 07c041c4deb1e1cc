#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The library changes the process's current folder; death tests re-run
    // the program rather than fork a copy of a changed process. A run that
    // cannot re-run it (a 32-bit program under an emulator the kernel does
    // not know) asks for forking through GTEST_DEATH_TEST_STYLE.
    if (std::getenv("GTEST_DEATH_TEST_STYLE") == nullptr) {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
    return RUN_ALL_TESTS();
}
