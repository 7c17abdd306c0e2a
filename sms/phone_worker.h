#pragma once
// A phone on a thread of its own: its port component, port link, phone dialogue and
// sender are made and used on that thread, which pumps a message queue of its own, so
// that nothing of this phone's exchange waits for another phone's.
//
// Everything public is called from the owning thread (the thread of the report queue
// given when the worker was made), but toOwner, which any thread may call. Outcomes and
// state changes come back through that queue, to run when its thread pumps it; the
// observer and a submission's `done` may end the worker.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "phone/phone_dialogue.h"
#include "platform/message_queue.h"
#include "sms/phone_slot.h"
#include "sms/sms_sender.h"

namespace sms {

// Which port the worker opens.
struct PhoneWorkerPort {
    int number = 0;          // COM number (Com6: 6); ignored when devicePath is given
    std::string name;        // as the user named it ("Com6"); shown after "Bağlı: "
    std::string devicePath;  // a device by its path (tests, --device); empty: the COM number
    std::string speed = "115200";
};

// A snapshot of the phone. Texts are Windows-1254, as the phone dialogue shows them.
struct PhoneWorkerState {
    bool connected = false;   // the port is open and the phone answered ATE1
    bool connecting = false;  // a connect asked for has not ended yet
    bool busy = false;        // a submission has not been reported yet
    std::string port;         // PhoneWorkerPort::name
    std::string imei;         // empty when the phone did not give one
    std::string maker;
    std::string model;
    std::string operatorName;
    int signal = 0;   // per cent, as the gauge shows it
    int battery = 0;  // per cent
    // The last failure the phone's status bar would show (no port, no answer, a refused
    // message, the line lost); cleared by a new connect and by a message that went out.
    std::string lastError;
    int sent = 0;  // messages sent since the worker was made

    bool operator==(const PhoneWorkerState&) const = default;
};

class PhoneWorker : public PhoneSlot {
public:
    using Observer = std::function<void(const PhoneWorkerState& state)>;
    using Job = std::function<void(phone::PhoneDialogue& dialogue)>;

    // Starts the thread; connects only when asked. `reportTo` must outlive the worker.
    PhoneWorker(PhoneWorkerPort port, platform::MessageQueue& reportTo, SendLimits limits = {});
    // Ends the thread within a bounded time, also with a command waiting: the port is
    // closed on its thread (a message in flight ends as a lost line) and its queue quits.
    // Outcomes not yet reported are dropped: their `done` never runs.
    ~PhoneWorker() override;
    PhoneWorker(const PhoneWorker&) = delete;
    PhoneWorker& operator=(const PhoneWorker&) = delete;

    // Connects as the connect button does (ATE1 handshake, the identity query with the
    // IMEI) and keeps the signal and battery polled. Returns at once; the observer hears
    // of the result. Nothing happens while a connect is under way or the phone is
    // connected.
    void connect();
    // Closes the port. Returns at once; a message in flight ends as a lost line.
    void disconnect();

    PhoneWorkerState state() const;
    // Called on the owning thread after the state has changed (several changes may come
    // as one call). Set it before connect().
    void setObserver(Observer observer);

    // Runs `job` on the phone's thread, after the jobs and submissions asked for before
    // it, with the line free of them (the receiving path: reading stored messages,
    // setting AT+CNMI). A job may wait on the dialogue; it must not wait for the owning
    // thread. Jobs still waiting when the worker ends are dropped.
    void post(Job job);
    // As post, for what stays with the phone (a receiver set as the dialogue's
    // unsolicited sink): `attach` runs on the phone's thread, and the function it returns
    // (may be empty) runs there too when the worker ends, after the port has closed and
    // before the dialogue goes, in the reverse order of the attachments.
    using Attachment = std::function<std::function<void()>(phone::PhoneDialogue& dialogue)>;
    void attach(Attachment attach);
    // As attach, for what follows every connection of the phone (its receiver): what
    // `attach` returns is kept on the phone's thread. `connected` runs there after each
    // connect, once the identity query is done (at once when the phone is connected
    // already), `tick` on each refresh tick after the signal or battery, and `end` as
    // attach's function does. `queue` is the dialogue's message queue.
    struct LineHooks {
        std::function<void()> connected;
        std::function<void()> tick;
        std::function<void()> end;
    };
    using LineAttachment =
        std::function<LineHooks(phone::PhoneDialogue& dialogue, platform::MessageQueue& queue)>;
    void attachLine(LineAttachment attach);
    // Runs `call` on the owning thread (from any thread; a job hands its results back
    // with it). Calls still waiting when the worker ends are dropped.
    void toOwner(std::function<void()> call);
    // From the phone's thread (a job, an attachment's work): runs `call` on the owning
    // thread and waits until it has run there, for what must be done by the owner before
    // the phone goes on (a received message committed before the phone deletes it). True
    // once it ran; false when it never will: the worker is ending, or the owning thread
    // did not take it up within `limitMs`. A call the owning thread has begun is waited
    // for to its end; `call` must not end the worker. Called on any other thread, it runs
    // `call` there at once.
    bool callOwner(std::function<void()> call, int limitMs);

    // The slot a campaign's run hands recipients to. `done` runs on the owning thread;
    // the worker is available again when it runs. Not available: `done` still comes,
    // with the reason.
    PhoneIdentity identity() const override;
    bool available() const override;
    void submit(const std::string& number, const std::u16string& text, const EncodeOptions& options,
                Done done) override;

private:
    struct Line;  // what lives on the phone's thread
    using LineJob = std::function<void(Line& line)>;
    struct Submission {
        std::string number;
        std::u16string text;
        EncodeOptions options;
        Done done;
    };
    struct Report {
        Done done;
        SendOutcome outcome;
    };
    // Messages to the phone's thread.
    enum : uint32_t { kRunJobs = 1, kClose = 2 };
    // Messages to the owning thread.
    enum : uint32_t { kOutcome = 1, kStateChanged = 2, kOwnerCall = 3 };

    void run();
    // On the phone's thread: runs the waiting jobs, one after the other; a call inside a
    // job's wait leaves them to the job's caller.
    void runJobs(Line& line);
    void closePort(Line& line);
    void connectOnLine(Line& line);
    void submitOnLine(Line& line, const Submission& submission);
    // Queues work for the phone's thread; false when it has ended.
    bool enqueue(LineJob job);
    bool toLine(uint32_t message);
    // The owning thread's side.
    intptr_t onReport(const platform::Message& message);
    // Changes the snapshot under the lock and tells the observer, once per round.
    void change(const std::function<void(PhoneWorkerState&)>& edit);

    const PhoneWorkerPort m_port;
    const SendLimits m_limits;
    platform::MessageQueue& m_reportTo;
    platform::HandlerId m_reportHandler = platform::kNoHandler;
    int m_heldNumber = 0;  // the number naming devicePath, released with the worker

    mutable std::mutex m_mutex;
    std::condition_variable m_started;   // m_lineQueue set, on m_mutex
    std::condition_variable m_ownerRan;  // on m_mutex: a callOwner call ran, or m_stopping
    PhoneWorkerState m_state;            // m_mutex
    platform::MessageQueue* m_lineQueue = nullptr;  // m_mutex; null before and after the thread
    platform::HandlerId m_lineHandler = platform::kNoHandler;  // m_mutex
    bool m_threadUp = false;                                   // m_mutex
    bool m_stopping = false;                                   // m_mutex
    bool m_connectWanted = false;                    // m_mutex: connect() came after disconnect()
    std::deque<LineJob> m_jobs;                      // m_mutex
    std::deque<Report> m_reports;                    // m_mutex: outcomes not yet given to `done`
    int m_inFlight = 0;                              // m_mutex: submissions not yet reported
    std::deque<std::function<void()>> m_ownerCalls;  // m_mutex
    bool m_statePosted = false;                      // m_mutex: a kStateChanged is on its way
    Observer m_observer;                             // owning thread only
    std::thread m_thread;
};

}  // namespace sms
