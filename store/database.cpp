#include "store/database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <utility>

#include "store/number_key.h"
#include "store/optout_list.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace store {

extern const char kSchemaV1[];
extern const char kSchemaV2[];
extern const char kSchemaV3[];
extern const char kSchemaV4[];

namespace {

// Migration n brings a database from version n-1 to n; version 0 is an empty file.
constexpr std::array<const char*, Database::kSchemaVersion> kMigrations = {kSchemaV1, kSchemaV2,
                                                                           kSchemaV3, kSchemaV4};

constexpr int kBusyTimeoutMs = 5000;
const char kInterrupted[] = "Program gönderim sırasında kapandı; mesaj karşıya ulaşmış olabilir";

std::string describe(const std::filesystem::path& file, const std::string& what) {
    return file.string() + ": " + what;
}

// A file that is there but does not start as SQLite, or is shorter than its header says,
// is refused before SQLite sees it: the open must never be the thing that changes it.
void checkHeader(const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size == 0) {
        return;  // missing or empty: a new database
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        return;  // not readable: SQLite's open names the reason
    }
    std::array<unsigned char, 100> header{};
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    if (!in || std::memcmp(header.data(), "SQLite format 3", 16) != 0) {
        throw OpenError(OpenError::Kind::NotDatabase,
                        describe(file, "bir SQLite veritabanı değil ya da bozuk"));
    }
    const auto be32 = [&](size_t at) {
        return std::uint32_t(header[at]) << 24 | std::uint32_t(header[at + 1]) << 16 |
               std::uint32_t(header[at + 2]) << 8 | header[at + 3];
    };
    std::uint32_t pageSize = std::uint32_t(header[16]) << 8 | header[17];
    if (pageSize == 1) {
        pageSize = 65536;
    }
    // The page count in the header is valid when its change counter matches (offset 92).
    const std::uint64_t pages = be32(28);
    const bool countValid = be32(24) == be32(92);
    std::filesystem::path wal = file;
    wal += "-wal";
    if (countValid && pages > 0 && !std::filesystem::exists(wal, ec) &&
        size < pages * std::uint64_t(pageSize)) {
        throw OpenError(OpenError::Kind::NotDatabase,
                        describe(file, "veritabanı dosyası eksik (kesilmiş)"));
    }
}

// The schema version and the number of schema objects, read without throwing so that the
// kind of failure can be told apart; returns SQLite's result code.
int readVersion(sqlite3* db, int& version, int& tables) {
    for (const auto& [sql, out] : {std::pair{"PRAGMA user_version", &version},
                                   std::pair{"SELECT count(*) FROM sqlite_master", &tables}}) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                *out = sqlite3_column_int(stmt, 0);
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    return SQLITE_OK;
}

// normalise_number(text) and opt_out_key(text) for the migrations that fill the compared
// forms again.
template <std::string (*key)(std::string_view)>
void numberKey(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    if (text == nullptr) {
        sqlite3_result_null(context);
        return;
    }
    const std::string value = key(text);
    sqlite3_result_text(context, value.data(), int(value.size()), SQLITE_TRANSIENT);
}

int userVersion(sqlite3* db) {
    Statement s(db, "PRAGMA user_version");
    s.step();
    return int(s.integer(0));
}

}  // namespace

SenderLock::~SenderLock() {
    ::close(m_fd);  // lets the flock go
}

Database::Database(const std::filesystem::path& file) : m_file(file) {
    checkHeader(file);
    const int rc = sqlite3_open_v2(
        file.c_str(), &m_db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
        nullptr);
    if (rc != SQLITE_OK) {
        const std::string why = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        throw OpenError(OpenError::Kind::CannotOpen, describe(file, why));
    }
    try {
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        int version = 0;
        int tables = 0;
        const int probe = readVersion(m_db, version, tables) & 0xff;
        if (probe == SQLITE_NOTADB || probe == SQLITE_CORRUPT) {
            throw OpenError(OpenError::Kind::NotDatabase,
                            describe(file, "bir SQLite veritabanı değil ya da bozuk"));
        }
        if (probe != SQLITE_OK) {
            throw OpenError(OpenError::Kind::CannotOpen, describe(file, sqlite3_errstr(probe)));
        }
        if (version == 0 && tables > 0) {
            throw OpenError(OpenError::Kind::NotDatabase,
                            describe(file, "bu programın veritabanı değil"));
        }
        if (version > kSchemaVersion) {
            throw OpenError(OpenError::Kind::NewerSchema,
                            describe(file, "programın daha yeni bir sürümünce yazılmış (şema " +
                                               std::to_string(version) + ")"));
        }
        configure();
        migrate();
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

Database::~Database() {
    sqlite3_close(m_db);
}

void Database::configure() {
    Statement wal(m_db, "PRAGMA journal_mode=WAL");
    if (!wal.step() || wal.text(0) != "wal") {
        throw OpenError(OpenError::Kind::CannotOpen, describe(m_file, "WAL kipine geçilemedi"));
    }
    // FULL: a committed change survives a power cut, not just a crash of the program.
    execute(m_db, "PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
    // A campaign of 100,000 rows is made in one transaction; with room for its pages in
    // memory it is not spilled to the journal halfway.
    execute(m_db, "PRAGMA cache_size=-32768");
}

void Database::migrate() {
    if (userVersion(m_db) == kSchemaVersion) {
        return;
    }
    for (const auto& [name, function] :
         {std::pair{"normalise_number", &numberKey<normaliseForMatching>},
          std::pair{"opt_out_key", &numberKey<optOutKey>}}) {
        if (sqlite3_create_function(m_db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    function, nullptr, nullptr) != SQLITE_OK) {
            throwError(m_db, name);
        }
    }
    Transaction tx(m_db);
    // Read again under the write lock: another program may have migrated meanwhile.
    for (int v = userVersion(m_db); v < kSchemaVersion; ++v) {
        execute(m_db, kMigrations[size_t(v)]);
        execute(m_db, ("PRAGMA user_version=" + std::to_string(v + 1)).c_str());
    }
    tx.commit();
}

int Database::schemaVersion() const {
    return userVersion(m_db);
}

std::unique_ptr<SenderLock> Database::takeSenderLock() {
    std::filesystem::path lockFile = m_file;
    lockFile += ".lock";
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw StoreError(describe(lockFile, std::strerror(errno)));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            throw SenderBusy(
                describe(m_file,
                         "başka bir program bu veritabanından gönderiyor (bir veritabanından "
                         "aynı anda tek gönderim)"));
        }
        throw StoreError(describe(lockFile, std::strerror(err)));
    }
    std::unique_ptr<SenderLock> lock(new SenderLock(fd));
    recoverInterrupted();
    return lock;
}

void Database::recoverInterrupted() {
    Statement s(m_db,
                "UPDATE recipient SET state='belirsiz', error=?1, changed=?2 "
                "WHERE state='gönderiliyor'");
    s.bind(1, std::string_view(kInterrupted)).bind(2, std::int64_t(std::time(nullptr)));
    Transaction tx(m_db);
    s.run();
    tx.commit();
}

void Database::syncJournal() {
    std::filesystem::path wal = m_file;
    wal += "-wal";
    const int fd = ::open(wal.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return;  // checkpointed and gone: all of it is in the main file, synced
        }
        throw StoreError(describe(wal, std::strerror(errno)));
    }
    const int rc = ::fdatasync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0) {
        throw StoreError(describe(wal, std::strerror(err)));
    }
}

std::filesystem::path Database::defaultFile(const std::filesystem::path& folder) {
    return folder / "toplusms.db";
}

std::filesystem::path Database::setAside(const std::filesystem::path& file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 1; n < 100; ++n) {
        std::filesystem::path target = file;
        target += std::string(".bozuk-") + stamp + (n == 1 ? "" : "-" + std::to_string(n));
        // NOREPLACE: a name already taken is tried with the next number, never overwritten.
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            throw StoreError(describe(file, std::strerror(errno)));
        }
        for (const char* companion : {"-wal", "-shm"}) {
            std::filesystem::path from = file, to = target;
            from += companion;
            to += companion;
            ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
        }
        return target;
    }
    throw StoreError(describe(file, std::strerror(EEXIST)));
}

}  // namespace store
