// The bookkeeping of a bulk run: 200 messages without a pause to the simulated phone
// answering at once, beside a baseline of the same run made of plain writes and reads of
// the same AT+CMGS= and PDU pairs on an identical pseudo-terminal. The simulators run in
// child processes. Prints one "name: value" line per figure.
//
//   bench-bulk [--quick]     --quick: 20 messages, for a smoke run

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "phone/null_phone_view.h"
#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"
#include "serial/pump.h"
#include "sms/bulk_run.h"
#include "sms/message_parts.h"
#include "tools/phone-sim/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const std::u16string kText = u"Kampanya: bu hafta sonu tum urunlerde yuzde yirmi indirim.";

std::string number(int i) {
    return "0532" + std::to_string(1000000 + i);
}

// The baseline: each message as AT+CMGS= and its PDU, written and read plainly. Returns
// the run's milliseconds, or a negative number when the phone did not answer.
double baseline(const std::string& path, int count) {
    std::vector<sms::PduPart> parts;
    for (int i = 0; i < count; ++i) {
        sms::TSMS message;
        message.Number = number(i);
        message.Coding = sms::SmsCoding::Auto;
        message.Text = kText;
        parts.push_back(sms::EncodeMessage(message).front());
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const auto exchange = [fd](const std::string& text, const char* until) {
        return phonesim::plainExchange(fd, text, until);
    };
    exchange("ATE1\r", "\r\nOK\r\n");
    exchange("AT+CMGF=0\r", "\r\nOK\r\n");
    const auto start = Clock::now();
    for (const sms::PduPart& part : parts) {
        if (!exchange("AT+CMGS=" + std::to_string(part.TpduLength) + "\r", "> ") ||
            !exchange(part.Pdu + "\x1A", "\r\nOK\r\n")) {
            ::close(fd);
            return -1;
        }
    }
    const double total = ms(Clock::now() - start);
    ::close(fd);
    return total;
}

class NullView : public phone::NullPhoneView, public sms::BulkView {
public:
    void runStarted(int) override {}
    void recipientStarted(int, const std::string&) override {}
    void recipientFinished(const sms::RecipientResult&) override {}
    void runFinished(const sms::BulkSummary&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int count = quick ? 20 : 200;

    phonesim::SimulatorProcess plain;
    phonesim::SimulatorProcess phone;
    if (!plain.start() || !phone.start()) {
        std::fprintf(stderr, "bench-bulk: no pseudo-terminal\n");
        return 1;
    }
    // The baseline runs before and after ours, so that a change in the machine's load
    // weighs on both alike.
    const double before = baseline(plain.path, count);

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench-bulk-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ports.conf") << "Com5=" << phone.path << "\n";
    ::setenv("TOPLUSMS_PORTS", (dir / "ports.conf").c_str(), 1);

    double ours = -1;
    {
        platform::PlainMessageQueue queue;
        serial::setMessageQueue(&queue);
        NullView view;
        serial::TComPort port;
        port.SetAutoOpen(false);
        phone::ComPortLink link(port);
        phone::PhoneDialogue dialogue(view, link, queue);
        phone::routePortEvents(port, dialogue);
        dialogue.btnOpenClick();
        if (!dialogue.state().IsConnected) {
            std::fprintf(stderr, "bench-bulk: the simulated phone did not connect\n");
            return 1;
        }
        sms::SmsSender sender(dialogue, view);
        sms::BulkRun run(sender, view, sms::queuePause(queue));
        sms::BulkRequest request;
        for (int i = 0; i < count; ++i) {
            request.numbers.push_back(number(i));
        }
        request.text = kText;
        request.pauseSeconds = 0;
        request.resultsFolder = dir / "gonderimler";
        const auto start = Clock::now();
        const sms::BulkSummary summary = run.run(request);
        ours = ms(Clock::now() - start);
        if (summary.sent != count) {
            std::fprintf(stderr, "bench-bulk: %d of %d messages accepted\n", summary.sent, count);
            return 1;
        }
        dialogue.btnOpenClick();
        serial::setMessageQueue(nullptr);
    }
    std::filesystem::remove_all(dir);
    const double after = baseline(plain.path, count);
    const double base = (before + after) / 2;

    if (before < 0 || after < 0) {
        std::fprintf(stderr, "bench-bulk: the baseline phone did not answer\n");
        return 1;
    }
    std::printf("messages: %d\n", count);
    std::printf("baseline_ms_per_message: %.3f\n", base / count);
    std::printf("bulk_ms_per_message: %.3f\n", ours / count);
    std::printf("bulk_overhead_ms_per_message: %.3f\n", (ours - base) / count);
    return 0;
}
