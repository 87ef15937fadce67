// URL formatting: percent-encoding of every query value, verbatim hosts, fit and refusal.
#include "net/Endpoints.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "net/UrlFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UrlFormat, PercentEncodesAsUtf8) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"AZaz09-._~", u"AZaz09-._~"}, {u"a&b=c/", u"a%26b%3Dc%2F"},   {u"#+ %", u"%23%2B%20%25"},
        {u"한", u"%ED%95%9C"},          {u"\U0001F600", u"%F0%9F%98%80"}, {u"\xD800", u"%EF%BF%BD"},
    };
    for (const auto& [input, encoded] : cases)
        EXPECT_EQ(PercentEncode(input), encoded);
}

TEST(UrlFormat, HostVerbatimValuesEncodedNumberSigned) {
    char16_t dest[500] = {};
    ASSERT_EQ(FormatUrl(dest, 500, kTextMessageTemplate,
                        {Host(u"127.0.0.1:8480"), Query(u"dev 1"), Query(u"1,000"), Query(u"5%"), Query(u"010&x=1"),
                         Number(-2147483647 - 1)}),
              1);
    EXPECT_EQ(std::u16string(dest), u"http://127.0.0.1:8480/sms_client_v10/pctelmilege.php?deviceid=dev%201"
                                    u"&price=1%2C000&milege=5%25&tel=010%26x%3D1&marktag=-2147483648");
}

TEST(UrlFormat, RefusesWhatDoesNotFitAndKeepsDestination) {
    char16_t dest[20];
    quillon::CopyText(dest, u"previous");
    EXPECT_EQ(FormatUrl(dest, 20, u"http://%s/%s", {Host(u"h"), Query(u"0123456789")}), 1); // 19 units
    EXPECT_EQ(std::u16string(dest), u"http://h/0123456789");
    EXPECT_EQ(FormatUrl(dest, 20, u"http://%s/%s", {Host(u"h"), Query(u"0123456789a")}), 0); // 20 units
    EXPECT_EQ(std::u16string(dest), u"http://h/0123456789");
    EXPECT_EQ(FormatUrl(dest, 20, u"http://%s/%s", {Host(u"h"), Query(u"한")}), 1);
    EXPECT_EQ(FormatUrl(dest, 20, u"http://%s/%s", {Host(u"h"), Query(u"한한")}), 0); // 9 units each
}

TEST(UrlFormat, ConversionArgumentMismatchIsRefused) {
    char16_t dest[50] = u"keep";
    EXPECT_EQ(FormatUrl(dest, 50, u"%s%s", {Host(u"a")}), 0);
    EXPECT_EQ(FormatUrl(dest, 50, u"%s", {Host(u"a"), Host(u"b")}), 0);
    EXPECT_EQ(FormatUrl(dest, 50, u"%d", {Host(u"a")}), 0);
    EXPECT_EQ(std::u16string(dest), u"keep");
}

TEST(UrlFormat, LoginUrlEncodesAndFitsTwoHundredUnits) {
    char16_t dest[kLoginUrlCapacity] = {};
    ASSERT_EQ(FormatLoginUrl(dest, u"a&b", u"p w#한"), 1);
    // The suite is built for the site http://127.0.0.1:18999 (tests/CMakeLists.txt).
    EXPECT_EQ(std::u16string(dest),
              u"http://127.0.0.1:18999/android/poslogin.php?id=a%26b&password=p%20w%23%ED%95%9C");
    // The longest id and password the dialog reads (79 each) no longer fit once encoded.
    const std::u16string id(79, u'&');
    EXPECT_EQ(FormatLoginUrl(dest, id.c_str(), u"x"), 0);
    EXPECT_EQ(FormatLoginUrl(dest, u"", u""), 1);
    EXPECT_EQ(std::u16string(dest), u"http://127.0.0.1:18999/android/poslogin.php?id=&password=");
}

TEST(Endpoints, OperationsCatalogueAndUrl) {
    const struct {
        std::int32_t op;
        char16_t process;
        std::int32_t state;
        std::u16string code;
    } cases[] = {{Give, u'1', 3, u"11"}, {Pay, u'2', 7, u"12"}, {Cancel, u'3', 9, u"13"}};
    ResetSharedState();
    quillon::CopyText(g_serverHost, u"host:1");
    quillon::CopyText(g_deviceId, u"d1");
    SetSaleInputs(u" 1,000", u"5");
    for (const auto& c : cases) {
        const OperationInfo* op = FindOperation(c.op);
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(op->sentState, c.state);
        EXPECT_EQ(std::u16string(CompletionCodeFor(c.state)), c.code);
        ASSERT_EQ(FormatOperationUrl(*op), 1);
        EXPECT_EQ(std::u16string(g_requestUrl), u"http://host:1/android/pcposmilege.php?deviceid=d1&process=" +
                                                    std::u16string(1, c.process) + u"&price=%201%2C000&milege=5");
    }
}

TEST(Endpoints, UnknownOperationAndStateHaveNothing) {
    for (int op : {0, 2, 3, 7, -1})
        EXPECT_EQ(FindOperation(op), nullptr) << op;
    for (int state : {0, 1, 5, 11})
        EXPECT_EQ(CompletionCodeFor(state), nullptr) << state;
}

TEST(Endpoints, KoreanRateThatOverflowsIsRefusedAndUrlKept) {
    ResetSharedState();
    quillon::CopyText(g_requestUrl, u"untouched");
    const std::u16string korean(79, u'한'); // 79 x 9 units once encoded
    SetSaleInputs(u"1000", korean.c_str());
    EXPECT_EQ(FormatOperationUrl(*FindOperation(Give)), 0);
    EXPECT_EQ(std::u16string(g_requestUrl), u"untouched");
}

// Login reply field 5 goes verbatim into every later URL: only a host, with an optional port.
TEST(UrlFormat, HostAndPortTakesAHostAndNothingElse) {
    const std::u16string hosts[] = {u"127.0.0.1:8480", u"mileage.example.com", u"pos-1.example.co.kr:80",
                                    u"localhost:65535", u"[::1]:8480", u"[2001:db8::7:1]", u"[::ffff:192.0.2.1]:443",
                                    u"[1:2:3:4:5:6:7:8]", std::u16string(63, u'a') + u".b"};
    const std::u16string others[] = {
        u"", u"h/x", u"h?deviceid=other", u"h#", u"user@h", u"h:", u"h:0", u"h:65536", u"h:80:81", u"h :80",
        u"h..example", u"-h.example", u"h.example.", u"호스트.example", u"256.1.1.1", u"1.2.3", u"::1", u"[::1",
        u"[::1]x", u"[1::2::3]", u"[1:2:3:4:5:6:7:8:9]", u"[fe80::1%25eth0]", u"[h.example]",
        std::u16string(64, u'a') + u".b"};
    for (const auto& host : hosts)
        EXPECT_TRUE(IsHostAndPort(host)) << quillon::Utf16ToUtf8(host);
    for (const auto& other : others)
        EXPECT_FALSE(IsHostAndPort(other)) << quillon::Utf16ToUtf8(other);
}

} // namespace
