// main() of the test programs without Qt, in place of GoogleTest's own, which
// prints "Running main() from ..." on every run. A suite whose name ends in
// "Child" is a helper that a test starts by name in a process of its own:
// left out of an ordinary run rather than reported as skipped.
#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(filter) == "*")
        GTEST_FLAG_SET(filter, "-*Child.*");
    return RUN_ALL_TESTS();
}
