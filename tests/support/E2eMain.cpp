// Entry point of every end-to-end test binary: it moves into its own mount and network
// namespaces before GoogleTest (or anything else) can start a thread, then runs the tests.
#include "PrivateNamespace.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    std::string strError;
    if (!VornTest::EnterPrivateNamespace(strError)) {
        std::fprintf(stderr, "cannot enter the private test namespace: %s\n", strError.c_str());
        return 1;
    }
    // A tool that exits before reading all its input must fail the test, not kill it.
    std::signal(SIGPIPE, SIG_IGN);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
