// The text rules under every endpoint: query decoding, numbers, reply records, flags, masking.
#include "server/ClientAddress.h"
#include "server/CommandLine.h"
#include "server/Numbers.h"
#include "server/OperatorServer.h"
#include "server/PasswordHash.h"
#include "server/QueryString.h"
#include "server/Record.h"
#include "server/RequestTarget.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(QueryString, DecodesPercentButKeepsPlusLiteral) {
    struct Case {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"a+b", "a+b"}, // '+' is a literal plus in these queries
        {"a%20b", "a b"},
        {"%2B", "+"},
        {"%ED%95%9C%EA%B8%80", "한글"},
        {"%e1%84%80", "\xe1\x84\x80"}, // lower-case hex
        {"100%", "100%"},              // a '%' without two hex digits stays
        {"%4", "%4"},
        {"%G1", "%G1"},
        {"%%41", "%A"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QueryString::Decode(c.raw), c.decoded) << c.raw;
    EXPECT_EQ(QueryString::Decode("%00x"), std::string("\0x", 2));
    EXPECT_EQ(QueryString::Decode("a+b", true), "a b"); // HTML form bodies
}

TEST(QueryString, SplitsTargetsInOrder) {
    const auto q = QueryString::FromTarget("/p.php?b=2&a=1&flag&=v&a=3&&k%3D=x%26y");
    const std::vector<std::pair<std::string, std::string>> expected = {{"b", "2"}, {"a", "1"}, {"flag", ""},
                                                                       {"", "v"},  {"a", "3"}, {"k=", "x&y"}};
    EXPECT_EQ(q.Items(), expected);
    EXPECT_EQ(q.Get("a"), "1"); // the first of a repeated key
    EXPECT_TRUE(q.Has("flag"));
    EXPECT_FALSE(q.Has("missing"));
    EXPECT_EQ(q.Get("missing"), "");

    EXPECT_TRUE(QueryString::FromTarget("/p.php").Items().empty());
    EXPECT_TRUE(QueryString::FromTarget("/p.php?").Items().empty());
    EXPECT_EQ(QueryString::FromTarget("/p.php?a=1?b=2").Get("a"), "1?b=2");
}

TEST(Numbers, Amounts) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"1", 1},    {"0015000", 15000}, {"1000000000", 1'000'000'000}, {"1000000001", {}}, {"0", {}},
        {"", {}},    {"-5", {}},         {"+5", {}},                    {" 5", {}},         {"5 ", {}},
        {"1e3", {}}, {"12.5", {}},       {"15,000", {}},                {"99999999999999999999999", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Numbers::ParseAmount(c.text), c.value) << c.text;
}

TEST(Numbers, RatesInHundredths) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> hundredths;
    } cases[] = {
        {"0", 0},      {"100", 10000}, {"2.5", 250}, {"0.25", 25}, {"5.", 500}, {"100.00", 10000},
        {"100.01", {}}, {"101", {}},   {"-1", {}},   {".5", {}},   {"2.555", {}}, {"2.x", {}}, {"", {}}, {"1.2.3", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Numbers::ParseRate(c.text), c.hundredths) << c.text;
}

TEST(Numbers, MileageRoundsDown) {
    struct Case {
        std::int64_t amount;
        std::int32_t rate;
        std::int64_t mileage;
    } cases[] = {
        {15000, 500, 750}, {19, 500, 0}, {39, 500, 1}, {1000, 250, 25}, {999, 1, 0},
        {1'000'000'000, 10000, 1'000'000'000}, {12345, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Numbers::MileageFor(c.amount, c.rate), c.mileage) << c.amount;
}

TEST(Record, JoinsAndKeepsSeparatorOutOfFields) {
    EXPECT_EQ(Record::Accepted().Add("a").Add(-3).Add("").Text(), "1</>a</>-3</>");
    EXPECT_EQ(Record::Refused("no"), "0</>no");
    // A field holding the separator must not split into two fields on the till.
    EXPECT_EQ(Record::Accepted().Add("x</>y").Text(), "1</>x< >y");
    EXPECT_EQ(Record::Refused("</></>"), "0</>< >< >");
    EXPECT_EQ(Record::Accepted().Add("a<b/>c").Text(), "1</>a<b/>c");
}

TEST(PasswordHash, VerifiesOnlyTheSamePassword) {
    const std::string stored = PasswordHash::Make("demo");
    EXPECT_EQ(stored.find("demo"), std::string::npos);
    EXPECT_TRUE(PasswordHash::Verify("demo", stored));
    for (const char* wrong : {"", "Demo", "demo ", "dem", "demodemo"})
        EXPECT_FALSE(PasswordHash::Verify(wrong, stored)) << wrong;
    EXPECT_FALSE(PasswordHash::Verify(std::string_view("demo\0", 5), stored));
    EXPECT_NE(PasswordHash::Make("demo"), stored); // salted
    for (const char* broken : {"", "demo", "pbkdf2-sha256$0$aa$bb", "pbkdf2-sha256$x$aa$bb", "md5$1$aa$bb",
                               "pbkdf2-sha256$10000$$bb"})
        EXPECT_FALSE(PasswordHash::Verify("demo", broken)) << broken;
}

TEST(CommandLine, Flags) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(line.Parse({"--host", "0.0.0.0", "--port=0", "--db", "x.db", "--seed=none", "--downloads", "dist"},
                           error)) << error;
    EXPECT_EQ(line.host + " " + std::to_string(line.port) + " " + line.db + " " + line.seed + " " + line.downloads,
              "0.0.0.0 0 x.db none dist");
    EXPECT_TRUE(line.Parse({"-h"}, error) && line.help);
    // The demo shop, with its known password, only where nothing is kept unless asked for.
    const std::pair<std::vector<std::string>, std::string> seeds[] = {
        {{}, "demo"}, {{"--db", "shop.db"}, "none"}, {{"--db", "shop.db", "--seed", "demo"}, "demo"},
        {{"--seed=none"}, "none"}};
    for (const auto& [args, seed] : seeds) {
        CommandLine parsed;
        ASSERT_TRUE(parsed.Parse(args, error)) << error;
        EXPECT_EQ(parsed.seed, seed) << (args.empty() ? "no flags" : args[1]);
        EXPECT_FALSE(parsed.simulate);
    }
    ASSERT_TRUE(line.Parse({"--simulate", "--tls-cert=c.pem", "--tls-key", "k.pem", "--trusted-proxy", "127.0.0.1",
                            "--trusted-proxy=::1"},
                           error)) << error;
    EXPECT_TRUE(line.simulate);
    EXPECT_EQ(line.trustedProxies.size(), 2u);
    EXPECT_EQ(line.tlsCertificate + " " + line.tlsKey, "c.pem k.pem");
    const std::vector<std::vector<std::string>> refused = {
        {"--port", "65536"}, {"--port", "-1"}, {"--port", "80a"}, {"--port"},   {"--port="},     {"--seed", "full"},
        {"--db="},           {"--host", ""},   {"--verbose"},     {"8480"},     {"--help=yes"}, {"--simulate=yes"},
        {"--downloads"},     {"--downloads="},  {"--tls-cert", "c.pem"}, {"--tls-key", "k.pem"},
        {"--trusted-proxy", "proxy.example"}, {"--trusted-proxy", "127.0.0.1/8"},
    };
    for (const auto& args : refused) {
        CommandLine bad;
        error.clear();
        EXPECT_FALSE(bad.Parse(args, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

// One client per IPv4 address (mapped or not) and per IPv6 /64; a forwarded-for value gives its
// last element only, whatever the client wrote before it.
TEST(ClientAddress, GroupsAndForwardedClients) {
    struct Case {
        const char* text;
        const char* shown;
        const char* group; // "" for refused
    } cases[] = {
        {"192.0.2.1", "192.0.2.1", "192.0.2.1"}, {"::ffff:192.0.2.1", "192.0.2.1", "192.0.2.1"},
        {"2001:db8:1::1", "2001:db8:1::1", "2001:db8:1::/64"}, {"::1", "::1", "::/64"},
        {"2001:db8:1:0:ffff:1:2:3", "2001:db8:1:0:ffff:1:2:3", "2001:db8:1::/64"},
        {"2001:db8:1:2::1", "2001:db8:1:2::1", "2001:db8:1:2::/64"},
        {"192.0.2.1:80", "", ""}, {"[::1]", "", ""}, {"fe80::1%lo", "", ""}, {" 192.0.2.1", "", ""},
        {"host.example", "", ""}, {"", "", ""}, {"1.2.3.4.5", "", ""},
    };
    for (const auto& c : cases) {
        const auto client = ClientAddress::Parse(c.text);
        EXPECT_EQ(client ? client->Text() + " " + client->Group() : "",
                  *c.group ? std::string(c.shown) + " " + c.group : "") << c.text;
    }
    const std::pair<const char*, const char*> forwarded[] = {
        {"198.51.100.7", "198.51.100.7"}, {"203.0.113.9, 198.51.100.7", "198.51.100.7"},
        {"198.51.100.7,2001:db8::5", "2001:db8::5"}, {"198.51.100.7, \t", ""}, {"198.51.100.7, unknown", ""},
        {"", ""},
    };
    for (const auto& [header, client] : forwarded) {
        const auto last = ClientAddress::LastForwarded(header);
        EXPECT_EQ(last ? last->Text() : "", client) << header;
    }
}

// The other names and values kept, a password's masked whatever its case: tests/fuzz/fuzz_server.cpp.
TEST(RequestTarget, MasksPasswordValues) {
    struct Case {
        const char* target;
        const char* masked;
    } cases[] = {
        {"/android/poslogin.php?id=demo&password=demo", "/android/poslogin.php?id=demo&password=***"},
        {"/android/poslogin.php?id=demo&password=", "/android/poslogin.php?id=demo&password=***"},
        {"/x?pass%77ord=secret", "/x?pass%77ord=***"},
        {"/password=x", "/password=x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestTarget::MaskPasswords(c.target), c.masked) << c.target;
}

// A split that is the target as written, and none without a host: tests/fuzz/fuzz_server.cpp.
TEST(RequestTarget, SplitsAbsoluteFormAsWritten) {
    struct Case {
        const char* target;
        const char* split; // "host path", or "" for none
    } cases[] = {
        {"http://pos.example:8480/android/x.php?a=1", "pos.example:8480 /android/x.php?a=1"},
        {"http://h", "h /"},
    };
    for (const auto& c : cases) {
        const auto split = RequestTarget::SplitAbsolute(c.target);
        EXPECT_EQ(split ? split->host + " " + split->path : "", c.split) << c.target;
    }
}

} // namespace
