#include "app/list_imports.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>

#include "app/import_runner.h"
#include "app/main_window.h"
#include "recipients/repeated_numbers.h"
#include "recipients/text_import.h"

namespace app {

ListImports::ListImports(TMainForm& form, ListImportOptions options)
    : m_form(form), m_options(std::move(options)) {
    MainFormHooks& hooks = form.hooks();
    hooks.textImportClicked = [this] { Button5Click(); };
    hooks.excelImportClicked = [this] { Button6Click(); };

    // Under the list, which gives up the room for it.
    QListWidget* list = form.ListBox1;
    const QRect area = list->geometry();
    list->setGeometry(area.adjusted(0, 0, 0, -34));
    btnRepeats = new QPushButton(QStringLiteral("Tekrarları Sil"), list->parentWidget());
    btnRepeats->setGeometry(area.x(), area.bottom() - 28, area.width(), 28);
    btnRepeats->show();
    QObject::connect(btnRepeats, &QPushButton::clicked, &form,
                     [this] { m_form.guarded([this] { btnRepeatsClick(); }); });
}

ListImports::~ListImports() {
    m_form.hooks().textImportClicked = nullptr;
    m_form.hooks().excelImportClicked = nullptr;
}

void ListImports::Button5Click() {
    if (m_busy) {
        return;
    }
    const QScopedValueRollback busy(m_busy, true);
    m_cancel = false;
    const QString file =
        m_options.chooseTextFile ? m_options.chooseTextFile(&m_form) : chooseTextFile(&m_form);
    if (file.isEmpty()) {
        return;
    }
    const std::filesystem::path path = file.toStdString();
    // A file that cannot be read goes to the default error handler; nothing is appended.
    recipients::ImportResult result;
    {
        QShortcut stop(QKeySequence(Qt::Key_Escape), &m_form);
        QObject::connect(&stop, &QShortcut::activated, &m_form, [this] { cancelTextImport(); });
        try {
            result = runImport(
                m_form,
                [&](const recipients::ReadControl& control) {
                    return recipients::readTextImport(path, control);
                },
                &m_cancel);
        } catch (const recipients::ImportCancelled& e) {
            m_form.setStatusPanel(2, QString::fromUtf8(e.what()));
            return;
        }
    }
    appendImported(m_form, result);
}

void ListImports::Button6Click() {
    if (m_busy) {
        return;
    }
    const QScopedValueRollback busy(m_busy, true);
    ShowExcelImport(m_form, m_options.chooseWorkbook);
}

void ListImports::btnRepeatsClick() {
    recipients::RecipientList& list = m_form.recipientList();
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(list.count()));
    for (int i = 0; i < list.count(); ++i) {
        entries.push_back(list.entry(i));
    }
    int removed = 0;
    std::vector<std::string> kept = recipients::withoutRepeats(entries, &removed);
    if (removed > 0) {
        list.clear();
        list.appendAll(kept);
    }
    list.updateNumberCount();
    m_form.setStatusPanel(2, removed > 0
                                 ? QStringLiteral("%1 tekrar eden numara silindi.").arg(removed)
                                 : QStringLiteral("Tekrar eden numara yok."));
}

QString chooseTextFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("*.txt (*.txt)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace app
