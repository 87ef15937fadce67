// The operator endpoints and the simulation API as a till and a test see them over HTTP.
#include "ServerFixture.h"

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace {

using EndpointTest = ServerFixture;

TEST_F(EndpointTest, LoginAnswersTheShopAndTheHostTheTillUsed) {
    const auto fields =
        Fields(http().Get("/android/poslogin.php?id=demo&password=demo", "Host: till.example:8080\r\n").body);
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[0], "1");
    EXPECT_FALSE(fields[1].empty());
    EXPECT_EQ(fields[2], "한빛 베이커리");
    EXPECT_EQ(fields[3], "demo");
    EXPECT_EQ(fields[4], "5");
    EXPECT_EQ(fields[5], "till.example:8080");
    EXPECT_EQ(fields[6], "");
    EXPECT_EQ(fields[7], "2");

    // Without a Host header (HTTP/1.0) the address the connection reached stands in.
    const auto plain = http().Exchange("GET /android/poslogin.php?id=demo&password=demo HTTP/1.0\r\n\r\n",
                                       std::chrono::seconds(5));
    EXPECT_EQ(Fields(plain.body).at(5), "127.0.0.1:" + std::to_string(port()));
}

TEST_F(EndpointTest, EveryLoginRegistersItsOwnTill) {
    std::set<std::string> ids;
    for (int i = 0; i < 5; ++i)
        ids.insert(Login());
    EXPECT_EQ(ids.size(), 5u);
    // Each id is a till of its own: an operation on one does not show on another.
    const std::string a = *ids.begin();
    const std::string b = *ids.rbegin();
    EXPECT_EQ(Open(a, 1, "1000"), "1</>1500");
    EXPECT_EQ(Confirm(a), "1");
    EXPECT_EQ(Fields(Result(a)).at(1), "11");
    EXPECT_EQ(Result(b), "1</>0");
}

TEST_F(EndpointTest, LoginRefusals) {
    const char* targets[] = {
        "/android/poslogin.php?id=demo&password=wrong",
        "/android/poslogin.php?id=demo&password=Demo",
        "/android/poslogin.php?id=demo&password=de+mo",
        "/android/poslogin.php?id=nobody&password=demo",
        "/android/poslogin.php?id=demo",
        "/android/poslogin.php?password=demo",
        "/android/poslogin.php?id=&password=",
        "/android/poslogin.php",
        "/android/poslogin.php?id=%ED%95%9C%EB%B9%9B&password=%EB%B9%84%EB%B0%80",
        "/android/poslogin.php?id=demo&password=demo%00",
    };
    for (const char* target : targets) {
        const auto fields = Fields(Get(target));
        ASSERT_EQ(fields.size(), 2u) << target;
        EXPECT_EQ(fields[0], "0") << target;
        EXPECT_FALSE(fields[1].empty()) << target;
    }
    // Percent-encoded letters are the letters themselves.
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=%64emo&password=d%65mo")).at(0), "1");
    // A long id is refused like any other unknown one.
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=" + std::string(6000, 'x') + "&password=demo")).at(0),
              "0");
}

TEST_F(EndpointTest, GetResultIsPendingUntilConfirmedAndClearedByDeleteData) {
    const std::string device = Login();
    EXPECT_EQ(Result(device), "1</>0"); // none open
    EXPECT_EQ(Open(device, 1, "15000"), "1</>1500");
    EXPECT_EQ(Result(device), "1</>0"); // pending
    // delete-data clears only a finished operation: the pending one survives it.
    EXPECT_EQ(Get("/android/deleteposdata.php?deviceid=" + device), "1");
    EXPECT_EQ(Confirm(device), "1");
    const auto fields = Fields(Result(device));
    ASSERT_EQ(fields.size(), 9u);
    EXPECT_EQ(fields[1], "11");
    EXPECT_EQ(Result(device), Result(device)); // stays until deleted
    EXPECT_EQ(Get("/android/deleteposdata.php?deviceid=" + device), "1");
    EXPECT_EQ(Result(device), "1</>0");
    EXPECT_EQ(Fields(Confirm(device)).at(0), "0"); // nothing left to confirm
}

TEST_F(EndpointTest, PayAndCancelAnswerOneField) {
    const std::string device = Login();
    EXPECT_EQ(Open(device, 2, "1000"), "1");
    EXPECT_EQ(Open(device, 3, "1000"), "1");
}

TEST_F(EndpointTest, ANewOperationReplacesTheTillsOlderOne) {
    const std::string device = Login();
    // Pending give replaced by a pending pay: the confirmation completes a pay.
    EXPECT_EQ(Open(device, 1, "15000"), "1</>1500");
    EXPECT_EQ(Open(device, 2, "1000"), "1");
    EXPECT_EQ(Confirm(device), "1");
    const auto pay = Fields(Result(device));
    EXPECT_EQ(pay.at(1), "12");
    EXPECT_EQ(pay.at(4), "1000");
    // A finished operation not yet deleted is replaced too: the till waits again.
    EXPECT_EQ(Open(device, 1, "2000"), "1</>1500");
    EXPECT_EQ(Result(device), "1</>0");
}

TEST_F(EndpointTest, OperationRefusals) {
    const std::string device = Login();
    struct Case {
        std::string query;
        const char* why;
    } cases[] = {
        {"deviceid=NOPE&process=1&price=1000&milege=5", "unknown till"},
        {"process=1&price=1000&milege=5", "no till"},
        {"deviceid=&process=1&price=1000&milege=5", "empty till"},
        {"deviceid=" + device + "&process=1&price=0&milege=5", "zero amount"},
        {"deviceid=" + device + "&process=2&price=-500&milege=5", "negative amount"},
        {"deviceid=" + device + "&process=1&price=&milege=5", "empty amount"},
        {"deviceid=" + device + "&process=1&milege=5", "no amount"},
        {"deviceid=" + device + "&process=1&price=abc&milege=5", "letters"},
        {"deviceid=" + device + "&process=1&price=15%2C000&milege=5", "thousands separator"},
        {"deviceid=" + device + "&process=1&price=1%2B1&milege=5", "plus"},
        {"deviceid=" + device + "&process=1&price=15000%20&milege=5", "trailing space"},
        {"deviceid=" + device + "&process=3&price=99999999999999999999999999&milege=5", "huge amount"},
        {"deviceid=" + device + "&process=1&price=%EC%98%A4%EC%B2%9C&milege=5", "Korean amount"},
        {"deviceid=" + device + "&process=4&price=1000&milege=5", "process 4"},
        {"deviceid=" + device + "&process=&price=1000&milege=5", "empty process"},
        {"deviceid=" + device + "&price=1000&milege=5", "no process"},
        {"deviceid=" + device + "&process=01&price=1000&milege=5", "process 01"},
        {"deviceid=" + device + "&process=1&price=1000&milege=abc", "give at a bad rate"},
        {"deviceid=" + device + "&process=1&price=1000&milege=101", "give above 100 percent"},
    };
    for (const auto& c : cases) {
        const auto fields = Fields(Get("/android/pcposmilege.php?" + c.query));
        ASSERT_EQ(fields.size(), 2u) << c.why;
        EXPECT_EQ(fields[0], "0") << c.why;
        EXPECT_FALSE(fields[1].empty()) << c.why;
    }
    // None of them opened anything.
    EXPECT_EQ(Fields(Confirm(device)).at(0), "0");
    // A pay does not use the rate, so a bad one does not refuse it; a give without a rate earns
    // at the shop's.
    EXPECT_EQ(Get("/android/pcposmilege.php?deviceid=" + device + "&process=2&price=1000&milege=x"), "1");
    EXPECT_EQ(Get("/android/pcposmilege.php?deviceid=" + device + "&process=1&price=1000"), "1</>1500");
    EXPECT_EQ(Confirm(device), "1");
    EXPECT_EQ(Fields(Result(device)).at(5), "50");
}

TEST_F(EndpointTest, OtherEndpointsRefuseUnknownTills) {
    for (const char* target :
         {"/android/pcposgetmilegeret.php?deviceid=NOPE", "/android/pcposgetmilegeret.php",
          "/android/deleteposdata.php?deviceid=NOPE", "/android/deleteposdata.php?deviceid=",
          "/sms_client_v10/pctelmilege.php?deviceid=NOPE&price=1000&milege=5&tel=010&marktag=1"}) {
        EXPECT_EQ(Fields(Get(target)).at(0), "0") << target;
    }
    EXPECT_EQ(Fields(Post("/sim/confirm?deviceid=NOPE")).at(0), "0");
    EXPECT_EQ(Fields(Post("/sim/confirm")).at(0), "0");
}

TEST_F(EndpointTest, ShopSettingsReachLoginAndGive) {
    EXPECT_EQ(Post("/sim/shop?id=demo&version=3"), "1");
    auto login = Fields(Get("/android/poslogin.php?id=demo&password=demo"));
    EXPECT_EQ(login.at(7), "3"); // the upgrade announcement
    EXPECT_EQ(login.at(4), "5");

    EXPECT_EQ(Post("/sim/shop?id=demo&rate=2.5&coins=-3&version=2"), "1");
    login = Fields(Get("/android/poslogin.php?id=demo&password=demo"));
    EXPECT_EQ(login.at(4), "2.5");
    EXPECT_EQ(login.at(7), "2");
    EXPECT_EQ(Open(login.at(1), 1, "1000", ""), "1</>-3");
    EXPECT_EQ(Confirm(login.at(1)), "1");
    EXPECT_EQ(Fields(Result(login.at(1))).at(5), "25"); // earned at the shop's new rate

    for (const char* bad :
         {"/sim/shop?id=nobody&coins=1", "/sim/shop?coins=1", "/sim/shop?id=demo&coins=lots",
          "/sim/shop?id=demo&coins=", "/sim/shop?id=demo&rate=200", "/sim/shop?id=demo&rate="}) {
        EXPECT_EQ(Fields(Post(bad)).at(0), "0") << bad;
    }
    // A refused setting changed nothing.
    EXPECT_EQ(Open(login.at(1), 1, "1000", ""), "1</>-3");
}

TEST_F(EndpointTest, TextMessagesGoToTheOutboxAndCostACoinEach) {
    const std::string device = Login();
    EXPECT_EQ(Post("/sim/shop?id=demo&coins=2"), "1");
    const std::string sms = "/sms_client_v10/pctelmilege.php?deviceid=" + device + "&price=15000&milege=5";
    EXPECT_EQ(Get(sms + "&tel=010-9876-5432&marktag=1700000000"), "1");
    EXPECT_EQ(Get(sms + "&tel=%ED%95%9C%09010%2B1&marktag=-5"), "1");
    const auto refused = Fields(Get(sms + "&tel=01011112222&marktag=1"));
    EXPECT_EQ(refused.at(0), "0"); // no coins left
    EXPECT_EQ(Open(device, 1, "1000"), "1</>0");

    // Decoded values, one tab-separated line each; a tab inside a value does not add a column.
    EXPECT_EQ(Get("/sim/sms"),
              device + "\t010-9876-5432\t15000\t5\t1700000000\n" + device + "\t한 010+1\t15000\t5\t-5\n");

    for (const std::string& bad :
         {sms + "&tel=&marktag=1", sms + "&marktag=1", sms + "&tel=abc&marktag=1",
          "/sms_client_v10/pctelmilege.php?deviceid=" + device + "&price=0&tel=010"}) {
        EXPECT_EQ(Fields(Get(bad)).at(0), "0") << bad;
    }
    EXPECT_EQ(Post("/sim/reset"), "1");
    EXPECT_EQ(Get("/sim/sms"), "");
}

TEST_F(EndpointTest, CancelNoticeDropsTheShopsPendingOperationsOnly) {
    const std::string waiting = Login();
    const std::string finished = Login();
    EXPECT_EQ(Open(waiting, 1, "1000"), "1</>1500");
    EXPECT_EQ(Open(finished, 1, "2000"), "1</>1500");
    EXPECT_EQ(Confirm(finished), "1");

    EXPECT_EQ(Get("/android/processcancel.php?storeidx=demo"), "1");
    EXPECT_EQ(Fields(Confirm(waiting)).at(0), "0");
    EXPECT_EQ(Result(waiting), "1</>0");
    EXPECT_EQ(Fields(Result(finished)).at(1), "11");

    for (const char* bad : {"/android/processcancel.php?storeidx=nobody",
                            "/android/processcancel.php?storeidx=", "/android/processcancel.php"}) {
        EXPECT_EQ(Fields(Get(bad)).at(0), "0") << bad;
    }
}

TEST_F(EndpointTest, RequestLogKeepsRawTargetsOfOperatorEndpointsOnly) {
    const std::string raw[] = {
        "/android/poslogin.php?id=demo&password=de+mo%2B",
        "/android/pcposgetmilegeret.php?deviceid=%ED%95%9C%EA%B8%80%20x",
        "/android/unknown.php?a=b",
    };
    for (const auto& target : raw)
        Get(target);
    Get("/sim/echo?a=1");
    Get("/app");
    Post("/sim/shop?id=demo&coins=5");

    const std::string log = Get("/sim/requests");
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < log.size();) {
        const auto end = log.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends with a newline";
        lines.push_back(log.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << log;
    long previous = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto space = lines[i].find(' ');
        ASSERT_NE(space, std::string::npos);
        const long ms = std::stol(lines[i].substr(0, space));
        EXPECT_GE(ms, previous);
        previous = ms;
        EXPECT_EQ(lines[i].substr(space + 1), raw[i]);
    }
    EXPECT_EQ(Post("/sim/reset"), "1");
    EXPECT_EQ(Get("/sim/requests"), "");
}

TEST_F(EndpointTest, ClockReadsTheRequestLogsTime) {
    auto clock = [&] {
        const auto fields = Fields(Get("/sim/clock"));
        EXPECT_EQ(fields.size(), 2u);
        EXPECT_EQ(fields.at(0), "1");
        return std::stol(fields.at(1));
    };
    auto logged = [&] {
        const std::string log = Get("/sim/requests");
        const auto last = log.rfind('\n', log.size() - 2);
        return std::stol(log.substr(last == std::string::npos ? 0 : last + 1));
    };
    const long before = clock();
    Get("/android/pcposgetmilegeret.php?deviceid=x");
    const long first = logged();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const long middle = clock();
    Get("/android/pcposgetmilegeret.php?deviceid=y");
    const long second = logged();
    EXPECT_LE(before, first);
    EXPECT_LE(first, middle);
    EXPECT_LE(middle, second);
    EXPECT_GE(middle - first, 30);
    EXPECT_EQ(Get("/sim/requests").find("clock"), std::string::npos) << "not logged itself";
}

TEST_F(EndpointTest, EchoShowsDecodedParametersInOrder) {
    struct Case {
        const char* query;
        const char* answer;
    } cases[] = {
        {"", "1"},
        {"?z=1&a=2", "1</>z=1</>a=2"},
        {"?v=a+b%20c%2Bd", "1</>v=a+b c+d"},
        {"?name=%EA%B9%80%EB%AF%BC%EC%A4%80", "1</>name=김민준"},
        {"?flag&e=", "1</>flag=</>e="},
        {"?k=100%25&bad=%ZZ", "1</>k=100%</>bad=%ZZ"},
        {"?amp=%26&eq=a%3Db", "1</>amp=&</>eq=a=b"},
        {"?sep=%3C%2F%3E", "1</>sep=< >"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Get(std::string("/sim/echo") + c.query), c.answer) << c.query;
}

TEST_F(EndpointTest, UnknownPathsAndBodilessPostsAreAnswered) {
    const auto unknown = http().Get("/nothing/here.php?x=1");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(Fields(unknown.body).at(0), "0");
    // Refused by the HTTP layer itself, still with a refusal record.
    const auto huge =
        http().Get("/android/pcposmilege.php?deviceid=" + std::string(20000, 'x') + "&process=1");
    EXPECT_EQ(huge.status, 414);
    EXPECT_EQ(Fields(huge.body).at(0), "0");
    const auto broken = http().Exchange("GET /a b c HTTP/1.1\r\nHost: x\r\n\r\n", std::chrono::seconds(3));
    EXPECT_EQ(broken.status, 400);
    EXPECT_EQ(Fields(broken.body).at(0), "0");
    // A POST that announces no body is answered at once, not after a read time-out.
    const auto bare = http().Exchange("POST /sim/reset HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                                      std::chrono::seconds(3));
    EXPECT_EQ(bare.status, 200);
    EXPECT_EQ(bare.body, "1");
    const auto bareUnknown = http().Exchange(
        "POST /sim/nothing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", std::chrono::seconds(3));
    EXPECT_EQ(bareUnknown.status, 404);
    EXPECT_EQ(Fields(bareUnknown.body).at(0), "0");
}

TEST_F(EndpointTest, LogLinesMaskPasswords) {
    Get("/android/poslogin.php?id=demo&password=s3cret");
    Get("/android/poslogin.php?password=%73ecret2&id=demo");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("ecret"), std::string::npos) << line;
        EXPECT_NE(line.find("password=***"), std::string::npos) << line;
        EXPECT_NE(line.find("GET /android/poslogin.php?"), std::string::npos) << line;
    }
}

TEST_F(EndpointTest, AppPageListsPendingOperationsAndConfirmsAsTheChosenCustomer) {
    const std::string device = Login();
    EXPECT_NE(Get("/app").find("대기 중인 거래가 없습니다"), std::string::npos);
    EXPECT_EQ(Open(device, 1, "20000"), "1</>1500");
    const std::string page = Get("/app");
    EXPECT_NE(page.find(device), std::string::npos);
    EXPECT_NE(page.find("action=\"/sim/confirm?deviceid=" + device + "&amp;from=app\""), std::string::npos);
    EXPECT_NE(page.find("이서연"), std::string::npos);

    // What the browser posts for the form.
    const auto posted = http().Exchange("POST /sim/confirm?deviceid=" + device +
                                            "&from=app HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                            "application/x-www-form-urlencoded\r\nContent-Length: 22\r\n"
                                            "Connection: close\r\n\r\ncustomer=010-2345-6789",
                                        std::chrono::seconds(5));
    EXPECT_EQ(posted.status, 303);
    EXPECT_EQ(posted.Header("Location").rfind("/app?notice=", 0), 0u);
    const auto result = Fields(Result(device));
    EXPECT_EQ(result.at(1), "11");
    EXPECT_EQ(result.at(2), "이서연");
    EXPECT_EQ(Get("/app").find(device), std::string::npos);
}

TEST_F(EndpointTest, ManyTillsPollAtOnce) {
    constexpr int kTills = 48;
    std::vector<std::string> devices;
    for (int i = 0; i < kTills; ++i)
        devices.push_back(Login());
    std::atomic<int> answered{0};
    std::vector<std::thread> tills;
    for (const auto& device : devices) {
        tills.emplace_back([&, device] {
            for (int poll = 0; poll < 5; ++poll) {
                if (Result(device) == "1</>0")
                    ++answered;
            }
        });
    }
    for (auto& t : tills)
        t.join();
    EXPECT_EQ(answered.load(), kTills * 5);
}

} // namespace
