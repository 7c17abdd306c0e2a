#pragma once
// The phone line as the sending of messages uses it: ordered turns, each holding the line
// for a run of commands that must not be split (AT+CMGS and its PDU). The program puts
// the phone dialogue behind it; tests put a scripted phone behind it.

#include <memory>
#include <string>

namespace sms {

// How the last send() of a turn ended.
enum class LineOutcome {
    Completed,     // the completion text (or a ring) came
    Failed,        // an error line: ERROR, +CME ERROR: n, +CMS ERROR: n
    TimedOut,      // nothing that ends the command within the limit
    Disconnected,  // not connected, or the port closed during the wait
};

class LineTurn {
public:
    virtual ~LineTurn() = default;
    // Writes `command` as given (the caller adds CR or Ctrl-Z) and waits for `completion`,
    // an error line, a ring, the close of the port or `limitMs`; returns what came.
    virtual std::string send(const std::string& command, const std::string& completion,
                             int limitMs) = 0;
    // Writes without waiting (ESC).
    virtual void write(const std::string& text) = 0;
    virtual LineOutcome lastOutcome() const = 0;
};

class SmsLine {
public:
    virtual ~SmsLine() = default;
    virtual bool connected() const = 0;
    // The line for this caller alone until the turn is destroyed; waits for a command of
    // someone else to end first. Null when the phone is not connected, or when the
    // caller runs inside the wait of a turn that holds the line (it is busy).
    virtual std::unique_ptr<LineTurn> beginTurn() = 0;
};

}  // namespace sms
