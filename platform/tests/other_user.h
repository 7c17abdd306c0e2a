#pragma once
// While it lives, this thread's file accesses are checked as those of the user nobody
// (65534). Tests run as root, who passes every permission check; a file or folder that a
// user cannot read or write needs a user the bits apply to. For another user than root
// it changes nothing: the bits apply already.

#include <sys/fsuid.h>
#include <unistd.h>

namespace platform::testing {

class OtherUser {
public:
    OtherUser() : m_root(::geteuid() == 0) {
        if (m_root) {
            // Dropping the file system ids of root also drops its file capabilities.
            ::setfsgid(kNobody);
            ::setfsuid(kNobody);
        }
    }
    ~OtherUser() {
        if (m_root) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

private:
    static constexpr unsigned kNobody = 65534;
    bool m_root;
};

}  // namespace platform::testing
