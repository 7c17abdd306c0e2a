#pragma once
// Campaigns: a bulk run kept in the database with its text, its options and a snapshot
// of the list, one row per recipient that goes through the states below. Everything the
// window shows of past runs is read from here.
//
// Texts: the message text is UTF-16 (as the editor holds it); entries and error texts
// are Windows-1254 (as the list and the phone dialogue hold them). The database itself
// keeps every text as UTF-8.

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Database;

enum class RecipientState {
    Queued,   // "sırada"
    Sending,  // "gönderiliyor": committed before AT+CMGS is written
    Sent,     // "gönderildi": every part answered +CMGS: n
    Failed,   // "başarısız": the phone said no, or the text cannot be encoded
    Unknown,  // "belirsiz": the PDU went out and no final answer came
    Skipped,  // "atlandı": the run must not serve this number
};
inline constexpr int kStateCount = 6;

// The state's name as stored and shown, UTF-8: "sırada" ...
std::string_view stateName(RecipientState state);
std::optional<RecipientState> stateFromName(std::string_view utf8);

// What the delivery reports say of a recipient's message.
enum class DeliveryState {
    None,       // no reports asked for, or nothing went out that a report could follow
    Pending,    // "bekliyor": sent with reports asked, not every part reported delivered
    Delivered,  // "teslim edildi": every part reported delivered
    Failed,     // "teslim edilemedi": a part was reported finally undeliverable
};
// As stored and shown, UTF-8; empty for None.
std::string_view deliveryStateName(DeliveryState state);

// A campaign's recipients by delivery state.
struct DeliveryCounts {
    int delivered = 0;
    int failed = 0;
    int pending = 0;
    // "1.870 teslim edildi, 42 teslim edilemedi, 88 bekliyor", UTF-8.
    std::string text() const;
};

struct CampaignOptions {
    bool turkishTables = false;     // "Türkçe karakterleri 7 bit gönder"
    int pauseSeconds = 30;          // between messages
    bool reportsRequested = false;  // delivery reports asked for (TP-SRR)
};

struct NewCampaign {
    std::u16string text;
    CampaignOptions options;
    std::vector<std::string> entries;  // the list as it stands, Windows-1254
    std::int64_t resendOf = 0;         // the campaign this one sends again; 0 for none
};

struct StateCounts {
    std::array<int, kStateCount> byState{};  // indexed by RecipientState
    int of(RecipientState s) const { return byState[size_t(s)]; }
    int total() const;
};

struct CampaignSummary {
    std::int64_t id = 0;  // "Gönderim N"
    std::time_t started = 0;
    std::u16string text;
    CampaignOptions options;
    std::int64_t resendOf = 0;
    StateCounts counts;
    // No row waits or is on its way ("bitti"); otherwise "yarım".
    bool finished() const;
};

struct RecipientRow {
    std::int64_t id = 0;
    int position = 0;        // in the list, from 0
    std::string entry;       // Windows-1254, as listed
    std::string normalised;  // normaliseForMatching(entry)
    RecipientState state = RecipientState::Queued;
    std::time_t changed = 0;      // last change of state
    std::vector<int> references;  // per part, in order; -1 where the phone gave none
    std::string error;            // Windows-1254; empty unless failed, unknown or skipped
    std::string phoneImei;        // which phone served it; empty when not known
    std::string phonePort;
    DeliveryState delivery = DeliveryState::None;
    // When it reached that state by the centre's clock (the latest report's discharge
    // time; for Failed, the failed part's); 0 before any report.
    std::time_t deliveryTime = 0;
    std::string deliveryMeaning;  // Windows-1254; what the failure (or latest wait) was
};

// Reads and writes campaigns over one Database. Statements are prepared once per object.
// Every method throws StoreError when the database fails.
class CampaignStore {
public:
    explicit CampaignStore(Database& db);
    ~CampaignStore();
    CampaignStore(const CampaignStore&) = delete;
    CampaignStore& operator=(const CampaignStore&) = delete;

    // In one transaction: the campaign and a "sırada" row per entry. Returns its number.
    std::int64_t create(const NewCampaign& campaign);
    // A new campaign with the same text and options over the "başarısız" rows of
    // `campaign` (and the "belirsiz" ones when `includeUnknown`), in list order, naming
    // it as resendOf. 0 when there is nothing to send again.
    std::int64_t createResend(std::int64_t campaign, bool includeUnknown);

    // Newest first.
    std::vector<CampaignSummary> campaigns();
    std::optional<CampaignSummary> campaign(std::int64_t id);
    // The newest campaign with rows still "sırada"; nullopt when none.
    std::optional<CampaignSummary> latestUnfinished();

    // A campaign's rows in list order, from `offset`, at most `limit` of them (a page of a
    // table view), and how many rows it has.
    std::vector<RecipientRow> recipients(std::int64_t campaign, int offset, int limit);
    int recipientCount(std::int64_t campaign);
    // One row by its id; nullopt when there is none.
    std::optional<RecipientRow> recipient(std::int64_t id);
    // The campaign's recipients counted by delivery state.
    DeliveryCounts deliveryCounts(std::int64_t campaign);
    // The messages a phone sent (or may have: "belirsiz") since `since`, over every
    // campaign: what its daily limit counts. By IMEI; a phone that gave none (`imei`
    // empty) is known by its port.
    int sentSince(const std::string& imei, const std::string& port, std::time_t since);

    // "CSV olarak kaydet": the campaign's results in the format of the per-run file of
    // gonderimler/ (UTF-8 with a byte-order mark, ';'-separated), the numbers written so
    // that spreadsheet programs keep them as text. Replaces `file` whole.
    void exportCsv(std::int64_t campaign, const std::filesystem::path& file);

private:
    struct Statements;
    Database& m_db;
    std::unique_ptr<Statements> m_st;
};

}  // namespace store
