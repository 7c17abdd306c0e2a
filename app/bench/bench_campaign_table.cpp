// bench-campaign-table: a campaign of 100,000 recipients in a database file, and how long
// its result table takes to appear and to jump to its end. Prints the figures.
//
//   bench-campaign-table [RECIPIENTS]

#include <QApplication>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/campaign_models.h"
#include "store/campaigns.h"
#include "store/database.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;

    char folder[] = "/tmp/bench-campaign-table-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = folder;
    {
        store::Database db(dir / "toplusms.db");
        store::CampaignStore campaigns(db);
        store::NewCampaign c;
        c.text = u"Kampanya";
        for (int i = 0; i < count; ++i) {
            c.entries.push_back("0532" + std::to_string(1000000 + i));
        }
        auto start = std::chrono::steady_clock::now();
        const std::int64_t id = campaigns.create(c);
        std::printf("campaign of %d created: %.1f ms\n", count, msSince(start));

        app::CampaignResultsModel model(campaigns);
        QTableView view;
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->setDefaultSectionSize(20);
        view.setModel(&model);
        view.resize(440, 300);
        start = std::chrono::steady_clock::now();
        model.setCampaign(id);
        view.show();
        view.grab();  // paints the rows on screen
        std::printf("result table shown: %.1f ms\n", msSince(start));

        start = std::chrono::steady_clock::now();
        view.scrollToBottom();
        view.grab();
        std::printf("scrolled to its end: %.1f ms\n", msSince(start));

        start = std::chrono::steady_clock::now();
        model.refresh(count - 1);
        view.grab();
        std::printf("refreshed after a state change: %.1f ms\n", msSince(start));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
