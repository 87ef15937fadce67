#include "ServerFixture.h"

void ServerFixture::StartServer(const std::string& db, Books::Seed seed) {
    m_books = std::make_unique<Books>(db, seed);
    m_server = std::make_unique<OperatorServer>(*m_books, [this](const std::string& line) {
        std::lock_guard lock(m_logLock);
        m_log.push_back(line);
    });
    std::string error;
    ASSERT_TRUE(m_server->Bind("127.0.0.1", 0, error)) << error;
    m_server->Start();
}

void ServerFixture::StopServer() {
    if (m_server)
        m_server->Stop();
    m_server.reset();
    m_books.reset();
}

std::vector<std::string> ServerFixture::LogLines() {
    std::lock_guard lock(m_logLock);
    return m_log;
}
