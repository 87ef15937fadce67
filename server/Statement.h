// A prepared SQLite statement, finalised with its owner. Parameters are numbered from 1,
// columns from 0, as in SQLite.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_stmt;
class Database;

class Statement {
public:
    Statement(Database& db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::int64_t number);
    Statement& Bind(int index, int number) { return Bind(index, static_cast<std::int64_t>(number)); }

    // Advances to the next row: true while there is one.
    bool Step();
    // Steps to the end of a statement that returns no rows.
    void Run();

    std::string Text(int column) const;
    std::int64_t Int(int column) const;

private:
    Database& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};
