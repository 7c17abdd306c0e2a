#include "store/campaigns.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

constexpr std::string_view kStateNames[kStateCount] = {
    "sırada", "gönderiliyor", "gönderildi", "başarısız", "belirsiz", "atlandı",
};

constexpr char kCampaignColumns[] =
    "SELECT id, started, text, turkish_tables, pause_seconds, reports_requested, "
    "ifnull(resend_of, 0) FROM campaign ";

// References in part order, blank-separated, -1 where the phone gave none.
constexpr char kRecipientColumns[] =
    "SELECT r.id, r.position, r.entry, r.normalised, r.state, r.changed, r.error, "
    "r.phone_imei, r.phone_port, "
    "(SELECT group_concat(ref, ' ') FROM (SELECT ifnull(reference, -1) AS ref FROM part "
    "WHERE recipient = r.id ORDER BY seq)), "
    // What the reports said: parts, delivered, failed, reported; latest time, failure
    // time, the meaning to show (a failure's first), and whether reports were asked.
    "(SELECT count(*) FROM part WHERE recipient = r.id), "
    "(SELECT count(*) FROM part WHERE recipient = r.id AND delivery_class = 0), "
    "(SELECT count(*) FROM part WHERE recipient = r.id AND delivery_class = 2), "
    "(SELECT count(*) FROM part WHERE recipient = r.id AND delivery_class IS NOT NULL), "
    "(SELECT ifnull(max(delivery_time), 0) FROM part WHERE recipient = r.id), "
    "(SELECT delivery_time FROM part WHERE recipient = r.id AND delivery_class = 2 "
    "ORDER BY seq LIMIT 1), "
    "(SELECT delivery_meaning FROM part WHERE recipient = r.id AND delivery_class IS NOT NULL "
    "ORDER BY delivery_class = 2 DESC, delivery_time DESC, seq LIMIT 1), "
    "(SELECT reports_requested FROM campaign WHERE id = r.campaign) "
    "FROM recipient r ";

constexpr std::string_view kDeliveryNames[] = {"", "bekliyor", "teslim edildi", "teslim edilemedi"};

CampaignSummary readCampaign(const Statement& s) {
    CampaignSummary c;
    c.id = s.integer(0);
    c.started = std::time_t(s.integer(1));
    c.text = platform::cp1254::utf8ToUtf16(s.text(2));
    c.options.turkishTables = s.integer(3) != 0;
    c.options.pauseSeconds = int(s.integer(4));
    c.options.reportsRequested = s.integer(5) != 0;
    c.resendOf = s.integer(6);
    return c;
}

std::vector<int> parseReferences(const std::string& text) {
    std::vector<int> refs;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find(' ', i);
        if (end == std::string::npos) {
            end = text.size();
        }
        refs.push_back(std::stoi(text.substr(i, end - i)));
        i = end + 1;
    }
    return refs;
}

RecipientRow readRecipient(const Statement& s) {
    using platform::cp1254::fromUtf8;
    RecipientRow r;
    r.id = s.integer(0);
    r.position = int(s.integer(1));
    r.entry = fromUtf8(s.text(2));
    r.normalised = s.text(3);
    r.state = stateFromName(s.text(4)).value_or(RecipientState::Unknown);
    r.changed = std::time_t(s.integer(5));
    r.error = fromUtf8(s.text(6));
    r.phoneImei = s.text(7);
    r.phonePort = s.text(8);
    r.references = parseReferences(s.text(9));
    const std::int64_t parts = s.integer(10);
    const std::int64_t delivered = s.integer(11);
    const std::int64_t failed = s.integer(12);
    const std::int64_t reported = s.integer(13);
    const bool requested = s.integer(17) != 0;
    if (failed > 0) {
        r.delivery = DeliveryState::Failed;
        r.deliveryTime = std::time_t(s.integer(15));
    } else if (r.state == RecipientState::Sent && parts > 0 && delivered == parts) {
        // Only a sent row has a part for every part of its message: a failed or uncertain
        // one may hold the first parts alone, and those delivered are not the message.
        r.delivery = DeliveryState::Delivered;
    } else if ((r.state == RecipientState::Sent || r.state == RecipientState::Unknown) &&
               (requested || reported > 0)) {
        r.delivery = DeliveryState::Pending;
    }
    if (r.delivery != DeliveryState::Failed) {
        r.deliveryTime = std::time_t(s.integer(14));
    }
    r.deliveryMeaning = fromUtf8(s.text(16));
    return r;
}

// A field a spreadsheet program shows as it stands. A number goes in as ="0532...", a
// formula giving the text, so the leading 0 and the + stay. Any other text that would be
// read as a formula (= + - @ in front; an entry or an error text such as "+CMS ERROR: 500")
// gets an apostrophe in front, so no cell computes anything from what the list held.
std::string asText(const std::string& utf8) {
    const bool number =
        !utf8.empty() && utf8.find_first_not_of("0123456789+-() ") == std::string::npos;
    if (number) {
        return sms::csvField("=\"" + utf8 + "\"");
    }
    if (!utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string::npos) {
        return sms::csvField("'" + utf8);
    }
    return sms::csvField(utf8);
}

}  // namespace

std::string_view stateName(RecipientState state) {
    return kStateNames[size_t(state)];
}

std::optional<RecipientState> stateFromName(std::string_view utf8) {
    for (int i = 0; i < kStateCount; ++i) {
        if (kStateNames[i] == utf8) {
            return RecipientState(i);
        }
    }
    return std::nullopt;
}

std::string_view deliveryStateName(DeliveryState state) {
    return kDeliveryNames[size_t(state)];
}

std::string DeliveryCounts::text() const {
    // Thousands grouped with dots, as Turkish writes them.
    const auto grouped = [](int n) {
        std::string digits = std::to_string(n);
        for (int i = int(digits.size()) - 3; i > 0; i -= 3) {
            digits.insert(size_t(i), ".");
        }
        return digits;
    };
    return grouped(delivered) + " teslim edildi, " + grouped(failed) + " teslim edilemedi, " +
           grouped(pending) + " bekliyor";
}

int StateCounts::total() const {
    int n = 0;
    for (int c : byState) {
        n += c;
    }
    return n;
}

bool CampaignSummary::finished() const {
    return counts.of(RecipientState::Queued) == 0 && counts.of(RecipientState::Sending) == 0;
}

struct CampaignStore::Statements {
    explicit Statements(sqlite3* db)
        : insertCampaign(db,
                         "INSERT INTO campaign (started, text, turkish_tables, pause_seconds, "
                         "reports_requested, resend_of) VALUES (?1, ?2, ?3, ?4, ?5, ?6)"),
          insertRecipient(db,
                          "INSERT INTO recipient (campaign, position, entry, normalised, changed) "
                          "VALUES (?1, ?2, ?3, ?4, ?5)"),
          allCampaigns(db, (std::string(kCampaignColumns) + "ORDER BY id DESC").c_str()),
          oneCampaign(db, (std::string(kCampaignColumns) + "WHERE id = ?1").c_str()),
          latestUnfinished(db,
                           "SELECT id FROM campaign c WHERE EXISTS (SELECT 1 FROM recipient "
                           "WHERE campaign = c.id AND state = 'sırada') ORDER BY id DESC LIMIT 1"),
          allCounts(db, "SELECT campaign, state, count(*) FROM recipient GROUP BY campaign, state"),
          counts(db, "SELECT state, count(*) FROM recipient WHERE campaign = ?1 GROUP BY state"),
          // Positions run from 0 without gaps, so a page starts by key, not by skipping.
          page(db, (std::string(kRecipientColumns) +
                    "WHERE r.campaign = ?1 AND r.position >= ?2 ORDER BY r.position LIMIT ?3")
                       .c_str()),
          byId(db, (std::string(kRecipientColumns) + "WHERE r.id = ?1").c_str()),
          rowCount(db, "SELECT count(*) FROM recipient WHERE campaign = ?1"),
          resendRows(db,
                     "SELECT entry FROM recipient WHERE campaign = ?1 AND (state = 'başarısız' "
                     "OR (?2 AND state = 'belirsiz')) ORDER BY position"),
          // The state terms are those of the index recipient_phone_sent, so it serves.
          sentSince(db,
                    "SELECT count(*) FROM recipient WHERE phone_imei = ?1 AND changed >= ?3 "
                    "AND state IN ('gönderildi', 'belirsiz') AND (?1 <> '' OR phone_port = ?2)") {}

    Statement insertCampaign;
    Statement insertRecipient;
    Statement allCampaigns;
    Statement oneCampaign;
    Statement latestUnfinished;
    Statement allCounts;
    Statement counts;
    Statement page;
    Statement byId;
    Statement rowCount;
    Statement resendRows;
    Statement sentSince;
};

CampaignStore::CampaignStore(Database& db)
    : m_db(db), m_st(std::make_unique<Statements>(db.handle())) {}

CampaignStore::~CampaignStore() = default;

std::int64_t CampaignStore::create(const NewCampaign& campaign) {
    sqlite3* db = m_db.handle();
    const std::int64_t now = std::time(nullptr);
    Transaction tx(db);
    {
        StatementUse s(m_st->insertCampaign);
        s->bind(1, now)
            .bind(2, platform::cp1254::utf16ToUtf8(campaign.text))
            .bind(3, std::int64_t(campaign.options.turkishTables))
            .bind(4, std::int64_t(campaign.options.pauseSeconds))
            .bind(5, std::int64_t(campaign.options.reportsRequested));
        if (campaign.resendOf != 0) {
            s->bind(6, campaign.resendOf);
        }
        s->step();
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db);
    Statement& insert = m_st->insertRecipient;
    for (size_t i = 0; i < campaign.entries.size(); ++i) {
        const std::string& entry = campaign.entries[i];
        StatementUse s(insert);
        s->bind(1, id)
            .bind(2, std::int64_t(i))
            .bind(3, platform::cp1254::toUtf8(entry))
            .bind(4, normaliseForMatching(entry))
            .bind(5, now);
        s->step();
    }
    tx.commit();
    return id;
}

std::int64_t CampaignStore::createResend(std::int64_t campaign, bool includeUnknown) {
    const std::optional<CampaignSummary> old = this->campaign(campaign);
    if (!old) {
        return 0;
    }
    NewCampaign again;
    again.text = old->text;
    again.options = old->options;
    again.resendOf = campaign;
    {
        StatementUse s(m_st->resendRows);
        s->bind(1, campaign).bind(2, std::int64_t(includeUnknown));
        while (s->step()) {
            again.entries.push_back(platform::cp1254::fromUtf8(s->text(0)));
        }
    }
    return again.entries.empty() ? 0 : create(again);
}

std::vector<CampaignSummary> CampaignStore::campaigns() {
    std::vector<CampaignSummary> list;
    {
        StatementUse s(m_st->allCampaigns);
        while (s->step()) {
            list.push_back(readCampaign(*s));
        }
    }
    StatementUse s(m_st->allCounts);
    while (s->step()) {
        const std::int64_t id = s->integer(0);
        const auto state = stateFromName(s->text(1));
        // Newest first: ids fall along the list.
        auto it =
            std::lower_bound(list.begin(), list.end(), id,
                             [](const CampaignSummary& c, std::int64_t v) { return c.id > v; });
        if (state && it != list.end() && it->id == id) {
            it->counts.byState[size_t(*state)] = int(s->integer(2));
        }
    }
    return list;
}

std::optional<CampaignSummary> CampaignStore::campaign(std::int64_t id) {
    std::optional<CampaignSummary> c;
    {
        StatementUse s(m_st->oneCampaign);
        s->bind(1, id);
        if (!s->step()) {
            return std::nullopt;
        }
        c = readCampaign(*s);
    }
    StatementUse s(m_st->counts);
    s->bind(1, id);
    while (s->step()) {
        if (const auto state = stateFromName(s->text(0))) {
            c->counts.byState[size_t(*state)] = int(s->integer(1));
        }
    }
    return c;
}

std::optional<CampaignSummary> CampaignStore::latestUnfinished() {
    std::int64_t id = 0;
    {
        StatementUse s(m_st->latestUnfinished);
        if (!s->step()) {
            return std::nullopt;
        }
        id = s->integer(0);
    }
    return campaign(id);
}

std::vector<RecipientRow> CampaignStore::recipients(std::int64_t campaign, int offset, int limit) {
    std::vector<RecipientRow> rows;
    StatementUse s(m_st->page);
    s->bind(1, campaign).bind(2, std::int64_t(offset)).bind(3, std::int64_t(limit));
    while (s->step()) {
        rows.push_back(readRecipient(*s));
    }
    return rows;
}

int CampaignStore::recipientCount(std::int64_t campaign) {
    return int(m_st->rowCount.bind(1, campaign).scalar());
}

std::optional<RecipientRow> CampaignStore::recipient(std::int64_t id) {
    StatementUse s(m_st->byId);
    s->bind(1, id);
    if (!s->step()) {
        return std::nullopt;
    }
    return readRecipient(*s);
}

DeliveryCounts CampaignStore::deliveryCounts(std::int64_t campaign) {
    DeliveryCounts counts;
    constexpr int kPage = 4096;
    for (int offset = 0;; offset += kPage) {
        const std::vector<RecipientRow> rows = recipients(campaign, offset, kPage);
        for (const RecipientRow& r : rows) {
            counts.delivered += r.delivery == DeliveryState::Delivered;
            counts.failed += r.delivery == DeliveryState::Failed;
            counts.pending += r.delivery == DeliveryState::Pending;
        }
        if (int(rows.size()) < kPage) {
            return counts;
        }
    }
}

void CampaignStore::exportCsv(std::int64_t campaign, const std::filesystem::path& file) {
    using platform::cp1254::toUtf8;
    std::string out =
        "\xEF\xBB\xBFnumara;zaman;sonu\xC3\xA7;referanslar;hata;teslim;teslim zaman\xC4\xB1\r\n";
    constexpr int kPage = 4096;
    for (int offset = 0;; offset += kPage) {
        const std::vector<RecipientRow> rows = recipients(campaign, offset, kPage);
        for (const RecipientRow& r : rows) {
            const bool served =
                r.state != RecipientState::Queued && r.state != RecipientState::Sending;
            sms::SendOutcome parts;
            parts.references = r.references;
            const std::string refs = parts.referencesText();
            out += asText(toUtf8(r.entry)) + ";" +
                   (served ? sms::isoLocalTime(r.changed) : std::string()) + ";" +
                   std::string(stateName(r.state)) + ";" + refs + ";" + asText(toUtf8(r.error)) +
                   ";" + std::string(deliveryStateName(r.delivery)) + ";" +
                   (r.deliveryTime != 0 ? sms::isoLocalTime(r.deliveryTime) : std::string()) +
                   "\r\n";
        }
        if (int(rows.size()) < kPage) {
            break;
        }
    }
    if (const int err = platform::replaceFileContents(file.string(), out); err != 0) {
        throw StoreError(file.string() + ": " + std::strerror(err));
    }
}

int CampaignStore::sentSince(const std::string& imei, const std::string& port, std::time_t since) {
    return int(m_st->sentSince.bind(1, imei).bind(2, port).bind(3, std::int64_t(since)).scalar());
}

}  // namespace store
