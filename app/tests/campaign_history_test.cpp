// The history's tables over a real database file: campaigns with their counts, a
// campaign's rows read a page at a time, its CSV export and the resend it offers.
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/campaign_database.h"
#include "app/campaign_history_dialog.h"
#include "app/campaign_models.h"
#include "app/main_window.h"
#include "app/tests/fake_asker.h"
#include "platform/tests/scratch_folder.h"
#include "store/database.h"
#include "store/database_recorder.h"

namespace app {
namespace {

class CampaignHistory : public ::testing::Test {
protected:
    void SetUp() override {
        store::NewCampaign small;
        small.text = u"İlk kampanya";
        small.entries = {"05321112233", "05321112234"};
        m_small = m_store.create(small);
        store::NewCampaign large;
        large.text = u"İkinci";
        for (int i = 0; i < 1000; ++i) {
            large.entries.push_back("0532" + std::to_string(1000000 + i));
        }
        m_large = m_store.create(large);
        // The large one: one sent, one refused.
        auto lock = m_db.takeSenderLock();
        store::DatabaseRecorder recorder(m_db, *lock, m_large);
        std::string error;
        sms::SendOutcome sent;
        sent.status = sms::SendStatus::Sent;
        sent.references = {5, 6};
        sms::SendOutcome refused;
        refused.status = sms::SendStatus::Failed;
        refused.error = "ret";
        for (const sms::SendOutcome& o : {sent, refused}) {
            const auto r = recorder.nextQueued(error);
            ASSERT_TRUE(r) << error;
            ASSERT_TRUE(recorder.markSending(*r, error));
            ASSERT_TRUE(recorder.markFinished(*r, o, error));
        }
    }

    platform::testing::ScratchFolder m_scratch{"campaign-history"};
    store::Database m_db{m_scratch.path() / "toplusms.db"};
    store::CampaignStore m_store{m_db};
    std::int64_t m_small = 0;
    std::int64_t m_large = 0;
};

TEST_F(CampaignHistory, ListsCampaignsNewestFirstWithTheirCounts) {
    CampaignListModel list(m_store);
    ASSERT_EQ(list.rowCount(), 2);
    auto text = [&](int row, int column) { return list.index(row, column).data().toString(); };
    EXPECT_EQ(text(0, 0), QString::number(m_large));
    EXPECT_EQ(text(0, 2), "İkinci");
    QStringList headers;
    for (int c = 0; c < list.columnCount(); ++c) {
        headers << list.headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(headers.join(','),
              "No,Başlangıç,Metin,sırada,gönderildi,başarısız,belirsiz,atlandı,Teslim");
    EXPECT_EQ(text(0, 3), "998");
    EXPECT_EQ(text(0, 4), "1");
    EXPECT_EQ(text(0, 5), "1");
    EXPECT_EQ(text(1, 3), "2");
}

TEST_F(CampaignHistory, ResultsAreReadByPageFromTheFile) {
    CampaignResultsModel rows(m_store);
    rows.setCampaign(m_large);
    ASSERT_EQ(rows.rowCount(), 1000);
    auto text = [&](int row, int column) { return rows.index(row, column).data().toString(); };
    EXPECT_EQ(text(0, 0), "1");
    EXPECT_EQ(text(0, 2), "gönderildi");
    EXPECT_EQ(text(0, 4), "ref 5 6");
    EXPECT_FALSE(text(0, 3).isEmpty());
    EXPECT_EQ(text(1, 2), "başarısız");
    EXPECT_EQ(text(1, 4), "ret");
    // Far from the first page, and back.
    EXPECT_EQ(text(999, 1), "05321000999");
    EXPECT_EQ(text(999, 2), "sırada");
    EXPECT_TRUE(text(999, 3).isEmpty());
    EXPECT_EQ(text(0, 1), "05321000000");
    EXPECT_FALSE(rows.index(1000, 0).isValid());
}

TEST_F(CampaignHistory, SavesTheChosenCampaignAsCsvAndOffersItsResend) {
    CampaignHistoryDialog dialog(m_store, nullptr);
    const std::filesystem::path out = m_scratch.path() / "out.csv";
    dialog.chooseCsvFile = [&](QWidget*, const QString&) { return QString::fromStdString(out); };
    std::vector<QString> told;
    dialog.tell = [&](const QString& text, bool) { told.push_back(text); };

    dialog.showCampaign(m_small);
    EXPECT_EQ(dialog.recipients->model()->rowCount(), 2);
    EXPECT_FALSE(dialog.resendButton->isEnabled());  // nothing failed

    dialog.showCampaign(m_large);
    EXPECT_EQ(dialog.recipients->model()->rowCount(), 1000);
    dialog.csvButton->click();
    std::ifstream in(out, std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1001);
    ASSERT_EQ(told.size(), 1u);

    ASSERT_TRUE(dialog.resendButton->isEnabled());
    dialog.resendButton->click();
    EXPECT_EQ(dialog.resendRequested(), m_large);
}

// A file that is no database is named and kept; a new one starts only on Yes, the old
// renamed beside it. A second sender is refused with a clear word.
TEST(CampaignDatabaseFile, BadFileIsKeptAndASecondSenderRefused) {
    platform::testing::ScratchFolder scratch{"campaign-database"};
    const std::filesystem::path file = scratch.path() / "toplusms.db";
    const std::string garbage(4096, 'x');
    std::ofstream(file, std::ios::binary) << garbage;
    FakeAsker asker;
    MainFormOptions options;
    options.listFile = scratch.path() / "rehber.txt";
    options.settingsFile = QString::fromStdString((scratch.path() / "settings.conf").string());
    options.asker = &asker;
    TMainForm form(options);
    CampaignDatabase db(form);
    EXPECT_EQ(db.file(), file);

    EXPECT_EQ(db.campaigns(), nullptr);  // No
    ASSERT_EQ(asker.asked.size(), 1u);
    EXPECT_TRUE(asker.asked[0].text.contains("Dosyaya dokunulmadı"));
    std::ifstream untouched(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(untouched), {}), garbage);

    asker.answers = {true};
    ASSERT_NE(db.campaigns(), nullptr);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
        if (entry.path().filename().string().rfind("toplusms.db.bozuk-", 0) == 0) {
            ++kept;
            EXPECT_EQ(entry.file_size(), garbage.size());
        }
    }
    EXPECT_EQ(kept, 1);

    store::Database other(file);
    const auto held = other.takeSenderLock();
    EXPECT_EQ(db.takeSenderLock(), nullptr);
    ASSERT_EQ(asker.told.size(), 1u);
    EXPECT_TRUE(asker.told[0].text.contains("başka bir program"))
        << asker.told[0].text.toStdString();
}

}  // namespace
}  // namespace app
