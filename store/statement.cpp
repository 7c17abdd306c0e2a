#include "store/statement.h"

#include "store/database.h"

namespace store {

void throwError(sqlite3* db, std::string_view what) {
    const char* file = sqlite3_db_filename(db, "main");
    std::string text = std::string(file != nullptr ? file : "") + ": " + std::string(what) + ": " +
                       sqlite3_errmsg(db);
    throw StoreError(text);
}

void execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        sqlite3_free(message);
        throwError(db, "exec");
    }
}

Statement::Statement(sqlite3* db, const char* sql) : m_db(db) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
        throwError(db, "prepare");
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, std::string_view utf8) {
    sqlite3_bind_text(m_stmt, index, utf8.data(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    throwError(m_db, "step");
}

void Statement::run() {
    StatementUse use(*this);
    step();
}

std::int64_t Statement::scalar() {
    StatementUse use(*this);
    return step() ? integer(0) : 0;
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p != nullptr ? std::string(p, size_t(sqlite3_column_bytes(m_stmt, column)))
                        : std::string();
}

}  // namespace store
