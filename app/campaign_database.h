#pragma once
// The window's hold on the program's database, toplusms.db beside rehber.txt. A file that
// cannot be used is named and left as it is; the user may start a new database, the old
// file renamed beside it. Sending takes the database's one-sender lock for the run.

#include <filesystem>
#include <memory>

#include "store/campaigns.h"
#include "store/database.h"

namespace app {

class TMainForm;

class CampaignDatabase {
public:
    // `file`, or toplusms.db beside `form`'s list file when empty; it opens on first use.
    explicit CampaignDatabase(TMainForm& form, std::filesystem::path file = {});
    ~CampaignDatabase();

    // The campaigns, opening the database first when it is not open; null when it cannot
    // be used (the user has been told why).
    store::CampaignStore* campaigns();
    store::Database* database() { return m_db.get(); }
    // This program as the database's sender for a run; null after telling the user that
    // another program sends from it (or why the database cannot be used).
    std::unique_ptr<store::SenderLock> takeSenderLock();

    const std::filesystem::path& file() const { return m_file; }

private:
    bool open();

    TMainForm& m_form;
    std::filesystem::path m_file;
    std::unique_ptr<store::Database> m_db;
    std::unique_ptr<store::CampaignStore> m_campaigns;
};

}  // namespace app
