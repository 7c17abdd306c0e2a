#pragma once
// "Aktar (Telefon)" and "Aktar (SIM Kart)": the phonebook import wired to the window's
// buttons, to the poll timer (whose tick reads the locations while an import runs) and
// to the window's close (which ends a reading).

#include <string>

#include "app/hook_wrap.h"
#include "recipients/phonebook_import.h"

namespace app {

class PhoneController;
class TMainForm;

class PhonebookButtons {
public:
    PhonebookButtons(TMainForm& form, PhoneController& phone);
    ~PhonebookButtons();
    PhonebookButtons(const PhonebookButtons&) = delete;
    PhonebookButtons& operator=(const PhonebookButtons&) = delete;

    recipients::PhonebookImport& import() { return m_import; }

private:
    // A list that is not empty is replaced only when the user says so.
    bool mayReplaceList(const std::string& storage);

    TMainForm& m_form;
    recipients::PhonebookImport m_import;
    // The poll tick and the close, wrapped until we go.
    HookWrap m_tick;
    HookWrap m_closing;
};

}  // namespace app
