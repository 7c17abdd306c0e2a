#pragma once
// A database file in the test's own scratch folder, and a second connection that reads
// what the first committed (as another program would).

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/tests/scratch_folder.h"
#include "store/campaigns.h"
#include "store/database.h"

namespace store::testing {

inline std::string readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// One value of a query run on a connection of its own.
inline std::string peek(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    std::string value = "<error>";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const auto* t = sqlite3_column_text(s, 0);
            value = t != nullptr ? reinterpret_cast<const char*>(t) : "<null>";
        } else if (rc == SQLITE_DONE) {
            value = "<none>";
        }
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
}

struct StoreTest : ::testing::Test {
    std::int64_t createCampaign(Database& db, std::vector<std::string> entries,
                                std::u16string text = u"merhaba") {
        NewCampaign c;
        c.text = std::move(text);
        c.options.pauseSeconds = 0;
        c.entries = std::move(entries);
        return CampaignStore(db).create(c);
    }

    platform::testing::ScratchFolder m_scratch{"toplusms-store"};
    const std::filesystem::path file = m_scratch / "toplusms.db";
};

}  // namespace store::testing
