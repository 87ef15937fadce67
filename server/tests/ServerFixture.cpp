#include "ServerFixture.h"

void ServerFixture::StartServer(const std::string& db, Books::Seed seed, const std::string& downloads,
                                std::vector<ClientAddress> trustedProxies) {
    m_books = std::make_unique<Books>(db, seed, kTestHashIterations);
    m_server = std::make_unique<OperatorServer>(*m_books, [](const std::string&) {}, OperatorServer::Simulation::On,
                                                downloads, std::move(trustedProxies));
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
