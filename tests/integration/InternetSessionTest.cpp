// The framework's internet part on its own: a GET hands out the body byte for byte however small
// the reads, whatever the status, and every way of not getting a reply is a CInternetException
// (from OpenURL or from a Read), never a short body passed off as whole.
#include "ServerTest.h"

#include "framework/Internet.h"
#include "tests/support/LoopbackPort.h"

#include <optional>

namespace {

constexpr char kPath[] = "/android/deleteposdata.php";

class InternetSessionTest : public ServerTest {
protected:
    // The whole body read in `chunk`-byte reads; nullopt when OpenURL or a Read threw.
    static std::optional<std::string> Fetch(const std::u16string& url, unsigned chunk = 4096) {
        try {
            CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
            auto file = session.OpenURL(url.c_str(), 1, INTERNET_FLAG_TRANSFER_ASCII);
            std::string body;
            std::vector<char> buffer(chunk);
            while (const UINT n = file->Read(buffer.data(), chunk))
                body.append(buffer.data(), n);
            file->Close();
            session.Close();
            return body;
        } catch (const CInternetException&) {
            return std::nullopt;
        }
    }
    std::u16string PathUrl() const { return Url(std::string(kPath) + "?deviceid=x"); }
};

// Every byte value, 20 times over: nothing translated, nothing stops at a zero byte.
std::string AllBytes() {
    std::string out;
    for (int round = 0; round < 20; ++round)
        for (int b = 0; b < 256; ++b)
            out.push_back(static_cast<char>(b));
    return out;
}

class ReadSize : public InternetSessionTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(ReadSize, BodyArrivesByteForByte) {
    const std::string body = AllBytes();
    ASSERT_TRUE(sim.ArmFault(kPath, "body", body));
    const auto fetched = Fetch(PathUrl(), GetParam());
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(fetched->size(), body.size());
    EXPECT_TRUE(*fetched == body);
}

INSTANTIATE_TEST_SUITE_P(Chunks, ReadSize, ::testing::Values(1u, 7u, 2048u, 65536u));

TEST_F(InternetSessionTest, SlowBodyArrivesWhole) {
    ASSERT_TRUE(sim.ArmFault("/android/poslogin.php", "slow&chunk=3&ms=30"));
    const auto fetched = Fetch(Url("/android/poslogin.php?id=demo&password=demo"), 16);
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(fetched->rfind("1</>", 0), 0u) << *fetched;
    EXPECT_NE(fetched->find("</>" + sim.HostPort() + "</></>"), std::string::npos) << *fetched;
}

class StatusNotExamined : public InternetSessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(StatusNotExamined, BodyIsHandedOut) {
    const auto normal = Fetch(PathUrl());
    ASSERT_TRUE(normal.has_value());
    ASSERT_FALSE(normal->empty());
    ASSERT_TRUE(sim.ArmFault(kPath, "status&code=" + std::to_string(GetParam())));
    const auto fetched = Fetch(PathUrl());
    ASSERT_TRUE(fetched.has_value());
    EXPECT_EQ(*fetched, *normal);
}

INSTANTIATE_TEST_SUITE_P(Codes, StatusNotExamined, ::testing::Values(200, 400, 404, 500, 503));

TEST_F(InternetSessionTest, EveryRequestReachesTheServer) {
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(Fetch(Url("/android/pcposgetmilegeret.php?deviceid=poll")).has_value());
    EXPECT_EQ(sim.RequestTargets(),
              std::vector<std::string>(4, "/android/pcposgetmilegeret.php?deviceid=poll"));
}

constexpr char kLoginPath[] = "/android/poslogin.php";

struct FailureCase {
    const char* name;
    std::string fault;       // armed on the login path; empty for none
    std::string urlOverride; // a URL of its own; empty for the demo login
};

class NoReply : public InternetSessionTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(NoReply, Throws) {
    const FailureCase& c = GetParam();
    if (!c.fault.empty()) {
        ASSERT_TRUE(sim.ArmFault(kLoginPath, c.fault));
    }
    std::string url = c.urlOverride;
    if (url.empty())
        url = "http://" + sim.HostPort() + kLoginPath + "?id=demo&password=demo";
    if (url == "closed-port")
        url = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + kLoginPath;
    const auto fetched = Fetch(U16(url));
    EXPECT_FALSE(fetched.has_value()) << "body: " << *fetched;
}

INSTANTIATE_TEST_SUITE_P(Failures, NoReply,
                         ::testing::Values(FailureCase{"closed_port", "", "closed-port"},
                                           FailureCase{"no_host", "", "http:///android/deleteposdata.php"},
                                           FailureCase{"not_http", "", "ftp://127.0.0.1/x"},
                                           FailureCase{"not_a_url", "", "deleteposdata"},
                                           FailureCase{"closed_without_an_answer", "refuse", ""},
                                           FailureCase{"reset_before_body", "reset&after=0", ""},
                                           FailureCase{"reset_mid_body", "reset&after=1", ""},
                                           FailureCase{"reset_near_the_end", "reset&after=20", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(InternetSessionTest, ARequestWhoseConnectionEndsWithoutAnAnswerGoesOutOnce) {
    // An answered exchange leaves a connection the HTTP layer could reuse; the server then drops
    // the next request unanswered. Resending it on a fresh connection would repeat an operation
    // (a give, a paid text message) that the server may already have booked.
    ASSERT_TRUE(sim.ArmFault(kLoginPath, "refuse"));
    ASSERT_TRUE(Fetch(PathUrl()).has_value());
    const std::string target = std::string(kLoginPath) + "?id=demo&password=demo";
    EXPECT_FALSE(Fetch(Url(target)).has_value());
    EXPECT_EQ(sim.RequestTargets(), (std::vector<std::string>{std::string(kPath) + "?deviceid=x", target}));
}

} // namespace
