#include "app/phonebook_buttons.h"

#include "app/main_window.h"
#include "app/phone_controller.h"

namespace app {

PhonebookButtons::PhonebookButtons(TMainForm& form, PhoneController& phone)
    : m_form(form),
      m_import(phone.dialogue(), phone, form.recipientList()),
      // While a reading is due, the tick is the reading's; otherwise the status poll's.
      m_tick(form.hooks().refreshTick,
             [this](const HookWrap::Hook& poll) {
                 if (!m_import.tick()) {
                     HookWrap::callInner(poll);
                 }
             }),
      m_closing(form.hooks().closing, [this](const HookWrap::Hook& inner) {
          m_import.stop();
          HookWrap::callInner(inner);
      }) {
    form.hooks().phonebookClicked = [this](const char* storage) { m_import.start(storage); };
}

PhonebookButtons::~PhonebookButtons() {
    m_form.hooks().phonebookClicked = nullptr;
}

}  // namespace app
