// A fresh kobalserv per test and up to a handful of clients, all closed at the end.
#pragma once

#include <gtest/gtest.h>

#include "harness.h"

class ServerTest : public ::testing::Test {
protected:
    ServerProcess server;
    TestClient a, b, c, d;

    virtual std::vector<std::string> serverArgs() { return {}; }

    void SetUp() override { ASSERT_TRUE(startServer(server, serverArgs())) << serverLog(server); }

    void TearDown() override {
        for (TestClient* client : {&a, &b, &c, &d}) closeClient(*client);
        if (HasFailure()) std::cerr << "--- server log ---\n" << serverLog(server);
        stopServer(server);
    }

    // a, b (and c) joined in that order as "Anna", "Bo", "Cem".
    void joinTwo() {
        ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
        ASSERT_TRUE(joinPlayer(b, server.port, "Bo", {&a}));
    }
    void joinThree() {
        joinTwo();
        ASSERT_TRUE(joinPlayer(c, server.port, "Cem", {&a, &b}));
    }
};
