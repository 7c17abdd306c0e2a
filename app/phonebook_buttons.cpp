#include "app/phonebook_buttons.h"

#include <QString>

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
    form.hooks().phonebookClicked = [this, &phone](const char* storage) {
        if (phone.dialogue().state().IsConnected && !mayReplaceList(storage)) {
            return;
        }
        m_import.start(storage);
    };
}

bool PhonebookButtons::mayReplaceList(const std::string& storage) {
    const int count = m_form.recipientList().count();
    if (count == 0) {
        return true;
    }
    const QString book = storage == "SM" ? QStringLiteral("SIM kart rehberindeki")
                                         : QStringLiteral("telefon rehberindeki");
    return m_form.asker().askYesNo(
        &m_form, QStringLiteral("Uyarı"),
        QStringLiteral("Listedeki %1 numara, okuma tamamlanınca %2 numaralarla "
                       "değiştirilecek. Devam etmek istiyor musunuz?")
            .arg(count)
            .arg(book),
        Asker::Icon::Warning);
}

PhonebookButtons::~PhonebookButtons() {
    m_form.hooks().phonebookClicked = nullptr;
}

}  // namespace app
