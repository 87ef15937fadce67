#include "tests/support/Till.h"

#include <cwchar>
#include <regex>

std::string PathOf(std::string_view tmpl) {
    const std::string target = TargetOf(tmpl, {});
    return target.substr(0, target.find('?'));
}

std::string TargetOf(std::string_view tmpl, const std::vector<std::string>& values) {
    std::string out;
    std::size_t next = 0;
    const std::string_view body = tmpl.substr(tmpl.rfind("http://%s", 0) == 0 ? 9 : 0);
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '%' && i + 1 < body.size()) {
            out += next < values.size() ? values[next++] : "";
            ++i;
        } else {
            out.push_back(body[i]);
        }
    }
    return out;
}

bool Till::StartProgram() {
    login = launcher = amountEntry = nullptr;
    return app.Start(exe) && (login = WaitForDialog(IDC_ID_EDIT)) != nullptr;
}

void Till::SubmitLogin(const std::wstring& id, const std::wstring& password) {
    gui::SetDlgItemTextOf(login, IDC_ID_EDIT, id);
    gui::SetDlgItemTextOf(login, IDC_PASSWORD_EDIT, password);
    ClickCentre(login, kLoginButtonRect);
}

HWND Till::WaitForDialog(int controlId, DWORD timeoutMs, bool anyState) const {
    return gui::WaitForTopWindow(app.Id(), timeoutMs, [&](HWND w) {
        return GetDlgItem(w, controlId) && (anyState || IsWindowVisible(w));
    });
}

bool Till::OpenAmountEntry() {
    if (!launcher) {
        if (IsWindowVisible(login))
            SubmitLogin();
        launcher = WaitForDialog(IDC_LAUNCH_BUTTON);
    }
    if (!launcher || !sim.Reset())
        return false;
    gui::ClickClient(launcher, kBannerCopyWidth / 2, kBannerCopyHeight / 2);
    amountEntry = WaitForDialog(IDC_AMOUNT_EDIT);
    return amountEntry != nullptr;
}

HWND Till::Start(const Operation& op, const std::wstring& amount, const std::wstring* rate) {
    // Typed text is sent with SMTO_ABORTIFHUNG: a UI thread just back from a long wait drops it.
    if (!WaitUntilResponsive(amountEntry))
        return nullptr;
    gui::SetDlgItemTextOf(amountEntry, IDC_AMOUNT_EDIT, amount);
    if (rate)
        gui::SetDlgItemTextOf(amountEntry, IDC_RATE_EDIT, *rate);
    ClickCentre(amountEntry, op.button);
    HWND dialog = nullptr;
    gui::WaitUntil(kWaitMs, [&] {
        dialog = TransactionDialog();
        return dialog || gui::WaitForMessageBox(app.Id(), 0);
    });
    return dialog;
}

HWND Till::TransactionDialog(bool anyState) const {
    return WaitForDialog(IDC_PHONE_EDIT, anyState ? kWaitMs : 0, anyState);
}

bool Till::Close(HWND dialog, const CloseWay& way, DWORD timeoutMs) const {
    way.close(dialog);
    return gui::WaitUntil(timeoutMs, [&] { return !IsWindow(dialog); });
}

std::wstring Till::TakeMessageBox(DWORD timeoutMs) const {
    HWND box = gui::WaitForMessageBox(app.Id(), timeoutMs);
    if (!box)
        return {};
    std::wstring text = gui::MessageBoxText(box);
    gui::Command(box, IDOK);
    gui::WaitForWindowGone(box, kWaitMs);
    return text;
}

bool Till::WaitUntilResponsive(HWND window) const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) &&
           gui::WaitUntil(kWaitMs, [&] { return !IsHungAppWindow(window); });
}

const std::string& Till::Device() const {
    static const std::regex device("deviceid=([^&]*)");
    gui::WaitUntil(m_device.empty() ? kWaitMs : 0, [&] {
        for (const auto& target : sim.RequestTargets()) {
            std::smatch match;
            if (std::regex_search(target, match, device))
                m_device = match[1];
        }
        return !m_device.empty();
    });
    return m_device;
}

std::string Till::OperationTarget(const Operation& op, const std::string& price,
                                  const std::string& rate) const {
    return TargetOf(op.request, {Device(), price, rate});
}

int Till::Sent(std::string_view tmpl) const {
    return sim.Count(PathOf(tmpl) + "?");
}

bool Till::WaitForSent(std::string_view tmpl, int n, DWORD timeoutMs) const {
    return gui::WaitUntil(timeoutMs, [&] { return Sent(tmpl) >= n; });
}

bool Till::StaysQuiet(DWORD quietMs) const {
    const std::size_t before = sim.RequestTargets().size();
    const auto [lastAtCall, nowAtCall] = sim.LastArrivalAndNow();
    const long long since = lastAtCall < 0 ? nowAtCall : lastAtCall;
    for (;;) {
        const auto [last, now] = sim.LastArrivalAndNow();
        if (sim.RequestTargets().size() != before || now == 0)
            return false;
        if (now - since >= static_cast<long long>(quietMs))
            return true;
        Sleep(50);
    }
}

bool Till::WaitForUnansweredConnect(DWORD timeoutMs) const {
    return gui::WaitUntil(timeoutMs, [&] { return sim.ConnectionsInState("02") > 0; });
}

std::vector<std::string> Till::CollapsedLog() const {
    std::vector<std::string> out;
    for (const auto& target : sim.RequestTargets())
        if (out.empty() || out.back() != target)
            out.push_back(target);
    return out;
}

Screen Till::Waiting(const Operation& op, int coins) const {
    Screen screen(exe, IDB_WAITING);
    screen.DrawBitmap(IDB_SEND_BUTTON, kSendButtonRect);
    if (&op == &kGive) {
        wchar_t line[64];
        std::swprintf(line, 64, kCoinLine, coins);
        screen.DrawText(kCoinLineX, kCoinLineY, line);
    }
    return screen;
}

Screen Till::Result(const Operation& op, const std::vector<std::wstring>& lines) const {
    Screen screen(exe, op.donePicture);
    for (std::size_t n = 0; n < lines.size(); ++n)
        screen.DrawText(kResultX, kResultFirstY + kResultLineStep * static_cast<int>(n), lines[n]);
    return screen;
}

int Till::Differences(HWND window, const Screen& expected, const std::vector<RECT>& except,
                      RECT* bounds, DWORD timeoutMs) const {
    const RECT whole{0, 0, Screen::kSize, Screen::kSize};
    int differences = -1;
    gui::WaitUntil(timeoutMs, [&] {
        const Screen actual(window);
        differences =
            actual.Valid() && expected.Valid() ? expected.Differences(actual, whole, except, bounds) : -1;
        return differences == 0;
    });
    return differences;
}

int Till::LinesDrawn(HWND window, const Operation& op) const {
    const Screen picture(exe, op.donePicture);
    std::vector<RECT> bands;
    for (int n = 0; n < 9; ++n) {
        const int top = kResultFirstY + kResultLineStep * n;
        bands.push_back(RECT{kResultX, top, Screen::kSize, top + kResultLineStep / 2});
    }
    // One capture for both: the picture outside the lines, then the lines drawn on it.
    int drawn = -1;
    gui::WaitUntil(kWaitMs, [&] {
        const Screen actual(window);
        const RECT whole{0, 0, Screen::kSize, Screen::kSize};
        if (!actual.Valid() || !picture.Valid() || picture.Differences(actual, whole, bands) != 0)
            return false;
        drawn = 0;
        while (drawn < 9 && picture.Differences(actual, bands[static_cast<std::size_t>(drawn)]) > 0)
            ++drawn;
        return true;
    });
    return drawn;
}

RECT Till::RectIn(HWND dialog, HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
