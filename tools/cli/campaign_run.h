#pragma once
// What the subcommands over the program's database share: the --db option, opening the
// file with a clear message, and serving a campaign over a connected phone with one line
// printed per recipient.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "tools/cli/phone_session.h"

namespace cli {

// Takes "--db PATH" out of `args` (toplusms.db in the working folder when not given).
// Nothing when --db has no value.
std::optional<std::filesystem::path> takeDatabaseOption(std::vector<std::string_view>& args);

// Opens the database; null after printing why on stderr.
std::unique_ptr<store::Database> openDatabase(const std::filesystem::path& file);
// Makes this program the database's sender; null after printing why on stderr.
std::unique_ptr<store::SenderLock> takeSenderLock(store::Database& db);

// Connects, then asks `campaign` for the campaign to serve (made only now, so a phone
// that does not answer leaves no campaign behind; 0: none, the reason printed), prints
// "Gönderim N", serves its queued rows in order (one line per recipient, then the
// summary) and returns the exit code: 0 when every row it served was accepted.
// `resultsFile` (may be empty) gets the run's results as well.
//
// Over several ports the phones each run on a thread of their own and share the rows;
// each line then names the port that served the number (NUMBER<TAB>RESULT<TAB>PORT).
// `dailyLimit` (0: none) caps what each phone sends a day; when every phone has reached
// it the run ends, the rest left queued for a resume.
int runCampaign(const std::vector<PortChoice>& ports, store::Database& db,
                const store::SenderLock& lock, const std::function<std::int64_t()>& campaign,
                const std::filesystem::path& resultsFile = {}, int dailyLimit = 0);

}  // namespace cli
