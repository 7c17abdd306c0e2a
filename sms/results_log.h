#pragma once
// The results of a bulk run as a file a spreadsheet program opens: UTF-8 with a
// byte-order mark, fields separated by ';', a header row, one row per recipient written
// and flushed as soon as the recipient is served, so a crash keeps what was sent.

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

namespace sms {

struct RecipientResult;

class ResultsLog {
public:
    ResultsLog() = default;
    ~ResultsLog();
    ResultsLog(const ResultsLog&) = delete;
    ResultsLog& operator=(const ResultsLog&) = delete;

    // A new file YYYY-MM-DD_HH-MM-SS.csv (local time `now`) in `folder`, which is made
    // when missing; a name already taken gets "_2", "_3" ... False with the reason.
    bool createIn(const std::filesystem::path& folder, std::time_t now, std::string* error);
    // The file `file`, replaced when it exists.
    bool open(const std::filesystem::path& file, std::string* error);

    // One row; false when it could not be written.
    bool append(const RecipientResult& result);
    const std::filesystem::path& path() const { return m_path; }

private:
    bool start(std::FILE* file, const std::filesystem::path& path, std::string* error);

    std::FILE* m_file = nullptr;
    std::filesystem::path m_path;
};

// A field as the file holds it: quoted, with its quotes doubled, when it holds ';', '"'
// or a line break.
std::string csvField(const std::string& utf8);

}  // namespace sms
