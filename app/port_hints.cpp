#include "app/port_hints.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "app/main_window.h"
#include "platform/codepage_1254.h"
#include "platform/port_check.h"
#include "platform/port_description.h"
#include "platform/port_names.h"
#include "serial/com_port.h"

namespace app {
namespace {

// Room the label takes under the port box; the speed choice and the button move down.
constexpr int kLabelHeight = 30;

struct PortInfo {
    QString path;
    QString description;
};

PortInfo portInfo(const QString& item) {
    const std::optional<int> n = platform::parseComName(item.trimmed().toStdString());
    const std::optional<std::string> path = n ? platform::resolveComPort(*n) : std::nullopt;
    if (!path) {
        return {};
    }
    return {QString::fromStdString(*path), QString::fromStdString(platform::describeDevice(*path))};
}

QString tooltipOf(const PortInfo& info) {
    if (info.path.isEmpty()) {
        return {};
    }
    return info.description.isEmpty() ? info.path
                                      : info.path + QStringLiteral(": ") + info.description;
}

}  // namespace

PortHints::PortHints(TMainForm& form)
    : m_form(form), m_connect(form.hooks().connectClicked, [this](const HookWrap::Hook& inner) {
          connectAndExplain(inner);
      }) {
    QComboBox* box = form.ComboBox1;
    m_label = new QLabel(box->parentWidget());
    m_label->setObjectName(QStringLiteral("PortDescription"));
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setGeometry(box->x(), box->y() + box->height() + 2, 150, kLabelHeight - 4);
    QFont small = form.font();
    small.setPixelSize(std::max(9, small.pixelSize() - 1));
    m_label->setFont(small);
    for (QWidget* below :
         {static_cast<QWidget*>(form.Label13), static_cast<QWidget*>(form.ComboBox2),
          static_cast<QWidget*>(form.btnOpen)}) {
        below->move(below->x(), below->y() + kLabelHeight);
    }
    m_label->show();

    // The description follows the text alone: a choice from the list changes the text
    // too, and one signal asks udev once per change.
    connect(box, &QComboBox::currentTextChanged, this, [this] { showChosen(); });
    box->view()->installEventFilter(this);
    refresh();
}

PortHints::~PortHints() = default;

void PortHints::refresh() {
    QComboBox* box = m_form.ComboBox1;
    for (int i = 0; i < box->count(); ++i) {
        box->setItemData(i, tooltipOf(portInfo(box->itemText(i))), Qt::ToolTipRole);
    }
    showChosen();
}

void PortHints::showChosen() {
    const PortInfo info = portInfo(m_form.ComboBox1->currentText());
    m_label->setText(info.description.isEmpty() ? info.path : info.description);
    m_label->setToolTip(tooltipOf(info));
    m_form.ComboBox1->setToolTip(tooltipOf(info));
}

bool PortHints::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form.ComboBox1->view() && event->type() == QEvent::Show) {
        refresh();
    }
    return QObject::eventFilter(watched, event);
}

void PortHints::connectAndExplain(const HookWrap::Hook& innerConnect) {
    const bool wasOpen = m_form.PhoneComPort->Open();
    // The port the connect button tries: the box's item number, as the dialogue takes it.
    const int number = m_form.ComboBox1->currentIndex() + 1;
    auto explain = [&] {
        if (wasOpen || m_form.PhoneComPort->Open() || number < 1) {
            return;
        }
        const std::string why = platform::explainComPort(number);
        if (!why.empty()) {
            const QString text = QString::fromStdU16String(platform::cp1254::toUtf16(why));
            m_form.setStatusPanel(1, text);
        }
    };
    try {
        HookWrap::callInner(innerConnect);
    } catch (...) {
        explain();
        throw;
    }
    explain();
    refresh();  // a phone plugged in since: its name shows at once
}

}  // namespace app
