// libFuzzer target over quillon-server's handling of a request target, the bytes a client chooses:
// the masking of passwords, the split of a proxy's absolute-form target, the query decoding, the
// routing by path to the books' endpoints (their number parsing included), the fault table and
// the site's downloads.
// The whole input is one target. In it, "deviceid=@" stands for a till the books know, so that
// the fuzzer reaches past the unknown-device refusal. Each property holds for any input; the
// first that does not aborts.
#include "server/Books.h"
#include "server/DownloadsPage.h"
#include "server/FaultTable.h"
#include "server/Numbers.h"
#include "server/QueryString.h"
#include "server/RequestTarget.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <strings.h>

namespace {

void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz_server: property violated: %s\n", property);
        std::abort();
    }
}

// A reply record: field 0 is "1" or "0" and, when there are more, the separator follows it.
void RequireRecord(const std::string& reply) {
    Require(!reply.empty() && (reply[0] == '0' || reply[0] == '1'), "a reply's field 0 is 1 or 0");
    Require(reply.size() == 1 || reply.compare(1, 3, "</>") == 0, "field 0 is one character");
}

// Fresh books every so many inputs, so that logins and operations do not pile up over millions.
class Fixture {
public:
    Books& books() {
        if (!m_books || ++m_uses > 20'000) {
            m_books = std::make_unique<Books>(":memory:", Books::Seed::Demo, 1);
            const std::string login = m_books->Login(QueryString::Parse("id=demo&password=demo"), "127.0.0.1:8480");
            m_device = login.substr(4, login.find("</>", 4) - 4);
            m_faults = std::make_unique<FaultTable>();
            m_uses = 0;
        }
        return *m_books;
    }
    FaultTable& faults() { return *m_faults; }
    // A folder with one package and one file that is not one.
    const DownloadsPage& downloads() {
        if (!m_downloads) {
            const auto folder = std::filesystem::temp_directory_path() / "quillon-fuzz-downloads";
            std::filesystem::create_directories(folder);
            std::ofstream(folder / kPackage) << "MSI";
            std::ofstream(folder / "notes.txt") << "not for download";
            m_downloads = std::make_unique<DownloadsPage>(folder.string());
        }
        return *m_downloads;
    }
    static constexpr const char* kPackage = "Quillon-1.0.0.1-x64.msi";
    const std::string& device() const { return m_device; }

private:
    std::unique_ptr<Books> m_books;
    std::unique_ptr<FaultTable> m_faults;
    std::unique_ptr<DownloadsPage> m_downloads;
    std::string m_device;
    int m_uses = 0;
};

void CheckMasking(const std::string& target) {
    const std::string masked = RequestTarget::MaskPasswords(target);
    const auto before = QueryString::FromTarget(target).Items();
    const auto after = QueryString::FromTarget(masked).Items();
    Require(before.size() == after.size(), "masking keeps every parameter");
    for (std::size_t i = 0; i < before.size(); ++i) {
        Require(before[i].first == after[i].first, "masking keeps the names");
        if (strcasecmp(before[i].first.c_str(), "password") == 0)
            Require(after[i].second == "***" || (before[i].second.empty() && after[i].second.empty()),
                    "no password value survives the masking");
        else
            Require(before[i].second == after[i].second, "masking keeps the other values");
    }
}

void CheckAbsoluteForm(const std::string& target) {
    const auto split = RequestTarget::SplitAbsolute(target);
    if (!split)
        return;
    Require(!split->host.empty() && split->host.find_first_of("/?") == std::string::npos, "a host alone");
    Require(!split->path.empty() && split->path[0] == '/', "an origin-form path");
    const std::string joined = "http://" + split->host + split->path;
    Require(joined == target || "http://" + split->host + split->path.substr(1) == target,
            "the parts are the target as written");
}

void CheckNumbers(const QueryString& query) {
    for (const auto& [key, value] : query.Items()) {
        if (const auto amount = Numbers::ParseAmount(value)) {
            Require(*amount >= 1 && *amount <= Numbers::kMaxAmount, "an amount in range");
            Require(value.find_first_not_of("0123456789") == std::string::npos, "an amount is digits");
        }
        if (const auto rate = Numbers::ParseRate(value)) {
            Require(*rate >= 0 && *rate <= 10'000, "a rate from 0 to 100 percent");
            Require(Numbers::MileageFor(Numbers::kMaxAmount, *rate) <= Numbers::kMaxAmount, "mileage within the amount");
        }
        if (const auto number = Numbers::ParseInteger(value, -5, 60'000))
            Require(*number >= -5 && *number <= 60'000, "an integer in range");
    }
}

std::string Route(Fixture& fixture, const std::string& path, const QueryString& query) {
    Books& books = fixture.books();
    FaultTable& faults = fixture.faults();
    if (path.rfind(DownloadsPage::kFilesPath, 0) == 0) {
        const std::string name = path.substr(std::string(DownloadsPage::kFilesPath).size());
        Require(fixture.downloads().PathOf(name).has_value() == (name == Fixture::kPackage),
                "only a listed package is served");
        return "0";
    }
    if (path == "/android/poslogin.php") {
        const std::string reply = books.Login(query, "127.0.0.1:8480");
        Require(reply[0] != '1' || reply.find("</>127.0.0.1:8480</>") != std::string::npos,
                "an accepted login names the host the till reached");
        return reply;
    }
    if (path == "/android/pcposmilege.php")
        return books.Operation(query);
    if (path == "/android/pcposgetmilegeret.php")
        return books.GetResult(query);
    if (path == "/android/deleteposdata.php")
        return books.DeleteData(query);
    if (path == "/sms_client_v10/pctelmilege.php")
        return books.TextMessage(query);
    if (path == "/android/processcancel.php")
        return books.CancelNotice(query);
    if (path == "/sim/confirm")
        return books.Confirm(query.Get("deviceid"), query.Get("customer"));
    if (path == "/sim/shop")
        return books.SetShop(query);
    if (path == "/sim/fault") {
        const std::string reply = faults.Arm(query, query.Get("body"));
        faults.Find(query.Get("path"));
        return reply;
    }
    return "0";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    std::string target(reinterpret_cast<const char*>(data), size);
    CheckMasking(target);
    CheckAbsoluteForm(target);

    fixture.books(); // fresh books when due, and with them the device that "@" stands for
    for (std::size_t at = target.find("deviceid=@"); at != std::string::npos;
         at = target.find("deviceid=@", at + 1))
        target.replace(at + 9, 1, fixture.device());
    const QueryString query = QueryString::FromTarget(target);
    CheckNumbers(query);
    RequireRecord(Route(fixture, target.substr(0, target.find('?')), query));
    return 0;
}
