#pragma once
// A phone or GSM modem on a pseudo-terminal, for tests and the demonstration mode.
//
//   phonesim::Config config;                 // identity, phonebooks, faults (config.h)
//   phonesim::Simulator sim(config);
//   std::string error;
//   if (!sim.start(&error)) { ... }          // opens the pty, answers on its own thread
//   open(sim.slavePath().c_str(), ...);      // the line, e.g. "/dev/pts/7"
//   sim.ring(); sim.setSignal(10);           // events at run time
//   sim.messages();                          // what it accepted
//   sim.receiveSms({"+905321234567", "RET"}); // a message arrives (config.messaging says how)
//   sim.smsEvents(); sim.storedMessages();   // what became of reports and messages
//   sim.stop();                              // also done by the destructor
//
// The far end stays usable across any number of opens and closes by the program under
// test until stop() or hangUp(). hangUp() closes the pty as an unplugged USB phone does:
// the far end then reads end-of-file or EIO, and its path disappears.
// After start(), every member may be called from any thread. The observers of Config
// (onCommand, onMessage, onRefusal, onSmsEvent) run on the simulator's own thread, after the record
// has grown; they may call the accessors. A phone-sim process does the same from the
// command line (phone-sim --help).

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/phone-sim/config.h"
#include "tools/phone-sim/modem.h"

namespace phonesim {

class Simulator {
public:
    explicit Simulator(Config config = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pseudo-terminal and starts answering. False, with the reason in *error,
    // when no pseudo-terminal can be had. Call once.
    bool start(std::string* error = nullptr);
    // Stops answering and closes the pseudo-terminal. Safe to call more than once.
    void stop();
    // The path the program under test opens ("/dev/pts/N"); empty before start().
    std::string slavePath() const;

    // The record.
    std::vector<std::string> commands()
        const;  // every line received, CR removed; a PDU ends in Ctrl-Z
    std::vector<AcceptedMessage> messages() const;
    std::vector<std::string> refusals() const;  // why a message or AT+CMGS was refused
    // Waits until at least `count` commands have come; false after `timeoutMs`.
    bool waitForCommands(std::size_t count, int timeoutMs) const;
    // What became of each report and incoming message (message_settings.h).
    std::vector<SmsEvent> smsEvents() const;
    bool waitForSmsEvents(std::size_t count, int timeoutMs) const;
    std::vector<StoredMessage> storedMessages() const;  // what the storage "SM" holds now

    // Events.
    void ring();  // the configured caller number
    void ring(const std::string& number, int type);
    void hangUp();
    bool hungUp() const;
    void setSignal(int rssi, int ber = 99);
    void setBattery(int charge, int state = 0);
    void setFaults(const Faults& faults);
    // A message from `message.sender` arrives now; false when no PDU can carry it.
    bool receiveSms(const IncomingText& message);

private:
    struct Pending;
    void run();
    void post(Response response);  // from any thread, m_mutex held
    void wake();
    // The sizes of the record, to tell the observers what is new since.
    struct Counts {
        std::size_t commands, messages, refusals, smsEvents;
    };
    Counts counts() const;  // m_mutex held
    void notify(const Counts& before);
    void closeLine();
    void waitUntilRead();

    Config m_config;  // observers and caller number only; not changed after construction
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;  // the record grew or the line closed
    Modem m_modem;                              // guarded by m_mutex
    std::vector<Response> m_posted;             // guarded by m_mutex: answers made off the thread
    bool m_stopping = false;                    // guarded by m_mutex
    bool m_hangUpRequested = false;             // guarded by m_mutex
    bool m_hungUp = false;                      // guarded by m_mutex
    std::string m_slavePath;                    // guarded by m_mutex
    int m_master = -1;                          // the thread's; set before it starts
    int m_slaveHold = -1;                       // keeps the pty alive while nobody has it open
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::thread m_thread;
};

}  // namespace phonesim
