// One SQLite connection, owned for the life of the server. Not thread-safe by itself: the Books
// that own it serialise every use under their own lock.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

struct sqlite3;

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Database {
public:
    // ReadOnly never writes the file, nor creates it.
    enum class Access { ReadWrite, ReadOnly };

    // Opens (with ReadWrite creating when missing) the file at `path`, or a private in-memory
    // database for ":memory:". Throws DatabaseError when the file cannot be opened or is not a
    // database. Changes nothing in the file: see KeepDurably().
    explicit Database(const std::string& path, Access access = Access::ReadWrite);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Write-ahead log, with every commit on the disk before it returns: a change the server has
    // answered survives a crash of the process or of the machine. Switches the file to WAL for good.
    void KeepDurably();
    // Runs one or more statements that return no rows.
    void Exec(const std::string& sql);
    int Changes() const;
    sqlite3* Handle() const { return m_db; }

    // BEGIN IMMEDIATE ... COMMIT; rolled back when left without Commit (an exception included).
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        Database& m_db;
        bool m_open = true;
    };

private:
    sqlite3* m_db = nullptr;
    std::string m_path;
};
