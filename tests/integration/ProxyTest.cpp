// WinInet takes the system's proxy setting: with ProxyEnable and ProxyServer set for the user, the
// login and a give go through the proxy (quillon-server is one for any host, onto itself), also to
// a host that only the proxy can resolve; without the setting nothing goes through it. Windows
// only: the native backend never uses a proxy.
#ifdef _WIN32
#include "ServerTest.h"

#include <windows.h>

namespace {

struct ProxyCase {
    const char* name;
    bool proxy;
    const char* giveHost; // the host the give goes to; till.quillon.test resolves only at the proxy
    OperationResult give;
    int throughProxy; // the login and the give
};

class Proxy : public ServerTest, public ::testing::WithParamInterface<ProxyCase> {
protected:
    void SetProxy(bool on) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                                  0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD enable = on;
        const std::wstring server = L"127.0.0.1:" + std::to_wstring(sim.Port());
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
        RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    void TearDown() override {
        SetProxy(false);
        ServerTest::TearDown();
    }
};

TEST_P(Proxy, CarriesTheLoginAndTheGiveOnlyWhenSet) {
    const ProxyCase& c = GetParam();
    SetProxy(c.proxy);
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(U8(g_serverHost), sim.HostPort());
    // As if the login reply had named this host for every later request.
    quillon::CopyText(g_serverHost, U16(std::string(c.giveHost) + ":" + std::to_string(sim.Port())));
    EXPECT_EQ(StartOperation(Give, u"15000"), c.give);
    EXPECT_EQ(sim.Count("http://"), c.throughProxy);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Proxy,
    ::testing::Values(ProxyCase{"ProxyOnlyHost", true, "till.quillon.test", OperationResult::Accepted, 2},
                      ProxyCase{"NoProxy", false, "127.0.0.1", OperationResult::Accepted, 0},
                      ProxyCase{"NoProxyNoSuchHost", false, "till.quillon.test", OperationResult::Failed, 0}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
#endif
