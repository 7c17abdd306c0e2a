#pragma once
// Reception for the subcommands that stay connected (listen, bulk, resume, send): the
// phone's reports and messages kept in the database as they come, one line printed for
// each report and each whole message:
//
//   rapor<TAB>NUMBER<TAB>ref N<TAB>STATE   STATE the recipient's delivery state after it
//                                         ("teslim edildi", "teslim edilemedi",
//                                         "bekliyor"), "eşleşmedi" for a report that
//                                         matched no part of ours (yet), "okunamadı" for
//                                         one that could not be read
//   mesaj<TAB>SENDER<TAB>TIME<TAB>TEXT     line breaks in TEXT as \n
//
// A report or a message taken in before (read again from the phone) is not printed again.

#include <functional>
#include <memory>
#include <string>

#include "phone/message_receiver.h"
#include "store/received_store.h"
#include "tools/cli/phone_session.h"

namespace cli {

class Reception {
public:
    Reception(PhoneSession& session, store::Database& db);
    ~Reception();
    Reception(const Reception&) = delete;
    Reception& operator=(const Reception&) = delete;

    // Once connected: the phone's IMEI for the pairing, then the receiver's setup and
    // what the phone holds already.
    void start();
    // Stays connected, receiving, for `seconds` (negative: until SIGINT or SIGTERM, which
    // end it as well), then lets what was handed over be kept and deleted. False when
    // the phone went away.
    bool stay(int seconds);
    // Lets the work still waiting (keeping, acknowledging, deleting) run, at most
    // `limitMs`.
    void finish(int limitMs = 10000);

    phone::MessageReceiver& receiver() { return m_receiver; }
    store::ReceivedStore& keeper() { return m_keeper; }

private:
    PhoneSession& m_session;
    store::ReceivedStore m_keeper;
    phone::MessageReceiver m_receiver;
    platform::TimerId m_poll = platform::kNoTimer;
};

// Prints the lines above for what `keeper` commits, from now on.
void printWhatIsKept(store::ReceivedStore& keeper);
// A PDU that could not be kept: its reason (Windows-1254) on stderr.
void printKeepFailure(const std::string& reason);
// Calls `wait(ms)` for `seconds` (negative: until SIGINT or SIGTERM, which end it as
// well) while `connected()`; whether it still is.
bool stayReceiving(int seconds, const std::function<void(int ms)>& wait,
                   const std::function<bool()>& connected);

// One text on one line: line breaks as \n, a TAB as a blank (UTF-8 in and out).
std::string oneLine(const std::string& utf8);

}  // namespace cli
