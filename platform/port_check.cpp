#include "platform/port_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "platform/codepage_1254.h"
#include "platform/port_names.h"

namespace platform {
namespace {

bool isPid(const char* name) {
    return *name != '\0' &&
           std::all_of(name, name + std::strlen(name), [](char c) { return c >= '0' && c <= '9'; });
}

std::string processName(const std::string& procRoot, const std::string& pid) {
    std::ifstream in(procRoot + "/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Every process but ours that has the character device `device` open, and whether a
// ModemManager process runs. What /proc does not let us read is passed over.
void scanProcesses(const std::string& procRoot, dev_t device, PortCheck& check) {
    DIR* proc = ::opendir(procRoot.c_str());
    if (proc == nullptr) {
        return;
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        if (!isPid(entry->d_name) || self == entry->d_name) {
            continue;
        }
        const std::string pid = entry->d_name;
        const std::string name = processName(procRoot, pid);
        if (name == "ModemManager") {
            check.modemManagerRunning = true;
        }
        const std::string fdDir = procRoot + "/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) {
            continue;
        }
        while (const dirent* fd = ::readdir(fds)) {
            struct stat st {};
            if (isPid(fd->d_name) && ::stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 &&
                S_ISCHR(st.st_mode) && st.st_rdev == device) {
                check.holders.push_back({std::stoi(pid), name.empty() ? "?" : name});
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    std::sort(check.holders.begin(), check.holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
}

void notPermitted(const struct stat& st, PortCheck& check) {
    check.problem = PortProblem::NoPermission;
    if (const group* g = ::getgrgid(st.st_gid)) {
        check.group = g->gr_name;
    } else {
        check.group = std::to_string(st.st_gid);
    }
    check.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (const passwd* p = ::getpwuid(::geteuid())) {
        check.user = p->pw_name;
    } else {
        check.user = std::to_string(::geteuid());
    }
}

}  // namespace

PortCheck checkPort(const std::string& path, const std::string& procRoot) {
    PortCheck check;
    check.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // A folder on the way that we may not enter says nothing about the device.
        check.problem = err == EACCES ? PortProblem::Other : PortProblem::Missing;
        check.error = err;
        return check;
    }
    if (!S_ISCHR(st.st_mode)) {
        check.problem = PortProblem::NotSerial;
        return check;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
            case EACCES:
            case EPERM:
                notPermitted(st, check);
                return check;
            case EBUSY:
                check.problem = PortProblem::Held;
                break;
            case ENOENT:
            case ENXIO:
            case ENODEV:
            case EIO:                                  // a serial node with no hardware behind it
                check.problem = PortProblem::Missing;  // or gone between stat and open
                return check;
            default:
                check.problem = PortProblem::Other;
                check.error = err;
                return check;
        }
    } else {
        termios t{};
        if (::tcgetattr(fd, &t) != 0) {
            check.problem = PortProblem::NotSerial;
        } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            check.problem = PortProblem::Held;
        }
        ::close(fd);  // also drops a lock we got
    }
    if (check.problem == PortProblem::Held) {
        scanProcesses(procRoot, st.st_rdev, check);
    }
    return check;
}

std::string explainPortCheck(const PortCheck& check, const std::string& portName) {
    const std::string port = portName + " (" + check.path + ")";
    std::string text;
    switch (check.problem) {
        case PortProblem::None:
            return {};
        case PortProblem::Missing:
            text = port + " bulunamadı: telefonun takılı ve açık olduğunu denetleyin.";
            break;
        case PortProblem::NotSerial:
            text = port +
                   " bir seri port değil, kullanılamaz: ports.conf dosyasındaki satırını "
                   "düzeltin.";
            break;
        case PortProblem::Held: {
            text = port + " başka bir program tarafından kullanılıyor";
            for (size_t i = 0; i < check.holders.size(); ++i) {
                text += (i == 0 ? ": " : ", ") + check.holders[i].name + " (pid " +
                        std::to_string(check.holders[i].pid) + ")";
            }
            text += ". O programı kapatıp yeniden deneyin.";
            if (check.modemManagerRunning) {
                text +=
                    " ModemManager portu tutuyor olabilir: 'sudo systemctl stop "
                    "ModemManager' ile durdurun ya da bir udev kuralıyla aygıta "
                    "ENV{ID_MM_DEVICE_IGNORE}=\"1\" verin.";
            }
            break;
        }
        case PortProblem::NoPermission:
            text = port + " için izniniz yok";
            if (check.groupMayUse) {
                text += ": aygıt '" + check.group + "' grubunun. 'sudo adduser " + check.user +
                        " " + check.group + "' komutunu çalıştırın, sonra oturumu kapatıp " +
                        "yeniden açın.";
            } else {
                text +=
                    ": aygıtın izinlerini yöneticinize düzelttirin (grubu '" + check.group + "').";
            }
            break;
        case PortProblem::Other:
            text = port + " açılamadı: " + std::strerror(check.error) + ".";
            break;
    }
    return cp1254::fromUtf8(text);
}

std::string explainComPort(int n) {
    const std::optional<std::string> path = resolveComPort(n);
    return path ? explainPortCheck(checkPort(*path), "Com" + std::to_string(n)) : std::string();
}

}  // namespace platform
