// The operator endpoints, the books behind them and the simulation API as a till and a test see
// them over HTTP: one table of scripts, each a sequence of requests with the exact reply each must
// get. In a request, {d} and {e} are two tills of the demo shop logged in before the script; in a
// reply, {host} is the address the client used, "*" any text, and REFUSED a
// refusal record (two fields, "0" and a reason).
#include "ServerFixture.h"

#include <algorithm>
#include <cstring>
#include <regex>

namespace {

struct Script {
    const char* name;
    // "GET target", "GET target|extra header line" or "POST target|body", then the reply.
    std::vector<std::pair<std::string, std::string>> steps;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool Matches(const std::string& reply, const std::string& expected) {
    if (expected == "REFUSED") {
        const auto fields = Fields(reply);
        return fields.size() == 2 && fields[0] == "0" && !fields[1].empty();
    }
    std::string pattern;
    for (char c : expected)
        pattern += c == '*'                           ? std::string("[\\s\\S]*")
                   : std::strchr("\\^$.|?+()[]{}", c) ? std::string("\\") + c
                                                      : std::string(1, c);
    return std::regex_match(reply, std::regex(pattern));
}

class ExchangeTest : public ServerFixture, public ::testing::WithParamInterface<Script> {};

TEST_P(ExchangeTest, EachRequestGetsItsReply) {
    const std::string d = Login(), e = Login();
    int n = 0;
    for (const auto& [request, reply] : GetParam().steps) {
        const std::string line = Replace(Replace(request, "{d}", d), "{e}", e);
        const std::size_t space = line.find(' '), bar = line.find('|');
        const std::string target = line.substr(space + 1, bar == std::string::npos ? bar : bar - space - 1);
        const std::string extra = bar == std::string::npos ? "" : line.substr(bar + 1);
        const std::string got = line.rfind("GET", 0) == 0
                                    ? http().Get(target, extra.empty() ? "" : extra + "\r\n").body
                                    : Post(target, extra);
        const std::string want = Replace(Replace(reply, "{host}", http().HostPort()), "{d}", d);
        EXPECT_TRUE(Matches(got, want))
            << "step " << n << ": " << line << "\n  got:  " << got << "\n  want: " << want;
        ++n;
    }
}

const std::string kLogin = "GET /android/poslogin.php?id=demo&password=demo";
const std::string kOp = "GET /android/pcposmilege.php?deviceid={d}";
const std::string kResult = "GET /android/pcposgetmilegeret.php?deviceid={d}";
const std::string kDelete = "GET /android/deleteposdata.php?deviceid={d}";
const std::string kConfirm = "POST /sim/confirm?deviceid={d}";
const std::string kSms = "GET /sms_client_v10/pctelmilege.php?deviceid={d}&price=15000&milege=5";
// 이서연 starts with no history at the demo shop; 김민준 (the default customer) has 3 visits,
// 45000 sales, 2250 given.
const std::string kFresh = "&customer=010-2345-6789";

// Give: 11, name, visits, sales, mileage given, total sales, total given, total used. Pay and
// cancel: 12 or 13, name, visits, paid, mileage used, coins used, sales, total given, total sales,
// total used.
INSTANTIATE_TEST_SUITE_P(
    Scripts, ExchangeTest,
    ::testing::Values(
        Script{"LoginAnswersTheShopAndTheHostTheTillUsedGivenAPassword",
               {{kLogin, "1</>*</>한빛 베이커리</>demo</>5</>{host}</></>2"},
                {kLogin + "|Host: till.example:8080",
                 "1</>*</>한빛 베이커리</>demo</>5</>till.example:8080</></>2"},
                {"GET /android/poslogin.php?id=demo", "REFUSED"}}},
        Script{"ResultIsPendingUntilConfirmedAndClearedByDeleteData",
               {{kResult, "1</>0"},
                {kOp + "&process=1&price=15000&milege=5", "1</>1500"},
                {kResult, "1</>0"},
                {"GET /android/pcposgetmilegeret.php?deviceid={e}", "1</>0"},
                {kDelete, "1"}, // a pending operation survives delete-data
                {kConfirm, "1"},
                {kResult, "1</>11</>김민준</>4</>15000</>750</>60000</>3000</>0"},
                {kDelete, "1"},
                {kResult, "1</>0"}}},
        Script{"ANewOperationReplacesTheTillsOlderOne",
               {{kOp + "&process=1&price=15000&milege=5", "1</>1500"},
                {kOp + "&process=2&price=1000&milege=5", "1"},
                {kConfirm, "1"},
                {kResult, "1</>12</>김민준</>4</>1000</>1000</>0</>1000</>2250</>46000</>1000"},
                {kOp + "&process=3&price=1000&milege=5", "1"},
                {kResult, "1</>0"}}},
        Script{"OperationRefusals",
               {{"GET /android/pcposmilege.php?deviceid=NOPE&process=1&price=1000&milege=5", "REFUSED"},
                {kOp + "&process=1&price=0&milege=5", "REFUSED"},
                {kOp + "&process=4&price=1000&milege=5", "REFUSED"},
                {kOp + "&price=1000&milege=5", "REFUSED"},
                {kOp + "&process=01&price=1000&milege=5", "REFUSED"},
                {kOp + "&process=1&price=1000&milege=101", "REFUSED"},
                {kConfirm, "REFUSED"},                         // none of them opened anything
                {kOp + "&process=2&price=1000&milege=x", "1"}, // a pay does not use the rate
                {kOp + "&process=1&price=1000", "1</>1500"},   // a give without one earns the shop's
                {kConfirm, "1"},
                {kResult, "1</>11</>김민준</>4</>1000</>50</>46000</>2300</>0"}}},
        Script{"OtherEndpointsRefuseUnknownTills",
               {{"GET /android/pcposgetmilegeret.php?deviceid=NOPE", "REFUSED"},
                {"GET /android/deleteposdata.php?deviceid=", "REFUSED"},
                {"GET /sms_client_v10/pctelmilege.php?deviceid=NOPE&price=1000&milege=5&tel=010&marktag=1",
                 "REFUSED"},
                {"POST /sim/confirm?deviceid=NOPE", "REFUSED"}}},
        Script{"ShopSettingsReachLoginAndGive",
               {{"POST /sim/shop?id=demo&version=3", "1"},
                {kLogin, "1</>*</>한빛 베이커리</>demo</>5</>{host}</></>3"},
                {"POST /sim/shop?id=demo&rate=2.5&coins=-3&version=2", "1"},
                {kLogin, "1</>*</>한빛 베이커리</>demo</>2.5</>{host}</></>2"},
                {kOp + "&process=1&price=1000&milege=", "1</>-3"},
                {kConfirm, "1"},
                {kResult, "1</>11</>김민준</>4</>1000</>25</>46000</>2275</>0"},
                {"POST /sim/shop?id=nobody&coins=1", "REFUSED"},
                {"POST /sim/shop?coins=1", "REFUSED"},
                {"POST /sim/shop?id=demo&coins=lots", "REFUSED"},
                {"POST /sim/shop?id=demo&rate=200", "REFUSED"},
                {kOp + "&process=1&price=1000&milege=", "1</>-3"}}},
        Script{"TextMessagesGoToTheOutboxAndCostACoinEach",
               {{"POST /sim/shop?id=demo&coins=2", "1"},
                {kSms + "&tel=010-9876-5432&marktag=1700000000", "1"},
                {kSms + "&tel=%ED%95%9C%09010%2B1&marktag=-5", "1"},
                {kSms + "&tel=01011112222&marktag=1", "REFUSED"}, // no coins left
                {kOp + "&process=1&price=1000&milege=5", "1</>0"},
                {"GET /sim/sms", "{d}\t010-9876-5432\t15000\t5\t1700000000\n{d}\t한 010+1\t15000\t5\t-5\n"},
                {kSms + "&tel=abc&marktag=1", "REFUSED"},
                {"POST /sim/reset", "1"},
                {"GET /sim/sms", ""}}},
        Script{"CancelNoticeDropsTheShopsPendingOperationsOnly",
               {{kOp + "&process=1&price=1000&milege=5", "1</>1500"},
                {"GET /android/pcposmilege.php?deviceid={e}&process=1&price=2000&milege=5", "1</>1500"},
                {"POST /sim/confirm?deviceid={e}", "1"},
                {"GET /android/processcancel.php?storeidx=demo", "1"},
                {kConfirm, "REFUSED"},
                {kResult, "1</>0"},
                {"GET /android/pcposgetmilegeret.php?deviceid={e}", "1</>11</>*"},
                {"GET /android/processcancel.php?storeidx=nobody", "REFUSED"},
                {"GET /android/processcancel.php", "REFUSED"}}},
        Script{"RequestLogKeepsRawTargetsOfOperatorEndpointsOnlyPasswordsMasked",
               {{"POST /sim/reset", "1"},
                {"GET /android/poslogin.php?id=demo&password=de+mo%2B", "REFUSED"},
                {"GET /android/pcposgetmilegeret.php?deviceid=%ED%95%9C%20x", "REFUSED"},
                {"GET /sim/echo?a=1", "1</>a=1"},
                {"GET /sim/requests", "* /android/poslogin.php?id=demo&password=***\n"
                                      "* /android/pcposgetmilegeret.php?deviceid=%ED%95%9C%20x\n"}}},
        Script{"EchoShowsParametersInOrder",
               {{"GET /sim/echo", "1"},
                {"GET /sim/echo?z=1&a=2", "1</>z=1</>a=2"},
                {"GET /sim/echo?flag&e=", "1</>flag=</>e="}}},
        Script{"AFreshCustomersHistory",
               {{kOp + "&process=1&price=15000&milege=5", "1</>1500"},
                {kConfirm + kFresh, "1"},
                {kResult, "1</>11</>이서연</>1</>15000</>750</>15000</>750</>0"},
                {kOp + "&process=1&price=999&milege=2.5", "1</>1500"},
                {kConfirm + "&customer=01023456789", "1"},
                {kResult, "1</>11</>이서연</>2</>999</>24</>15999</>774</>0"},
                {kOp + "&process=2&price=700&milege=5", "1"},
                {kConfirm + kFresh, "1"},
                {kResult, "1</>12</>이서연</>3</>700</>700</>0</>700</>774</>16699</>700"},
                {kOp + "&process=2&price=50&milege=5", "1"},
                {kConfirm + kFresh, "1"},
                {kResult, "1</>12</>이서연</>4</>50</>50</>0</>50</>774</>16749</>750"},
                {kOp + "&process=2&price=30&milege=5", "1"},
                {kConfirm + kFresh, "REFUSED"}, // balance 24
                {kOp + "&process=3&price=700&milege=5", "1"},
                {kConfirm + kFresh, "REFUSED"}, // last pay: 50
                {kOp + "&process=3&price=50&milege=5", "1"},
                {kConfirm + kFresh, "1"},
                {kResult, "1</>13</>이서연</>4</>50</>50</>0</>50</>774</>16699</>700"},
                {kOp + "&process=3&price=700&milege=5", "1"},
                {kConfirm + kFresh, "1"},
                {kResult, "1</>13</>이서연</>4</>700</>700</>0</>700</>774</>15999</>0"},
                {kOp + "&process=3&price=700&milege=5", "1"},
                {kConfirm + kFresh, "REFUSED"}}},
        Script{"ConfirmationRefusalsAndSharedAccounts",
               {{kOp + "&process=1&price=1000&milege=5", "1</>1500"},
                {kConfirm + "&customer=010-0000-0000", "REFUSED"},
                {kConfirm + "&customer=%20", "REFUSED"},
                {kConfirm + "&customer=010-1234-5678", "1"},
                {kConfirm, "REFUSED"}, // already confirmed
                {"GET /android/pcposmilege.php?deviceid={e}&process=2&price=2300&milege=5", "1"},
                {"POST /sim/confirm?deviceid={e}", "1"},
                {"GET /android/pcposgetmilegeret.php?deviceid={e}",
                 "1</>12</>김민준</>5</>2300</>2300</>0</>2300</>2300</>48300</>2300"}}},
        Script{
            "FaultsAnswerPostedBytesOnTheirOwnPathUntilDisarmed",
            {{"POST /sim/fault?path=/android/pcposgetmilegeret.php&mode=body|1</>11</>", "1"},
             {kResult, "1</>11</>"},
             {"POST /sim/fault?path=/android/pcposgetmilegeret.php&mode=body|" + std::string(5000, 'k'), "1"},
             {kResult, std::string(5000, 'k')},
             {"POST /sim/fault?path=/android/pcposgetmilegeret.php&mode=body|", "1"},
             {kResult, ""},
             {kLogin, "1</>*"},
             {"POST /sim/fault?path=/android/pcposgetmilegeret.php&mode=off", "1"},
             {kResult, "1</>0"},
             {"POST /sim/fault?path=android/poslogin.php&mode=body|X", "1"}, // the '/' is added
             {kLogin, "X"},
             {"POST /sim/reset", "1"},
             {kLogin, "1</>*"}}},
        Script{"BadArmingsAreRefused",
               {{"POST /sim/fault?mode=hang", "REFUSED"},
                {"POST /sim/fault?path=/sim/requests&mode=hang", "REFUSED"},
                {"POST /sim/fault?path=/android/unknown.php&mode=hang", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=explode", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=delay&ms=-1", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=reset", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=slow&chunk=0&ms=10", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=status&code=600", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=redirect", "REFUSED"},
                {"POST /sim/fault?path=/android/poslogin.php&mode=redirect&to=/x%0D%0ASet-Cookie:%20a", "REFUSED"},
                {kLogin, "1</>*"}}}),
    [](const auto& param) { return std::string(param.param.name); });

using ServerHttpTest = ServerFixture;

TEST_F(ServerHttpTest, RefusalsOfTheHttpLayerCarryARefusalRecord) {
    struct Case {
        std::string request;
        int status;
    } cases[] = {
        {"GET /android/pcposmilege.php?deviceid=" + std::string(20000, 'x') + " HTTP/1.1\r\nHost: x\r\n\r\n",
         414},
        {"GET /a b c HTTP/1.1\r\nHost: x\r\n\r\n", 400},
        // A POST that announces no body is answered at once, not after a read time-out.
        {"POST /sim/nothing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 404},
        {"POST /sim/reset HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 200},
    };
    for (const auto& c : cases) {
        const auto reply = http().Exchange(c.request, std::chrono::seconds(3));
        EXPECT_EQ(reply.status, c.status) << c.request.substr(0, 40);
        EXPECT_EQ(Fields(reply.body).at(0), c.status == 200 ? "1" : "0");
    }
    // Without a Host header (HTTP/1.0) the address the connection reached stands in.
    const auto plain = http().Exchange("GET /android/poslogin.php?id=demo&password=demo HTTP/1.0\r\n\r\n",
                                       std::chrono::seconds(5));
    EXPECT_EQ(Fields(plain.body).at(5), http().HostPort());
}

TEST_F(ServerHttpTest, AppPageListsPendingOperationsAndConfirmsAsTheChosenCustomer) {
    const std::string device = Login();
    EXPECT_NE(Get("/app").find("대기 중인 거래가 없습니다"), std::string::npos);
    ASSERT_EQ(Get("/android/pcposmilege.php?deviceid=" + device + "&process=1&price=20000&milege=5"),
              "1</>1500");
    const std::string page = Get("/app");
    EXPECT_NE(page.find("action=\"/sim/confirm?deviceid=" + device + "&amp;from=app\""), std::string::npos);
    EXPECT_NE(page.find("이서연"), std::string::npos);
    const auto posted = http().Exchange("POST /sim/confirm?deviceid=" + device +
                                            "&from=app HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                            "application/x-www-form-urlencoded\r\nContent-Length: 22\r\n"
                                            "Connection: close\r\n\r\ncustomer=010-2345-6789",
                                        std::chrono::seconds(5));
    EXPECT_EQ(posted.status, 303);
    EXPECT_EQ(posted.Header("Location").rfind("/app?notice=", 0), 0u);
    EXPECT_EQ(Fields(Get("/android/pcposgetmilegeret.php?deviceid=" + device)).at(2), "이서연");
    EXPECT_EQ(Get("/app").find(device), std::string::npos);
}

} // namespace

// Whichever bound a flood reaches first (200,000 lines or 32 MB), the log keeps the newest lines
// whole, and drops no more than a 64 KB chunk's worth past that bound.
TEST(RequestLogTest, KeepsTheNewestLinesWithinItsBounds) {
    struct Flood {
        const char* name;
        std::size_t targetBytes, count;
        std::size_t atLeastLines, atLeastBytes; // what the bound reached keeps
    };
    const Flood floods[] = {
        // 32 MB less one chunk of 64 KB.
        {"8 KB targets, past the bytes", 8000, 5000, 0, 33'554'432 - 65'536},
        // A 64 KB chunk holds fewer than 5,000 lines of 15 bytes or more.
        {"short targets, past the lines", 10, 230'000, 195'000, 0},
    };
    for (const Flood& flood : floods) {
        RequestLog log;
        for (std::size_t i = 0; i < flood.count; ++i)
            log.Add(std::to_string(i) + "/" + std::string(flood.targetBytes, 'x'));
        const std::string text = log.Text();
        EXPECT_LE(log.Bytes(), 33'554'432u) << flood.name;
        EXPECT_LE(log.Lines(), 200'000u) << flood.name;
        EXPECT_EQ(text.size(), log.Bytes()) << flood.name;
        EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), log.Lines())
            << flood.name;
        // Whole lines, the newest last.
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text.front()))) << flood.name;
        const std::string newest = " " + std::to_string(flood.count - 1) + "/";
        EXPECT_NE(text.find(newest, text.rfind('\n', text.size() - 2)), std::string::npos) << flood.name;
        EXPECT_GE(log.Lines(), flood.atLeastLines) << flood.name;
        EXPECT_GE(log.Bytes(), flood.atLeastBytes) << flood.name;
    }
}
