#include "phone/message_receiver.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

#include "phone/at_fields.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_texts.h"
#include "platform/hex_digit.h"

namespace phone {
namespace {

constexpr std::string_view kOk = "\r\nOK\r\n";
// AT+CMGL over a full storage is long: hundreds of PDUs at the line's speed.
constexpr int kListLimitFactor = 15;

// stat of AT+CMGL/AT+CMGR: what was received (0 unread, 1 read); 2 and 3 are our own.
constexpr int kReceivedRead = 1;

int octetAt(std::string_view hex, size_t octet) {
    if (hex.size() < 2 * octet + 2) {
        return -1;
    }
    const int hi = platform::hexValue(hex[2 * octet]);
    const int lo = platform::hexValue(hex[2 * octet + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// TP-MTI of a PDU that starts with its service-centre field (3GPP TS 23.040 9.2.3.1):
// 0 SMS-DELIVER, 1 SMS-SUBMIT, 2 SMS-STATUS-REPORT; -1 when it does not read.
int messageType(std::string_view pduHex) {
    const int scaLength = octetAt(pduHex, 0);
    if (scaLength < 0) {
        return -1;
    }
    const int first = octetAt(pduHex, size_t(scaLength) + 1);
    return first < 0 ? -1 : first & 0x03;
}

// The line that begins with `keyword` in `reply`, without it; none when there is none.
std::optional<std::string_view> lineOf(std::string_view reply, std::string_view keyword) {
    size_t at = 0;
    while ((at = reply.find(keyword, at)) != std::string_view::npos) {
        if (at == 0 || reply[at - 1] == '\n') {
            const size_t end = reply.find('\n', at);
            return trimmed(reply.substr(at + keyword.size(), end == std::string_view::npos
                                                                 ? end
                                                                 : end - at - keyword.size()));
        }
        at += keyword.size();
    }
    return std::nullopt;
}

// The values of one field of a test command's answer: "(0-2)", "(0,2)", "(0,1,3-5)", "1".
using Values = std::vector<int>;
Values valuesOf(std::string_view field) {
    field = trimmed(field);
    if (field.size() >= 2 && field.front() == '(' && field.back() == ')') {
        field = field.substr(1, field.size() - 2);
    }
    Values out;
    while (!field.empty()) {
        const size_t comma = field.find(',');
        const std::string_view item = field.substr(0, comma);
        const size_t dash = item.find('-');
        const int from = wholeNumber(item.substr(0, dash));
        const int to = dash == std::string_view::npos ? from : wholeNumber(item.substr(dash + 1));
        for (int v = from; from >= 0 && v <= to && v <= 9; ++v) {
            out.push_back(v);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        field.remove_prefix(comma + 1);
    }
    return out;
}

// The five fields of "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", split at commas outside
// parentheses; empty ones where the phone gave fewer.
std::array<Values, 5> cnmiRanges(std::string_view line) {
    std::array<Values, 5> out;
    size_t field = 0;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= line.size() && field < out.size(); ++i) {
        if (i < line.size() && line[i] == '(') {
            ++depth;
        } else if (i < line.size() && line[i] == ')') {
            --depth;
        } else if (i == line.size() || (line[i] == ',' && depth == 0)) {
            out[field++] = valuesOf(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

bool offers(const Values& values, int v) {
    return values.empty() || std::find(values.begin(), values.end(), v) != values.end();
}

// The first of `preferred` the phone offers; the first it offers when none is.
int firstOffered(const Values& values, std::initializer_list<int> preferred) {
    for (int v : preferred) {
        if (offers(values, v)) {
            return v;
        }
    }
    return values.empty() ? *preferred.begin() : values.front();
}

// The first quoted name of "+CPMS: "SM",3,30,...": the storage read and deleted from.
std::string firstStorage(std::string_view fields) {
    const size_t open = fields.find('"');
    const size_t close = open == std::string_view::npos ? open : fields.find('"', open + 1);
    if (close == std::string_view::npos) {
        return {};
    }
    return std::string(fields.substr(open + 1, close - open - 1));
}

bool answeredOk(const CommandTurn& turn, const std::string& reply) {
    return turn.lastOutcome() == CommandOutcome::Completed && reply.find(kOk) != std::string::npos;
}

// Quiets the dialogue's failure text for as long as it lives.
class QuietFailures {
public:
    explicit QuietFailures(PhoneDialogue& dialogue) : m_dialogue(dialogue) {
        m_dialogue.setFailuresQuiet(true);
    }
    ~QuietFailures() { m_dialogue.setFailuresQuiet(false); }
    QuietFailures(const QuietFailures&) = delete;
    QuietFailures& operator=(const QuietFailures&) = delete;

private:
    PhoneDialogue& m_dialogue;
};

}  // namespace

MessageReceiver::MessageReceiver(PhoneDialogue& dialogue, platform::MessageQueue& queue,
                                 ReceivedKeeper& keeper)
    : m_dialogue(dialogue),
      m_queue(queue),
      m_keeper(keeper),
      m_self(std::make_shared<MessageReceiver*>(this)) {
    m_handler = m_queue.addHandler([this](const platform::Message&) {
        m_stepPosted = false;
        runStep();
        return intptr_t(0);
    });
    m_dialogue.setUnsolicitedSink(this);
}

MessageReceiver::~MessageReceiver() {
    m_dialogue.setUnsolicitedSink(nullptr);
    m_queue.removeHandler(m_handler);
}

bool MessageReceiver::idle() const {
    return m_routed.empty() && m_stored.empty() && !m_lineAsked && m_acksWaiting == 0;
}

void MessageReceiver::connected() {
    m_connection = m_dialogue.connection();
    m_reportRoute = m_messageRoute = ReceiveRoute::Unknown;
    m_service = 0;
    m_storage.clear();
    m_cnmi.clear();
    m_listAgain = false;
    // Work handed to the line on the last connection may have been dropped with it.
    m_lineAsked = false;
    m_acksWaiting = 0;
    // Locations named on an earlier connection may belong to another phone: what is
    // still in this one is listed now.
    std::erase_if(m_stored, [&](const Stored& s) { return s.connection != m_connection; });
    m_queued.clear();
    for (const Stored& s : m_stored) {
        m_queued.emplace(s.mem, s.index);
    }
    if (!m_dialogue.connected()) {
        return;
    }
    setUp();
    scheduleStep();
}

void MessageReceiver::setUp() {
    CommandTurn turn = m_dialogue.beginTurn(CommandOrigin::User);
    if (!turn) {
        return;
    }
    // A phone without one of these commands answers ERROR: that is an answer here,
    // not a failure to show.
    const QuietFailures quiet(m_dialogue);
    std::string reply = turn.send("AT+CSMS?\r", std::string(kOk));
    if (answeredOk(turn, reply)) {
        if (const auto fields = lineOf(reply, "+CSMS:")) {
            m_service = std::max(wholeNumber(fields->substr(0, fields->find(','))), 0);
        }
    }
    reply = turn.send("AT+CPMS?\r", std::string(kOk));
    if (answeredOk(turn, reply)) {
        if (const auto fields = lineOf(reply, "+CPMS:")) {
            m_storage = firstStorage(*fields);
        }
    }
    std::array<Values, 5> ranges;
    reply = turn.send("AT+CNMI=?\r", std::string(kOk));
    if (answeredOk(turn, reply)) {
        if (const auto fields = lineOf(reply, "+CNMI:")) {
            ranges = cnmiRanges(*fields);
        }
    }
    // Buffered while the line is reserved and flushed after it (2), else forwarded at
    // once (3); discarded while reserved (1) only as the last resort.
    const int mode = firstOffered(ranges[0], {2, 3, 1});
    const int bm = firstOffered(ranges[2], {0});
    const int bfr = firstOffered(ranges[4], {0});
    // Routed first, then stored with a notice; messages and reports each.
    static constexpr std::pair<int, int> kChoices[] = {{2, 1}, {2, 2}, {1, 1}, {1, 2},
                                                       {2, 0}, {1, 0}, {0, 1}, {0, 2}};
    int mt = 0;
    int ds = 0;
    for (const auto& [m, d] : kChoices) {
        if (mode == 0 || !offers(ranges[1], m) || !offers(ranges[3], d) ||
            !m_dialogue.connected()) {
            continue;  // mode 0 keeps every indication in the phone: nothing would come
        }
        const std::string values = std::to_string(mode) + "," + std::to_string(m) + "," +
                                   std::to_string(bm) + "," + std::to_string(d) + "," +
                                   std::to_string(bfr);
        reply = turn.send("AT+CNMI=" + values + "\r", std::string(kOk));
        if (answeredOk(turn, reply)) {
            m_cnmi = values;
            mt = m;
            ds = d;
            break;
        }
        if (turn.lastOutcome() != CommandOutcome::Failed) {
            break;  // no answer at all: probing on only runs into the limit again
        }
    }
    const auto routeOf = [](int value, int routed, int notified) {
        return value == routed     ? ReceiveRoute::Routed
               : value == notified ? ReceiveRoute::Stored
                                   : ReceiveRoute::Polled;
    };
    m_reportRoute = routeOf(ds, 1, 2);
    m_messageRoute = routeOf(mt, 2, 1);

    turn.send("AT+CMGF=0\r", std::string(kOk));
    if (!listStored(turn)) {
        // Without AT+CMGL what the phone stores never reaches us.
        if (m_reportRoute == ReceiveRoute::Polled) {
            m_reportRoute = ReceiveRoute::None;
        }
        if (m_messageRoute == ReceiveRoute::Polled) {
            m_messageRoute = ReceiveRoute::None;
        }
    }
    if (m_reportRoute == ReceiveRoute::None && m_dialogue.connected()) {
        m_dialogue.showFailure(std::string(texts::kReportsUnreachable));
    }
}

bool MessageReceiver::listStored(CommandTurn& turn) {
    const std::string reply =
        turn.send("AT+CMGL=4\r", std::string(kOk), m_dialogue.replyLimitMs() * kListLimitFactor);
    if (!answeredOk(turn, reply)) {
        return false;
    }
    for (StoredPdu& item : parseMessageList(reply)) {
        if (item.stat > kReceivedRead) {
            continue;  // a message of our own, stored or sent: not ours to take
        }
        const int type = messageType(item.pduHex);
        if (type == 1) {
            continue;  // an SMS-SUBMIT marked received: leave it alone
        }
        Stored s;
        s.kind = type == 2 ? Kind::Report : Kind::Message;
        s.mem = m_storage;
        s.index = item.index;
        s.listed = std::move(item);
        s.connection = m_dialogue.connection();
        queueStored(std::move(s));
    }
    return true;
}

void MessageReceiver::queueStored(Stored item) {
    if (!m_queued.emplace(item.mem, item.index).second) {
        return;  // queued already (a notice for a listed one, or listed twice)
    }
    m_stored.push_back(std::move(item));
    scheduleStep();
}

void MessageReceiver::poll() {
    if (!m_dialogue.connected() || m_connection != m_dialogue.connection()) {
        return;
    }
    if (!m_unkept.empty()) {
        for (Routed& r : m_unkept) {
            r.retried = true;
        }
        m_routed.insert(m_routed.end(), std::make_move_iterator(m_unkept.begin()),
                        std::make_move_iterator(m_unkept.end()));
        m_unkept.clear();
        scheduleStep();
    }
    const bool polled =
        m_reportRoute == ReceiveRoute::Polled || m_messageRoute == ReceiveRoute::Polled;
    if ((!polled && !m_listAgain) || !idle()) {
        return;  // what was listed last is still being done
    }
    CommandTurn turn = m_dialogue.beginTurn(CommandOrigin::Poll);
    if (!turn) {
        return;
    }
    if (listStored(turn)) {
        m_listAgain = false;
    }
}

void MessageReceiver::messageRouted(const std::string& pduHex, int tpduLength) {
    m_routed.push_back({Kind::Message, pduHex, tpduLength, m_dialogue.connection(), false});
    scheduleStep();
}

void MessageReceiver::reportRouted(const std::string& pduHex, int tpduLength) {
    m_routed.push_back({Kind::Report, pduHex, tpduLength, m_dialogue.connection(), false});
    scheduleStep();
}

void MessageReceiver::messageStored(const std::string& mem, int index) {
    Stored s;
    s.kind = Kind::Message;
    s.mem = mem;
    s.index = index;
    s.connection = m_dialogue.connection();
    queueStored(std::move(s));
}

void MessageReceiver::reportStored(const std::string& mem, int index) {
    Stored s;
    s.kind = Kind::Report;
    s.mem = mem;
    s.index = index;
    s.connection = m_dialogue.connection();
    queueStored(std::move(s));
}

void MessageReceiver::scheduleStep() {
    if (m_stepPosted) {
        return;
    }
    if (m_routed.empty() && (m_stored.empty() || m_lineAsked)) {
        return;
    }
    m_stepPosted = m_queue.post(m_handler, platform::Message{});
}

void MessageReceiver::runStep() {
    // One item per step, so the window's own messages go between them.
    if (!m_routed.empty()) {
        Routed item = std::move(m_routed.front());
        m_routed.pop_front();
        keepRouted(std::move(item));
        scheduleStep();
        return;
    }
    if (m_stored.empty() || m_lineAsked) {
        return;
    }
    m_lineAsked = true;
    std::weak_ptr<MessageReceiver*> self = m_self;
    m_dialogue.runWhenLineFree([self] {
        const std::shared_ptr<MessageReceiver*> alive = self.lock();
        if (!alive) {
            return;
        }
        MessageReceiver& r = **alive;
        if (!r.m_stored.empty()) {
            const Stored item = std::move(r.m_stored.front());
            r.m_stored.pop_front();
            // Off the list before its delete: the location it frees may take the next
            // report at once, and the notice of that one is a new item.
            r.m_queued.erase({item.mem, item.index});
            r.doStored(item);
        }
        r.m_lineAsked = false;
        r.scheduleStep();
    });
}

void MessageReceiver::keepRouted(Routed item) {
    // The keeping needs no line: done at once, so that a "RET" is on the list even
    // before the submission whose wait it came in has ended.
    if (!keep(item.kind, item.pduHex, item.tpduLength)) {
        // Not acknowledged: in service 1 the network sends it again; in service 0 the
        // phone has not kept it either, so the poll tries again.
        m_unkept.push_back(std::move(item));
        return;
    }
    if (m_service == 1 && !item.retried && item.connection == m_dialogue.connection()) {
        acknowledge(item.connection);
    }
}

void MessageReceiver::acknowledge(uint64_t connection) {
    ++m_acksWaiting;
    std::weak_ptr<MessageReceiver*> self = m_self;
    m_dialogue.runWhenLineFree([self, connection] {
        const std::shared_ptr<MessageReceiver*> alive = self.lock();
        if (!alive) {
            return;
        }
        MessageReceiver& r = **alive;
        --r.m_acksWaiting;
        if (connection != r.m_dialogue.connection()) {
            return;  // that line is gone, and its phone with it
        }
        CommandTurn turn = r.m_dialogue.beginTurn(CommandOrigin::User);
        if (!turn) {
            return;
        }
        // Late (the phone gave up waiting and stored it): ERROR, and nothing to show.
        const QuietFailures quiet(r.m_dialogue);
        turn.send("AT+CNMA\r", std::string(kOk));
    });
}

void MessageReceiver::doStored(const Stored& item) {
    if (item.connection != m_dialogue.connection()) {
        return;  // listed again on the connection it now belongs to
    }
    CommandTurn turn = m_dialogue.beginTurn(CommandOrigin::User);
    if (!turn) {
        m_listAgain = true;
        return;
    }
    // A notice may name another storage than the one in use: switch for it, and back.
    const bool otherStorage = !item.mem.empty() && !m_storage.empty() && item.mem != m_storage;
    if (otherStorage) {
        const QuietFailures quiet(m_dialogue);
        const std::string reply = turn.send("AT+CPMS=\"" + item.mem + "\"\r", std::string(kOk));
        if (!answeredOk(turn, reply)) {
            return;  // a storage we cannot reach: nothing read, nothing deleted
        }
    }
    const auto restore = [&] {
        if (otherStorage) {
            const QuietFailures quiet(m_dialogue);
            turn.send("AT+CPMS=\"" + m_storage + "\"\r", std::string(kOk));
        }
    };
    StoredPdu pdu = item.listed;
    Kind kind = item.kind;
    if (pdu.pduHex.empty()) {
        const std::string reply =
            turn.send("AT+CMGR=" + std::to_string(item.index) + "\r", std::string(kOk));
        std::optional<StoredPdu> read;
        if (answeredOk(turn, reply)) {
            read = parseMessageRead(reply);
        }
        if (turn.lastOutcome() == CommandOutcome::TimedOut) {
            m_listAgain = true;  // no answer: what it holds is listed on the next poll
        }
        if (!read || read->stat > kReceivedRead || messageType(read->pduHex) == 1) {
            restore();
            return;  // gone already, or not a received one
        }
        pdu = std::move(*read);
        kind = messageType(pdu.pduHex) == 2 ? Kind::Report : Kind::Message;
    }
    if (!keep(kind, pdu.pduHex, pdu.length)) {
        m_listAgain = true;  // stays in the phone: read again on the next poll
        restore();
        return;
    }
    turn.send("AT+CMGD=" + std::to_string(item.index) + "\r", std::string(kOk));
    if (turn.lastOutcome() == CommandOutcome::TimedOut) {
        m_listAgain = true;  // perhaps not deleted: kept already, so listed again is harmless
    }
    restore();
}

bool MessageReceiver::keep(Kind kind, const std::string& pduHex, int tpduLength) {
    std::string error;
    bool kept = false;
    try {
        kept = kind == Kind::Report ? m_keeper.keepReport(pduHex, tpduLength, error)
                                    : m_keeper.keepMessage(pduHex, tpduLength, error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!kept) {
        ++m_keepFailures;
        m_lastKeepError = error;
        if (onKeepFailed) {
            onKeepFailed(error);
        }
    }
    return kept;
}

}  // namespace phone
