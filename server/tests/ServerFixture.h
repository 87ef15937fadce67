// A quillon-server in the test's own process, on a free loopback port, with fresh in-memory books
// seeded with the demo shop.
#pragma once

#include "RawHttp.h"
#include "server/Books.h"
#include "server/OperatorServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Splits a reply record at "</>".
std::vector<std::string> Fields(const std::string& record);

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override { StartServer(":memory:"); }
    void TearDown() override { StopServer(); }

public:
    void StartServer(const std::string& db, Books::Seed seed = Books::Seed::Demo);
    void StopServer();

    // A fresh device id from a demo login.
    std::string Login();
    std::string Get(const std::string& target) const { return http().Body(target); }
    std::string Post(const std::string& target, const std::string& body = "") const {
        return http().Post(target, body).body;
    }
    // Opens operation `process` (1 give, 2 pay, 3 cancel) on `device`; the reply record.
    std::string Open(const std::string& device, int process, const std::string& price,
                     const std::string& rate = "5");
    std::string Confirm(const std::string& device, const std::string& customer = "");
    std::string Result(const std::string& device) const {
        return Get("/android/pcposgetmilegeret.php?deviceid=" + device);
    }

    RawHttp http() const { return RawHttp(m_server->Port()); }
    int port() const { return m_server->Port(); }
    std::vector<std::string> LogLines();

    std::unique_ptr<Books> m_books;
    std::unique_ptr<OperatorServer> m_server;

private:
    std::mutex m_logLock;
    std::vector<std::string> m_log;
};
