#include "app/phonebook_buttons.h"

#include "app/main_window.h"
#include "app/phone_controller.h"

namespace app {

PhonebookButtons::PhonebookButtons(TMainForm& form, PhoneController& phone)
    : m_form(form), m_import(phone.dialogue(), phone, form.recipientList()) {
    MainFormHooks& hooks = form.hooks();
    hooks.phonebookClicked = [this](const char* storage) { m_import.start(storage); };
    // While a reading is due, the tick is the reading's; otherwise the status poll's.
    m_poll = hooks.refreshTick;
    m_close = hooks.closing;
    hooks.refreshTick = [this] {
        if (!m_import.tick() && m_poll) {
            m_poll();
        }
    };
    hooks.closing = [this] {
        m_import.stop();
        if (m_close) {
            m_close();
        }
    };
}

PhonebookButtons::~PhonebookButtons() {
    MainFormHooks& hooks = m_form.hooks();
    hooks.phonebookClicked = nullptr;
    hooks.refreshTick = m_poll;
    hooks.closing = m_close;
}

}  // namespace app
