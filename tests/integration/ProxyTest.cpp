// WinInet takes the system's proxy setting: with ProxyEnable and ProxyServer set for the user,
// the login and a give go through the proxy (quillon-server is one for any host, onto itself),
// also to a host that only the proxy can resolve; without the setting nothing goes through it.
// Windows only: the native backend never uses a proxy.
#ifdef _WIN32
#include "ServerTest.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// Resolvable by nobody but the proxy.
constexpr char kProxyOnlyHost[] = "till.quillon.test";

class ProxyTest : public ServerTest {
protected:
    void TearDown() override {
        SetProxy(false);
        ServerTest::TearDown();
    }

    void SetProxy(bool on) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD enable = on ? 1 : 0;
        RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
        if (on) {
            const std::wstring server = L"127.0.0.1:" + std::to_wstring(sim.Port());
            RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                           static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key, L"ProxyServer");
        }
        RegCloseKey(key);
    }

    // Requests that reached the server in a proxy's absolute form.
    int ThroughProxy() const {
        const auto targets = sim.RequestTargets();
        return static_cast<int>(std::count_if(targets.begin(), targets.end(), [](const std::string& target) {
            return target.rfind("http://", 0) == 0;
        }));
    }

    std::u16string LoginAt(const std::string& host) {
        const std::u16string url = U16("http://" + host + ":" + std::to_string(sim.Port()) +
                                       "/android/poslogin.php?id=demo&password=demo");
        return Send(url) == 1 ? std::u16string(g_fields[0]) : u"(no reply)";
    }
    int Give() {
        SetSaleInputs(u"15000", u"5");
        auto lock = LockExchange();
        return FormatOperationUrl(*FindOperation(::Give)) ? SendRequest(lock) : -1;
    }
};

TEST_F(ProxyTest, LoginAndGiveGoThroughTheSystemsProxy) {
    SetProxy(true);
    ASSERT_EQ(LoginAt(kProxyOnlyHost), u"1");
    StoreLoginFields();
    EXPECT_EQ(U8(g_serverHost), std::string(kProxyOnlyHost) + ":" + std::to_string(sim.Port()));
    EXPECT_EQ(Give(), 1);
    EXPECT_EQ(ThroughProxy(), 2);
}

TEST_F(ProxyTest, WithoutTheSettingNothingGoesThroughAProxy) {
    SetProxy(false);
    EXPECT_EQ(LoginAt("127.0.0.1"), u"1");
    StoreLoginFields();
    EXPECT_EQ(Give(), 1);
    EXPECT_EQ(LoginAt(kProxyOnlyHost), u"(no reply)");
    EXPECT_EQ(ThroughProxy(), 0);
}

} // namespace
#endif
