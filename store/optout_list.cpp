#include "store/optout_list.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/codepage_1254.h"
#include "platform/text_file.h"
#include "sms/bulk_run.h"
#include "sms/results_log.h"
#include "store/database.h"
#include "store/number_key.h"
#include "store/statement.h"
#include "store/transaction.h"

namespace store {
namespace {

constexpr std::string_view kReasonNames[] = {"yanıt", "elle", "içe aktarma"};

OptOutReason reasonFromName(std::string_view utf8) {
    for (size_t i = 0; i < std::size(kReasonNames); ++i) {
        if (kReasonNames[i] == utf8) {
            return OptOutReason(i);
        }
    }
    return OptOutReason::Manual;
}

// The first field of a CSV line, unquoted, without the '=' and quotes a spreadsheet puts
// around a number it keeps as text (="0532...", written "=""0532...""" when quoted).
std::string firstField(std::string_view line) {
    std::string field;
    if (line.starts_with('"')) {
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    ++i;
                    continue;
                }
                break;
            }
            field += line[i];
        }
    } else {
        field = line.substr(0, line.find_first_of(";,\t"));
    }
    if (field.starts_with("=\"") && field.ends_with('"') && field.size() >= 3) {
        field = field.substr(2, field.size() - 3);
    }
    return field;
}

}  // namespace

std::string optOutKey(std::string_view cp1254) {
    return normaliseForMatching(cp1254);
}

std::string_view optOutReasonName(OptOutReason reason) {
    return kReasonNames[size_t(reason)];
}

std::string optedOutReason() {
    return platform::cp1254::fromUtf8("Ret listesinde");
}

struct OptOutList::Statements {
    explicit Statements(sqlite3* db)
        : insert(db,
                 "INSERT OR IGNORE INTO opt_out (number, added, reason, message) "
                 "VALUES (?1, ?2, ?3, ?4)"),
          remove(db, "DELETE FROM opt_out WHERE number = ?1"),
          contains(db, "SELECT 1 FROM opt_out WHERE number = ?1"),
          all(db, "SELECT number, added, reason, ifnull(message, 0) FROM opt_out ORDER BY number"),
          count(db, "SELECT count(*) FROM opt_out") {}

    Statement insert;
    Statement remove;
    Statement contains;
    Statement all;
    Statement count;
};

OptOutList::OptOutList(Database& db, Now now)
    : m_db(db), m_now(std::move(now)), m_st(std::make_unique<Statements>(db.handle())) {}

OptOutList::~OptOutList() = default;

bool OptOutList::insert(const std::string& key, OptOutReason reason, std::int64_t message) {
    StatementUse s(m_st->insert);
    s->bind(1, key).bind(2, std::int64_t(m_now())).bind(3, optOutReasonName(reason));
    if (message != 0) {
        s->bind(4, message);
    }
    s->step();
    return sqlite3_changes(m_db.handle()) == 1;
}

bool OptOutList::add(std::string_view number, OptOutReason reason, std::int64_t message) {
    const std::string key = optOutKey(number);
    if (key.empty()) {
        return false;
    }
    Transaction tx(m_db.handle());
    const bool added = insert(key, reason, message);
    tx.commit();
    return added;
}

bool OptOutList::remove(std::string_view number) {
    const std::string key = optOutKey(number);
    Transaction tx(m_db.handle());
    StatementUse s(m_st->remove);
    s->bind(1, key);
    s->step();
    const bool removed = sqlite3_changes(m_db.handle()) == 1;
    tx.commit();
    return removed;
}

bool OptOutList::contains(std::string_view number) {
    const std::string key = optOutKey(number);
    if (key.empty()) {
        return false;
    }
    StatementUse s(m_st->contains);
    s->bind(1, key);
    return s->step();
}

int OptOutList::listedAmong(const std::vector<std::string>& entries) {
    int n = 0;
    for (const std::string& e : entries) {
        n += contains(e);
    }
    return n;
}

std::vector<OptOutEntry> OptOutList::entries() {
    std::vector<OptOutEntry> out;
    StatementUse s(m_st->all);
    while (s->step()) {
        out.push_back(
            {s->text(0), std::time_t(s->integer(1)), reasonFromName(s->text(2)), s->integer(3)});
    }
    return out;
}

int OptOutList::count() {
    return int(m_st->count.scalar());
}

OptOutImport OptOutList::importCsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        throw StoreError(file.string() + ": " + std::strerror(errno));
    }
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) {
        throw StoreError(file.string() + ": " + std::strerror(errno));
    }
    std::string_view text(bytes);
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    OptOutImport result;
    Transaction tx(m_db.handle());
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t;,") == std::string_view::npos) {
            continue;  // blank lines are no entries
        }
        // Digits only matter here, so the file's encoding does not.
        const std::string key = optOutKey(firstField(line));
        if (key.empty()) {
            ++result.refused;
        } else if (insert(key, OptOutReason::Import, 0)) {
            ++result.added;
        } else {
            ++result.alreadyListed;
        }
    }
    tx.commit();
    return result;
}

void OptOutList::exportCsv(const std::filesystem::path& file) {
    std::string out = "\xEF\xBB\xBFnumara;eklendi;neden\r\n";
    for (const OptOutEntry& e : entries()) {
        out += sms::csvField("=\"" + e.number + "\"") + ";" + sms::isoLocalTime(e.added) + ";" +
               std::string(optOutReasonName(e.reason)) + "\r\n";
    }
    if (const int err = platform::replaceFileContents(file.string(), out); err != 0) {
        throw StoreError(file.string() + ": " + std::strerror(err));
    }
}

std::function<std::string(const std::string& number)> OptOutList::skipCheck() {
    return [this](const std::string& number) -> std::string {
        try {
            return contains(number) ? optedOutReason() : std::string();
        } catch (const StoreError& e) {
            return platform::cp1254::fromUtf8(std::string("Ret listesi okunamadı: ") + e.what());
        }
    };
}

}  // namespace store
