#pragma once
// One transaction: BEGIN IMMEDIATE on construction, rolled back on destruction unless
// commit() ran, so an error thrown halfway leaves nothing half-written.

struct sqlite3;

namespace store {

class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Throws StoreError when the commit fails (the transaction is then rolled back).
    void commit();

private:
    sqlite3* m_db;
    bool m_open = true;
};

}  // namespace store
