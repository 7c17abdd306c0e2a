#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <system_error>

#include "app/error_handler.h"
#include "app/maker_info.h"
#include "app/settings.h"
#include "app/ui_fonts.h"
#include "platform/codepage_1254.h"
#include "recipients/recipient_file.h"
#include "serial/com_port.h"

// The logo lives in a static library's resources, which the linker would drop unasked.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace app {
namespace {

constexpr int kClientWidth = 784;
constexpr int kClientHeight = 564;
constexpr int kStripHeight = 45;
constexpr int kStatusBarHeight = 22;
// The page area of a tab, inside the tab control's frame.
constexpr int kGroupWidth = 762;
constexpr int kGroupHeight = 440;

const QColor kLampRed(255, 0, 0);

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QGroupBox* makeGroup(QWidget* parent, const QString& title, int x, int y, int w, int h) {
    auto* group = new QGroupBox(title, parent);
    group->setGeometry(x, y, w, h);
    return group;
}

QProgressBar* makeGauge(QWidget* parent) {
    auto* gauge = new QProgressBar(parent);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setTextVisible(true);
    gauge->setAlignment(Qt::AlignCenter);
    gauge->setFormat(QStringLiteral("%p%"));
    gauge->setFont(tahomaFont(10));
    gauge->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #808080; background: white; color: black; }"
        "QProgressBar::chunk { background: blue; }"));
    gauge->resize(72, 15);
    return gauge;
}

void makeClickable(QWidget* widget, QObject* filter) {
    widget->setCursor(Qt::PointingHandCursor);
    widget->installEventFilter(filter);
}

// A label text made of several quoted pieces, one per line.
QString lines(std::initializer_list<const char*> pieces) {
    QStringList list;
    for (const char* p : pieces) {
        list << QString::fromUtf8(p);
    }
    return list.join(QLatin1Char('\n'));
}

}  // namespace

TMainForm::TMainForm(MainFormOptions options, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)) {
    initResources();
    if (m_options.asker != nullptr) {
        m_asker = m_options.asker;
    } else {
        m_ownAsker = std::make_unique<MessageBoxAsker>();
        m_asker = m_ownAsker.get();
    }
    if (!m_options.openUrl) {
        m_options.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    }

    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tarvel Yazılım - Toplu Sms Gönderme - Sürüm: 1.0.1"));
    // Fixed single border: system menu and minimise, no maximise, not resizable.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(244, 155);
    setFont(tahomaFont(11));

    m_phoneComPort = std::make_unique<serial::TComPort>();
    PhoneComPort = m_phoneComPort.get();
    PhoneComPort->Name = "PhoneComPort";
    PhoneComPort->SetComNumber(5);
    PhoneComPort->SetBaud(115200);
    PhoneComPort->SetAutoOpen(false);

    tiRefresh = new QTimer(this);
    tiRefresh->setInterval(5000);
    connect(tiRefresh, &QTimer::timeout, this, [this] {
        if (m_hooks.refreshTick) {
            guarded(m_hooks.refreshTick);
        }
    });
    tiClear = new QTimer(this);
    tiClear->setInterval(4000);
    connect(tiClear, &QTimer::timeout, this, [this] {
        if (m_hooks.clearTick) {
            guarded(m_hooks.clearTick);
        }
    });

    buildStatusStrip();

    cxPageControl1 = new QTabWidget(this);
    cxPageControl1->setGeometry(0, kStripHeight, kClientWidth,
                                kClientHeight - kStripHeight - kStatusBarHeight);
    cxPageControl1->setFont(tahomaFont(13, true));
    cxPageControl1->tabBar()->setCursor(Qt::PointingHandCursor);
    cxPageControl1->tabBar()->setAttribute(Qt::WA_Hover);
    cxTabSheet1 = new QWidget;
    cxTabSheet2 = new QWidget;
    cxTabSheet3 = new QWidget;
    cxTabSheet4 = new QWidget;
    cxTabSheet5 = new QWidget;
    for (QWidget* page : {cxTabSheet1, cxTabSheet2, cxTabSheet3, cxTabSheet4, cxTabSheet5}) {
        page->setFont(tahomaFont(11));  // the pages keep the window's font, the tabs are bold
    }
    cxPageControl1->addTab(cxTabSheet1, QStringLiteral("Cihaz İletişim"));
    cxPageControl1->addTab(cxTabSheet2, QStringLiteral("Tek Kişiye Sms Gönderme"));
    cxPageControl1->addTab(cxTabSheet3, QStringLiteral("Toplu Sms Gönderme"));
    cxPageControl1->addTab(cxTabSheet4, QStringLiteral("Hakkında"));
    cxPageControl1->addTab(cxTabSheet5, QStringLiteral("Yardım"));

    buildConnectionTab();
    buildSingleMessageTab();
    buildBulkTab();
    buildTurkishOption();
    buildReportOption();
    buildAboutTab();
    buildHelpTab();

    connect(cxPageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (cxPageControl1->widget(index) == cxTabSheet3) {
            guarded([this] { cxTabSheet3Show(); });
        }
    });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
    // Panels of 200, 400 and 200 pixels; the last one ends at the window's edge.
    const int widths[3] = {200, 400, 200};
    int x = 0;
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(StatusBar1);
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        m_panels[i]->setIndent(3);
        m_panels[i]->setGeometry(x, 2, std::min(widths[i], kClientWidth - x) - 2,
                                 kStatusBarHeight - 3);
        x += widths[i];
    }

    ComboBox1->setFocus();
    guarded([this] { FormCreate(); });
}

TMainForm::~TMainForm() = default;

void TMainForm::guarded(const std::function<void()>& handler) {
    runGuarded(*m_asker, this, handler);
}

// ---------------------------------------------------------------- status strip

void TMainForm::buildStatusStrip() {
    Panel5 = new QFrame(this);
    Panel5->setGeometry(0, 0, kClientWidth, kStripHeight);
    Panel5->setFrameShape(QFrame::StyledPanel);

    Label40 = makeLabel(Panel5, QStringLiteral("Batarya Durumu "), 10, 15, arialFont(12, true));
    Gauge1 = makeGauge(Panel5);
    Gauge1->move(Label40->x() + Label40->width() + 4, 15);
    Label41 = makeLabel(Panel5, QStringLiteral("Sinyal Gücü"), Gauge1->x() + 72 + 24, 15,
                        arialFont(12, true));
    Gauge2 = makeGauge(Panel5);
    Gauge2->move(Label41->x() + Label41->width() + 4, 15);

    Panel1 = new QFrame(Panel5);
    Panel1->setGeometry(Gauge2->x() + 72 + 24, 5, 33, 34);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    setLamp(kLampRed);

    Button7 = new QPushButton(QStringLiteral("Programdan Çıkış"), Panel5);
    Button7->setGeometry(kClientWidth - 150 - 6, 3, 150, 38);
    Button7->setFont(arialFont(15, true));
    Button7->setCursor(Qt::PointingHandCursor);
    fitCaption(Button7);
    connect(Button7, &QPushButton::clicked, this, [this] { guarded([this] { Button7Click(); }); });
}

void TMainForm::setStatusPanel(int index, const QString& text) {
    if (index >= 0 && index < 3) {
        m_panels[index]->setText(text);
    }
}

QString TMainForm::statusPanel(int index) const {
    return index >= 0 && index < 3 ? m_panels[index]->text() : QString();
}

void TMainForm::setLamp(const QColor& color) {
    QPalette p = Panel1->palette();
    p.setColor(QPalette::Window, color);
    Panel1->setPalette(p);
}

QColor TMainForm::lamp() const {
    return Panel1->palette().color(QPalette::Window);
}

void TMainForm::setSignalGauge(int percent) {
    Gauge2->setValue(std::clamp(percent, 0, 100));
}

void TMainForm::setBatteryGauge(int percent) {
    Gauge1->setValue(std::clamp(percent, 0, 100));
}

// ---------------------------------------------------------------- "Cihaz İletişim"

void TMainForm::buildConnectionTab() {
    cxGroupBox1 = makeGroup(cxTabSheet1, QStringLiteral(" İletişim Ayarları "), 6, 6, kGroupWidth,
                            kGroupHeight);
    QWidget* g = cxGroupBox1;

    Label12 = makeLabel(g, QStringLiteral("Bağlantı Portu"), 16, 28, font());
    ComboBox1 = new QComboBox(g);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 40; ++i) {
        ComboBox1->addItem(QStringLiteral("Com%1").arg(i));
    }
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setGeometry(16, 46, 117, 24);

    Label13 = makeLabel(g, QStringLiteral("Transfer Hızı"), 16, 80, font());
    ComboBox2 = new QComboBox(g);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->addItems({QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                         QStringLiteral("19200"), QStringLiteral("38400"),
                         QStringLiteral("115200")});
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setGeometry(16, 98, 117, 24);

    btnOpen = makeTagButton(g, QStringLiteral("Bağlan"), 23);
    btnOpen->setGeometry(16, 136, 134, 51);
    btnOpen->setCursor(Qt::PointingHandCursor);

    Label35 = makeLabel(
        g,
        lines({"Aygıtın hangi porta bağlı olduğunu buluyoruz. Denetim Masasından Telefon ve "
               "Modemler. ",
               "Port numarasını ve modemin desteklediği en yüksek hızı yazıyoruz.",
               "Ayğıt bağlantısı için (Bağlan) butonuna tıklayınız."}),
        170, 28, font());

    Info = new QTableWidget(0, 2, g);
    Info->horizontalHeader()->hide();
    Info->verticalHeader()->hide();
    Info->setShowGrid(true);
    Info->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Info->setSelectionBehavior(QAbstractItemView::SelectRows);
    Info->setSelectionMode(QAbstractItemView::SingleSelection);
    Info->setColumnWidth(0, 105);
    Info->setColumnWidth(1, 320);
    Info->verticalHeader()->setDefaultSectionSize(18);
    Info->setGeometry(170, 90, 105 + 320 + 20, 240);

    Memo1 = new QPlainTextEdit(g);
    Memo1->setGeometry(640, 90, 100, 60);
    Memo1->hide();

    // Hidden labels at the right edge: the phone dialogue keeps texts in some of them.
    QLabel** hidden[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8};
    for (int i = 0; i < 8; ++i) {
        *hidden[i] = new QLabel(g);
        (*hidden[i])->setFont(arialFont(13, true));
        (*hidden[i])->setGeometry(630, 90 + i * 20, 120, 18);
        (*hidden[i])->hide();
    }

    Label9 = makeLabel(
        g, QStringLiteral("* Lütfen mobil cihazınızın bilgisayarınıza bağlı olduğuna emin olunuz."),
        16, 350, font());
    Label16 = makeLabel(g, QStringLiteral("* Kablo bağlantılarında ayğıt sürücülerini yükleyiniz."),
                        16, 372, font());
    Label17 = makeLabel(g,
                        QStringLiteral("* Bluetooth ile bağlantıda bilgisayar ile cep telefonunu "
                                       "arasındaki bağlantıyı aktifleştiriniz."),
                        16, 394, font());
}

void TMainForm::addInfoRow(const QString& caption, const QString& value) {
    const int row = Info->rowCount();
    Info->insertRow(row);
    Info->setItem(row, 0, new QTableWidgetItem(caption));
    Info->setItem(row, 1, new QTableWidgetItem(value));
}

void TMainForm::clearInfoRows() {
    Info->setRowCount(0);
}

int TMainForm::infoRowCount() const {
    return Info->rowCount();
}

void TMainForm::setConnectCaption(const QString& caption) {
    btnOpen->setText(caption);
}

// ---------------------------------------------------------------- "Hakkında"

void TMainForm::buildAboutTab() {
    cxGroupBox5 =
        makeGroup(cxTabSheet4, QStringLiteral(" Hakkında "), 6, 6, kGroupWidth, kGroupHeight);
    QWidget* g = cxGroupBox5;
    const QFont bold = tahomaFont(13, true);
    int y = 34;
    auto next = [&](const QString& text) {
        QLabel* l = makeLabel(g, text, 40, y, bold);
        y += l->height() + 12;
        return l;
    };
    Label21 = next(QStringLiteral("Ürün Adı : Toplu Sms Gönderim Programı"));
    Label22 = next(QStringLiteral("Ürün Sürüm : 1.0.1"));
    Label23 = next(maker::kRightsLine);
    Label24 = next(QStringLiteral("Telefon No : ") + maker::kTelephone);
    Label25 = next(QStringLiteral("Gsm No : ") + maker::kMobile);
    Label26 = next(QStringLiteral("E-Posta : ") + maker::kSupportMail);
    Label27 = next(QStringLiteral("Web : ") + maker::kWebAddress);
    for (QLabel* link : {Label26, Label27}) {
        QPalette p = link->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 128));  // navy
        link->setPalette(p);
        makeClickable(link, this);
    }

    Shape1 = new QFrame(g);
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setGeometry((kGroupWidth - 265) / 2, y + 10, 265, 108);
    Image1 = new QLabel(Shape1);
    Image1->setPixmap(QPixmap(maker::kLogoResource));
    Image1->setGeometry((265 - 250) / 2, (108 - 100) / 2, 250, 100);
    makeClickable(Image1, this);
}

void TMainForm::Label27Click() {
    m_options.openUrl(QUrl(maker::kWebAddress));
}

void TMainForm::Label26Click() {
    m_options.openUrl(QUrl(QStringLiteral("mailto:") + maker::kSupportMail +
                           QStringLiteral("?subject=Toplu Sms 1.0.1&body=")));
}

// ---------------------------------------------------------------- "Yardım"

void TMainForm::buildHelpTab() {
    // Two blanks between the words, as the group has always been titled.
    cxGroupBox6 = makeGroup(cxTabSheet5, QStringLiteral("İlk Kullanım  Adımları "), 6, 6,
                            kGroupWidth, kGroupHeight);
    QWidget* g = cxGroupBox6;
    const QFont bold = tahomaFont(13, true);
    int y = 30;
    auto next = [&](const QString& text, bool title) {
        QLabel* l = makeLabel(g, text, 20, y, bold);
        if (title) {
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, QColor(0, 0, 128));
            l->setPalette(p);
        }
        y += l->height() + (title ? 4 : 16);
        return l;
    };
    Label28 = next(QStringLiteral("Adım 1: GSM aygıtınızı bilgisayarınıza bağlayın "), true);
    Label29 =
        next(lines({"USB kablo ile bağlanıyorsanız aygıtınızı USB'den bilgisayarınıza takınız. ",
                    "Cep telefonunuzun kutusunda size verilmiş olan bağlantı yazılımını "
                    "bilgisayarınıza kurunuz.",
                    "Bluetooth ile bağlantıda bilgisayar ile cep telefonunu arasındaki "
                    "bağlantıyı aktifleştiriniz."}),
             false);
    Label30 = next(QStringLiteral("Adım 2: Aygıt iletişim ayarlarını yapın "), true);
    Label31 = next(lines({"Cihaz iletişim sekmesinden aygıta ait cihaz portunu seçiniz.",
                          "Bağlan butonuna tıklayınız."}),
                   false);
    Label32 = next(QStringLiteral("Adım 3: SMS gönderimini test edin "), true);
    Label33 = next(lines({"Tek kişiye Sms göndermek için (Tek Kişiye Sms Gönderme) sekmesine "
                          "tıklayınız.",
                          "Telefon No yazan bölüme SMS gönderim yapılacak telefon no girişi "
                          "yapınız.",
                          "Mesajınızı giriş yapıp (SMS GÖNDER) butonuna tıklayınız."}),
                   false);
    y -= 10;  // the bulk steps belong to step 3
    Label34 = next(lines({"Toplu Sms Gönderim için (Toplu Sms Gönderme) sekmesine tıklayınız.",
                          "Gönderim listesine telfon no eklemek için telefon no girişi yapıp "
                          "(Ekle) butonuna tıklayınız.",
                          "Toplu telefon no aktarımı için sol bölümdeki aktarım seçeneklerini "
                          "kullanabilirsiniz."}),
                   false);
}

// ---------------------------------------------------------------- start and close

void TMainForm::FormCreate() {
    std::error_code ec;
    const bool exists = std::filesystem::exists(m_options.listFile, ec);
    // A file that may be there (its folder cannot be searched) counts as unreadable.
    if (exists || ec) {
        std::vector<std::string> entries;
        try {
            if (ec) {
                throw recipients::FileError("Cannot open file \"" + listFilePath().toStdString() +
                                            "\". " + ec.message());
            }
            entries = recipients::loadLines(m_options.listFile);
        } catch (const recipients::FileError& e) {
            m_listUnreadable = true;
            throw recipients::FileError(std::string(e.what()) +
                                        "\n\nBu dosyanın üzerine yazılmayacak: program kapanırken "
                                        "liste başka bir adla kaydedilebilir.");
        }
        m_recipients->clear();
        for (const auto& e : entries) {
            m_recipients->append(e);
        }
    }
    ComboBox1->setCurrentIndex(PhoneComPort->ComNumber() - 1);
    ComboBox2->setCurrentText(QString::number(PhoneComPort->Baud()));
}

void TMainForm::FormShow() {
    cxPageControl1->setCurrentIndex(0);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        guarded([this] { FormShow(); });
    }
}

void TMainForm::Button7Click() {
    if (m_asker->askYesNo(this, QStringLiteral("Bilgi"),
                          QStringLiteral("Programdan çıkmak istiyor musunuz?"),
                          Asker::Icon::Information)) {
        close();
    }
}

std::vector<std::string> TMainForm::listEntries() const {
    std::vector<std::string> entries;
    entries.reserve(static_cast<size_t>(m_recipients->count()));
    for (int i = 0; i < m_recipients->count(); ++i) {
        entries.push_back(m_recipients->entry(i));
    }
    return entries;
}

QString TMainForm::listFilePath() const {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(m_options.listFile, ec);
    return QString::fromStdString((ec ? m_options.listFile : full.lexically_normal()).string());
}

QString TMainForm::unreadableListText() const {
    return QStringLiteral("\"%1\" açılışta okunamadığı için üzerine yazılmadı.")
        .arg(listFilePath());
}

bool TMainForm::FormCloseQuery() {
    const std::vector<std::string> entries = listEntries();
    if (m_listUnreadable) {
        if (entries.empty()) {
            return true;  // nothing of this session to keep, and the file stays as it is
        }
        return offerAnotherPlace(entries, unreadableListText());
    }
    try {
        recipients::saveLines(m_options.listFile, entries);
        return true;
    } catch (const recipients::FileError& e) {
        return offerAnotherPlace(entries, exceptionText(e));
    }
}

bool TMainForm::offerAnotherPlace(const std::vector<std::string>& entries, QString problem) {
    const QStringList choices = {QStringLiteral("Başka yere kaydet"),
                                 QStringLiteral("Kaydetmeden çık"), QStringLiteral("Vazgeç")};
    for (;;) {
        const QString text =
            errorBoxText(problem) +
            QStringLiteral("\n\nListedeki %1 kayıt kaydedilmedi.").arg(entries.size());
        const int choice =
            m_asker->askChoice(this, QStringLiteral("Uyarı"), text, Asker::Icon::Warning, choices);
        if (choice == 0) {
            const QString other =
                m_options.chooseListFile ? m_options.chooseListFile(this) : chooseListFile(this);
            if (other.isEmpty()) {
                continue;
            }
            std::error_code ec;
            if (m_listUnreadable &&
                std::filesystem::equivalent(other.toStdString(), m_options.listFile, ec)) {
                problem = unreadableListText();  // the one file this session must not touch
                continue;
            }
            try {
                recipients::saveLines(other.toStdString(), entries);
                return true;
            } catch (const recipients::FileError& e) {
                problem = exceptionText(e);
            }
        } else if (choice == 1) {
            if (m_asker->askYesNo(this, QStringLiteral("Uyarı"),
                                  QStringLiteral("Liste kaydedilmeden çıkılsın mı? Bu oturumda "
                                                 "yapılan değişiklikler kaybolacak."),
                                  Asker::Icon::Warning)) {
                return true;
            }
        } else {
            return false;  // the window stays open
        }
    }
}

Settings settingsFileOf(const MainFormOptions& options) {
    return options.settingsFile.isEmpty() ? Settings() : Settings(options.settingsFile);
}

Settings TMainForm::settings() const {
    return settingsFileOf(m_options);
}

QString chooseListFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Listeyi kaydet"),
                       QDir::home().filePath(QStringLiteral("rehber.txt")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("*.txt (*.txt)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

void TMainForm::FormClose() {
    tiRefresh->stop();
    if (m_hooks.closing) {
        m_hooks.closing();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A part that is not done yet (a bulk run) may hold the close back; an error in it
    // holds it back too.
    bool partsDone = !m_hooks.mayClose;
    if (!partsDone) {
        guarded([&] { partsDone = m_hooks.mayClose(); });
    }
    if (!partsDone) {
        event->ignore();
        return;
    }
    // A list that cannot be saved keeps the window open; the next close tries again.
    bool mayClose = false;
    guarded([&] { mayClose = FormCloseQuery(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    guarded([this] { FormClose(); });
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Label27 || watched == Image1) {
            guarded([this] { Label27Click(); });
        } else if (watched == Label26) {
            guarded([this] { Label26Click(); });
        } else if (watched == Memo2->viewport()) {
            guarded([this] { Memo2Click(); });
        } else if (watched == Memo3->viewport()) {
            guarded([this] { Memo3Click(); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace app
