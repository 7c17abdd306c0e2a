#pragma once
// Why a serial device cannot be opened, and what the user can do about it.
//
// The serial layer folds every failure into two system error codes (2: not there, 5:
// held or not permitted). When an open has failed, checkPort() looks again at the
// device and tells the cases apart: missing, not a serial device at all, held by
// another program (which one, where /proc shows it), or not permitted (which group
// owns it). Nothing here keeps the device open.

#include <string>
#include <vector>

namespace platform {

enum class PortProblem {
    None,          // the device opens now
    Missing,       // no such file
    NotSerial,     // a regular file, a folder, or a device that is no terminal
    Held,          // another program has it (exclusive open or lock)
    NoPermission,  // the device's permissions shut us out
    Other,         // another failure; see PortCheck::error
};

struct PortHolder {
    int pid = 0;
    std::string name;  // the program's name as /proc/PID/comm gives it
};

struct PortCheck {
    PortProblem problem = PortProblem::None;
    std::string path;                  // the device looked at
    std::vector<PortHolder> holders;   // Held: the programs /proc shows with it open
    bool modemManagerRunning = false;  // Held: a ModemManager process is running
    std::string group;                 // NoPermission: the group that owns the device
    bool groupMayUse = false;          // NoPermission: that group may read and write it
    std::string user;                  // NoPermission: who we run as
    int error = 0;                     // Other: the system error number
};

// Looks at `path` (symbolic links followed). `procRoot` is where the process table
// lives ("/proc"; tests give a folder of their own). Entries of it that cannot be read
// are passed over.
PortCheck checkPort(const std::string& path, const std::string& procRoot = "/proc");

// What the user reads: the reason and the remedy, one line in code page 1254, the
// port's name (e.g. "Com5") in front. Empty for PortProblem::None.
std::string explainPortCheck(const PortCheck& check, const std::string& portName);

// checkPort() and explainPortCheck() for the device behind "Com<n>"; empty when the
// device opens now or no device stands behind the name.
std::string explainComPort(int n);

}  // namespace platform
