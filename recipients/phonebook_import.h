#pragma once
// The phonebook import: "Aktar (Telefon)" reads the phone's own memory ("ME"),
// "Aktar (SIM Kart)" the SIM card ("SM"), and the list is replaced by their numbers.
//
// A click selects the phonebook (AT+CPBS), empties the list and asks for the range of
// locations (AT+CPBR=?). When the phone answers, the reading starts on the next tick
// of the poll timer and reads one location after another (AT+CPBR=n), letting the
// window work between them. Every location of the range the phone reported is read and
// empty ones are skipped, so a gap does not lose the entries after it. The reading ends
// with "Hazır !" after the last location; it ends early, keeping what it read, when the
// phone stops answering, the connection closes or the window closes. A second click
// during a reading stops it and starts anew.

#include <string>

#include "phone/phone_dialogue.h"
#include "phone/phone_view.h"
#include "recipients/recipient_list.h"

namespace recipients {

class PhonebookImport {
public:
    PhonebookImport(phone::PhoneDialogue& dialogue, phone::PhoneView& view, RecipientList& list);

    // btnME ("ME") and btnSM ("SM"). Without a connection nothing happens.
    void start(const std::string& storage);
    // A tick of the poll timer: runs the reading when one is due and returns true;
    // false when the tick is the status poll's.
    bool tick();
    // The window is closing: a running reading ends after its current location.
    void stop();

    // Takes one location's reply: appends its number and returns true for an entry,
    // returns false for a reply without one (an empty location, an error, nothing).
    bool ParsePhonebookEntry(const std::string& reply);

private:
    void startNow(const std::string& storage);
    // The locations the phone reported to AT+CPBR=? ("(1-250)"), or 0 and 0.
    void readRange(const std::string& reply);

    phone::PhoneDialogue& m_dialogue;
    phone::PhoneView& m_view;
    RecipientList& m_list;
    // Raised by every start and stop: a reading that sees it change ends at once,
    // touching nothing, since what follows belongs to the newer import.
    unsigned m_generation = 0;
    // The last location to read; 0: not known, read until the first empty one.
    int m_lastLocation = 0;
};

}  // namespace recipients
