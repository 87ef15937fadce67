// The operator's books: shops, the tills registered at login, customers and their mileage
// accounts, each till's open operation, past payments and the text-message outbox, in SQLite.
// Every public member answers with the reply record the till reads (or, for the simulation
// API, the record the test reads), so the HTTP layer only routes and delivers.
//
// Thread-safe: any request thread may call any member; one lock serialises the database.
// Another process may write the same file (`shop set`): every member that writes begins its write
// transaction before it reads anything, since SQLite waits out the other writer only for a
// connection that holds no read yet, and otherwise fails at once with "database is locked".
#pragma once

#include "server/Database.h"
#include "server/QueryString.h"
#include "server/ShopChange.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/LoginThrottle.h"
#include "server/PasswordHash.h"

class Books {
public:
    enum class Seed { Demo, None };

    // The longest shop id, in bytes: the till's id field takes 79 characters, and an ASCII id
    // fills it. A login with a longer id is refused before the login throttle keeps anything of
    // it, so that the throttle's memory is bounded in bytes, not only in entries.
    static constexpr std::size_t kMaxIdBytes = 79;

    struct PendingOperation {
        std::string deviceId;
        std::string shopName;
        int process = 0; // 1 give, 2 pay, 3 cancel
        std::int64_t amount = 0;
        std::string rate;
        std::int64_t openedAtMs = 0; // Unix time
    };

    // A shop as the operator manages it (never its password).
    struct Shop {
        std::string id;
        std::string name;
        std::string rate; // as the till shows it, checked by Numbers::ParseRate
        std::int64_t coins = 0;
        std::string version; // announced at login
        bool hasPassword = false;
    };
    struct Customer {
        std::string phone; // as displayed, e.g. "010-1234-5678"
        std::string name;
    };

    // Opens or creates the database at `path` (":memory:" for none); a new database gets the
    // schema and, with Seed::Demo, the demo shop and customers, its password hashed with
    // `hashIterations` (tests may choose fewer). A login for an unknown id checks its password
    // against a stand-in hash of the same cost, so that it costs what a known id costs.
    // With Access::ReadOnly the file is only read (nothing is created), for the readers only.
    // Throws DatabaseError, having changed nothing, for a database that holds tables but not
    // these books (another application's), and with ReadOnly for one without books.
    Books(const std::string& path, Seed seed, int hashIterations = PasswordHash::kIterations,
          Database::Access access = Database::Access::ReadWrite);

    // Operator endpoints. `host` is the host:port the till used to reach this server, `client` the
    // address it came from (the throttle counts failures per id and client, by ClientAddress::Group).
    std::string Login(const QueryString& query, std::string_view host, std::string_view client);
    std::string Operation(const QueryString& query);
    std::string GetResult(const QueryString& query);
    std::string DeleteData(const QueryString& query);
    std::string TextMessage(const QueryString& query);
    std::string CancelNotice(const QueryString& query);

    // The customer's side: confirms the till's pending operation as the customer with that phone
    // number (any punctuation ignored), or as the demo customer when `phone` is empty.
    std::string Confirm(std::string_view deviceId, std::string_view phone);

    // The operator's shop management. Values are checked by the caller; each returns false, having
    // changed nothing, for an id that is taken (AddShop) or unknown (the others). A new shop has no
    // password, so no login succeeds until SetPassword.
    bool AddShop(const Shop& shop);
    bool SetPassword(const std::string& id, std::string_view password);
    bool ChangeShop(const std::string& id, const ShopChange& change);
    std::vector<Shop> Shops();

    // Writes a consistent copy of the books to `path` (replaced only once the copy is complete and
    // synced), in one read snapshot, beside writes of the server's. Throws DatabaseError.
    void CopyTo(const std::string& path);

    // One line per message: deviceid, tel, price, rate, marktag, tab-separated.
    std::string Outbox();
    void ClearOutbox();

    std::vector<PendingOperation> Pending();
    std::vector<Customer> Customers(); // the demo customer first

private:
    struct Device {
        std::string id;
        std::string shopId;
    };

    void CreateSchema(bool fresh, Seed seed);
    void SeedDemo();
    bool FindDevice(std::string_view deviceId, Device& device);
    std::string NewDeviceId();
    std::string ConfirmGive(const std::string& shopId, const std::string& phone, std::int64_t amount,
                            std::int32_t rateHundredths, std::string& result);
    std::string ConfirmPay(const std::string& shopId, const std::string& phone, std::int64_t amount,
                           std::string& result);
    std::string ConfirmCancel(const std::string& shopId, const std::string& phone, std::int64_t amount,
                              std::string& result);

    std::mutex m_lock;
    Database m_db;
    const int m_hashIterations;
    const std::string m_standInHash; // of a password nobody knows
    LoginThrottle m_throttle;
};
