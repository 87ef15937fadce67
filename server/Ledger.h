// The ledger: the till's endpoints and their bookkeeping (the tills registered at login, each
// till's open operation, customers' mileage accounts, past payments), the customer's
// confirmations and the text-message outbox. Each endpoint answers with the reply record the till
// reads, so that the HTTP layer only routes and delivers; Confirm answers the record
// /sim/confirm shows; the readers below it answer what the simulation shows.
//
// Threads: any request thread may call any member; the books' one lock (Books) serialises the
// database, and a login's password hash runs outside it.
#pragma once

#include "server/Database.h"
#include "server/LoginThrottle.h"
#include "server/QueryString.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class Ledger {
public:
    struct PendingOperation {
        std::string deviceId;
        std::string shopName;
        int process = 0; // 1 give, 2 pay, 3 cancel
        std::int64_t amount = 0;
        std::string rate;
        std::int64_t openedAtMs = 0; // Unix time
    };

    struct Customer {
        std::string phone; // as displayed, e.g. "010-1234-5678"
        std::string name;
    };

    // `db` and `lock` are the books'. A login for an unknown id checks its password against a
    // stand-in hash of `hashIterations`, so that it costs what a known id costs.
    Ledger(Database& db, std::mutex& lock, int hashIterations);

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

    bool FindDevice(std::string_view deviceId, Device& device);
    std::string NewDeviceId();
    std::string ConfirmGive(const std::string& shopId, const std::string& phone, std::int64_t amount,
                            std::int32_t rateHundredths, std::string& result);
    std::string ConfirmPay(const std::string& shopId, const std::string& phone, std::int64_t amount,
                           std::string& result);
    std::string ConfirmCancel(const std::string& shopId, const std::string& phone, std::int64_t amount,
                              std::string& result);

    Database& m_db;
    std::mutex& m_lock;
    const std::string m_standInHash; // of a password nobody knows
    LoginThrottle m_throttle;
};
