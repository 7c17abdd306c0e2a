#include "store/transaction.h"

#include "store/statement.h"

namespace store {

Transaction::Transaction(sqlite3* db) : m_db(db) {
    // IMMEDIATE takes the write lock now, so a busy database fails here, before any work.
    execute(m_db, "BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (m_open) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::commit() {
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // A failed COMMIT may leave the transaction open; the destructor rolls it back.
        if (sqlite3_get_autocommit(m_db) != 0) {
            m_open = false;
        }
        throwError(m_db, "commit");
    }
    m_open = false;
}

}  // namespace store
