#include "sms/results_log.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/codepage_1254.h"
#include "sms/bulk_run.h"
#include "sms/send_texts.h"

namespace sms {
namespace {

const char kHeader[] = "\xEF\xBB\xBFnumara;zaman;sonu\xC3\xA7;referanslar;hata\r\n";

std::string outcomeWord(SendStatus status) {
    switch (status) {
        case SendStatus::Sent:
            return texts::outcomeSent();
        case SendStatus::Failed:
            return texts::outcomeFailed();
        case SendStatus::Unknown:
            return texts::outcomeUnknown();
        case SendStatus::Skipped:
            return texts::outcomeSkipped();
        case SendStatus::NotSent:
            break;
    }
    return texts::outcomeNotSent();
}

std::string reasonOf(const std::filesystem::path& path, int err) {
    return platform::cp1254::fromUtf8(path.string() + ": " + std::strerror(err));
}

}  // namespace

std::string csvField(const std::string& utf8) {
    if (utf8.find_first_of(";\"\r\n") == std::string::npos) {
        return utf8;
    }
    std::string out = "\"";
    for (char c : utf8) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

ResultsLog::~ResultsLog() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool ResultsLog::createIn(const std::filesystem::path& folder, std::time_t now,
                          std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        *error = reasonOf(folder, ec.value());
        return false;
    }
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    for (int n = 1; n < 1000; ++n) {
        const std::filesystem::path file =
            folder / (std::string(stamp) + (n == 1 ? "" : "_" + std::to_string(n)) + ".csv");
        // "x": never write over the results of another run.
        std::FILE* f = std::fopen(file.c_str(), "wbx");
        if (f != nullptr) {
            return start(f, file, error);
        }
        if (errno != EEXIST) {
            *error = reasonOf(file, errno);
            return false;
        }
    }
    *error = reasonOf(folder, EEXIST);
    return false;
}

bool ResultsLog::open(const std::filesystem::path& file, std::string* error) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) {
        *error = reasonOf(file, errno);
        return false;
    }
    return start(f, file, error);
}

bool ResultsLog::start(std::FILE* file, const std::filesystem::path& path, std::string* error) {
    m_file = file;
    m_path = path;
    if (std::fputs(kHeader, m_file) < 0 || std::fflush(m_file) != 0) {
        *error = reasonOf(path, errno);
        return false;
    }
    return true;
}

bool ResultsLog::append(const RecipientResult& r) {
    if (m_file == nullptr) {
        return false;
    }
    using platform::cp1254::toUtf8;
    const SendOutcome& o = r.outcome;
    const std::string row = csvField(toUtf8(r.number)) + ";" + r.time + ";" +
                            toUtf8(outcomeWord(o.status)) + ";" + o.referencesText() + ";" +
                            csvField(toUtf8(o.errorText())) + "\r\n";
    return std::fputs(row.c_str(), m_file) >= 0 && std::fflush(m_file) == 0;
}

}  // namespace sms
