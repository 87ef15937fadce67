#include "server/Statement.h"

#include "server/Database.h"

#include <sqlite3.h>

Statement::Statement(Database& db, std::string_view sql) : m_db(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        throw DatabaseError(sqlite3_errmsg(db.Handle()));
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK) {
        throw DatabaseError(sqlite3_errmsg(m_db.Handle()));
    }
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t number) {
    if (sqlite3_bind_int64(m_stmt, index, number) != SQLITE_OK)
        throw DatabaseError(sqlite3_errmsg(m_db.Handle()));
    return *this;
}

bool Statement::Step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw DatabaseError(sqlite3_errmsg(m_db.Handle()));
}

void Statement::Run() {
    while (Step()) {
    }
}

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string();
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}
