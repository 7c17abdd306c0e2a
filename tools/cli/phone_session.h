#pragma once
// What the connect and at subcommands share: the port named on the command line, a
// phone dialogue over the plain message queue, and a window that prints the status-bar
// texts as they change.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/phone_view.h"
#include "platform/plain_message_queue.h"
#include "serial/com_port.h"

namespace cli {

// The port and speed of a command line: "COM" (like Com5) or "--device PATH", and
// "--baud N" (115200 when not given). `rest` gets the arguments that are neither.
struct PortChoice {
    int number = 0;    // 1..50
    std::string name;  // what the status bar shows after "Bağlı: "
    std::string speed = "115200";
    std::string devicePath;  // with --device
};
// Reads the choice; on a usage error prints it (with `usage`) and returns nothing.
std::optional<PortChoice> parsePortChoice(std::span<const std::string_view> args,
                                          std::vector<std::string_view>* rest,
                                          std::string_view command, std::string_view usage);

// As parsePortChoice, for a command that serves several phones: ports as a comma list
// ("Com5,Com6,Com7") and "--device PATH" repeated, in any mix, each once; one "--baud N"
// for all.
std::optional<std::vector<PortChoice>> parsePortChoices(std::span<const std::string_view> args,
                                                        std::vector<std::string_view>* rest,
                                                        std::string_view command,
                                                        std::string_view usage);

// What follows the port of a command that stays connected: nothing (until Ctrl-C, -1)
// or "--seconds N". Nothing is returned for anything else.
std::optional<int> parseStaySeconds(std::span<const std::string_view> rest);

// While it lives, SIGINT and SIGTERM end a stay instead of the program: requested() says
// whether one came. The handlers before it come back when it ends. One at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    bool requested() const;

private:
    void (*m_previousInt)(int);
    void (*m_previousTerm)(int);
};

// Prints every status-bar text as it changes ("panel 1: Comport Yok!"), in UTF-8, and
// keeps the rows and gauges for whoever wants them. With reportChanges() each line is
// prefixed by the milliseconds since then, and the gauges and the call display are
// printed too as they change.
class ConsoleView : public phone::PhoneView {
public:
    explicit ConsoleView(const PortChoice& choice) : m_choice(choice) {}

    // Off: the texts are kept (panel()) but not printed.
    void setPrinting(bool printing) { m_printing = printing; }
    const std::string& panel(int index) const { return m_panels[index]; }

    void setLamp(phone::LampColor) override {}
    void setStatusPanel(int index, const std::string& text) override;
    void addInfoRow(const std::string& caption, const std::string& value) override;
    void clearInfoRows() override { m_rows.clear(); }
    void setSignalGauge(int percent) override;
    void setBatteryGauge(int percent) override;
    void setLabel(int number, const std::string& text) override;
    void setConnectCaption(const std::string&) override {}
    void setRefreshEnabled(bool enabled) override;
    void setClearEnabled(bool enabled) override;
    int portIndex() const override { return m_choice.number - 1; }
    std::string portText() const override;
    std::string speedText() const override { return m_choice.speed; }

    // Rows as caption and value, 1254 bytes.
    const std::vector<std::pair<std::string, std::string>>& rows() const { return m_rows; }
    int signal() const { return m_signal; }
    int battery() const { return m_battery; }

    void reportChanges();
    // What tiRefresh and tiClear switch: the caller runs the timers.
    std::function<void(bool enabled)> onRefreshSwitched;
    std::function<void(bool enabled)> onClearSwitched;

    // Where the status texts and the reported changes go (a command whose output is data
    // sends them to stderr).
    std::FILE* out = stdout;

private:
    // One line on `out`, UTF-8 (`text` is 1254 bytes).
    void print(const std::string& text);

    const PortChoice& m_choice;
    std::string m_panels[3];
    std::vector<std::pair<std::string, std::string>> m_rows;
    int m_signal = 0;
    int m_battery = 0;
    std::string m_labels[2];  // Label2, Label3
    std::string m_callShown;  // the call display as last printed
    bool m_reporting = false;
    std::chrono::steady_clock::time_point m_start;
    bool m_printing = true;
};

class PhoneSession {
public:
    explicit PhoneSession(PortChoice choice);
    ~PhoneSession();

    // Connects as the connect button does. False, with the reason on stderr or in the
    // printed status texts, when the phone is not connected.
    bool connect();
    void disconnect();
    phone::PhoneDialogue& dialogue() { return m_dialogue; }
    ConsoleView& view() { return m_view; }
    platform::MessageQueue& queue() { return m_queue; }

private:
    PortChoice m_choice;
    std::filesystem::path m_mapFile;  // a port map naming --device, removed at the end
    platform::PlainMessageQueue m_queue;
    ConsoleView m_view{m_choice};
    serial::TComPort m_port;
    phone::ComPortLink m_link{m_port};
    phone::PhoneDialogue m_dialogue{m_view, m_link, m_queue};
};

// A reply with CR, LF and the other control characters written as \r, \n, \xHH, and the
// rest converted from code page 1254 to UTF-8.
std::string visible(std::string_view bytes);

}  // namespace cli
