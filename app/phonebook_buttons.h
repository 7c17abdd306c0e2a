#pragma once
// "Aktar (Telefon)" and "Aktar (SIM Kart)": the phonebook import wired to the window's
// buttons, to the poll timer (whose tick reads the locations while an import runs) and
// to the window's close (which ends a reading).

#include <functional>

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
    TMainForm& m_form;
    recipients::PhonebookImport m_import;
    // The hooks found in place, which ours pass on to and give back when we go.
    std::function<void()> m_poll;
    std::function<void()> m_close;
};

}  // namespace app
