// A quillon-server in the test's own process, on a free loopback port, with fresh in-memory books
// seeded with the demo shop, and the tests' one HTTP client to it.
#pragma once

#include "server/Books.h"
#include "server/OperatorServer.h"
#include "tests/support/SimClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The demo shop's hash at a test's cost: each login checks one hash of this many iterations.
inline constexpr int kTestHashIterations = 1000;

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override { StartServer(":memory:"); }
    void TearDown() override { StopServer(); }

public:
    void StartServer(const std::string& db, Books::Seed seed = Books::Seed::Demo, const std::string& downloads = "",
                     std::vector<ClientAddress> trustedProxies = {});
    void StopServer();

    // A fresh device id from a demo login.
    std::string Login() const { return Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(1); }
    std::string Get(const std::string& target) const { return http().Get(target).body; }
    std::string Post(const std::string& target, const std::string& body = "") const {
        return http().Post(target, body).body;
    }
    SimClient http() const { return SimClient(m_server->Port()); }

    std::unique_ptr<Books> m_books;
    std::unique_ptr<OperatorServer> m_server;
};
