#include "app/extra_phones.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>

#include <ctime>
#include <optional>

#include "app/code_page_text.h"
#include "app/dialogue_slot.h"
#include "app/main_window.h"
#include "app/send_controller.h"
#include "app/settings.h"
#include "phone/phone_texts.h"
#include "platform/port_names.h"
#include "serial/com_port.h"
#include "sms/phone_pool.h"
#include "store/campaigns.h"
#include "store/database.h"

namespace app {

struct ExtraPhones::Row {
    QComboBox* port = nullptr;
    QComboBox* speed = nullptr;
    QPushButton* button = nullptr;
    QSpinBox* limit = nullptr;
    std::unique_ptr<sms::PhoneWorker> worker;
    // What the phone hands over, received while the worker lives; ends before it.
    std::unique_ptr<sms::PhoneReception> reception;
    int workerPort = 0;  // the port and speed the worker was made for
    QString workerSpeed;
    std::string imei;    // the phone's, once it said; the limit belongs to it
    QString refusal;     // why the last connect was not tried; cleared by the next one
    bool ready = false;  // connected with its information read, as last observed
};

namespace {

constexpr int kLastPort = 50;
// The list's rows: high enough for the boxes in them.
constexpr int kRowHeight = 24;

QTableWidgetItem* cell(const QString& text = {}) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// A "Günlük sınır" box; off until the phone has said its IMEI, to which the limit belongs.
QSpinBox* makeLimitBox(QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, 100000);
    box->setSpecialValueText(QStringLiteral("Yok"));
    box->setToolTip(
        QStringLiteral("Bu telefonun bir günde gönderebileceği en çok mesaj (0: sınır yok). "
                       "Telefonun IMEI numarasına göre hatırlanır."));
    box->setEnabled(false);
    return box;
}

std::optional<int> portNumber(const QString& text) {
    if (!Settings::isPortName(text.trimmed())) {
        return std::nullopt;
    }
    return platform::parseComName(text.trimmed().toUpper().toStdString());
}

}  // namespace

ExtraPhones::ExtraPhones(TMainForm& form, platform::MessageQueue& queue, Settings* settings)
    : m_form(form), m_queue(queue), m_settings(settings) {
    QWidget* tab = form.cxGroupBox1;
    // The information list keeps room for all its rows; the extra phones go below it.
    QRect info = form.Info->geometry();
    info.setHeight(166);
    form.Info->setGeometry(info);

    m_group = new QGroupBox(QStringLiteral(" Ek telefonlar "), tab);
    m_group->setObjectName(QStringLiteral("ExtraPhones"));
    m_group->setGeometry(info.x(), info.bottom() + 6, 580, 88);
    m_table = new QTableWidget(0, kColumns, m_group);
    m_table->setGeometry(4, 16, 572, 68);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Hız"), QString(),
                                        QStringLiteral("Durum"), QStringLiteral("Operatör"),
                                        QStringLiteral("Sinyal"), QStringLiteral("Bugün"),
                                        QStringLiteral("Günlük sınır")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_table->horizontalHeader()->setFixedHeight(20);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    const int widths[kColumns] = {66, 70, 100, 90, 84, 44, 44, 68};
    for (int c = 0; c < kColumns; ++c) {
        m_table->setColumnWidth(c, widths[c]);
    }
    m_group->show();

    m_add = new QPushButton(QStringLiteral("Telefon Ekle"), tab);
    m_add->setObjectName(QStringLiteral("AddPhone"));
    m_add->setGeometry(628, 126, 120, 30);
    m_add->setToolTip(QStringLiteral("Ek telefonlar listesine bir satır ekler."));
    m_add->show();
    m_remove = new QPushButton(QStringLiteral("Satırı Kaldır"), tab);
    m_remove->setObjectName(QStringLiteral("RemovePhone"));
    m_remove->setGeometry(628, 162, 120, 30);
    m_remove->setToolTip(QStringLiteral("Seçili, bağlı olmayan ek telefonu listeden kaldırır."));
    m_remove->show();
    // The first phone's limit, under its connect button.
    auto* caption = new QLabel(QStringLiteral("Günlük sınır"), tab);
    caption->setGeometry(form.btnOpen->x(), 304, form.btnOpen->width(), 16);
    caption->show();
    m_firstLimit = makeLimitBox(tab);
    m_firstLimit->setObjectName(QStringLiteral("FirstDailyLimit"));
    m_firstLimit->setGeometry(form.btnOpen->x(), 322, 117, 24);
    m_firstLimit->show();
    connect(m_firstLimit, &QSpinBox::valueChanged, this, [this](int value) {
        if (m_settings && !m_firstImei.empty()) {
            m_settings->setDailyLimit(QString::fromStdString(m_firstImei), value);
        }
        if (limitsChanged) {
            limitsChanged();
        }
    });
    // The information rows are filled when the first phone connects and emptied when it
    // goes: the IMEI among them says whose limit the box holds.
    QAbstractItemModel* rows = form.Info->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, [this] { showFirstLimit(); });
    connect(rows, &QAbstractItemModel::rowsRemoved, this, [this] { showFirstLimit(); });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { showFirstLimit(); });
    connect(rows, &QAbstractItemModel::dataChanged, this, [this] { showFirstLimit(); });
    showFirstLimit();

    connect(m_add, &QPushButton::clicked, this, [this] { m_form.guarded([this] { addPhone(); }); });
    connect(m_remove, &QPushButton::clicked, this,
            [this] { m_form.guarded([this] { removeSelected(); }); });

    // The list of the last session, not connected yet.
    if (m_settings) {
        for (const Settings::PortChoice& p : m_settings->extraPhones()) {
            if (const std::optional<int> n = portNumber(p.port)) {
                addPhone(*n, p.baud);
            }
        }
    }
}

ExtraPhones::~ExtraPhones() {
    if (m_settings) {
        std::vector<Settings::PortChoice> phones;
        for (const auto& row : m_rows) {
            bool ok = false;
            const int baud = row->speed->currentText().trimmed().toInt(&ok);
            if (const std::optional<int> n = portNumber(row->port->currentText());
                n && ok && baud > 0) {
                phones.push_back({QStringLiteral("Com%1").arg(*n), baud});
            }
        }
        if (phones != m_settings->extraPhones()) {
            m_settings->setExtraPhones(phones);
        }
    }
    // The workers end their threads (bounded) before the widgets they report to go.
    for (auto& row : m_rows) {
        row->reception.reset();
        row->worker.reset();
    }
}

int ExtraPhones::indexOf(const Row* row) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].get() == row) {
            return int(i);
        }
    }
    return -1;
}

int ExtraPhones::addPhone(int port, int baud) {
    auto row = std::make_unique<Row>();
    Row* r = row.get();
    const int index = int(m_rows.size());
    m_rows.push_back(std::move(row));
    m_table->insertRow(index);

    r->port = new QComboBox;
    r->port->setEditable(true);
    r->port->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= kLastPort; ++n) {
        r->port->addItem(QStringLiteral("Com%1").arg(n));
    }
    r->port->setCurrentIndex(port >= 1 && port <= kLastPort ? port - 1 : -1);
    r->speed = new QComboBox;
    r->speed->setEditable(true);
    r->speed->setInsertPolicy(QComboBox::NoInsert);
    r->speed->addItems({QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                        QStringLiteral("19200"), QStringLiteral("38400"),
                        QStringLiteral("115200")});
    r->speed->setCurrentText(QString::number(baud));
    r->button = new QPushButton(fromCodePage(std::string(phone::texts::kConnectCaption)));
    r->button->setCursor(Qt::PointingHandCursor);
    r->limit = makeLimitBox(nullptr);

    m_table->setCellWidget(index, kPort, r->port);
    m_table->setCellWidget(index, kSpeed, r->speed);
    m_table->setCellWidget(index, kButton, r->button);
    m_table->setCellWidget(index, kLimit, r->limit);
    for (const int c : {kState, kOperator, kSignal, kToday}) {
        m_table->setItem(index, c, cell());
    }

    connect(r->button, &QPushButton::clicked, this, [this, r] {
        m_form.guarded([this, r] {
            const int i = indexOf(r);
            const bool holding =
                r->worker && (r->worker->state().connected || r->worker->state().connecting);
            if (i >= 0) {
                holding ? disconnectRow(i) : connectRow(i);
            }
        });
    });
    connect(r->limit, &QSpinBox::valueChanged, this, [this, r](int value) {
        if (m_settings && !r->imei.empty()) {
            m_settings->setDailyLimit(QString::fromStdString(r->imei), value);
        }
        if (limitsChanged) {
            limitsChanged();
        }
    });
    show(*r);
    m_table->scrollToBottom();
    return index;
}

int ExtraPhones::rowFor(int port, int baud) {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Row& row = *m_rows[i];
        const bool holding =
            row.worker && (row.worker->state().connected || row.worker->state().connecting);
        if (!holding && portNumber(row.port->currentText()) == port) {
            row.speed->setCurrentText(QString::number(baud));
            return int(i);
        }
    }
    return addPhone(port, baud);
}

void ExtraPhones::serve(SendController& sending) {
    sending.extraPhones = [this] {
        const std::vector<sms::PhoneWorker*> phones = connectedPhones();
        return std::vector<sms::PhoneSlot*>(phones.begin(), phones.end());
    };
    sending.dailyLimit = [this](const sms::PhoneIdentity& phone) { return dailyLimitOf(phone); };
    phoneJoins = [&sending](sms::PhoneSlot& phone) { sending.phoneJoins(phone); };
    phoneGoes = [&sending](sms::PhoneSlot& phone) { sending.phoneGoes(phone); };
    limitsChanged = [&sending] { sending.limitsChanged(); };
    sentToday = [&sending](const std::string& imei) {
        store::CampaignStore* campaigns = sending.database().campaigns();
        try {
            return campaigns ? campaigns->sentSince(imei, std::string(),
                                                    sms::localDayStart(std::time(nullptr)))
                             : 0;
        } catch (const store::StoreError&) {
            return 0;  // shown as none; the next run says what fails
        }
    };
}

sms::PhoneWorker* ExtraPhones::worker(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)]->worker.get() : nullptr;
}

int ExtraPhones::dailyLimit(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)]->limit->value() : 0;
}

void ExtraPhones::refuse(Row& row, const QString& why) {
    row.refusal = why;
    show(row);
}

void ExtraPhones::connectRow(int index) {
    if (index < 0 || index >= rowCount()) {
        return;
    }
    Row& row = *m_rows[size_t(index)];
    row.refusal.clear();
    const std::optional<int> port = portNumber(row.port->currentText());
    if (!port) {
        refuse(row, QStringLiteral("Port adı geçersiz"));
        return;
    }
    bool speedOk = false;
    const int speed = row.speed->currentText().trimmed().toInt(&speedOk);
    if (!speedOk || speed <= 0) {
        refuse(row, QStringLiteral("Hız geçersiz"));
        return;
    }
    // One phone, one port: the first phone's and the other rows' are taken.
    std::set<int> taken;
    if (m_form.PhoneComPort->Open()) {
        taken.insert(int(m_form.PhoneComPort->ComNumber()));
    }
    for (const auto& other : m_rows) {
        if (other.get() != &row && other->worker &&
            (other->worker->state().connected || other->worker->state().connecting)) {
            taken.insert(other->workerPort);
        }
    }
    if (taken.count(*port) != 0) {
        refuse(row, QStringLiteral("Com%1 zaten bağlı").arg(*port));
        return;
    }
    const QString speedText = QString::number(speed);
    if (!row.worker || row.workerPort != *port || row.workerSpeed != speedText) {
        sms::PhoneWorkerPort choice;
        choice.number = *port;
        choice.name = "Com" + std::to_string(*port);
        choice.speed = speedText.toStdString();
        dropWorker(row);
        row.worker = std::make_unique<sms::PhoneWorker>(choice, m_queue);
        row.workerPort = *port;
        row.workerSpeed = speedText;
        if (receiveOn) {
            row.reception = receiveOn(*row.worker);
        }
        Row* r = &row;
        row.worker->setObserver([this, r](const sms::PhoneWorkerState& state) {
            r->refusal.clear();  // the phone's own news replaces a refusal of the row
            show(*r);
            const bool ready = state.connected && !state.connecting;
            if (ready && !r->ready && !r->reception && receiveOn) {
                r->reception = receiveOn(*r->worker);  // the database has opened since
            }
            if (ready && !r->ready && phoneJoins) {
                phoneJoins(*r->worker);
            }
            r->ready = ready;
        });
    }
    row.worker->connect();
    show(row);
}

void ExtraPhones::disconnectRow(int index) {
    if (index >= 0 && index < rowCount() && m_rows[size_t(index)]->worker) {
        Row& row = *m_rows[size_t(index)];
        row.refusal.clear();
        row.worker->disconnect();
        show(row);
    }
}

void ExtraPhones::removeSelected() {
    const int index = m_table->currentRow();
    if (index < 0 || index >= rowCount()) {
        return;
    }
    Row& row = *m_rows[size_t(index)];
    if (row.worker && (row.worker->state().connected || row.worker->state().connecting)) {
        refuse(row, QStringLiteral("Önce bağlantıyı kesin"));
        return;
    }
    dropWorker(row);
    m_table->removeRow(index);
    m_rows.erase(m_rows.begin() + index);
}

void ExtraPhones::dropWorker(Row& row) {
    if (row.worker && phoneGoes) {
        phoneGoes(*row.worker);
    }
    row.reception.reset();
    row.worker.reset();
}

std::set<int> ExtraPhones::portsInUse() const {
    std::set<int> ports;
    for (const auto& row : m_rows) {
        if (row->worker && (row->worker->state().connected || row->worker->state().connecting)) {
            ports.insert(row->workerPort);
        }
    }
    return ports;
}

std::vector<sms::PhoneWorker*> ExtraPhones::connectedPhones() const {
    std::vector<sms::PhoneWorker*> phones;
    for (const auto& row : m_rows) {
        if (row->worker && row->worker->state().connected) {
            phones.push_back(row->worker.get());
        }
    }
    return phones;
}

int ExtraPhones::dailyLimitOf(const sms::PhoneIdentity& phone) const {
    const auto same = [&phone](const std::string& imei, const std::string& port) {
        return phone.imei.empty() ? phone.port == port : phone.imei == imei;
    };
    if (m_form.PhoneComPort->Open() &&
        same(m_firstImei, "Com" + std::to_string(m_form.PhoneComPort->ComNumber()))) {
        return m_firstLimit->value();
    }
    for (const auto& row : m_rows) {
        if (row->worker && same(row->imei, "Com" + std::to_string(row->workerPort))) {
            return row->limit->value();
        }
    }
    return 0;
}

void ExtraPhones::showFirstLimit() {
    const std::string imei = imeiOfInfoRows(*m_form.Info);
    if (imei == m_firstImei) {
        return;
    }
    m_firstImei = imei;
    const QSignalBlocker quiet(m_firstLimit);
    m_firstLimit->setValue(
        m_settings && !imei.empty() ? m_settings->dailyLimit(QString::fromStdString(imei)) : 0);
    m_firstLimit->setEnabled(!imei.empty());
}

void ExtraPhones::refreshCounts() {
    for (auto& row : m_rows) {
        show(*row);
    }
}

void ExtraPhones::show(Row& row) {
    const int index = indexOf(&row);
    if (index < 0) {
        return;
    }
    const sms::PhoneWorkerState s = row.worker ? row.worker->state() : sms::PhoneWorkerState{};
    const bool holding = s.connected || s.connecting;
    row.button->setText(fromCodePage(
        std::string(holding ? phone::texts::kDisconnectCaption : phone::texts::kConnectCaption)));
    row.port->setEnabled(!holding);
    row.speed->setEnabled(!holding);

    QString state;
    if (!row.refusal.isEmpty()) {
        state = row.refusal;
    } else if (s.connecting) {
        state = QStringLiteral("Bağlanıyor...");
    } else if (s.connected) {
        state = s.busy ? QStringLiteral("Gönderiyor") : QStringLiteral("Bağlı");
    } else if (!s.lastError.empty()) {
        state = fromCodePage(s.lastError);
    } else {
        state = fromCodePage(std::string(phone::texts::kDisconnected));
    }
    m_table->item(index, kState)->setText(state);
    m_table->item(index, kState)
        ->setToolTip(s.lastError.empty() ? state : fromCodePage(s.lastError));
    m_table->item(index, kOperator)
        ->setText(s.connected ? fromCodePage(s.operatorName) : QString());
    m_table->item(index, kSignal)
        ->setText(s.connected ? QStringLiteral("%%1").arg(s.signal) : QString());

    // A phone that said its IMEI brings back its own limit.
    if (!s.imei.empty() && s.imei != row.imei) {
        row.imei = s.imei;
        const QSignalBlocker quiet(row.limit);
        row.limit->setValue(m_settings ? m_settings->dailyLimit(QString::fromStdString(s.imei))
                                       : 0);
    }
    row.limit->setEnabled(!row.imei.empty());
    const int today = sentToday && !row.imei.empty() ? sentToday(row.imei) : s.sent;
    m_table->item(index, kToday)->setText(row.worker ? QString::number(today) : QString());
    const QString who = fromCodePage(s.maker + " " + s.model).trimmed();
    m_table->item(index, kOperator)
        ->setToolTip(who.isEmpty() ? QString()
                                   : who + QStringLiteral(", IMEI ") + fromCodePage(s.imei));
}

}  // namespace app
