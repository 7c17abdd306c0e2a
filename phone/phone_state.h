#pragma once
// The phone state: what the program knows about the dialogue with the phone. It lives
// beside the main window for the whole run, starts empty, false or zero, and is never
// saved. Used on the user-interface thread only.

#include <string>

namespace phone {

struct PhoneState {
    // Every character received since the last command was written (1254 bytes).
    std::string ReceiveBuffer;
    // Completion text of the most recent command; stays set after the command ended.
    std::string ExpectedReply;
    // The current command has completed: completion text, error line or ring.
    bool ReplyDone = false;
    // The phone answered an error line.
    bool ReplyFailed = false;
    // The port is open and the phone answered ATE1.
    bool IsConnected = false;
    // Phonebook locations are being read on the poll tick.
    bool PhonebookReading = false;
    // 0: the next poll asks for the signal, 1: for the battery.
    int PollPhase = 0;
    // Last phonebook location asked for.
    int PhonebookIndex = 0;
};

}  // namespace phone
