#pragma once
// The program's database, toplusms.db beside rehber.txt: one SQLite file in WAL mode,
// synchronous=FULL, its schema version in PRAGMA user_version and brought up to date on
// open. One connection per Database object; use it from one thread.
//
// Any number of programs may read the file at once; only one may send from it. The
// sender holds a SenderLock (an flock on "<file>.lock", which the system lets go when
// the process ends, killed or not).

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace store {

// A read or write that failed (disk full, file not writable, I/O error). The text is
// UTF-8 and names the file.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file cannot be used as it is. It has been left untouched; setAside() moves it out
// of the way so that a new database can be started.
class OpenError : public StoreError {
public:
    enum class Kind {
        NotDatabase,  // not SQLite, truncated or damaged
        NewerSchema,  // written by a later version of the program
        CannotOpen,   // no permission, the folder is missing ...
    };
    OpenError(Kind kind, const std::string& what) : StoreError(what), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// Another program is already sending from this database.
class SenderBusy : public StoreError {
public:
    using StoreError::StoreError;
};

class Database;

// Held while a program may send from the database. Let go when destroyed.
class SenderLock {
public:
    ~SenderLock();
    SenderLock(const SenderLock&) = delete;
    SenderLock& operator=(const SenderLock&) = delete;

private:
    friend class Database;
    explicit SenderLock(int fd) : m_fd(fd) {}
    int m_fd;
};

class Database {
public:
    // The schema version this program writes.
    static constexpr int kSchemaVersion = 4;

    // Opens `file`, making it (and nothing else) when it does not exist, and migrates an
    // older schema. Throws OpenError.
    explicit Database(const std::filesystem::path& file);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Makes this program the database's one sender, or throws SenderBusy. Rows an earlier
    // sender left "gönderiliyor" (it was killed mid-submission) become "belirsiz" here,
    // while the lock is held, so a running sender's row is never touched by another.
    std::unique_ptr<SenderLock> takeSenderLock();

    // Flushes the journal to the disk: what was committed without waiting for the disk
    // (see DatabaseRecorder) then survives a power cut too. Throws StoreError.
    void syncJournal();

    const std::filesystem::path& file() const { return m_file; }
    int schemaVersion() const;
    sqlite3* handle() const { return m_db; }

    // "toplusms.db" in `folder`.
    static std::filesystem::path defaultFile(const std::filesystem::path& folder);
    // Renames a file that could not be opened, with its -wal and -shm companions, to
    // "<name>.bozuk-YYYYMMDD-HHMMSS" beside it (a number added when taken) and returns
    // the new name of the main file. Throws StoreError when it cannot.
    static std::filesystem::path setAside(const std::filesystem::path& file);

private:
    void configure();
    void migrate();
    void recoverInterrupted();

    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
};

}  // namespace store
