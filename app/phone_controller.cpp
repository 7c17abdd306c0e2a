#include "app/phone_controller.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

#include "app/code_page_text.h"
#include "app/error_handler.h"
#include "app/main_window.h"
#include "app/ui_fonts.h"
#include "phone/phone_texts.h"
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
    hooks.refreshTick = [this] { m_dialogue.tiRefreshTimer(); };
    hooks.clearTick = [this] { m_dialogue.tiClearTimer(); };
    hooks.closing = [this] {
        m_dialogue.dropWaitingClicks();
        m_dialogue.waitForPendingCommand();
        m_form.PhoneComPort->SetOpen(false);
    };

    // Beside the lamp, up to the exit button.
    m_callNotice = new QLabel(form.Panel5);
    const int left = form.Panel1->geometry().right() + 10;
    m_callNotice->setGeometry(left, form.Panel1->y(), form.Button7->x() - 8 - left,
                              form.Panel1->height());
    m_callNotice->setFont(arialFont(12, true));
    QPalette palette = m_callNotice->palette();
    palette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    m_callNotice->setPalette(palette);
    m_callNotice->hide();
}

PhoneController::~PhoneController() {
    // The port may outlive us inside the window; its events must not reach a dead dialogue.
    serial::TComPort& port = *m_form.PhoneComPort;
    port.OnPortOpen = nullptr;
    port.OnPortClose = nullptr;
    port.SetOnTriggerAvail(nullptr);
    MainFormHooks& hooks = m_form.hooks();
    hooks.connectClicked = nullptr;
    hooks.refreshTick = nullptr;
    hooks.clearTick = nullptr;
    hooks.closing = nullptr;
    serial::setExceptionDisplay(nullptr);
}

void PhoneController::setLamp(phone::LampColor color) {
    m_form.setLamp(color == phone::LampColor::Green ? QColor(0, 255, 0) : QColor(255, 0, 0));
}

void PhoneController::setStatusPanel(int index, const std::string& text) {
    m_form.setStatusPanel(index, fromCodePage(text));
}

void PhoneController::addInfoRow(const std::string& caption, const std::string& value) {
    if (caption == phone::texts::kImei) {
        m_imei = value;  // what the delivery reports of this phone pair by
    }
    m_form.addInfoRow(fromCodePage(caption), fromCodePage(value));
}

void PhoneController::clearInfoRows() {
    m_imei.clear();
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
    if (number == 2 || number == 3) {
        showCallNotice();
    }
}

void PhoneController::showCallNotice() {
    // The hidden labels hold the texts; the top bar shows them where the user looks: the
    // notice, and under it the number alone, which is what fits beside the lamp.
    QString number = m_form.Label3->text();
    number.remove(fromCodePage(std::string(phone::texts::kCallerPrefix)));
    QString text = m_form.Label2->text();
    if (!number.isEmpty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + number;
    }
    m_callNotice->setText(text);
    m_callNotice->setVisible(!text.isEmpty());
}

void PhoneController::setClearEnabled(bool enabled) {
    if (enabled) {
        m_form.tiClear->start();
    } else {
        m_form.tiClear->stop();
    }
}

void PhoneController::setConnectCaption(const std::string& caption) {
    // The caption turns to "Bağlantıyı Kes" as the connection is made; polling starts
    // once the phone's information has been read, which is when the connection is done.
    m_connecting = caption == phone::texts::kDisconnectCaption;
    m_form.setConnectCaption(fromCodePage(caption));
}

void PhoneController::setRefreshEnabled(bool enabled) {
    if (enabled) {
        m_form.tiRefresh->start();
    } else {
        m_form.tiRefresh->stop();
    }
    if (enabled && m_connecting) {
        m_connecting = false;
        if (onConnected) {
            onConnected();
        }
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
