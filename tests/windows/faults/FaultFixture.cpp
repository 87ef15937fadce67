#include "tests/windows/faults/FaultFixture.h"

#include <set>

namespace {

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                            nullptr);
    return out;
}

} // namespace

void FaultFixture::SetUp() {
    QuillonGuiTest::SetUp();
    const std::wstring exe = ExecutableDirectory() + L"QuillonTest.exe";
    for (int id : {kWaitingPicture, kGiveDonePicture, kPayDonePicture, kCancelDonePicture}) {
        auto picture = ResourcePicture::Load(exe, id);
        ASSERT_TRUE(picture) << "no bitmap " << id << " in QuillonTest.exe";
        m_pictures.emplace(id, std::move(*picture));
    }
    ASSERT_TRUE(app.Start()) << "no login dialog";
}

void FaultFixture::LoginAndOpenAmountEntry() {
    ASSERT_NE(app.LoginAndWaitForLauncher(), nullptr);
    ASSERT_NE(app.OpenAmountEntry(), nullptr);
}

bool FaultFixture::LoginWithReply(const std::string& reply) {
    if (!sim.ArmFault(kLoginPath, "body", reply))
        return false;
    HWND launcher = app.LoginAndWaitForLauncher();
    sim.DisarmFault(kLoginPath);
    return launcher != nullptr && app.OpenAmountEntry() != nullptr;
}

std::vector<std::string> FaultFixture::ServerLoginFields() const {
    const std::string body = sim.Get(std::string(kLoginPath) + "?id=demo&password=demo").body;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = body.find("</>", start);
        fields.push_back(body.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 3;
    }
    return fields;
}

bool FaultFixture::WaitUntilResponsive(HWND window) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kGuiWaitMs, &result))
        return false;
    return gui::WaitUntil(kGuiWaitMs, [&] { return !IsHungAppWindow(window); });
}

HWND FaultFixture::Start(POINT imageButton, const std::wstring& amount) {
    // Typed text is sent with SMTO_ABORTIFHUNG: to a UI thread that has just come back from a long
    // wait (a close that waited out a hung exchange) it would be dropped.
    if (!WaitUntilResponsive(app.AmountEntry()))
        return nullptr;
    return app.StartOperation(imageButton, amount);
}

int FaultFixture::Sent(const std::string& path) const {
    int n = 0;
    for (const auto& target : sim.RequestTargets())
        n += target.rfind(path + "?", 0) == 0;
    return n;
}

bool FaultFixture::WaitForSent(const std::string& path, int count, DWORD timeoutMs) const {
    return gui::WaitUntil(timeoutMs, [&] { return Sent(path) >= count; });
}

int FaultFixture::ShownPicture(HWND window) const {
    const auto shot = ClientPixels::Capture(window);
    if (!shot)
        return 0;
    // The pictures share their frame, so the one that agrees best wins, and only when it agrees
    // almost everywhere (the text lines, the send image and the phone field cover the rest).
    int best = 0;
    double bestAgreement = 0.0;
    for (const auto& [id, picture] : m_pictures) {
        const double agreement = picture.Agreement(*shot);
        if (agreement > bestAgreement) {
            best = id;
            bestAgreement = agreement;
        }
    }
    return bestAgreement >= 0.9 ? best : 0;
}

bool FaultFixture::WaitForPicture(HWND window, int id, DWORD timeoutMs) const {
    return gui::WaitUntil(timeoutMs, [&] { return ShownPicture(window) == id; });
}

void FaultFixture::ExpectQuietAndRunning() {
    HWND box = gui::WaitForMessageBox(app.Pid(), 0);
    EXPECT_EQ(box, nullptr) << "unexpected message: " << (box ? Utf8(gui::MessageBoxText(box)) : "");
    EXPECT_TRUE(app.Process().Running()) << "the program ended";
}

void FaultFixture::ExpectNothingSentTwice(int operations) {
    std::multiset<std::string> seen;
    int operationRequests = 0;
    for (const auto& target : sim.RequestTargets()) {
        const bool operation = target.rfind(std::string(kOperationPath) + "?", 0) == 0;
        const bool text = target.rfind(std::string(kTextPath) + "?", 0) == 0;
        operationRequests += operation;
        if (operation || text) {
            EXPECT_EQ(seen.count(target), 0u) << "sent twice: " << target;
            seen.insert(target);
        }
    }
    EXPECT_EQ(operationRequests, operations);
}
