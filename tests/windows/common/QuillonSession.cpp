#include "tests/windows/common/QuillonSession.h"

#include <regex>

namespace {

bool IsLoginDialog(HWND window) {
    const SIZE client = gui::ClientSize(window);
    return gui::WindowText(window).empty() && client.cx == 600 && client.cy == 600;
}

} // namespace

bool QuillonSession::Start() {
    if (!m_process.Start(ExecutableDirectory() + L"QuillonTest.exe"))
        return false;
    gui::WaitUntil(kGuiWaitMs, [&] {
        for (HWND window : gui::TopLevelWindows(Pid(), L"#32770"))
            if (IsLoginDialog(window)) {
                m_login = window;
                return true;
            }
        return false;
    });
    return m_login != nullptr;
}

void QuillonSession::SubmitLogin(const std::wstring& id, const std::wstring& password) {
    gui::SetDlgItemTextOf(m_login, kIdEdit, id);
    gui::SetDlgItemTextOf(m_login, kPasswordEdit, password);
    gui::ClickClient(m_login, kLoginButton.x, kLoginButton.y);
}

HWND QuillonSession::LoginAndWaitForLauncher(const std::wstring& id, const std::wstring& password) {
    SubmitLogin(id, password);
    m_launcher = gui::WaitForWindow(Pid(), L"#32770", kLauncherCaption, kGuiWaitMs);
    return m_launcher;
}

HWND QuillonSession::OpenAmountEntry() {
    gui::ClickClient(m_launcher, 100, 40);
    m_amountEntry = gui::WaitForWindow(Pid(), L"#32770", kPosCaption, kGuiWaitMs);
    return m_amountEntry;
}

HWND QuillonSession::FindTransactionDialog() const {
    for (HWND window : gui::TopLevelWindows(Pid(), L"#32770", kPosCaption))
        if (window != m_amountEntry)
            return window;
    return nullptr;
}

HWND QuillonSession::StartOperation(POINT imageButton, const std::wstring& amount, const std::wstring* rate) {
    gui::SetDlgItemTextOf(m_amountEntry, kAmountEdit, amount);
    if (rate)
        gui::SetDlgItemTextOf(m_amountEntry, kRateEdit, *rate);
    gui::ClickClient(m_amountEntry, imageButton.x, imageButton.y);
    HWND transaction = nullptr;
    gui::WaitUntil(kGuiWaitMs, [&] {
        transaction = FindTransactionDialog();
        return transaction != nullptr || gui::WaitForMessageBox(Pid(), 0) != nullptr;
    });
    return transaction;
}

std::string QuillonSession::DeviceId() const {
    static const std::regex device("deviceid=([^&]*)");
    const auto targets = m_sim.RequestTargets();
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
        std::smatch match;
        if (std::regex_search(*it, match, device))
            return match[1];
    }
    return {};
}

std::wstring QuillonSession::TakeMessageBox(DWORD timeoutMs) {
    HWND box = gui::WaitForMessageBox(Pid(), timeoutMs);
    if (!box)
        return {};
    std::wstring text = gui::MessageBoxText(box);
    gui::CloseMessageBox(box);
    gui::WaitForWindowGone(box, kGuiWaitMs);
    return text;
}

void QuillonGuiTest::SetUp() {
    ASSERT_TRUE(sim.Reset()) << "quillon-server does not answer on port " << sim.Port();
    ASSERT_TRUE(sim.SetShop("demo", "version=2&coins=1500&rate=5"));
}

std::vector<std::string> TargetsStartingWith(const SimClient& sim, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& target : sim.RequestTargets())
        if (target.rfind(prefix, 0) == 0)
            out.push_back(target);
    return out;
}
