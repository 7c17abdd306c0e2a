// The serial device on POSIX ioctl and termios2 (Linux). <termios.h> is not included:
// its struct termios clashes with the kernel's termios2, which this file needs for
// arbitrary rates (BOTHER).

#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace platform {

namespace {

// Modem lines and line-error counters are compared with their last values this often
// while nothing else happens.
constexpr int kLinePollMs = 50;
// Without modem lines (pseudo-terminals) only hang-ups and data can wake the wait.
constexpr int kIdlePollMs = 1000;

bool isUnsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

// Repeats a system call that a signal interrupted: EINTR is never reported.
template <class F>
auto retry(F call) {
    decltype(call()) r;
    do {
        r = call();
    } while (r == -1 && errno == EINTR);
    return r;
}

// The failure of the last system call as the serial layer's result.
int lastError() {
    return -systemErrorFromErrno(errno);
}

uint32_t baudFromCode(speed_t code) {
    struct Pair {
        speed_t code;
        uint32_t baud;
    };
    static constexpr Pair kRates[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    for (const auto& p : kRates) {
        if (p.code == code) {
            return p.baud;
        }
    }
    return 0;
}

class PosixSerialDevice : public SerialDevice {
public:
    PosixSerialDevice(int fd, int eventFd, int writeFd)
        : m_fd(fd), m_eventFd(eventFd), m_writeFd(writeFd) {}
    ~PosixSerialDevice() override { close(); }

    int close() override {
        // Wake whatever waits on the descriptors, then wait for every operation in
        // progress to finish before the descriptors go (their numbers could otherwise be
        // reused under a worker's feet).
        m_closing.store(true);
        {
            std::shared_lock using_(m_fdLock);
            if (m_fd >= 0) {
                wake(m_eventFd);
                wake(m_writeFd);
            }
        }
        std::unique_lock lock(m_fdLock);
        if (m_fd < 0) {
            return 0;
        }
        ioctl(m_fd, TIOCNXCL);
        // An interrupted close has closed the descriptor all the same on Linux.
        int r = ::close(m_fd) == 0 || errno == EINTR ? 0 : lastError();
        ::close(m_eventFd);
        ::close(m_writeFd);
        m_fd = m_eventFd = m_writeFd = -1;
        return r;
    }

    int getState(DeviceState& state) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        termios2 t{};
        if (retry([&] { return ioctl(m_fd, TCGETS2, &t); }) != 0) {
            return lastError();
        }
        std::lock_guard lock(m_mutex);
        state = m_shadow;
        state.baud = (t.c_cflag & CBAUD) == BOTHER ? t.c_ospeed : baudFromCode(t.c_cflag & CBAUD);
        switch (t.c_cflag & CSIZE) {
            case CS5:
                state.byteSize = 5;
                break;
            case CS6:
                state.byteSize = 6;
                break;
            case CS7:
                state.byteSize = 7;
                break;
            default:
                state.byteSize = 8;
                break;
        }
        if (!(t.c_cflag & PARENB)) {
            state.parity = 0;
        } else if (t.c_cflag & CMSPAR) {
            state.parity = (t.c_cflag & PARODD) ? 3 : 4;
        } else {
            state.parity = (t.c_cflag & PARODD) ? 1 : 2;
        }
        if (t.c_cflag & CSTOPB) {
            state.stopBits = state.byteSize == 5 ? kOne5StopBits : kTwoStopBits;
        } else {
            state.stopBits = kOneStopBit;
        }
        state.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
        state.outX = (t.c_iflag & IXON) != 0;
        state.inX = (t.c_iflag & IXOFF) != 0;
        state.xonChar = t.c_cc[VSTART];
        state.xoffChar = t.c_cc[VSTOP];
        return 0;
    }

    int setState(const DeviceState& s) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        // CSTOPB means 1.5 stop bits with 5 data bits and 2 with more: other pairs
        // cannot be set.
        bool stopOk =
            s.stopBits == kOneStopBit || (s.byteSize == 5) == (s.stopBits == kOne5StopBits);
        if (s.baud == 0 || s.byteSize < 5 || s.byteSize > 8 || s.parity > 4 || s.stopBits > 2 ||
            !stopOk) {
            return -kErrorInvalidParameter;
        }
        // DTR/DSR handshaking has no driver support on Linux: refuse it rather than
        // let the line go unguarded.
        if (s.dtrControl == kDtrControlHandshake || s.outxDsrFlow) {
            return -kErrorNotSupported;
        }
        termios2 t{};
        if (retry([&] { return ioctl(m_fd, TCGETS2, &t); }) != 0) {
            return lastError();
        }
        t.c_cflag &=
            ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CREAD | CLOCAL;
        t.c_ispeed = t.c_ospeed = s.baud;
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= kSizes[s.byteSize - 5];
        switch (s.parity) {
            case 1:
                t.c_cflag |= PARENB | PARODD;
                break;
            case 2:
                t.c_cflag |= PARENB;
                break;
            case 3:
                t.c_cflag |= PARENB | CMSPAR | PARODD;
                break;
            case 4:
                t.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        if (s.stopBits != kOneStopBit) {
            t.c_cflag |= CSTOPB;
        }
        // One flag on Linux for both directions of RTS/CTS flow. The XON/XOFF limits
        // have no counterpart: the driver keeps its own.
        if (s.outxCtsFlow || s.rtsControl == kRtsControlHandshake) {
            t.c_cflag |= CRTSCTS;
        }
        t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
        if (s.parity != 0) {
            t.c_iflag |= INPCK;
        }
        if (s.outX) {
            t.c_iflag |= IXON;
        }
        if (s.inX) {
            t.c_iflag |= IXOFF;
        }
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
        if (retry([&] { return ioctl(m_fd, TCSETS2, &t); }) != 0) {
            return lastError();
        }
        std::lock_guard lock(m_mutex);
        m_shadow = s;
        return 0;
    }

    int status(DeviceQueueStatus& st) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        st = DeviceQueueStatus{};
        int n = 0;
        if (ioctl(m_fd, TIOCINQ, &n) == 0 && n > 0) {
            st.inQueue = uint32_t(n);
        }
        n = 0;
        if (ioctl(m_fd, TIOCOUTQ, &n) == 0 && n > 0) {
            st.outQueue = uint32_t(n);
        }
        serial_icounter_struct ic{};
        if (readCounters(ic)) {
            std::lock_guard lock(m_mutex);
            st.errors = errorBits(m_statusCounters, ic);
            m_statusCounters = ic;
        }
        return 0;
    }

    int setQueues(uint32_t, uint32_t) override {
        // The driver's queues have fixed sizes here; the rings of the serial layer
        // carry the sizes asked for.
        return 0;
    }

    int read(uint8_t* buffer, size_t n) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        ssize_t r = retry([&] { return ::read(m_fd, buffer, n); });
        if (r > 0) {
            m_readSinceReport.store(true);
            if (m_parked.load()) {
                wake(m_eventFd);
            }
            return int(r);
        }
        if (r == 0) {
            // With VMIN 0 an empty read gives 0 as well; only a hang-up sets POLLHUP.
            pollfd pfd{m_fd, 0, 0};
            if (retry([&] { return ::poll(&pfd, 1, 0); }) > 0 && (pfd.revents & POLLHUP)) {
                m_hungUp.store(true);
                return -kErrorDeviceRemoved;
            }
            return 0;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        int code = lastError();
        if (code == -kErrorDeviceRemoved) {
            m_hungUp.store(true);
        }
        return code;
    }

    int write(const uint8_t* buffer, size_t n) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        if (m_hungUp.load()) {
            return -kErrorDeviceRemoved;
        }
        ssize_t r = retry([&] { return ::write(m_fd, buffer, n); });
        if (r >= 0) {
            return int(r);
        }
        if (errno == EAGAIN) {
            return 0;
        }
        int code = lastError();
        if (code == -kErrorDeviceRemoved) {
            m_hungUp.store(true);
        }
        return code;
    }

    int waitWritable(int timeoutMs) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0 || m_closing.load()) {
            return -kErrorInvalidHandle;
        }
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_writeFd, POLLIN, 0}};
        int r = ::poll(fds, 2, timeoutMs);
        if (r < 0) {
            // An interrupted wait counts as a wait that found nothing yet.
            return errno == EINTR ? 0 : lastError();
        }
        if (fds[1].revents & POLLIN) {
            drain(m_writeFd);
            return 0;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            m_hungUp.store(true);
            return -kErrorDeviceRemoved;
        }
        return (fds[0].revents & POLLOUT) ? 1 : 0;
    }

    void cancelWriteWait() override {
        std::shared_lock using_(m_fdLock);
        if (m_fd >= 0) {
            wake(m_writeFd);
        }
    }

    int purge(bool input, bool output) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        int what = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
        return retry([&] { return ioctl(m_fd, TCFLSH, what); }) == 0 ? 0 : lastError();
    }

    int escape(int function) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        int bits = 0;
        unsigned long request = 0;
        switch (function) {
            case kSetRts:
                bits = TIOCM_RTS, request = TIOCMBIS;
                break;
            case kClrRts:
                bits = TIOCM_RTS, request = TIOCMBIC;
                break;
            case kSetDtr:
                bits = TIOCM_DTR, request = TIOCMBIS;
                break;
            case kClrDtr:
                bits = TIOCM_DTR, request = TIOCMBIC;
                break;
            default:
                return 0;
        }
        // Pseudo-terminals have no modem lines and refuse with ENOTTY: nothing to do.
        retry([&] { return ioctl(m_fd, request, &bits); });
        return 0;
    }

    int modemStatus(uint32_t& lines) override {
        lines = 0;
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        lines = 0;
        int bits = 0;
        if (!m_modemLines.load() || retry([&] { return ioctl(m_fd, TIOCMGET, &bits); }) != 0) {
            if (isUnsupported(errno)) {
                m_modemLines.store(false);
            }
            return 0;
        }
        lines = msBits(bits);
        return 0;
    }

    int setRs485(bool on) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        serial_rs485 rs{};
        if (retry([&] { return ioctl(m_fd, TIOCGRS485, &rs); }) != 0) {
            return isUnsupported(errno) ? -kErrorNotSupported : lastError();
        }
        if (on) {
            rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
            rs.flags &= ~uint32_t(SER_RS485_RTS_AFTER_SEND);
        } else {
            rs.flags &= ~uint32_t(SER_RS485_ENABLED);
        }
        if (retry([&] { return ioctl(m_fd, TIOCSRS485, &rs); }) != 0) {
            return isUnsupported(errno) ? -kErrorNotSupported : lastError();
        }
        return 0;
    }

    void setEventMask(uint32_t mask) override {
        m_mask.store(mask);
        std::shared_lock using_(m_fdLock);
        if (mask == 0 && m_fd >= 0) {
            wake(m_eventFd);
        }
    }

    int waitEvent(uint32_t& events) override {
        std::shared_lock using_(m_fdLock);
        if (m_fd < 0) {
            return -kErrorInvalidHandle;
        }
        events = 0;
        for (;;) {
            uint32_t mask = m_mask.load();
            if (mask == 0 || m_closing.load()) {
                return -kErrorOperationAborted;
            }
            int q = 0;
            if (ioctl(m_fd, TIOCINQ, &q) != 0 || q < 0) {
                q = 0;
            }
            if (q == 0) {
                m_reportedInq = 0;
            }
            bool parked = false;
            if (q > 0) {
                // New bytes, or bytes of which the reader has taken some since the last
                // report: report them. Otherwise the reader is not taking them (its ring
                // is full): wait for it without watching the input, or poll() would
                // report the same bytes again at once, forever.
                if (m_readSinceReport.load() || uint32_t(q) > m_reportedInq) {
                    m_readSinceReport.store(false);
                    m_reportedInq = uint32_t(q);
                    if (mask & kEvRxChar) {
                        events = kEvRxChar;
                        return 0;
                    }
                }
                m_parked.store(true);
                if (m_readSinceReport.load()) {
                    m_parked.store(false);
                    continue;
                }
                parked = true;
            }
            if (m_hungUp.load()) {
                m_parked.store(false);
                return -kErrorDeviceRemoved;
            }
            pollfd fds[2] = {{m_fd, short(parked || !(mask & kEvRxChar) ? 0 : POLLIN), 0},
                             {m_eventFd, POLLIN, 0}};
            bool lines = m_modemLines.load() || m_counters.load();
            int r = ::poll(fds, 2, lines ? kLinePollMs : kIdlePollMs);
            m_parked.store(false);
            if (r < 0 && errno != EINTR) {
                return lastError();
            }
            if (r > 0 && (fds[1].revents & POLLIN)) {
                drain(m_eventFd);
            }
            if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                m_hungUp.store(true);
            }
            if (uint32_t ev = lineEvents() & mask) {
                events = ev;
                return 0;
            }
        }
    }

private:
    static void wake(int fd) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(fd, &one, sizeof one);
    }
    static void drain(int fd) {
        uint64_t v = 0;
        [[maybe_unused]] ssize_t r = ::read(fd, &v, sizeof v);
    }
    static uint32_t msBits(int bits) {
        uint32_t lines = 0;
        if (bits & TIOCM_CTS)
            lines |= kMsCtsOn;
        if (bits & TIOCM_DSR)
            lines |= kMsDsrOn;
        if (bits & TIOCM_RNG)
            lines |= kMsRingOn;
        if (bits & TIOCM_CAR)
            lines |= kMsRlsdOn;
        return lines;
    }
    static uint32_t errorBits(const serial_icounter_struct& a, const serial_icounter_struct& b) {
        uint32_t e = 0;
        if (b.buf_overrun != a.buf_overrun)
            e |= kCeRxOver;
        if (b.overrun != a.overrun)
            e |= kCeOverrun;
        if (b.parity != a.parity)
            e |= kCeRxParity;
        if (b.frame != a.frame)
            e |= kCeFrame;
        if (b.brk != a.brk)
            e |= kCeBreak;
        return e;
    }

    bool readCounters(serial_icounter_struct& ic) {
        if (!m_counters.load()) {
            return false;
        }
        if (retry([&] { return ioctl(m_fd, TIOCGICOUNT, &ic); }) != 0) {
            if (isUnsupported(errno)) {
                m_counters.store(false);
            }
            return false;
        }
        return true;
    }

    // Modem-line changes and line errors since the last look (comm-event thread only).
    uint32_t lineEvents() {
        uint32_t ev = 0;
        int bits = 0;
        if (m_modemLines.load()) {
            if (retry([&] { return ioctl(m_fd, TIOCMGET, &bits); }) == 0) {
                uint32_t lines = msBits(bits);
                uint32_t changed = lines ^ m_eventLines;
                if (m_haveEventLines) {
                    if (changed & kMsCtsOn)
                        ev |= kEvCts;
                    if (changed & kMsDsrOn)
                        ev |= kEvDsr;
                    if (changed & kMsRlsdOn)
                        ev |= kEvRlsd;
                    if ((changed & kMsRingOn) && !(lines & kMsRingOn))
                        ev |= kEvRing;
                }
                m_eventLines = lines;
                m_haveEventLines = true;
            } else if (isUnsupported(errno)) {
                m_modemLines.store(false);
            }
        }
        serial_icounter_struct ic{};
        if (readCounters(ic)) {
            if (m_haveEventCounters) {
                uint32_t e = errorBits(m_eventCounters, ic);
                if (e & kCeBreak)
                    ev |= kEvBreak;
                if (e & ~kCeBreak)
                    ev |= kEvErr;
            }
            m_eventCounters = ic;
            m_haveEventCounters = true;
        }
        return ev;
    }

    // Shared by every operation, exclusive for close.
    std::shared_mutex m_fdLock;
    std::atomic<bool> m_closing{false};
    int m_fd;       // m_fdLock
    int m_eventFd;  // wakes waitEvent(): mask set to 0, or the reader took bytes
    int m_writeFd;  // wakes waitWritable()

    std::atomic<uint32_t> m_mask{0};
    std::atomic<bool> m_readSinceReport{false};
    std::atomic<bool> m_parked{false};
    std::atomic<bool> m_hungUp{false};
    std::atomic<bool> m_modemLines{true};
    std::atomic<bool> m_counters{true};

    // The thread in waitEvent() only.
    uint32_t m_reportedInq = 0;
    uint32_t m_eventLines = 0;
    bool m_haveEventLines = false;
    serial_icounter_struct m_eventCounters{};
    bool m_haveEventCounters = false;

    std::mutex m_mutex;
    DeviceState m_shadow;                       // m_mutex: settings the driver cannot report
    serial_icounter_struct m_statusCounters{};  // m_mutex
};

std::mutex g_openerMutex;
SerialDeviceOpener g_opener;  // g_openerMutex

}  // namespace

std::unique_ptr<SerialDevice> openPosixSerialDevice(const std::string& path, int& sysError) {
    sysError = 0;
    int fd =
        retry([&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        sysError = systemErrorFromErrno(errno);
        return nullptr;
    }
    auto fail = [&](int err) {
        ::close(fd);
        sysError = err;
        return nullptr;
    };
    termios2 t{};
    if (retry([&] { return ioctl(fd, TCGETS2, &t); }) != 0) {
        // Not a terminal: no serial port there. A terminal whose far side has gone is
        // a device that has been removed.
        return fail(errno == EIO ? kErrorDeviceRemoved : kErrorFileNotFound);
    }
    // Root passes TIOCEXCL; the lock is what keeps a second program out.
    if (retry([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
        return fail(systemErrorFromErrno(errno));
    }
    if (ioctl(fd, TIOCEXCL) != 0 && !isUnsupported(errno)) {
        return fail(systemErrorFromErrno(errno));
    }
    auto slash = path.find_last_of('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.rfind("ttyS", 0) == 0) {
        serial_struct ss{};
        if (ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type == 0) {
            return fail(kErrorFileNotFound);  // a node without a UART behind it
        }
    }
    // Raw bytes both ways; reads return at once with what is there.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (retry([&] { return ioctl(fd, TCSETS2, &t); }) != 0) {
        return fail(systemErrorFromErrno(errno));
    }
    int eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd < 0) {
        return fail(kErrorNotEnoughMemory);
    }
    int writeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (writeFd < 0) {
        ::close(eventFd);
        return fail(kErrorNotEnoughMemory);
    }
    return std::make_unique<PosixSerialDevice>(fd, eventFd, writeFd);
}

SerialDeviceOpener serialDeviceOpener() {
    std::lock_guard lock(g_openerMutex);
    if (g_opener) {
        return g_opener;
    }
    return openPosixSerialDevice;
}

SerialDeviceOpener setSerialDeviceOpener(SerialDeviceOpener opener) {
    std::lock_guard lock(g_openerMutex);
    SerialDeviceOpener old = g_opener ? g_opener : SerialDeviceOpener(openPosixSerialDevice);
    g_opener = std::move(opener);
    return old;
}

}  // namespace platform
