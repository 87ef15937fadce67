// The operator's books as one SQLite file. Books opens the file (telling Quillon's books from
// another application's), makes the schema in new books and, when asked, the demo shop and
// customers, and copies the books for a backup. Their two jobs live in their own classes and
// share its connection: the ledger (the till's endpoints and their bookkeeping, confirmations,
// the outbox: Ledger.h) and the shop registry (ShopRegistry.h).
//
// Threads: one lock, owned here, serialises the database for both jobs; any request thread may
// call any of them. Another process may write the same file (`shop set`): every write begins its
// write transaction before it reads anything, since SQLite waits out the other writer only for a
// connection that holds no read yet, and otherwise fails at once with "database is locked".
#pragma once

#include "server/Database.h"
#include "server/Ledger.h"
#include "server/PasswordHash.h"
#include "server/ShopRegistry.h"

#include <mutex>
#include <string>

class Books {
public:
    enum class Seed { Demo, None };

    // Opens or creates the database at `path` (":memory:" for none); a new database gets the
    // schema and, with Seed::Demo, the demo shop and customers, its password hashed with
    // `hashIterations` (tests may choose fewer), the cost of every password the books hash.
    // With Access::ReadOnly the file is only read (nothing is created), for the readers only.
    // Throws DatabaseError, having changed nothing, for a database that holds tables but not
    // these books (another application's), and with ReadOnly for one without books.
    Books(const std::string& path, Seed seed, int hashIterations = PasswordHash::kIterations,
          Database::Access access = Database::Access::ReadWrite);

    Ledger& Tills() { return m_ledger; }
    ShopRegistry& Shops() { return m_registry; }

    // Writes a consistent copy of the books to `path` (replaced only once the copy is complete and
    // synced), in one read snapshot, beside writes of the server's. Throws DatabaseError.
    void CopyTo(const std::string& path);

private:
    void CreateSchema(bool fresh, Seed seed);
    void SeedDemo();

    std::mutex m_lock;
    Database m_db;
    const int m_hashIterations;
    Ledger m_ledger;
    ShopRegistry m_registry;
};
