#include "server/Ledger.h"

#include "server/ClientAddress.h"
#include "server/Numbers.h"
#include "server/PasswordHash.h"
#include "server/Record.h"
#include "server/ShopRegistry.h"
#include "server/Statement.h"

#include <openssl/rand.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

constexpr std::string_view kUnknownDevice = "등록되지 않은 단말기입니다";
constexpr std::string_view kBadAmount = "금액이 올바르지 않습니다";

// The throttle's time: a wall clock set back would keep its lockouts for as long again.
std::int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string DigitsOf(std::string_view phone) {
    std::string digits;
    for (char c : phone) {
        if (c >= '0' && c <= '9')
            digits.push_back(c);
    }
    return digits;
}

// A text that goes into a tab-separated line stays on its line and in its column.
std::string OneCell(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

struct Account {
    std::int64_t visits = 0;
    std::int64_t sales = 0;
    std::int64_t given = 0;
    std::int64_t used = 0;
};

Account LoadAccount(Database& db, const std::string& shopId, const std::string& phone) {
    Statement select(db, "SELECT visits, sales, given, used FROM accounts WHERE shop_id = ? AND phone = ?");
    select.Bind(1, shopId).Bind(2, phone);
    if (select.Step())
        return {select.Int(0), select.Int(1), select.Int(2), select.Int(3)};
    return {};
}

void StoreAccount(Database& db, const std::string& shopId, const std::string& phone, const Account& a) {
    Statement store(db, "INSERT OR REPLACE INTO accounts (shop_id, phone, visits, sales, given, used) "
                        "VALUES (?, ?, ?, ?, ?, ?)");
    store.Bind(1, shopId).Bind(2, phone).Bind(3, a.visits).Bind(4, a.sales).Bind(5, a.given).Bind(6, a.used);
    store.Run();
}

std::string CustomerName(Database& db, const std::string& phone) {
    Statement select(db, "SELECT name FROM customers WHERE phone = ?");
    select.Bind(1, phone);
    return select.Step() ? select.Text(0) : std::string();
}

// A password no till sends: the stand-in hash is of random bytes no login can repeat.
std::string StandInHash(int iterations) {
    unsigned char secret[32];
    if (RAND_bytes(secret, sizeof secret) != 1)
        throw std::runtime_error("no random bytes for the stand-in hash");
    return PasswordHash::Make(std::string_view(reinterpret_cast<const char*>(secret), sizeof secret),
                              iterations);
}

} // namespace

Ledger::Ledger(Database& db, std::mutex& lock, int hashIterations)
    : m_db(db), m_lock(lock), m_standInHash(StandInHash(hashIterations)) {}

bool Ledger::FindDevice(std::string_view deviceId, Device& device) {
    if (deviceId.empty())
        return false;
    Statement select(m_db, "SELECT id, shop_id FROM devices WHERE id = ?");
    select.Bind(1, deviceId);
    if (!select.Step())
        return false;
    device = {select.Text(0), select.Text(1)};
    return true;
}

std::string Ledger::NewDeviceId() {
    unsigned char bytes[8];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        throw std::runtime_error("no random bytes for a device id");
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string id = "T";
    for (unsigned char b : bytes) {
        id.push_back(kDigits[b >> 4]);
        id.push_back(kDigits[b & 15]);
    }
    return id;
}

std::string Ledger::Login(const QueryString& query, std::string_view host, std::string_view client) {
    const std::string id = query.Get("id");
    const std::string password = query.Get("password");
    if (id.empty() || password.empty())
        return Record::Refused("아이디와 비밀번호를 입력하세요");
    if (id.size() > ShopRegistry::kMaxIdBytes)
        return Record::Refused("아이디 또는 비밀번호가 틀렸습니다");

    std::string name, stored, rate, version;
    {
        std::lock_guard lock(m_lock);
        Statement shop(m_db, "SELECT name, password, rate, version FROM shops WHERE id = ?");
        shop.Bind(1, id);
        if (shop.Step()) {
            name = shop.Text(0);
            stored = shop.Text(1);
            rate = shop.Text(2);
            version = shop.Text(3);
        }
    }
    // Counted by the client's group, as the connection cap counts it: an IPv6 host holds its /64.
    const auto parsed = ClientAddress::Parse(client);
    const std::string address = parsed ? parsed->Group() : std::string(client);
    const LoginThrottle::Decision admission = m_throttle.Admit(id, address, MonotonicMs());
    if (!admission.admitted)
        return Record::Refused("로그인 시도가 너무 많습니다. 잠시 후 다시 시도하세요");
    // This request's own thread waits; the id's guessers, spread over many addresses, wait alike.
    std::this_thread::sleep_for(std::chrono::milliseconds(admission.delayMs));
    // The hash is slow on purpose; other tills' requests do not wait for it. An unknown id costs
    // the same hash, so that its refusal comes no sooner than a wrong password's.
    if (!PasswordHash::Verify(password, stored.empty() ? m_standInHash : stored))
        return Record::Refused("아이디 또는 비밀번호가 틀렸습니다");
    m_throttle.Succeeded(id, address);

    const std::string deviceId = NewDeviceId();
    {
        std::lock_guard lock(m_lock);
        Statement insert(m_db, "INSERT INTO devices (id, shop_id, registered_ms) VALUES (?, ?, ?)");
        insert.Bind(1, deviceId).Bind(2, id).Bind(3, NowMs());
        insert.Run();
    }
    return Record::Accepted().Add(deviceId).Add(name).Add(id).Add(rate).Add(host).Add("").Add(version).Text();
}

std::string Ledger::Operation(const QueryString& query) {
    const std::string process = query.Get("process");
    if (process != "1" && process != "2" && process != "3")
        return Record::Refused("처리 구분이 올바르지 않습니다");
    const auto amount = Numbers::ParseAmount(query.Get("price"));

    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    Device device;
    if (!FindDevice(query.Get("deviceid"), device))
        return Record::Refused(kUnknownDevice);
    if (!amount)
        return Record::Refused(kBadAmount);

    Statement shop(m_db, "SELECT rate, coins FROM shops WHERE id = ?");
    shop.Bind(1, device.shopId);
    if (!shop.Step())
        return Record::Refused("등록되지 않은 상점입니다");

    // A give earns at the rate the till sends (the cashier may change it); the shop's own rate
    // stands in when none is sent. Pay and cancel do not use a rate.
    std::string rateText = query.Get("milege");
    if (rateText.empty())
        rateText = shop.Text(0);
    const auto rate = Numbers::ParseRate(rateText);
    if (process == "1" && !rate)
        return Record::Refused("적립률이 올바르지 않습니다");

    Statement open(m_db, "INSERT OR REPLACE INTO operations "
                         "(device_id, process, amount, rate, rate_hundredths, finished, result, opened_ms) "
                         "VALUES (?, ?, ?, ?, ?, 0, '', ?)");
    open.Bind(1, device.id).Bind(2, process[0] - '0').Bind(3, *amount).Bind(4, rateText);
    open.Bind(5, rate.value_or(0)).Bind(6, NowMs());
    open.Run();
    tx.Commit();

    if (process == "1")
        return Record::Accepted().Add(shop.Int(1)).Text();
    return Record::Accepted().Text();
}

std::string Ledger::GetResult(const QueryString& query) {
    std::lock_guard lock(m_lock);
    Device device;
    if (!FindDevice(query.Get("deviceid"), device))
        return Record::Refused(kUnknownDevice);
    Statement select(m_db, "SELECT result FROM operations WHERE device_id = ? AND finished = 1");
    select.Bind(1, device.id);
    if (select.Step())
        return select.Text(0);
    return Record::Accepted().Add("0").Text();
}

std::string Ledger::DeleteData(const QueryString& query) {
    std::lock_guard lock(m_lock);
    Device device;
    if (!FindDevice(query.Get("deviceid"), device))
        return Record::Refused(kUnknownDevice);
    Statement remove(m_db, "DELETE FROM operations WHERE device_id = ? AND finished = 1");
    remove.Bind(1, device.id);
    remove.Run();
    return Record::Accepted().Text();
}

std::string Ledger::TextMessage(const QueryString& query) {
    const std::string tel = query.Get("tel");
    const std::string price = query.Get("price");

    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    Device device;
    if (!FindDevice(query.Get("deviceid"), device))
        return Record::Refused(kUnknownDevice);
    if (DigitsOf(tel).empty())
        return Record::Refused("전화번호가 올바르지 않습니다");
    if (!Numbers::ParseAmount(price))
        return Record::Refused(kBadAmount);

    Statement shop(m_db, "SELECT coins FROM shops WHERE id = ?");
    shop.Bind(1, device.shopId);
    if (!shop.Step() || shop.Int(0) <= 0)
        return Record::Refused("코인이 부족합니다");
    Statement charge(m_db, "UPDATE shops SET coins = coins - 1 WHERE id = ?");
    charge.Bind(1, device.shopId);
    charge.Run();
    Statement send(m_db, "INSERT INTO outbox (device_id, tel, price, rate, marktag) VALUES (?, ?, ?, ?, ?)");
    send.Bind(1, device.id)
        .Bind(2, tel)
        .Bind(3, price)
        .Bind(4, query.Get("milege"))
        .Bind(5, query.Get("marktag"));
    send.Run();
    tx.Commit();
    return Record::Accepted().Text();
}

std::string Ledger::CancelNotice(const QueryString& query) {
    const std::string shopId = query.Get("storeidx");
    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    Statement shop(m_db, "SELECT 1 FROM shops WHERE id = ?");
    shop.Bind(1, shopId);
    if (shopId.empty() || !shop.Step())
        return Record::Refused("등록되지 않은 상점입니다");
    Statement drop(m_db, "DELETE FROM operations WHERE finished = 0 AND "
                         "device_id IN (SELECT id FROM devices WHERE shop_id = ?)");
    drop.Bind(1, shopId);
    drop.Run();
    tx.Commit();
    return Record::Accepted().Text();
}

std::string Ledger::Confirm(std::string_view deviceId, std::string_view phoneText) {
    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    Device device;
    if (!FindDevice(deviceId, device))
        return Record::Refused(kUnknownDevice);

    std::string phone = DigitsOf(phoneText);
    if (phoneText.empty()) {
        Statement first(m_db, "SELECT phone FROM customers ORDER BY seq LIMIT 1");
        if (first.Step())
            phone = first.Text(0);
    }
    Statement customer(m_db, "SELECT 1 FROM customers WHERE phone = ?");
    customer.Bind(1, phone);
    if (phone.empty() || !customer.Step())
        return Record::Refused("등록되지 않은 고객입니다");

    Statement op(
        m_db, "SELECT process, amount, rate_hundredths FROM operations WHERE device_id = ? AND finished = 0");
    op.Bind(1, device.id);
    if (!op.Step())
        return Record::Refused("확인할 거래가 없습니다");
    const auto process = op.Int(0);
    const auto amount = op.Int(1);

    std::string result;
    std::string refusal;
    if (process == 1) {
        refusal = ConfirmGive(device.shopId, phone, amount, static_cast<std::int32_t>(op.Int(2)), result);
    } else if (process == 2) {
        refusal = ConfirmPay(device.shopId, phone, amount, result);
    } else {
        refusal = ConfirmCancel(device.shopId, phone, amount, result);
    }
    if (!refusal.empty())
        return Record::Refused(refusal);

    Statement finish(m_db, "UPDATE operations SET finished = 1, result = ? WHERE device_id = ?");
    finish.Bind(1, result).Bind(2, device.id);
    finish.Run();
    tx.Commit();
    return Record::Accepted().Text();
}

std::string Ledger::ConfirmGive(const std::string& shopId, const std::string& phone, std::int64_t amount,
                                std::int32_t rateHundredths, std::string& result) {
    const std::int64_t mileage = Numbers::MileageFor(amount, rateHundredths);
    Account a = LoadAccount(m_db, shopId, phone);
    a.visits += 1;
    a.sales += amount;
    a.given += mileage;
    StoreAccount(m_db, shopId, phone, a);
    result = Record::Accepted()
                 .Add("11")
                 .Add(CustomerName(m_db, phone))
                 .Add(a.visits)
                 .Add(amount)
                 .Add(mileage)
                 .Add(a.sales)
                 .Add(a.given)
                 .Add(a.used)
                 .Text();
    return {};
}

namespace {

// The nine result lines of a pay or a cancel, after the completion code: name, visits, amount
// paid, mileage used, coins used (none), sales, total given, total sales, total used.
std::string PaymentResult(const char* code, const std::string& name, const Account& a, std::int64_t amount) {
    return Record::Accepted()
        .Add(code)
        .Add(name)
        .Add(a.visits)
        .Add(amount)
        .Add(amount)
        .Add(0)
        .Add(amount)
        .Add(a.given)
        .Add(a.sales)
        .Add(a.used)
        .Text();
}

} // namespace

std::string Ledger::ConfirmPay(const std::string& shopId, const std::string& phone, std::int64_t amount,
                               std::string& result) {
    Account a = LoadAccount(m_db, shopId, phone);
    const std::int64_t balance = a.given - a.used;
    if (amount > balance)
        return "마일리지가 부족합니다 (잔액 " + std::to_string(balance) + ")";
    a.visits += 1;
    a.sales += amount;
    a.used += amount;
    StoreAccount(m_db, shopId, phone, a);
    Statement pay(m_db, "INSERT INTO payments (shop_id, phone, amount) VALUES (?, ?, ?)");
    pay.Bind(1, shopId).Bind(2, phone).Bind(3, amount);
    pay.Run();
    result = PaymentResult("12", CustomerName(m_db, phone), a, amount);
    return {};
}

std::string Ledger::ConfirmCancel(const std::string& shopId, const std::string& phone, std::int64_t amount,
                                  std::string& result) {
    Statement last(m_db, "SELECT id, amount FROM payments WHERE shop_id = ? AND phone = ? AND cancelled = 0 "
                         "ORDER BY id DESC LIMIT 1");
    last.Bind(1, shopId).Bind(2, phone);
    if (!last.Step())
        return "취소할 결제가 없습니다";
    if (last.Int(1) != amount) {
        return "취소 금액이 마지막 결제 금액(" + std::to_string(last.Int(1)) + ")과 다릅니다";
    }
    Statement cancel(m_db, "UPDATE payments SET cancelled = 1 WHERE id = ?");
    cancel.Bind(1, last.Int(0));
    cancel.Run();
    Account a = LoadAccount(m_db, shopId, phone);
    a.sales -= amount;
    a.used -= amount;
    StoreAccount(m_db, shopId, phone, a);
    result = PaymentResult("13", CustomerName(m_db, phone), a, amount);
    return {};
}

std::string Ledger::Outbox() {
    std::lock_guard lock(m_lock);
    Statement select(m_db, "SELECT device_id, tel, price, rate, marktag FROM outbox ORDER BY id");
    std::string text;
    while (select.Step()) {
        for (int column = 0; column < 5; ++column) {
            if (column > 0)
                text += '\t';
            text += OneCell(select.Text(column));
        }
        text += '\n';
    }
    return text;
}

void Ledger::ClearOutbox() {
    std::lock_guard lock(m_lock);
    m_db.Exec("DELETE FROM outbox;");
}

std::vector<Ledger::PendingOperation> Ledger::Pending() {
    std::lock_guard lock(m_lock);
    Statement select(m_db, "SELECT o.device_id, s.name, o.process, o.amount, o.rate, o.opened_ms "
                           "FROM operations o JOIN devices d ON d.id = o.device_id "
                           "JOIN shops s ON s.id = d.shop_id WHERE o.finished = 0 ORDER BY o.opened_ms");
    std::vector<PendingOperation> pending;
    while (select.Step()) {
        pending.push_back({select.Text(0), select.Text(1), static_cast<int>(select.Int(2)), select.Int(3),
                           select.Text(4), select.Int(5)});
    }
    return pending;
}

std::vector<Ledger::Customer> Ledger::Customers() {
    std::lock_guard lock(m_lock);
    Statement select(m_db, "SELECT display, name FROM customers ORDER BY seq");
    std::vector<Customer> customers;
    while (select.Step())
        customers.push_back({select.Text(0), select.Text(1)});
    return customers;
}
