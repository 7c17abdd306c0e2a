#pragma once
// Finding the phones: every present port that nothing else holds gets a short "AT" at a
// few speeds; those that answer are asked for maker, model and IMEI.
//
// Each port is probed on a thread of its own with its own device, so sixteen ports take
// about as long as one. A port another program holds is never opened forcibly: the
// device layer's exclusive open refuses it, and the result names it with the reason the
// connect button would give.

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace phone {

struct ProbedPhone {
    int port = 0;        // n of "Com<n>"
    std::string device;  // the path behind it
    uint32_t baud = 0;   // the speed at which it answered
    std::string maker;   // AT+CGMI, AT+CGMM, AT+CGSN, as the phone gave them (1254 bytes);
    std::string model;   // empty when it did not say
    std::string imei;
};

struct HeldPort {
    int port = 0;
    std::string device;
    std::string reason;  // one line in code page 1254, "Com5" in front
};

struct ProbeResult {
    std::vector<ProbedPhone> phones;  // by port number; one per phone
    std::vector<HeldPort> held;
};

struct ProbeOptions {
    uint32_t baud = 115200;  // tried first; then 115200, 19200, 9600
    int firstPort = 1;
    int lastPort = 50;
    std::set<int> skip;  // ports this program has open itself
    int answerMs = 300;  // how long "AT" may take to be answered
    int replyMs = 1000;  // how long each identity command may take
};

// The speeds in the order they are tried: `first`, then the usual ones, none twice.
std::vector<uint32_t> probeSpeeds(uint32_t first);

// Probes one device at the given speeds; false when it answered at none of them (or
// could not be opened). `phone.port` and `phone.device` are left to the caller.
bool probeDevice(const std::string& path, const std::vector<uint32_t>& speeds, int answerMs,
                 int replyMs, ProbedPhone& phone);

// Probes every port of the range. Two names standing for the same device are probed
// once (under the lower one), and ports that answer with the same IMEI (a modem showing
// several ports that answer AT) are listed once, under the lower port.
ProbeResult probePorts(const ProbeOptions& options);

// The value line of an identity reply: the line after the echo that is neither empty nor
// the result, without a "+CGMI:"-style prefix and enclosing quotes. Empty when there is
// none or the phone answered an error.
std::string identityValue(const std::string& reply, const std::string& command);

}  // namespace phone
