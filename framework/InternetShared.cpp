#include "framework/InternetShared.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

// Written before a test starts any exchange, read by every exchange on any thread.
std::atomic<DWORD> g_connectMs{InternetTimeouts::kConnectMs};
std::atomic<DWORD> g_exchangeMs{InternetTimeouts::kExchangeMs};
std::atomic<DWORD> g_stallMs{InternetTimeouts::kStallMs};

class CollectedFile final : public CInternetFile {
public:
    CollectedFile(std::string body, DWORD status) : m_body(std::move(body)), m_status(status) {}
    UINT Read(void* buffer, UINT count) override {
        const std::size_t n = std::min<std::size_t>(count, m_body.size() - m_offset);
        std::memcpy(buffer, m_body.data() + m_offset, n);
        m_offset += n;
        return static_cast<UINT>(n);
    }
    void Close() override {
        m_body.clear();
        m_offset = 0;
    }
    bool QueryInfoStatusCode(DWORD& status) const override {
        status = m_status;
        return true;
    }

private:
    std::string m_body;
    DWORD m_status;
    std::size_t m_offset = 0;
};

} // namespace

InternetLimits CurrentInternetLimits() { return {g_connectMs.load(), g_exchangeMs.load(), g_stallMs.load()}; }

void SetInternetLimitsForTests(InternetLimits limits) {
    g_connectMs = limits.connectMs;
    g_exchangeMs = limits.exchangeMs;
    g_stallMs = limits.stallMs;
}

namespace internet_detail {

std::unique_ptr<CInternetFile> MakeCollectedFile(std::string body, DWORD status) {
    return std::make_unique<CollectedFile>(std::move(body), status);
}

} // namespace internet_detail
