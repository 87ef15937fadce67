// Redirects as the libcurl backend follows them: at most five in a row. Each of the six till
// endpoints is armed to send the client on to the next, the last one to /sim/echo, and a request
// enters that chain so many hops before its end. Native only: WinInet follows redirects by its own
// rules.
#ifndef _WIN32
#include "ServerTest.h"

namespace {

using Redirects = ServerTest;

TEST_F(Redirects, FiveAreFollowedASixthIsNot) {
    const std::string chain[] = {kLoginPath, kOperationPath, kResultPath, kDeletePath, kTextPath,
                                 "/android/processcancel.php", "/sim/echo"};
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(sim.ArmFault(chain[i], "redirect&to=" + chain[i + 1])) << chain[i];
    const struct {
        int hops;
        bool arrives;
    } rows[] = {{1, true}, {5, true}, {6, false}};
    for (const auto& row : rows) {
        CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
        std::string body;
        try {
            auto file = session.OpenURL(Url(chain[6 - row.hops]).c_str());
            char chunk[16] = {};
            for (UINT n; (n = file->Read(chunk, sizeof chunk)) > 0;)
                body.append(chunk, n);
        } catch (const CInternetException&) {
        }
        EXPECT_EQ(body, row.arrives ? "1" : "") << row.hops << " redirects";
    }
}

} // namespace
#endif
