#include "app/phone_finder.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <optional>
#include <system_error>
#include <utility>

#include "app/code_page_text.h"
#include "app/extra_phones.h"
#include "app/main_window.h"
#include "serial/com_port.h"

namespace app {
namespace {

const QString kFindCaption = QStringLiteral("Telefonları Bul");
const QString kFindingCaption = QStringLiteral("Aranıyor...");

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

}  // namespace

PhoneFinder::PhoneFinder(TMainForm& form, ExtraPhones* extras) : m_form(form), m_extras(extras) {
    QWidget* group = form.cxGroupBox1;
    // Beside the information list, where the extra phones' buttons also are.
    m_button = new QPushButton(kFindCaption, group);
    m_button->setObjectName(QStringLiteral("FindPhones"));
    m_button->setGeometry(628, 90, 120, 30);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setToolTip(
        QStringLiteral("Boştaki portları AT komutuyla dener; yanıt veren telefonların üreticisini, "
                       "modelini ve IMEI numarasını gösterir."));
    m_button->show();
    connect(m_button, &QPushButton::clicked, this, [this] { m_form.guarded([this] { find(); }); });
}

PhoneFinder::~PhoneFinder() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PhoneFinder::setProbeTimes(int answerMs, int replyMs) {
    m_options.answerMs = answerMs;
    m_options.replyMs = replyMs;
}

std::set<int> PhoneFinder::portsInUse() const {
    std::set<int> ports;
    if (m_form.PhoneComPort->Open()) {
        ports.insert(int(m_form.PhoneComPort->ComNumber()));
    }
    if (m_extras) {
        const std::set<int> extra = m_extras->portsInUse();
        ports.insert(extra.begin(), extra.end());
    }
    return ports;
}

void PhoneFinder::find() {
    if (m_probing) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join();  // the last probe's thread, long finished
    }
    phone::ProbeOptions options = m_options;
    bool ok = false;
    const int baud = m_form.ComboBox2->currentText().trimmed().toInt(&ok);
    options.baud = ok && baud > 0 ? uint32_t(baud) : 115200u;
    options.skip = portsInUse();
    m_probing = true;
    m_button->setEnabled(false);
    m_button->setText(kFindingCaption);
    // A connect now would meet the probe holding the port, and read as another program's.
    m_heldConnect = !m_form.PhoneComPort->Open() && m_form.btnOpen->isEnabled();
    if (m_heldConnect) {
        m_form.btnOpen->setEnabled(false);
    }
    // The thread touches nothing but its own copy of the options and the result it
    // hands back through the event queue. It never outlives this object (the destructor
    // joins it), and Qt drops the queued call if this object is gone before it runs.
    try {
        m_thread = std::thread([this, options] {
            phone::ProbeResult result = phone::probePorts(options);
            QMetaObject::invokeMethod(
                this,
                [this, result = std::move(result)]() mutable { showResult(std::move(result)); },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the buttons come back, the error box says why.
        endProbe();
        throw;
    }
}

void PhoneFinder::endProbe() {
    m_probing = false;
    m_button->setEnabled(true);
    m_button->setText(kFindCaption);
    if (m_heldConnect) {
        m_form.btnOpen->setEnabled(true);
        m_heldConnect = false;
    }
}

void PhoneFinder::showResult(phone::ProbeResult result) {
    endProbe();
    m_result = std::move(result);

    if (!m_dialog) {
        m_dialog = new QDialog(&m_form);
        m_dialog->setObjectName(QStringLiteral("FoundPhones"));
        m_dialog->setWindowTitle(QStringLiteral("Bulunan Telefonlar"));
        m_dialog->resize(640, 300);
        auto* layout = new QVBoxLayout(m_dialog);
        m_table = new QTableWidget(0, 6, m_dialog);
        m_table->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Aygıt"),
                                            QStringLiteral("Hız"), QStringLiteral("Üretici"),
                                            QStringLiteral("Model"), QStringLiteral("IMEI")});
        m_table->verticalHeader()->hide();
        m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_table->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(m_table);
        m_note = new QLabel(m_dialog);
        m_note->setWordWrap(true);
        layout->addWidget(m_note);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        m_connect = new QPushButton(QStringLiteral("Bağlan"), m_dialog);
        m_connect->setToolTip(QStringLiteral(
            "İlk telefon bu sekmenin port ve hız kutularıyla, diğerleri Ek telefonlar "
            "listesinde bağlanır."));
        auto* close = new QPushButton(QStringLiteral("Kapat"), m_dialog);
        buttons->addWidget(m_connect);
        buttons->addWidget(close);
        layout->addLayout(buttons);
        connect(m_connect, &QPushButton::clicked, this, [this] {
            m_form.guarded([this] {
                m_dialog->hide();
                connectFound();
            });
        });
        connect(close, &QPushButton::clicked, m_dialog, &QDialog::hide);
    }

    m_table->setRowCount(0);
    for (const phone::ProbedPhone& p : m_result.phones) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, cell(QStringLiteral("Com%1").arg(p.port)));
        m_table->setItem(row, 1, cell(QString::fromStdString(p.device)));
        m_table->setItem(row, 2, cell(QString::number(p.baud)));
        m_table->setItem(row, 3, cell(fromCodePage(p.maker)));
        m_table->setItem(row, 4, cell(fromCodePage(p.model)));
        m_table->setItem(row, 5, cell(fromCodePage(p.imei)));
    }
    m_table->resizeColumnsToContents();
    QStringList notes;
    if (m_result.phones.empty()) {
        notes << QStringLiteral("Yanıt veren telefon bulunamadı.");
    }
    for (const phone::HeldPort& h : m_result.held) {
        notes << fromCodePage(h.reason);
    }
    m_note->setText(notes.join(QLatin1Char('\n')));
    m_note->setVisible(!notes.isEmpty());
    m_connect->setEnabled(!m_result.phones.empty());
    m_dialog->show();
    m_dialog->raise();
    if (onFound) {
        onFound();
    }
}

void PhoneFinder::connectFound() {
    std::vector<const phone::ProbedPhone*> rest;
    bool firstTaken = m_form.PhoneComPort->Open();
    const std::set<int> inUse = portsInUse();
    for (const phone::ProbedPhone& p : m_result.phones) {
        if (inUse.count(p.port) != 0) {
            continue;  // connected since the probe
        }
        // The tab's box holds the names the connect button can open; a port past them
        // is an extra phone.
        const int index = m_form.ComboBox1->findText(QStringLiteral("Com%1").arg(p.port));
        if (!firstTaken && index >= 0) {
            firstTaken = true;
            m_form.ComboBox1->setCurrentIndex(index);
            m_form.ComboBox2->setCurrentText(QString::number(p.baud));
            m_form.btnOpen->click();
        } else {
            rest.push_back(&p);
        }
    }
    if (m_extras) {
        for (const phone::ProbedPhone* p : rest) {
            m_extras->connectRow(m_extras->rowFor(p->port, int(p->baud)));
        }
    }
}

}  // namespace app
