// The process: command line, -once, signals, where the binary lands.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "harness.h"

namespace {

struct ProcessRun {
    int status = -1;
    std::string output;
};

// Runs kobalserv with args to completion (bounded by the server's own exit).
ProcessRun runServer(const std::string& args) {
    ProcessRun run;
    std::string command = std::string(KOBALSERV_PATH) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(ServerCommandLine, HelpVersionAndBadArguments) {
    struct Case {
        const char* args;
        int status;
        const char* output;
    };
    const Case cases[] = {
        {"--help", 0, "usage: kobalserv [-once] [--port PORT]"},
        {"--version", 0, "kobalserv 1.0.2"},
        {"--port 70000", 2, "--port needs a number 0..65535"},
        {"--port abc", 2, "--port needs a number"},
        {"--port", 2, "--port needs a number"},
        {"--bind 999.1.1.1 --port 0", 1, "not an IPv4 address: 999.1.1.1"},
        {"--frobnicate", 2, "unknown option --frobnicate"},
        {"--idle-timeout -1", 2, "--idle-timeout needs seconds"},
        {"--queue-limit 1", 2, "--queue-limit needs KiB"},
        {"--speed-step 0", 2, "--speed-step needs seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ProcessRun run = runServer(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
    }
}

TEST(ServerCommandLine, APortInUseIsReportedAndEndsTheProcess) {
    ServerProcess first;
    ASSERT_TRUE(startServer(first));
    ProcessRun run = runServer("--bind 127.0.0.1 --port=" + std::to_string(first.port));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("cannot bind 127.0.0.1:" + std::to_string(first.port)), std::string::npos)
        << run.output;
    stopServer(first);
}

TEST(ServerLifecycle, OnceEndsWhenTheLastPlayerHasLeft) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {"-once"}));
    // A connection that never says hello (a port scan) is no player.
    TestClient scan;
    ASSERT_TRUE(connectClient(scan, server.port));
    closeClient(scan);
    ASSERT_TRUE(waitForLog(server, "leave player 1"));
    EXPECT_FALSE(waitForExit(server, 100));

    TestClient a, b;
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    ASSERT_TRUE(joinPlayer(b, server.port, "Bo", {&a}));
    closeClient(a);
    ASSERT_TRUE(receiveUntil(b, MSG_PLAYER_LEFT));
    EXPECT_FALSE(waitForExit(server, 100)) << "one player is still there";
    closeClient(b);
    EXPECT_EQ(waitForExit(server, 3000), std::optional<int>(0));
    EXPECT_NE(serverLog(server).find("the last player left; ending (-once)"), std::string::npos);
    stopServer(server);
}

TEST(ServerLifecycle, OnceEndsWhenNobodyJoinsInTime) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {"-once", "--idle-timeout", "1"}));
    EXPECT_EQ(waitForExit(server, 4000), std::optional<int>(0));
    EXPECT_NE(serverLog(server).find("nobody joined within 1 s; ending (-once)"), std::string::npos);
    stopServer(server);
}

// CPU time (user + system, in clock ticks) the process has used so far.
long cpuTicks(pid_t pid) {
    FILE* f = fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return -1;
    char text[1024] = "";
    size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = '\0';
    const char* p = strrchr(text, ')');  // fields after the command name
    long utime = 0, stime = 0;
    if (!p || sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime) != 2) {
        return -1;
    }
    return utime + stime;
}

TEST(ServerLifecycle, OnceWaitsWithoutSpinningForAConnectionStillSayingHello) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {"-once", "--idle-timeout", "1", "--handshake-timeout", "2"}));
    TestClient silent;
    ASSERT_TRUE(connectClient(silent, server.port));
    ASSERT_TRUE(clientReceive(silent));
    EXPECT_FALSE(waitForExit(server, 1100)) << "a connection is still in its handshake";
    long before = cpuTicks(server.pid);
    EXPECT_FALSE(waitForExit(server, 600));
    long after = cpuTicks(server.pid);
    ASSERT_GE(before, 0);
    EXPECT_LT(after - before, 20) << "busy loop past the idle deadline";
    EXPECT_EQ(waitForExit(server, 3000), std::optional<int>(0));
    EXPECT_TRUE(closedByServer(silent, 100));
    closeClient(silent);
    stopServer(server);
}

TEST(ServerLifecycle, WithoutOnceTheServerOutlivesItsPlayersAndStopsOnSigterm) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {"--idle-timeout", "1"}));
    TestClient a;
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    closeClient(a);
    ASSERT_TRUE(waitForLog(server, "leave player 1 (Anna)"));
    EXPECT_FALSE(waitForExit(server, 200));
    TestClient b;
    EXPECT_TRUE(joinPlayer(b, server.port, "Bo")) << "still serving";
    closeClient(b);
    kill(server.pid, SIGTERM);
    EXPECT_EQ(waitForExit(server, 3000), std::optional<int>(0));
    stopServer(server);
}

TEST(ServerLifecycle, VerboseLogsOneLinePerFrame) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {"--verbose"}));
    TestClient a;
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    EXPECT_TRUE(waitForLog(server, "recv 1: Nick, 6 bytes: 00 01 41 6E 6E 61"));
    EXPECT_TRUE(waitForLog(server, "send 1: YouAre, 2 bytes: 01 14"));
    EXPECT_TRUE(waitForLog(server, "recv 1: Version, 5 bytes: 00 11 01 00 02"));
    closeClient(a);
    stopServer(server);
}

TEST(ServerLifecycle, TheServerLandsBesideTheClient) {
    // The client's local-server fallback looks beside its own executable.
    std::string path = KOBALSERV_PATH;
    EXPECT_EQ(path.substr(0, path.rfind('/')), std::string(PLUMO_BINARY_DIR));
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "kobalserv");
}
