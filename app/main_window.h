#pragma once
// TMainForm: the program's one main window, with the status strip, the five tabs and
// the status bar. The components are public members under their own names so that the
// phone dialogue, the sending and the imports can reach them; what those later parts
// do on a click or a timer tick comes in through MainFormHooks.

#include <QColor>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/asker.h"
#include "recipients/recipient_list.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace serial {
class TComPort;
}

namespace app {

class Settings;

struct MainFormOptions {
    // The recipient list file; relative paths are taken from the working directory.
    std::filesystem::path listFile = "rehber.txt";
    // Null: real message boxes.
    Asker* asker = nullptr;
    // Null: the desktop's browser and mail client (QDesktopServices).
    std::function<void(const QUrl&)> openUrl;
    // The settings file; empty: the user's own (app/settings.h).
    QString settingsFile;
    // Names the file a list goes to when rehber.txt cannot take it ("Başka yere kaydet");
    // an empty name means the user cancelled. Null: the real file dialog.
    std::function<QString(QWidget* parent)> chooseListFile;
};

// What the later parts plug in. Every hook is optional; an empty one does nothing.
struct MainFormHooks {
    std::function<void()> connectClicked;                       // btnOpen, Tag 23
    std::function<void(const QString& text)> sendSms;           // btnSMS, Tag 16 (number in Edit1)
    std::function<void(const char* storage)> phonebookClicked;  // btnME "ME", btnSM "SM"
    std::function<void()> bulkSendClicked;                      // Button1
    std::function<void()> textImportClicked;                    // Button5
    std::function<void()> excelImportClicked;                   // Button6
    std::function<void()> refreshTick;                          // tiRefresh
    std::function<void()> clearTick;                            // tiClear
    // Last step of FormClose, after tiRefresh is off: let a waiting command finish and
    // close the port.
    std::function<void()> closing;
    // The window is asked to close, before the list is saved: false keeps it open. A part
    // that must finish something first closes the window itself once it has.
    std::function<bool()> mayClose;
};

class TMainForm : public QWidget {
public:
    explicit TMainForm(MainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Each part sets the hooks it serves and leaves the others alone.
    MainFormHooks& hooks() { return m_hooks; }
    Asker& asker() { return *m_asker; }
    // The recipient list of the bulk tab, for the imports and the bulk send.
    recipients::RecipientList& recipientList() { return *m_recipients; }
    // "Türkçe karakterleri 7 bit gönder": whether a send may use the Turkish shift tables.
    bool turkishSevenBit() const;
    // "Teslim raporu iste": whether a send asks for delivery reports.
    bool deliveryReportsRequested() const;

    // The settings file the window was given (the user's own when none).
    Settings settings() const;

    // The recipient list file; the results of bulk runs go beside it.
    const std::filesystem::path& listFile() const { return m_options.listFile; }

    // Opens a web or mail address, or a folder, with the desktop's program for it.
    void openUrl(const QUrl& url) { m_options.openUrl(url); }

    // Runs a handler under the application's default error handler.
    void guarded(const std::function<void()>& handler);

    // --- What the phone dialogue changes in the window ---
    void setStatusPanel(int index, const QString& text);  // 0 state, 1 last error, 2 phonebook
    QString statusPanel(int index) const;
    void setLamp(const QColor& color);  // Panel1
    QColor lamp() const;
    void setSignalGauge(int percent);   // Gauge2, kept within 0..100
    void setBatteryGauge(int percent);  // Gauge1, kept within 0..100
    void addInfoRow(const QString& caption, const QString& value);
    void clearInfoRows();
    int infoRowCount() const;
    void setConnectCaption(const QString& caption);  // btnOpen

    // --- Handlers, named after their component and event ---
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void Button7Click();
    void Label26Click();
    void Label27Click();
    void ButtonClick(QAbstractButton* sender);
    void Memo2Click();
    void Memo3Click();
    void Memo2Change();
    void Memo3Change();
    void TurkishOptionToggled(bool checked);  // either tab's check box
    void ReportOptionToggled(bool checked);   // either tab's "Teslim raporu iste"
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void UpdateNumberCount();
    void cxTabSheet3Show();

    // --- Components ---
    // Status strip
    QFrame* Panel5 = nullptr;
    QLabel* Label40 = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QLabel* Label41 = nullptr;
    QProgressBar* Gauge2 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button7 = nullptr;
    QTabWidget* cxPageControl1 = nullptr;
    QWidget* cxTabSheet1 = nullptr;
    QWidget* cxTabSheet2 = nullptr;
    QWidget* cxTabSheet3 = nullptr;
    QWidget* cxTabSheet4 = nullptr;
    QWidget* cxTabSheet5 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* tiRefresh = nullptr;
    QTimer* tiClear = nullptr;
    // The phone's serial port; its stored settings give the first port and speed choice.
    serial::TComPort* PhoneComPort = nullptr;

    // "Cihaz İletişim"
    QGroupBox* cxGroupBox1 = nullptr;
    QLabel* Label12 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label13 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QPushButton* btnOpen = nullptr;
    QLabel* Label35 = nullptr;
    QTableWidget* Info = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;

    // "Tek Kişiye Sms Gönderme"
    QGroupBox* cxGroupBox2 = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* btn0 = nullptr;  // btn0 ... btn9: Tags 0 ... 9
    QPushButton* btn1 = nullptr;
    QPushButton* btn2 = nullptr;
    QPushButton* btn3 = nullptr;
    QPushButton* btn4 = nullptr;
    QPushButton* btn5 = nullptr;
    QPushButton* btn6 = nullptr;
    QPushButton* btn7 = nullptr;
    QPushButton* btn8 = nullptr;
    QPushButton* btn9 = nullptr;
    QPushButton* btnStern = nullptr;  // "*", Tag 10
    QPushButton* btnRaute = nullptr;  // "#", Tag 11
    QPushButton* btnBack = nullptr;   // "C", Tag 12
    QPushButton* btnClear = nullptr;  // "Del", Tag 13
    QLabel* Label11 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QLabel* Label19 = nullptr;
    QPushButton* btnSMS = nullptr;  // Tag 16
    // "Türkçe karakterleri 7 bit gönder", on both sending tabs and always alike
    QCheckBox* chkTurkish2 = nullptr;
    // "Teslim raporu iste", on both sending tabs and always alike
    QCheckBox* chkReports2 = nullptr;

    // "Toplu Sms Gönderme"
    QGroupBox* cxGroupBox3 = nullptr;  // " Telefon Numaraları "
    QLabel* Label14 = nullptr;         // "TELEFON NO"
    QLineEdit* Edit3 = nullptr;
    QPushButton* Button2 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QLabel* Label18 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* btnME = nullptr;      // Tag 19
    QPushButton* btnSM = nullptr;      // Tag 20
    QGroupBox* cxGroupBox4 = nullptr;  // " Gönderilecek SMS Metni "
    QPlainTextEdit* Memo3 = nullptr;
    QLabel* Label20 = nullptr;
    QCheckBox* chkTurkish3 = nullptr;
    QCheckBox* chkReports3 = nullptr;
    QLabel* Label15 = nullptr;  // caption of edtSure
    QSpinBox* edtSure = nullptr;
    QPushButton* Button1 = nullptr;

    // "Hakkında"
    QGroupBox* cxGroupBox5 = nullptr;
    QLabel* Label21 = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label24 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label27 = nullptr;
    QFrame* Shape1 = nullptr;
    QLabel* Image1 = nullptr;

    // "Yardım"
    QGroupBox* cxGroupBox6 = nullptr;
    QLabel* Label28 = nullptr;
    QLabel* Label29 = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label31 = nullptr;
    QLabel* Label32 = nullptr;
    QLabel* Label33 = nullptr;
    QLabel* Label34 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildStatusStrip();
    void buildConnectionTab();
    void buildSingleMessageTab();
    void buildBulkTab();
    void buildTurkishOption();  // after both sending tabs
    void buildReportOption();   // after the Turkish option
    void buildAboutTab();
    void buildHelpTab();
    QPushButton* makeTagButton(QWidget* parent, const QString& caption, int tag);
    std::vector<std::string> listEntries() const;
    QString listFilePath() const;  // the list file's full path
    QString unreadableListText() const;
    // When the list cannot go to its file: offers another file or closing without saving;
    // true when the window may close.
    bool offerAnotherPlace(const std::vector<std::string>& entries, QString problem);

    MainFormOptions m_options;
    MainFormHooks m_hooks;
    std::unique_ptr<Asker> m_ownAsker;
    Asker* m_asker = nullptr;
    std::unique_ptr<recipients::RecipientList> m_recipients;  // over ListBox1
    std::unique_ptr<serial::TComPort> m_phoneComPort;
    std::array<QLabel*, 3> m_panels{};
    bool m_shown = false;
    // The list file was there at start but could not be read: it is never replaced, so
    // what it holds is not lost to the list of this session.
    bool m_listUnreadable = false;
};

// The settings file the window's options name: theirs, or the user's own.
Settings settingsFileOf(const MainFormOptions& options);

// The file dialog that names another file for the list.
QString chooseListFile(QWidget* parent);

// What both message editors hold until the user writes a message.
inline const QString kMessagePlaceholder = QStringLiteral("Mesajınızı buraya yazınız.");

// The editor's text as the rest of the program takes it: line breaks as CR LF.
QString memoText(const QPlainTextEdit* memo);
// Length of a text in Windows-1254 bytes, a line break counting 2.
int codePageLength(const QString& text);

}  // namespace app
