#pragma once
// The phonebook import: "Aktar (Telefon)" reads the phone's own memory ("ME"),
// "Aktar (SIM Kart)" the SIM card ("SM"), and the list is replaced by their numbers.
//
// A click selects the phonebook (AT+CPBS) and a character set that gives numbers as
// plain text (AT+CSCS), and asks for the range of locations (AT+CPBR=?), whose reply
// goes through the general reply parser like every other. When the phone answers, the
// reading starts on the next tick of the poll timer and reads one location after another
// (AT+CPBR=n), letting the window work between them. Every location of the range the
// phone reported is read and empty ones are skipped; without a range the first empty
// location ends the reading. A location that does not answer is asked once more and
// then counted as unread; several in a row mean the phone has stopped answering.
//
// The list is replaced only by a reading that came to its end: panel 2 then says how
// many numbers arrived and how many locations could not be read. Entries added to the
// list during the reading stay, after the phonebook's numbers. A reading that fails
// (no range, the phone gone or silent) leaves the list as it was and says so. A second
// click during a reading ends it and starts anew; the window's close ends it.

#include <string>
#include <vector>

#include "phone/phone_dialogue.h"
#include "phone/phone_view.h"
#include "recipients/phonebook_reply.h"
#include "recipients/recipient_list.h"

namespace recipients {

class PhonebookImport {
public:
    enum class Result {
        None,     // no import yet
        Running,  // started: the range query or the reading is under way
        Read,     // the reading came to its end and the list holds its numbers
        Failed,   // no reading, or one that could not finish: the list is unchanged
    };

    PhonebookImport(phone::PhoneDialogue& dialogue, phone::PhoneView& view, RecipientList& list);

    // btnME ("ME") and btnSM ("SM"). Without a connection nothing happens.
    void start(const std::string& storage);
    // A tick of the poll timer: runs the reading when one is due and returns true;
    // false when the tick is the status poll's.
    bool tick();
    // The window is closing: a running reading ends after its current location,
    // touching neither the list nor the timer.
    void stop();

    Result result() const { return m_result; }

    // Takes the reply to AT+CPBR=`location` (see parseLocationReply).
    LocationReply ParsePhonebookEntry(const std::string& reply, int location) const;

private:
    enum class Read { Entry, Empty, Unread, Gone, Superseded };

    void startNow(const std::string& storage);
    // Asks for plain-text numbers; remembers whether the phone stays in UCS2.
    void selectCharacterSet(unsigned generation);
    // The locations the phone reported to AT+CPBR=? ("(1-250)"), or none.
    void readRange(const std::string& reply);
    // Location `location`, asked twice at most; the number of an entry into `number`.
    Read readLocation(int location, unsigned generation, std::string* number);
    // Waits, writing nothing, for what the phone still sends of the last command's answer.
    std::string awaitRestOfAnswer();
    // Whether a reading that came to its end may replace the list.
    bool readSomething() const;
    // Ends a reading: the list replaced when `read`, polling back on, panel 2's end text.
    void finish(bool read);

    phone::PhoneDialogue& m_dialogue;
    phone::PhoneView& m_view;
    RecipientList& m_list;
    // Raised by every start and stop: a reading that sees it change ends at once, since
    // what follows belongs to the newer import or to the close.
    unsigned m_generation = 0;
    bool m_closing = false;
    // The last location to read; -1: not known, read until the first empty one.
    int m_lastLocation = -1;
    // The phone would not leave UCS2: its numbers come as hexadecimal text.
    bool m_ucs2 = false;
    // The list when the import was clicked: what a reading that ends replaces.
    std::vector<std::string> m_before;
    // What the running reading has found so far.
    std::vector<std::string> m_numbers;
    int m_unread = 0;
    Result m_result = Result::None;
};

}  // namespace recipients
