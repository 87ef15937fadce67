// SendRequest against the reference server on loopback: what a reply, a refusal and every kind of
// broken exchange leave in the result and in the field table. The same cases run over libcurl
// natively and over WinInet under Wine.
#include "ServerTest.h"

#include "tests/support/LoopbackPort.h"

#include <algorithm>

namespace {

constexpr char kGetResult[] = "/android/pcposgetmilegeret.php";
constexpr char kLogin[] = "/android/poslogin.php";

class SendRequestTest : public ServerTest {};

TEST_F(SendRequestTest, AcceptedReplyFillsOnlyTheFieldsItReaches) {
    FillFields();
    EXPECT_EQ(Send(Url("/sim/echo?a=1&b=2")), 1);
    const auto fields = Fields();
    EXPECT_EQ(fields[0], u"1");
    EXPECT_EQ(fields[1], u"a=1");
    EXPECT_EQ(fields[2], u"b=2");
    EXPECT_EQ(fields[3], kSentinel);
}

TEST_F(SendRequestTest, DemoLoginAnnouncesTheHostTheClientAddressed) {
    EXPECT_EQ(Login(u"demo", u"demo"), u"1");
    const auto fields = Fields();
    EXPECT_FALSE(fields[1].empty()); // device id
    EXPECT_EQ(fields[3], u"demo");
    EXPECT_EQ(fields[4], u"5");
    EXPECT_EQ(fields[5], U16(sim.HostPort()));
    EXPECT_EQ(fields[6], u"");
    EXPECT_EQ(fields[7], kClientVersion);
    EXPECT_EQ(std::u16string(g_serverHost), U16(sim.HostPort()));
    EXPECT_EQ(std::u16string(g_deviceId), fields[1]);
}

TEST_F(SendRequestTest, EachLoginGetsItsOwnDeviceId) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const std::u16string first = g_deviceId;
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    EXPECT_NE(std::u16string(g_deviceId), first);
}

struct RefusalCase {
    const char* name;
    const char16_t* id;
    const char16_t* password;
};

class RefusedLogin : public ServerTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedLogin, ReturnsZeroWithTheReasonInTheTable) {
    char16_t url[kLoginUrlCapacity];
    ASSERT_EQ(FormatLoginUrl(url, GetParam().id, GetParam().password), 1);
    FillFields();
    EXPECT_EQ(Send(url), 0);
    const auto fields = Fields();
    ASSERT_FALSE(fields[0].empty());
    EXPECT_EQ(fields[0][0], u'0');
    EXPECT_FALSE(fields[1].empty());
    EXPECT_NE(fields[1], kSentinel);
    EXPECT_EQ(fields[2], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(
    Logins, RefusedLogin,
    ::testing::Values(RefusalCase{"wrong_password", u"demo", u"dem0"},
                      RefusalCase{"unknown_shop", u"nobody", u"demo"}, RefusalCase{"empty_id", u"", u"demo"},
                      RefusalCase{"password_with_extra_parameter", u"demo", u"x&password=demo"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SendRequestTest, ClosedPortReturnsZeroAndLeavesTheTable) {
    const int port = UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    FillFields();
    EXPECT_EQ(Send(U16("http://127.0.0.1:" + std::to_string(port) + kGetResult + "?deviceid=x")), 0);
    EXPECT_EQ(Fields(), AllSentinel());
}

// A login reply without field 5 leaves the host empty, and every later URL is "http:///...".
TEST_F(SendRequestTest, UrlWithoutHostReturnsZeroAndLeavesTheTable) {
    FillFields();
    EXPECT_EQ(Send(U16(std::string("http://") + kGetResult + "?deviceid=x")), 0);
    EXPECT_EQ(Fields(), AllSentinel());
}

TEST_F(SendRequestTest, EmptyBodyIsAcceptedAndClearsFieldZeroOnly) {
    ASSERT_TRUE(sim.ArmFault(kGetResult, "body", ""));
    FillFields();
    EXPECT_EQ(Send(Url(std::string(kGetResult) + "?deviceid=x")), 1);
    auto expected = AllSentinel();
    expected[0] = u"";
    EXPECT_EQ(Fields(), expected);
}

struct StatusCase {
    const char* name;
    int code;
    const char16_t* password;
    int result;
    int fieldsInReply; // 8 for an accepted login, 2 for a refusal
};

class ErrorStatus : public ServerTest, public ::testing::WithParamInterface<StatusCase> {};

// The status is not examined: the body decides, as for any reply.
TEST_P(ErrorStatus, BodyDecidesTheResult) {
    const StatusCase& c = GetParam();
    ASSERT_TRUE(sim.ArmFault(kLogin, "status&code=" + std::to_string(c.code)));
    FillFields();
    char16_t url[kLoginUrlCapacity];
    ASSERT_EQ(FormatLoginUrl(url, u"demo", c.password), 1);
    EXPECT_EQ(Send(url), c.result);
    const auto fields = Fields();
    EXPECT_EQ(fields[0], c.result ? u"1" : u"0");
    EXPECT_NE(fields[1], kSentinel);
    EXPECT_NE(fields[c.fieldsInReply - 1], kSentinel);
    EXPECT_EQ(fields[c.fieldsInReply], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(Statuses, ErrorStatus,
                         ::testing::Values(StatusCase{"server_error_accepted", 500, u"demo", 1, 8},
                                           StatusCase{"not_found_accepted", 404, u"demo", 1, 8},
                                           StatusCase{"forbidden_refused", 403, u"wrong", 0, 2},
                                           StatusCase{"unavailable_refused", 503, u"wrong", 0, 2}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SendRequestTest, BodyInSlowPiecesIsReadWhole) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const auto whole = Fields();
    ASSERT_TRUE(sim.ArmFault(kLogin, "slow&chunk=4&ms=40"));
    FillFields();
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    auto fields = Fields();
    EXPECT_FALSE(fields[1].empty());
    EXPECT_NE(fields[1], whole[1]) << "a new login, a new device id";
    fields[1] = whole[1];
    EXPECT_EQ(std::vector(fields.begin(), fields.begin() + 8), std::vector(whole.begin(), whole.begin() + 8));
    EXPECT_EQ(fields[8], kSentinel);
}

TEST_F(SendRequestTest, AnswerDelayedBelowTheTimeoutStillCounts) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    ASSERT_TRUE(sim.ArmFault(kGetResult, "delay&ms=1500"));
    FillFields();
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatGetResultUrl(), 1);
        EXPECT_EQ(SendRequest(lock), 1);
    }
    const auto fields = Fields();
    EXPECT_EQ(fields[0], u"1");
    EXPECT_EQ(fields[1], u"0") << "nothing pending";
    EXPECT_EQ(fields[2], kSentinel);
}

class ResetMidBody : public ServerTest, public ::testing::WithParamInterface<int> {};

// A failure while reading counts like a failed open: 0, and the table as it was.
TEST_P(ResetMidBody, ReturnsZeroAndLeavesTheTable) {
    ASSERT_TRUE(sim.ArmFault(kLogin, "reset&after=" + std::to_string(GetParam())));
    FillFields();
    char16_t url[kLoginUrlCapacity];
    ASSERT_EQ(FormatLoginUrl(url, u"demo", u"demo"), 1);
    EXPECT_EQ(Send(url), 0);
    EXPECT_EQ(Fields(), AllSentinel());
}

INSTANTIATE_TEST_SUITE_P(AfterBytes, ResetMidBody, ::testing::Values(0, 1, 5, 20));

TEST_F(SendRequestTest, ServerThatNeverAnswersReturnsZeroAndLeavesTheTable) {
    ASSERT_TRUE(sim.ArmFault(kGetResult, "hang"));
    FillFields();
    EXPECT_EQ(Send(Url(std::string(kGetResult) + "?deviceid=x")), 0);
    EXPECT_EQ(Fields(), AllSentinel());
}

// The poller sends the same URL again and again; each one must reach the server.
TEST_F(SendRequestTest, RepeatedGetsOfOneUrlAllReachTheServer) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const std::string target = std::string(kGetResult) + "?deviceid=" + SimClient::Encode(U8(g_deviceId));
    sim.Reset();
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatGetResultUrl(), 1);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(SendRequest(lock), 1);
    }
    EXPECT_EQ(sim.RequestTargets(), std::vector<std::string>(6, target));
}

} // namespace
