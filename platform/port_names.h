#pragma once
// Which device path stands behind "COM n".
//
// First a number this process holds (holdPortNumber), then an entry "ComN=/path" in the
// port map file ($TOPLUSMS_PORTS, else ~/.config/toplusms/ports.conf); otherwise the
// fixed bands: Com1-4 /dev/ttyS0-3, Com5-14 /dev/ttyACM0-9, Com15-24 /dev/ttyUSB0-9,
// Com25-34 /dev/rfcomm0-9. Com35 and up only through the map file or a held number.

#include <optional>
#include <string>

namespace platform {

// Port numbers this process gives out itself, for a device named by its path (a phone
// on a test's pseudo-terminal, a tool's --device): looked up before the map file, for
// as long as the number is held. Safe from any thread, unlike $TOPLUSMS_PORTS.
constexpr int kFirstHeldPort = 60000;
// A free number from kFirstHeldPort up that names `path` until released; 0 when all
// are taken.
int holdPortNumber(const std::string& path);
void releasePortNumber(int n);

std::string portMapPath();
// The entry for port n in the given map file, if the file has one.
std::optional<std::string> lookupPortMap(const std::string& mapFile, int n);
// The path of the fixed band for n, if n lies in one.
std::optional<std::string> bandPortPath(int n);
// Held numbers first, then the map file, then the bands.
std::optional<std::string> resolveComPort(int n);

// The port number of a Windows-style name such as "\\.\COM5" or "COM5".
std::optional<int> parseComName(const std::string& name);
// A device name as the serial layer gives it ("\\.\COM5", or a path) to a path.
std::optional<std::string> devicePathForName(const std::string& name);

}  // namespace platform
