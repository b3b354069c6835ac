// A connection's command loop run in this process on a socket pair: how a client that stops
// talking is let go.
#include "VornScanDaemon.h"
#include "daemonHelper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ScanConnection, IdleOrStalledClientIsLetGo)
{
    char pattern[] = "/tmp/vorn-scanconn-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    ASSERT_TRUE(VornInitDbg(folder));
    stDaemonLimits limits;
    limits.idleTimeoutMs = 100;
    // Nothing at all, and half a command code after which the client stalls.
    for (const std::string& sent : {std::string(), std::string("\x05\x00", 2)}) {
        SCOPED_TRACE(sent.size());
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        ASSERT_EQ(write(pair[1], sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        vorn_ServeClient(pair[0], folder, limits);
        close(pair[0]);
        close(pair[1]);
    }
    std::ifstream in(folder + "/" + kVornInfoLogName);
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(log.find("idle, closing"), std::string::npos);
    size_t disconnects = 0;
    for (size_t at = log.find("DISCONNECT FROM SERVER"); at != std::string::npos; at = log.find("DISCONNECT", at + 1))
        ++disconnects;
    EXPECT_EQ(disconnects, 2u);
    VornInitDbg("/nonexistent");
    fs::remove_all(folder);
}
