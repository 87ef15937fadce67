#include "server/Books.h"

#include "server/PasswordHash.h"
#include "server/Statement.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS shops (
    id TEXT PRIMARY KEY, name TEXT NOT NULL, password TEXT NOT NULL,
    rate TEXT NOT NULL, coins INTEGER NOT NULL, version TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS devices (
    id TEXT PRIMARY KEY, shop_id TEXT NOT NULL REFERENCES shops(id), registered_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS customers (
    phone TEXT PRIMARY KEY, display TEXT NOT NULL, name TEXT NOT NULL, seq INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS accounts (
    shop_id TEXT NOT NULL, phone TEXT NOT NULL, visits INTEGER NOT NULL, sales INTEGER NOT NULL,
    given INTEGER NOT NULL, used INTEGER NOT NULL, PRIMARY KEY (shop_id, phone));
CREATE TABLE IF NOT EXISTS operations (
    device_id TEXT PRIMARY KEY, process INTEGER NOT NULL, amount INTEGER NOT NULL,
    rate TEXT NOT NULL, rate_hundredths INTEGER NOT NULL, finished INTEGER NOT NULL,
    result TEXT NOT NULL, opened_ms INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS payments (
    id INTEGER PRIMARY KEY AUTOINCREMENT, shop_id TEXT NOT NULL, phone TEXT NOT NULL,
    amount INTEGER NOT NULL, cancelled INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS outbox (
    id INTEGER PRIMARY KEY AUTOINCREMENT, device_id TEXT NOT NULL, tel TEXT NOT NULL,
    price TEXT NOT NULL, rate TEXT NOT NULL, marktag TEXT NOT NULL);
)sql";

} // namespace

Books::Books(const std::string& path, Seed seed, int hashIterations, Database::Access access)
    : m_db(path, access), m_hashIterations(hashIterations), m_ledger(m_db, m_lock, hashIterations),
      m_registry(m_db, m_lock, hashIterations) {
    // Told apart before anything is written: another application's file is left as it was.
    bool fresh = false, ours = false;
    {
        Statement tables(m_db, "SELECT count(*), count(*) FILTER (WHERE name = 'meta') FROM sqlite_master "
                               "WHERE type = 'table'");
        tables.Step();
        fresh = tables.Int(0) == 0;
        ours = tables.Int(1) == 1;
    }
    if (!fresh && !ours)
        throw DatabaseError("not Quillon's books: the file holds other tables");
    if (access == Database::Access::ReadOnly) {
        if (fresh)
            throw DatabaseError("the file holds no books");
        return;
    }
    m_db.KeepDurably();
    CreateSchema(fresh, seed);
}

void Books::CreateSchema(bool fresh, Seed seed) {
    std::lock_guard lock(m_lock);
    Database::Transaction tx(m_db);
    m_db.Exec(kSchema);
    if (fresh) {
        m_db.Exec("INSERT INTO meta (key, value) VALUES ('schema', '1');");
        if (seed == Seed::Demo)
            SeedDemo();
    }
    tx.Commit();
}

void Books::SeedDemo() {
    Statement shop(m_db,
                   "INSERT INTO shops (id, name, password, rate, coins, version) VALUES (?, ?, ?, ?, ?, ?)");
    shop.Bind(1, "demo")
        .Bind(2, "한빛 베이커리")
        .Bind(3, PasswordHash::Make("demo", m_hashIterations))
        .Bind(4, "5");
    shop.Bind(5, 1500).Bind(6, "2");
    shop.Run();

    struct SeedCustomer {
        const char* phone; // the digits the books key a customer by
        const char* display;
        const char* name;
        std::int64_t visits, sales, given;
    };
    // The demo customer comes first and has a mileage balance, so a payment works at once.
    const SeedCustomer customers[] = {
        {"01012345678", "010-1234-5678", "김민준", 3, 45000, 2250},
        {"01023456789", "010-2345-6789", "이서연", 0, 0, 0},
        {"01034567890", "010-3456-7890", "박지호", 1, 12000, 600},
        {"01045678901", "010-4567-8901", "최유나", 0, 0, 0},
    };
    int seq = 0;
    for (const auto& c : customers) {
        Statement insert(m_db, "INSERT INTO customers (phone, display, name, seq) VALUES (?, ?, ?, ?)");
        insert.Bind(1, c.phone).Bind(2, c.display).Bind(3, c.name).Bind(4, seq++);
        insert.Run();
        if (c.visits == 0)
            continue;
        Statement account(m_db, "INSERT INTO accounts (shop_id, phone, visits, sales, given, used) "
                                "VALUES ('demo', ?, ?, ?, ?, 0)");
        account.Bind(1, c.phone).Bind(2, c.visits).Bind(3, c.sales).Bind(4, c.given);
        account.Run();
    }
}

void Books::CopyTo(const std::string& path) {
    const std::string partial = path + ".partial";
    std::remove(partial.c_str());
    {
        Database copy(partial);
        // The copy is in the books' own journal mode, and as durable.
        copy.Exec("PRAGMA synchronous=FULL;");
        std::lock_guard lock(m_lock);
        sqlite3_backup* backup = sqlite3_backup_init(copy.Handle(), "main", m_db.Handle(), "main");
        if (!backup)
            throw DatabaseError(sqlite3_errmsg(copy.Handle()));
        // All pages in one step: one read transaction, so one snapshot of the books.
        const int rc = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE)
            throw DatabaseError(sqlite3_errstr(rc));
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0)
        throw DatabaseError("cannot rename the copy into place: " + std::string(std::strerror(errno)));
    // The rename itself on the disk: the folder's entry.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
