#pragma once
// "Excel'den Veri Al": the window of the workbook import. The user names the column of
// the numbers and the rows to read, picks a workbook (.xls, .xlsx, .ods or .csv), and
// the cells of its first worksheet are appended to the recipient list.

#include <QDialog>

#include <atomic>
#include <functional>

#include "recipients/workbook.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace app {

class TMainForm;

// Picks the file to read; an empty name means the user cancelled.
using FileChooser = std::function<QString(QWidget* parent)>;

class TFrm_Cari_Excel : public QDialog {
public:
    // `choose` stands for OpenDialog1; empty: the real file dialog. `readColumn` stands
    // for the workbook readers; empty: those.
    TFrm_Cari_Excel(TMainForm& form, FileChooser choose = {},
                    recipients::ColumnReader readColumn = {});

    // "Excel'den Aktar": the import.
    void cxButton1Click();
    // "Kapat" and Escape; during a read they stop it, and the window closes then.
    void cxButton2Click();

    QSpinBox* cxSpinEdit2 = nullptr;  // column of the numbers
    QSpinBox* cxSpinEdit4 = nullptr;  // first row
    QSpinBox* cxSpinEdit1 = nullptr;  // last row
    QLabel* lblRows = nullptr;        // which rows will be read, and how many
    QLabel* Label5 = nullptr;         // which files are read
    QPushButton* cxButton1 = nullptr;
    QPushButton* cxButton2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString rowsText() const;

    TMainForm& m_form;
    FileChooser m_choose;
    recipients::ColumnReader m_readColumn;
    // A workbook is being read (the window's own thread only), and the user asked to
    // stop it (read by the reading thread).
    bool m_reading = false;
    std::atomic<bool> m_cancel{false};
};

// Button6: shows the window modally, then refreshes the count.
void ShowExcelImport(TMainForm& form, const FileChooser& choose = {});

// OpenDialog1 as a real file dialog: the four kinds of workbook.
QString chooseWorkbook(QWidget* parent);

}  // namespace app
