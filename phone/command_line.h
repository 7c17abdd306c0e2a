#pragma once
// The phone line as everyone who talks to the phone sees it: a turn holds the line for a
// run of commands that must not be split (AT+CMGS and its PDU), and nobody else writes
// until the turn ends. The phone dialogue is the line of the program; the sending's
// tests put a scripted phone behind the same interface.

#include <cstdint>
#include <string>

namespace phone {

class CommandTurn;

// Who starts a command, which decides what happens when the line is busy.
enum class CommandOrigin {
    User,  // a click or an operation the user started: waits its turn
    Poll,  // a timer tick: skipped, the next tick asks again
};

// How a command ended.
enum class CommandOutcome {
    Completed,     // completion text or ring
    Failed,        // error line (ERROR, +CME ERROR: n, +CMS ERROR: n): "... Telefon
                   // Tarafından Desteklenmiyor !" in panel 1; the reply holds the line
    TimedOut,      // the limit passed without completion: "Zaman Aşımı" in panel 1
    Disconnected,  // not connected, or the port closed during the wait
    Skipped,       // a poll while the line was busy: nothing written
    Busy,          // started inside the wait of an unfinished turn, which cannot go on
                   // before this start returns: nothing written
};

class CommandLine {
public:
    // The limit of a command sent without one of its own, unless the line is given
    // another (tests shorten it).
    static constexpr int kReplyLimitMs = 2000;
    // As a limit: the line's own reply limit, whatever it is.
    static constexpr int kLineLimit = -1;

    virtual ~CommandLine() = default;

    virtual bool connected() const = 0;
    // A new number after every successful handshake: what was set up on the phone
    // (PDU mode, ...) holds only for the connection it was set up on.
    virtual uint64_t connection() const = 0;
    // The last command written ran into its limit, or a ring ended its wait first: its
    // answer may still come and be taken for the next command's.
    virtual bool answerMayBeLate() const = 0;

    // The line for the caller alone until the turn is destroyed. Empty when not
    // connected, a poll that found the line busy, or a start inside the wait of a turn
    // that cannot go on before it returns.
    virtual CommandTurn beginTurn(CommandOrigin origin = CommandOrigin::User) = 0;
    // Waits `ms`, keeping the program responsive (clicks, port events).
    virtual void pause(int ms) = 0;

protected:
    friend class CommandTurn;
    // A turn's command: see CommandTurn::send. The outcome goes to *outcome.
    virtual std::string turnSend(uint64_t turn, const std::string& command,
                                 const std::string& completion, int limitMs,
                                 CommandOutcome* outcome) = 0;
    virtual void turnWrite(uint64_t turn, const std::string& text) = 0;
    virtual void endTurn(uint64_t turn) = 0;

    // The turn `id` granted to a caller of beginTurn.
    CommandTurn grant(uint64_t id);
};

// One turn on the line (movable, not copyable; it must not outlive its line).
class CommandTurn {
public:
    CommandTurn() = default;
    // No turn, for the reason given.
    explicit CommandTurn(CommandOutcome refused) : m_outcome(refused) {}
    CommandTurn(CommandTurn&& other) noexcept;
    CommandTurn& operator=(CommandTurn&& other) noexcept;
    CommandTurn(const CommandTurn&) = delete;
    CommandTurn& operator=(const CommandTurn&) = delete;
    ~CommandTurn();

    // false: no turn was granted; send() then returns "" at once.
    explicit operator bool() const { return m_line != nullptr; }

    // Writes `command` exactly as given (the caller includes the final CR, or Ctrl-Z
    // after a PDU) and waits, processing messages, for `completion`, an error line
    // (CR LF "ERROR", "+CME ERROR: n", "+CMS ERROR: n"), a ring, the close of the port,
    // or `limitMs`; returns what was received for this command. The deadline is set
    // before the write.
    std::string send(const std::string& command, const std::string& completion,
                     int limitMs = CommandLine::kLineLimit);
    // Writes without waiting (e.g. ESC to cancel a half-open "> " prompt).
    void write(const std::string& text);
    CommandOutcome lastOutcome() const { return m_outcome; }

private:
    friend class CommandLine;
    CommandTurn(CommandLine* line, uint64_t id) : m_line(line), m_id(id) {}
    void release();

    CommandLine* m_line = nullptr;  // null: no turn was granted
    uint64_t m_id = 0;
    CommandOutcome m_outcome = CommandOutcome::Disconnected;
};

inline CommandTurn CommandLine::grant(uint64_t id) {
    CommandTurn turn(this, id);
    turn.m_outcome = CommandOutcome::Completed;
    return turn;
}

}  // namespace phone
