#pragma once
// A prepared statement kept for the life of its owner and reset after each use, and the
// error text of a failed SQLite call. Internal to store/.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace store {

// Throws StoreError naming the database file and what failed.
[[noreturn]] void throwError(sqlite3* db, std::string_view what);
// Runs statements that return no rows; throws StoreError.
void execute(sqlite3* db, const char* sql);

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds from 1; returns *this for chaining.
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view utf8);
    Statement& bindNull(int index);
    // One step: true while a row is there. Throws StoreError.
    bool step();
    // Steps a statement that returns no rows, then resets it.
    void run();
    // The first column of the one row of a query (a count), 0 when none; then resets it.
    std::int64_t scalar();
    // Clears the bindings and makes the statement ready for the next use.
    void reset();

    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string text(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// Resets a statement when the scope ends, however it ends.
class StatementUse {
public:
    explicit StatementUse(Statement& s) : m_s(s) {}
    ~StatementUse() { m_s.reset(); }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    Statement* operator->() { return &m_s; }
    Statement& operator*() { return m_s; }

private:
    Statement& m_s;
};

}  // namespace store
