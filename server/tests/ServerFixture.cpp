#include "ServerFixture.h"

std::vector<std::string> Fields(const std::string& record) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto at = record.find("</>", start);
        fields.push_back(record.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return fields;
        start = at + 3;
    }
}

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

std::string ServerFixture::Login() {
    const auto fields = Fields(Get("/android/poslogin.php?id=demo&password=demo"));
    EXPECT_EQ(fields.at(0), "1");
    return fields.size() > 1 ? fields[1] : std::string();
}

std::string ServerFixture::Open(const std::string& device, int process, const std::string& price,
                                const std::string& rate) {
    return Get("/android/pcposmilege.php?deviceid=" + device + "&process=" + std::to_string(process) +
               "&price=" + price + "&milege=" + rate);
}

std::string ServerFixture::Confirm(const std::string& device, const std::string& customer) {
    std::string target = "/sim/confirm?deviceid=" + device;
    if (!customer.empty())
        target += "&customer=" + customer;
    return Post(target);
}
