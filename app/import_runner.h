#pragma once
// Runs a long read (a large workbook or text file) on a thread of its own while the
// window stays responsive: the user-interface thread waits in an event loop, and the
// progress shows in the third panel of the status bar.

#include <QString>

#include <atomic>
#include <functional>

#include "recipients/list_entry.h"
#include "recipients/workbook.h"

class QWidget;

namespace app {

class TMainForm;

using ImportRead = std::function<recipients::ImportResult(const recipients::ReadControl&)>;

// Runs `read` on another thread and returns its result; an exception it throws is
// thrown here (ImportCancelled once `cancel` is raised). Processes the window's events
// meanwhile.
recipients::ImportResult runImport(TMainForm& form, const ImportRead& read,
                                   const std::atomic<bool>* cancel = nullptr);

// Appends the entries to the list, refreshes the count and says what was done: how many
// entries were added and how many refused, in the status bar's third panel and, when
// something was refused or a headline is given, in a box (over `parent`, else the form)
// that names the refused texts and gives the reader's note (a guessed encoding).
void appendImported(TMainForm& form, const recipients::ImportResult& result,
                    const QString& headline = {}, QWidget* parent = nullptr);

// "9 kayıt eklendi." or "9 kayıt eklendi, 2 kayıt alınmadı."
QString importSummary(const recipients::ImportResult& result);

}  // namespace app
