#pragma once
// The bulk tab's ways of filling and tidying the recipient list: the text-file import
// ("Aktar (Txt Dosya)"), the workbook window ("Aktar (Excel)") and "Tekrarları Sil"
// under the list, which removes repeated numbers.

#include <atomic>

#include "app/excel_import_dialog.h"

class QPushButton;

namespace app {

class TMainForm;

struct ListImportOptions {
    FileChooser chooseTextFile;  // OpenDialog2; empty: the real file dialog
    FileChooser chooseWorkbook;  // OpenDialog1; empty: the real file dialog
};

class ListImports {
public:
    explicit ListImports(TMainForm& form, ListImportOptions options = {});
    ~ListImports();
    ListImports(const ListImports&) = delete;
    ListImports& operator=(const ListImports&) = delete;

    // "Aktar (Txt Dosya)". Escape stops the read; nothing is appended then.
    void Button5Click();
    // Stops a text import that is reading (what Escape does meanwhile).
    void cancelTextImport() { m_cancel = true; }
    // "Aktar (Excel)".
    void Button6Click();
    // "Tekrarları Sil".
    void btnRepeatsClick();

    QPushButton* btnRepeats = nullptr;

private:
    TMainForm& m_form;
    ListImportOptions m_options;
    // An import is reading: the window keeps working meanwhile, but a second click of
    // an import button is ignored until it is over.
    bool m_busy = false;
    // Raised on the user-interface thread, read by the reading thread.
    std::atomic<bool> m_cancel{false};
};

// OpenDialog2 as a real file dialog.
QString chooseTextFile(QWidget* parent);

}  // namespace app
