#include "app/phone_controller.h"

#include <QComboBox>
#include <QLabel>
#include <QMetaObject>
#include <QTimer>

#include "app/code_page_text.h"
#include "app/error_handler.h"
#include "app/main_window.h"
#include "platform/message_queue.h"
#include "serial/com_port.h"
#include "serial/exception_display.h"
#include "serial/pump.h"

namespace app {

PhoneController::PhoneController(TMainForm& form, platform::MessageQueue& queue)
    : m_form(form), m_link(*form.PhoneComPort), m_dialogue(*this, m_link, queue) {
    serial::setMessageQueue(&queue);
    // Worker threads report here too: their errors go to the box on the window's thread.
    serial::setExceptionDisplay([&form, &queue](const std::exception& e) {
        const QString text = exceptionText(e);
        if (queue.isUiThread()) {
            showError(form.asker(), &form, text);
        } else {
            QMetaObject::invokeMethod(
                &form, [&form, text] { showError(form.asker(), &form, text); },
                Qt::QueuedConnection);
        }
    });
    phone::routePortEvents(*form.PhoneComPort, m_dialogue);
    MainFormHooks& hooks = form.hooks();
    hooks.connectClicked = [this] { m_dialogue.btnOpenClick(); };
    hooks.closing = [this] {
        m_dialogue.waitForPendingCommand();
        m_form.PhoneComPort->SetOpen(false);
    };
}

PhoneController::~PhoneController() {
    // The port may outlive us inside the window; its events must not reach a dead dialogue.
    serial::TComPort& port = *m_form.PhoneComPort;
    port.OnPortOpen = nullptr;
    port.OnPortClose = nullptr;
    port.SetOnTriggerAvail(nullptr);
    m_form.hooks().connectClicked = nullptr;
    m_form.hooks().closing = nullptr;
    serial::setExceptionDisplay(nullptr);
}

void PhoneController::setLamp(phone::LampColor color) {
    m_form.setLamp(color == phone::LampColor::Green ? QColor(0, 255, 0) : QColor(255, 0, 0));
}

void PhoneController::setStatusPanel(int index, const std::string& text) {
    m_form.setStatusPanel(index, fromCodePage(text));
}

void PhoneController::addInfoRow(const std::string& caption, const std::string& value) {
    m_form.addInfoRow(fromCodePage(caption), fromCodePage(value));
}

void PhoneController::clearInfoRows() {
    m_form.clearInfoRows();
}

void PhoneController::setSignalGauge(int percent) {
    m_form.setSignalGauge(percent);
}

void PhoneController::setBatteryGauge(int percent) {
    m_form.setBatteryGauge(percent);
}

void PhoneController::setLabel(int number, const std::string& text) {
    QLabel* const labels[] = {m_form.Label1, m_form.Label2, m_form.Label3, m_form.Label4,
                              m_form.Label5, m_form.Label6, m_form.Label7, m_form.Label8};
    if (number >= 1 && number <= 8) {
        labels[number - 1]->setText(fromCodePage(text));
    }
}

void PhoneController::setConnectCaption(const std::string& caption) {
    m_form.setConnectCaption(fromCodePage(caption));
}

void PhoneController::setRefreshEnabled(bool enabled) {
    if (enabled) {
        m_form.tiRefresh->start();
    } else {
        m_form.tiRefresh->stop();
    }
}

int PhoneController::portIndex() const {
    return m_form.ComboBox1->currentIndex();
}

std::string PhoneController::portText() const {
    return toCodePage(m_form.ComboBox1->currentText());
}

std::string PhoneController::speedText() const {
    return toCodePage(m_form.ComboBox2->currentText());
}

}  // namespace app
