#include "server/Database.h"

#include <sqlite3.h>

Database::Database(const std::string& path, Access access) : m_path(path) {
    const int flags =
        (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
        SQLITE_OPEN_FULLMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(why);
    }
    sqlite3_busy_timeout(m_db, 2000);
    try {
        if (access == Access::ReadWrite && sqlite3_db_readonly(m_db, "main") == 1)
            throw DatabaseError("the file is read-only");
        // Reading the schema is what tells a database from any other file.
        Exec("SELECT count(*) FROM sqlite_master;");
        Exec("PRAGMA foreign_keys=ON;");
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Database::~Database() {
    sqlite3_close(m_db);
}

void Database::KeepDurably() {
    // FULL, not NORMAL: in WAL mode NORMAL may lose the last commits to a power loss or an OS
    // crash, and each is a sale a till has already shown as booked.
    if (m_path != ":memory:")
        Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
}

void Database::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string why = error ? error : sqlite3_errmsg(m_db);
        sqlite3_free(error);
        throw DatabaseError(why);
    }
}

int Database::Changes() const {
    return sqlite3_changes(m_db);
}

Database::Transaction::Transaction(Database& db) : m_db(db) {
    m_db.Exec("BEGIN IMMEDIATE;");
}

Database::Transaction::~Transaction() {
    if (m_open)
        sqlite3_exec(m_db.Handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Database::Transaction::Commit() {
    m_db.Exec("COMMIT;");
    m_open = false;
}
