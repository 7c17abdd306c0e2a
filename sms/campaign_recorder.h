#pragma once
// What a bulk run records through: it asks for the next recipient still waiting and
// records every change of that recipient's state before it acts on it. The program's
// database implements this (store/); sms/ itself keeps no database, and an in-memory
// recorder serves a run that is not kept (the tests, a plain list).

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "sms/sms_sender.h"

namespace sms {

struct QueuedRecipient {
    std::int64_t id = 0;  // the recorder's own key for the row
    int position = 0;     // in the campaign's list, from 0
    std::string number;   // Windows-1254, as listed
};

// Each call returns only after its change is recorded (it survives the program being
// killed). markSending's change also survives a power cut when it returns; an outcome
// may wait for that until the next markSending or settle(), so the one disk flush before
// a submission serves both. A false return (or an error text from nextQueued) means the
// change could not be recorded: the run must not send.
class CampaignRecorder {
public:
    virtual ~CampaignRecorder() = default;

    // The first recipient still waiting, in list order; nullopt when none is left, or on
    // a failure, in which case `error` (Windows-1254) says why.
    virtual std::optional<QueuedRecipient> nextQueued(std::string& error) = 0;
    // How many recipients still wait; -1 on a failure.
    virtual int queuedCount(std::string& error) = 0;
    // Every recipient still waiting, in list order (shown as not served when a run ends
    // early); empty with `error` set on a failure.
    virtual std::vector<QueuedRecipient> queued(std::string& error) = 0;
    // The message is about to be written to the phone.
    virtual bool markSending(const QueuedRecipient& r, std::string& error) = 0;
    // The phone's answer (Sent, Failed or Unknown); NotSent puts the row back in the queue.
    virtual bool markFinished(const QueuedRecipient& r, const SendOutcome& outcome,
                              std::string& error) = 0;
    // The run must not serve this number; `reason` is Windows-1254.
    virtual bool markSkipped(const QueuedRecipient& r, const std::string& reason,
                             std::string& error) = 0;
    // Makes everything recorded so far survive a power cut: before a pause, at the end.
    virtual bool settle(std::string& error) {
        (void)error;
        return true;
    }
    // The phone the changes recorded from now on name (its IMEI and port), when a run
    // keeps that.
    virtual void setPhone(const std::string& imei, const std::string& port) {
        (void)imei;
        (void)port;
    }
    // How many messages the phone (by its IMEI; by its port when it gave none) sent since
    // `since`, in any campaign: what a daily limit counts. -1 on a failure.
    virtual int sentSince(const std::string& imei, const std::string& port, std::time_t since,
                          std::string& error) {
        (void)imei;
        (void)port;
        (void)since;
        (void)error;
        return 0;  // nothing kept beyond this run
    }
};

// A recorder over a plain list, kept in memory only: the run of a list with no database.
class MemoryRecorder : public CampaignRecorder {
public:
    explicit MemoryRecorder(std::vector<std::string> numbers);

    std::optional<QueuedRecipient> nextQueued(std::string& error) override;
    int queuedCount(std::string& error) override;
    std::vector<QueuedRecipient> queued(std::string& error) override;
    bool markSending(const QueuedRecipient& r, std::string& error) override;
    bool markFinished(const QueuedRecipient& r, const SendOutcome& outcome,
                      std::string& error) override;
    bool markSkipped(const QueuedRecipient& r, const std::string& reason,
                     std::string& error) override;

private:
    std::vector<std::string> m_numbers;
    // Per row: still waiting. Rows on their way are not, so that several phones are never
    // handed the same one.
    std::vector<bool> m_waiting;
    size_t m_first = 0;  // no row before it waits
};

}  // namespace sms
