#pragma once
// "Ret Listesi": the numbers that asked not to be texted again. Every run, resume and
// single send asks it first; a listed number is skipped ("atlandı", "Ret listesinde").
// Numbers are kept in the form they are compared in (optOutKey), so one number written
// two ways is listed once.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Database;

enum class OptOutReason {
    Reply,   // "yanıt": the customer answered with a keyword
    Manual,  // "elle"
    Import,  // "içe aktarma": from a CSV file
};

// As stored and shown, UTF-8.
std::string_view optOutReasonName(OptOutReason reason);

struct OptOutEntry {
    std::string number;  // the compared form
    std::time_t added = 0;
    OptOutReason reason = OptOutReason::Manual;
    std::int64_t message = 0;  // the inbox message that asked; 0 when none
};

struct OptOutImport {
    int added = 0;
    int alreadyListed = 0;
    int refused = 0;  // lines holding no number
};

// The form a number is listed in: normaliseForMatching(), and a Turkish number without
// its country or trunk prefix, so that a reply from +90 532 ... matches the list's
// 0532 ... whichever form each was written in.
std::string optOutKey(std::string_view cp1254);

// The reason a run gives for a listed number, Windows-1254: "Ret listesinde".
std::string optedOutReason();

// Every method throws StoreError when the database fails.
class OptOutList {
public:
    using Now = std::function<std::time_t()>;
    explicit OptOutList(
        Database& db, Now now = [] { return std::time(nullptr); });
    ~OptOutList();
    OptOutList(const OptOutList&) = delete;
    OptOutList& operator=(const OptOutList&) = delete;

    // `number` Windows-1254, written any way. False when it holds no number or is listed
    // already (its first reason stays).
    bool add(std::string_view number, OptOutReason reason, std::int64_t message = 0);
    // False when it was not listed.
    bool remove(std::string_view number);
    bool contains(std::string_view number);
    // How many of `entries` (Windows-1254, as listed) a run would skip: for the question
    // before it starts.
    int listedAmong(const std::vector<std::string>& entries);
    // In the order of their numbers.
    std::vector<OptOutEntry> entries();
    int count();

    // Numbers from the first field of each line of a CSV file (UTF-8, a byte-order mark,
    // ';' ',' or TAB between fields, ="0532..." as spreadsheets write text), all added in
    // one transaction. A header line counts as refused. Throws StoreError when the file
    // cannot be read; nothing is added then.
    OptOutImport importCsv(const std::filesystem::path& file);
    // UTF-8 with a byte-order mark, ';'-separated: number, when, why; the numbers written
    // so that spreadsheet programs keep them as text. Replaces `file` whole.
    void exportCsv(const std::filesystem::path& file);

    // For BulkRequest::skipReason: optedOutReason() for a listed number, else empty. When
    // the list cannot be read the number is not texted either, and the reason says why.
    std::function<std::string(const std::string& number)> skipCheck();

private:
    struct Statements;
    bool insert(const std::string& key, OptOutReason reason, std::int64_t message);

    Database& m_db;
    Now m_now;
    std::unique_ptr<Statements> m_st;
};

}  // namespace store
