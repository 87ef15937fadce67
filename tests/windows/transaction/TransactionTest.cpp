#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr int kResultCellHeight = 16; // the system font's cell under Wine

struct WindowSearch {
    DWORD processId;
    HWND exclude;
    HWND found;
};

// GetWindowTextW, not WM_GETTEXT: a window of another process gives its caption without a message
// to its thread, which may be busy in a request.
bool HasPosCaption(HWND window) {
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    return std::wstring_view(caption) == kPosCaption;
}

BOOL CALLBACK FindPosWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && window != search->exclude && gui::ClassName(window) == L"#32770" &&
        HasPosCaption(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

RECT ResultBand(int line) {
    const int top = kResultTop + kResultStep * line;
    return RECT{kResultX, top, ExpectedScreen::kSize, top + kResultCellHeight};
}

void TransactionTest::SetUp() {
    QuillonGuiTest::SetUp();
    ASSERT_TRUE(app.Start()) << "no login dialog";
    ASSERT_NE(app.LoginAndWaitForLauncher(), nullptr) << "no launcher";
    ClearLog();
    amountEntry = app.OpenAmountEntry();
    ASSERT_NE(amountEntry, nullptr) << "no amount entry";
}

const std::string& TransactionTest::Device() const {
    // Asked for as soon as a request is expected, perhaps before it has arrived: wait for it.
    if (m_device.empty())
        gui::WaitUntil(kGuiWaitMs, [&] { return !(m_device = app.DeviceId()).empty(); });
    return m_device;
}

void TransactionTest::ClearLog() const {
    ASSERT_TRUE(sim.Reset());
}

std::string TransactionTest::OperationTarget(int process, std::string_view price,
                                             std::string_view rate) const {
    return "/android/pcposmilege.php?deviceid=" + Device() + "&process=" + std::to_string(process) +
           "&price=" + std::string(price) + "&milege=" + std::string(rate);
}

std::string TransactionTest::GetResultTarget() const {
    return "/android/pcposgetmilegeret.php?deviceid=" + Device();
}

std::string TransactionTest::DeleteDataTarget() const {
    return "/android/deleteposdata.php?deviceid=" + Device();
}

std::size_t TransactionTest::Count(const std::string& target) const {
    const auto targets = Requests();
    return static_cast<std::size_t>(std::count(targets.begin(), targets.end(), target));
}

bool TransactionTest::WaitForCount(const std::string& target, std::size_t n, DWORD timeoutMs) const {
    return gui::WaitUntil(timeoutMs, [&] { return Count(target) >= n; });
}

bool TransactionTest::StaysQuiet(DWORD quietMs) const {
    const std::size_t before = Requests().size();
    Sleep(quietMs);
    return Requests().size() == before;
}

HWND TransactionTest::TransactionDialog() const {
    HWND dialog = nullptr;
    gui::WaitUntil(kGuiWaitMs, [&] { return (dialog = app.FindTransactionDialog()) != nullptr; });
    return dialog;
}

HWND TransactionTest::TransactionWindowOfAnyState() const {
    WindowSearch search{app.Pid(), app.AmountEntry(), nullptr};
    gui::WaitUntil(kGuiWaitMs, [&] {
        EnumWindows(FindPosWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

bool TransactionTest::Close(HWND dialog, const CloseWay& way) const {
    way.close(dialog);
    return gui::WaitUntil(kGuiWaitMs, [&] { return !IsWindow(dialog); });
}

::testing::AssertionResult TransactionTest::ShowsScreen(HWND dialog, const ExpectedScreen& expected,
                                                        const std::vector<RECT>& except) const {
    const RECT whole{0, 0, ExpectedScreen::kSize, ExpectedScreen::kSize};
    int differences = -1;
    RECT bounds = {};
    gui::WaitUntil(kGuiWaitMs, [&] {
        const auto pixels = ClientPixels::Capture(dialog);
        differences = pixels ? expected.Differences(*pixels, whole, except, &bounds) : -1;
        return differences == 0;
    });
    if (differences == 0)
        return ::testing::AssertionSuccess();
    if (differences < 0)
        return ::testing::AssertionFailure() << "the client area cannot be read";
    return ::testing::AssertionFailure()
           << differences << " pixels differ, within x " << bounds.left << ".." << bounds.right - 1 << ", y "
           << bounds.top << ".." << bounds.bottom - 1;
}

void TransactionTest::DrawWaiting(ExpectedScreen& screen, std::optional<int> coins) const {
    screen.DrawBitmap(IDB_SEND_BUTTON, 315, 190);
    if (coins)
        screen.DrawText(215, 160, L"누리 코인: " + Decimal(*coins) + L" POINT");
}

void TransactionTest::DrawResult(ExpectedScreen& screen, const std::vector<std::wstring>& lines) const {
    for (std::size_t n = 0; n < lines.size(); ++n)
        screen.DrawText(kResultX, kResultTop + kResultStep * static_cast<int>(n), lines[n]);
}

RECT TransactionTest::ControlRect(HWND dialog, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::optional<Account> TransactionTest::OperateElsewhere(int process, std::string_view price,
                                                         std::string_view rate) const {
    const auto login = Fields(sim.Get("/android/poslogin.php?id=demo&password=demo").body);
    if (login.size() < 2 || login[0] != "1")
        return std::nullopt;
    const std::string till = login[1];
    const std::string operation = "/android/pcposmilege.php?deviceid=" + till +
                                  "&process=" + std::to_string(process) + "&price=" + std::string(price) +
                                  "&milege=" + std::string(rate);
    if (Fields(sim.Get(operation).body).front() != "1" || !sim.Confirm(till))
        return std::nullopt;
    const auto result = Fields(sim.Get("/android/pcposgetmilegeret.php?deviceid=" + till).body);
    sim.Get("/android/deleteposdata.php?deviceid=" + till);
    // Give: name, visits, sales, given, total sales, total given, total used.
    // Pay and cancel: name, visits, paid, used, coins, sales, total given, total sales, total used.
    const bool give = process == kProcessGive;
    if (result.size() < (give ? 9u : 11u))
        return std::nullopt;
    Account account;
    account.name = Widen(result[2]);
    account.visits = std::stoll(result[3]);
    account.sales = std::stoll(result[give ? 6 : 9]);
    account.given = std::stoll(result[give ? 7 : 8]);
    account.used = std::stoll(result[give ? 8 : 10]);
    return account;
}

std::vector<std::string> CollapseRepeats(const std::vector<std::string>& targets) {
    std::vector<std::string> out;
    for (const auto& target : targets)
        if (out.empty() || out.back() != target)
            out.push_back(target);
    return out;
}

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::wstring Decimal(long long value) {
    return std::to_wstring(value);
}
