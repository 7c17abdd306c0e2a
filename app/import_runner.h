#pragma once
// Runs a long read (a large workbook or text file) on a thread of its own while the
// window stays responsive: the user-interface thread waits in an event loop, and the
// progress shows in the third panel of the status bar.

#include <atomic>
#include <functional>

#include "recipients/list_entry.h"
#include "recipients/workbook.h"

namespace app {

class TMainForm;

using ImportRead = std::function<recipients::ImportResult(const recipients::ReadControl&)>;

// Runs `read` on another thread and returns its result; an exception it throws is
// thrown here (ImportCancelled once `cancel` is raised). Processes the window's events
// meanwhile.
recipients::ImportResult runImport(TMainForm& form, const ImportRead& read,
                                   const std::atomic<bool>* cancel = nullptr);

// Appends the entries to the list, refreshes the count, names the refused texts in a
// warning box and shows the reader's note (a guessed encoding) in an information box.
void appendImported(TMainForm& form, const recipients::ImportResult& result);

}  // namespace app
