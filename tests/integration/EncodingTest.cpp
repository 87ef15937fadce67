// What the server receives: every typed value is percent-encoded as UTF-8 on the way out, so a
// server that decodes the query sees exactly what was typed, and no typed character can break the
// query or add a parameter. Checked through the server's echo and through its request log.
#include "ServerTest.h"

namespace {

class EncodingTest : public ServerTest {};

struct EchoCase {
    const char* name;
    const char16_t* value;
};

class EchoedValue : public ServerTest, public ::testing::WithParamInterface<EchoCase> {};

// The value goes in as id, password, price and phone at once; the echo lists each parameter the
// server decoded, so an extra or a missing field means the query was broken.
TEST_P(EchoedValue, ServerDecodesExactlyWhatWasTyped) {
    const std::u16string value = GetParam().value;
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatUrl(g_requestUrl, kUrlCapacity,
                            u"http://%s/sim/echo?id=%s&password=%s&price=%s&tel=%s",
                            {Host(U16(sim.HostPort()).c_str()), Query(value.c_str()), Query(value.c_str()),
                             Query(value.c_str()), Query(value.c_str())}),
                  1);
    }
    FillFields();
    {
        auto lock = LockExchange();
        EXPECT_EQ(SendRequest(lock), 1);
    }
    const auto fields = Fields();
    EXPECT_EQ(fields[0], u"1");
    EXPECT_EQ(fields[1], u"id=" + value);
    EXPECT_EQ(fields[2], u"password=" + value);
    EXPECT_EQ(fields[3], u"price=" + value);
    EXPECT_EQ(fields[4], u"tel=" + value);
    EXPECT_EQ(fields[5], kSentinel);
}

INSTANTIATE_TEST_SUITE_P(
    Values, EchoedValue,
    ::testing::Values(EchoCase{"plain", u"demo123"}, EchoCase{"ampersand", u"a&b"},
                      EchoCase{"ampersand_and_parameter", u"x&tel=999"}, EchoCase{"equals", u"a=b=c"},
                      EchoCase{"hash", u"12#34"}, EchoCase{"plus_stays_plus", u"1+1"},
                      EchoCase{"space", u"15 000"}, EchoCase{"leading_and_trailing_space", u" 7 "},
                      EchoCase{"percent", u"100%"}, EchoCase{"percent_escape_stays_text", u"%41%2B"},
                      EchoCase{"question_and_slash", u"a/b?c"}, EchoCase{"korean", u"홍길동"},
                      EchoCase{"emoji", u"😀"}, EchoCase{"everything", u"가&나=다#라+마 바%사😀"},
                      EchoCase{"empty", u""}),
    [](const auto& param) { return std::string(param.param.name); });

struct LoginTargetCase {
    const char* name;
    const char16_t* id;
    const char16_t* password;
    const char* target;
};

class LoginTarget : public ServerTest, public ::testing::WithParamInterface<LoginTargetCase> {};

TEST_P(LoginTarget, RequestLogShowsTheEncodedTarget) {
    const LoginTargetCase& c = GetParam();
    Login(c.id, c.password);
    EXPECT_EQ(sim.RequestTargets(), std::vector<std::string>{c.target});
}

INSTANTIATE_TEST_SUITE_P(
    Logins, LoginTarget,
    ::testing::Values(LoginTargetCase{"demo", u"demo", u"demo",
                                      "/android/poslogin.php?id=demo&password=demo"},
                      LoginTargetCase{"typed_separators", u"de mo&x=1#", u"비밀+번호%",
                                      "/android/poslogin.php?id=de%20mo%26x%3D1%23"
                                      "&password=%EB%B9%84%EB%B0%80%2B%EB%B2%88%ED%98%B8%25"},
                      LoginTargetCase{"empty", u"", u"", "/android/poslogin.php?id=&password="}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EncodingTest, OperationAndTextMessageCarryTypedAmountRateAndPhone) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const std::string device = U8(g_deviceId);
    const std::string deviceQuery = SimClient::Encode(device);
    sim.Reset();

    SetSaleInputs(u"1,500 원", u"5%");
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatOperationUrl(*FindOperation(Pay)), 1);
        SendRequest(lock); // the server may refuse such an amount; what it received is the point
    }
    SetSaleInputs(u"15000", u"5");
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatTextMessageUrl(u"010 1234+5678#", -5), 1);
        EXPECT_EQ(SendRequest(lock), 1);
    }
    EXPECT_EQ(sim.RequestTargets(), (std::vector<std::string>{
                                        "/android/pcposmilege.php?deviceid=" + deviceQuery +
                                            "&process=2&price=1%2C500%20%EC%9B%90&milege=5%25",
                                        "/sms_client_v10/pctelmilege.php?deviceid=" + deviceQuery +
                                            "&price=15000&milege=5&tel=010%201234%2B5678%23&marktag=-5",
                                    }));
    EXPECT_EQ(sim.SmsOutbox(),
              (std::vector<std::vector<std::string>>{{device, "010 1234+5678#", "15000", "5", "-5"}}));
}

TEST_F(EncodingTest, EveryOperationSendsItsProcessValueWithTheSameInputs) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const std::string deviceQuery = SimClient::Encode(U8(g_deviceId));
    SetSaleInputs(u"2000", u"3");
    sim.Reset();
    for (const MileageOp op : {Give, Pay, Cancel}) {
        auto lock = LockExchange();
        ASSERT_EQ(FormatOperationUrl(*FindOperation(op)), 1);
        SendRequest(lock);
    }
    std::vector<std::string> expected;
    for (const char* process : {"1", "2", "3"})
        expected.push_back("/android/pcposmilege.php?deviceid=" + deviceQuery + "&process=" + process +
                           "&price=2000&milege=3");
    EXPECT_EQ(sim.RequestTargets(), expected);
}

TEST_F(EncodingTest, GetResultAndDeleteDataCarryTheDeviceId) {
    ASSERT_EQ(Login(u"demo", u"demo"), u"1");
    const std::string deviceQuery = SimClient::Encode(U8(g_deviceId));
    sim.Reset();
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatGetResultUrl(), 1);
        EXPECT_EQ(SendRequest(lock), 1);
        EXPECT_EQ(std::u16string(g_fields[1]), u"0") << "nothing pending yet";
        ASSERT_EQ(FormatDeleteDataUrl(), 1);
        EXPECT_EQ(SendRequest(lock), 1);
    }
    EXPECT_EQ(sim.RequestTargets(),
              (std::vector<std::string>{"/android/pcposgetmilegeret.php?deviceid=" + deviceQuery,
                                        "/android/deleteposdata.php?deviceid=" + deviceQuery}));
}

} // namespace
