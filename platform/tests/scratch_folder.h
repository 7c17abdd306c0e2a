#pragma once
// A folder of one test's own: named after the test and this process, so that tests
// running side by side never share one; empty at the start and removed at the end.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

namespace platform::testing {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix)
        : m_path(std::filesystem::temp_directory_path() /
                 (prefix + "-" + std::to_string(::getpid()) + "-" + testName())) {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    static std::string testName() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (info == nullptr) {
            return "outside-a-test";
        }
        // A parameterised test's name holds a '/'.
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    }

    std::filesystem::path m_path;
};

}  // namespace platform::testing
