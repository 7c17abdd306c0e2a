#include "sms/phone_worker.h"

#include <cctype>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "phone/phone_dialogue.h"
#include "phone/phone_port.h"
#include "phone/phone_texts.h"
#include "phone/phone_view.h"
#include "platform/codepage_1254.h"
#include "platform/plain_message_queue.h"
#include "platform/port_check.h"
#include "platform/port_names.h"
#include "serial/com_port.h"
#include "serial/exception_display.h"
#include "serial/pump.h"
#include "sms/send_texts.h"

namespace sms {

namespace {

constexpr int kRefreshMs = 5000;  // the window's tiRefresh

// An information row's value without a "+CGSN: " in front, blanks or quotes around it;
// nothing when the phone refused the command.
std::optional<std::string> infoValue(std::string value) {
    if (!value.empty() && value[0] == '+') {
        const size_t colon = value.find(':');
        value = colon == std::string::npos ? std::string() : value.substr(colon + 1);
    }
    const size_t first = value.find_first_not_of(" \t\"");
    const size_t last = value.find_last_not_of(" \t\"");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    if (value.empty() || value.find("ERROR") != std::string::npos) {
        return std::nullopt;
    }
    return value;
}

// The name this phone's --trace and --log files take ("SERIAL-Com6", "SERIAL-dev-pts-3"):
// several phones closing their ports at once must not write one SERIAL.TRC over another.
std::string recordingStem(const std::string& portName) {
    std::string stem = "SERIAL-";
    for (const char c : portName) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            stem += c;
        } else if (stem.back() != '-') {
            stem += '-';
        }
    }
    while (stem.back() == '-') {
        stem.pop_back();
    }
    return stem;
}

// An IMEI is 15 digits (16 with a software version); anything else is no IMEI.
bool looksLikeImei(const std::string& value) {
    if (value.size() < 14 || value.size() > 17) {
        return false;
    }
    for (char c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

// Everything of the phone that lives on its thread. It is the dialogue's window too: what
// the dialogue shows goes into the worker's snapshot.
struct PhoneWorker::Line : phone::PhoneView {
    Line(PhoneWorker& owner, int number) : worker(owner), portNumber(number) {
        port.SetAutoOpen(false);
        const std::string stem = recordingStem(owner.m_port.name);
        port.SetTraceName(stem + ".TRC");
        port.SetLogName(stem + ".LOG");
        phone::routePortEvents(port, dialogue);
    }

    void setLamp(phone::LampColor) override {}
    void setStatusPanel(int index, const std::string& text) override {
        const bool connected = dialogue.state().IsConnected;
        bool asked;
        {
            std::lock_guard lock(worker.m_mutex);
            asked = !worker.m_connectWanted || worker.m_stopping;
        }
        worker.change([&](PhoneWorkerState& s) {
            if (index == 1) {
                s.lastError = text;
            }
            if (s.connected && !connected && !asked && s.lastError.empty()) {
                // Unplugged, or the phone went away: the list says why it is off.
                s.lastError = texts::lineLost();
            }
            s.connected = connected;
            if (!connected) {
                s.signal = s.battery = 0;
            }
        });
    }
    void addInfoRow(const std::string& caption, const std::string& value) override {
        const std::optional<std::string> v = infoValue(value);
        if (!v) {
            return;
        }
        worker.change([&](PhoneWorkerState& s) {
            if (caption == phone::texts::kImei) {
                s.imei = looksLikeImei(*v) ? *v : std::string();
            } else if (caption == phone::texts::kMaker) {
                s.maker = *v;
            } else if (caption == phone::texts::kModel) {
                s.model = *v;
            } else if (caption == phone::texts::kOperator) {
                s.operatorName = *v;
            }
        });
    }
    void clearInfoRows() override {
        worker.change([](PhoneWorkerState& s) {
            s.imei.clear();
            s.maker.clear();
            s.model.clear();
            s.operatorName.clear();
        });
    }
    void setSignalGauge(int percent) override {
        worker.change([&](PhoneWorkerState& s) { s.signal = percent; });
    }
    void setBatteryGauge(int percent) override {
        worker.change([&](PhoneWorkerState& s) { s.battery = percent; });
    }
    void setLabel(int, const std::string&) override {}
    void setConnectCaption(const std::string&) override {}
    void setRefreshEnabled(bool enabled) override {
        if (enabled && refreshTimer == platform::kNoTimer) {
            refreshTimer = queue.startTimer(kRefreshMs, [this] {
                dialogue.tiRefreshTimer();
                for (const auto& tick : ticks) {
                    tick();
                }
            });
        } else if (!enabled && refreshTimer != platform::kNoTimer) {
            queue.stopTimer(std::exchange(refreshTimer, platform::kNoTimer));
        }
    }
    int portIndex() const override { return portNumber - 1; }
    std::string portText() const override { return platform::cp1254::fromUtf8(worker.m_port.name); }
    std::string speedText() const override { return worker.m_port.speed; }

    PhoneWorker& worker;
    const int portNumber;
    platform::PlainMessageQueue queue;  // made here: this thread is its thread
    serial::TComPort port;
    phone::ComPortLink link{port};
    phone::PhoneDialogue dialogue{*this, link, queue};
    SmsSender sender{dialogue, *this, worker.m_limits};
    platform::TimerId refreshTimer = platform::kNoTimer;
    int jobDepth = 0;                             // jobs running now: 1, or 0
    std::vector<std::function<void()>> ends;      // of the attachments, first attached first
    std::vector<std::function<void()>> connects;  // of the attachments, after each connect
    std::vector<std::function<void()>> ticks;     // of the attachments, on each refresh tick
};

PhoneWorker::PhoneWorker(PhoneWorkerPort port, platform::MessageQueue& reportTo, SendLimits limits)
    : m_port(std::move(port)), m_limits(limits), m_reportTo(reportTo) {
    m_state.port = m_port.name;
    if (!m_port.devicePath.empty()) {
        m_heldNumber = platform::holdPortNumber(m_port.devicePath);
    }
    m_reportHandler =
        m_reportTo.addHandler([this](const platform::Message& m) { return onReport(m); });
    try {
        m_thread = std::thread([this] { run(); });
    } catch (...) {
        m_reportTo.removeHandler(m_reportHandler);
        if (m_heldNumber != 0) {
            platform::releasePortNumber(m_heldNumber);
        }
        throw;
    }
    std::unique_lock lock(m_mutex);
    m_started.wait(lock, [this] { return m_threadUp; });
}

PhoneWorker::~PhoneWorker() {
    platform::MessageQueue* queue = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
        queue = m_lineQueue;
        // The close runs inside whatever wait the thread is in, and ends it; the quit
        // then ends the thread's loop and any wait that looks at it.
        if (queue) {
            queue->post(m_lineHandler, platform::Message{kClose, 0, 0});
            queue->quit();
        }
    }
    // A hand-over waiting for this thread ends now: this thread serves no more calls.
    m_ownerRan.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_reportTo.removeHandler(m_reportHandler);
    if (m_heldNumber != 0) {
        platform::releasePortNumber(m_heldNumber);
    }
}

void PhoneWorker::run() {
    serial::setThreadExceptionDisplay([this](const std::exception& e) {
        const std::string text = e.what();
        change([&](PhoneWorkerState& s) { s.lastError = text; });
    });
    const int number = m_port.devicePath.empty() ? m_port.number : m_heldNumber;
    {
        Line line(*this, number);
        serial::setMessageQueue(&line.queue);
        const platform::HandlerId handler =
            line.queue.addHandler([this, &line](const platform::Message& m) {
                if (m.msg == kClose) {
                    closePort(line);
                } else {
                    runJobs(line);
                }
                return intptr_t(0);
            });
        {
            std::lock_guard lock(m_mutex);
            m_lineQueue = &line.queue;
            m_lineHandler = handler;
            m_threadUp = true;
        }
        m_started.notify_all();

        line.queue.run();

        {
            std::lock_guard lock(m_mutex);
            m_lineQueue = nullptr;
            m_lineHandler = platform::kNoHandler;
        }
        closePort(line);
        line.setRefreshEnabled(false);
        for (auto end = line.ends.rbegin(); end != line.ends.rend(); ++end) {
            try {
                (*end)();
            } catch (...) {
                // The others still end.
            }
        }
        line.queue.removeHandler(handler);
        // The port goes before its queue: its last waits still pump the queue.
    }
    serial::setMessageQueue(nullptr);
    serial::setThreadExceptionDisplay(nullptr);
}

void PhoneWorker::runJobs(Line& line) {
    if (line.jobDepth > 0) {
        return;  // inside a job's wait: the loop below takes it up when that job is done
    }
    for (;;) {
        LineJob job;
        {
            std::lock_guard lock(m_mutex);
            if (m_jobs.empty() || m_stopping) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        ++line.jobDepth;
        try {
            job(line);
        } catch (const std::exception& e) {
            const std::string text = e.what();
            change([&](PhoneWorkerState& s) { s.lastError = text; });
        } catch (...) {
            // Nothing to show; the thread must go on serving the phone.
        }
        --line.jobDepth;
    }
}

void PhoneWorker::closePort(Line& line) {
    try {
        if (line.dialogue.state().IsConnected) {
            line.dialogue.btnOpenClick();
        }
        line.port.SetOpen(false);
    } catch (const std::exception& e) {
        const std::string text = e.what();
        change([&](PhoneWorkerState& s) { s.lastError = text; });
    }
    const bool connected = line.dialogue.state().IsConnected;
    change([&](PhoneWorkerState& s) {
        s.connected = connected;
        if (!connected) {
            s.signal = s.battery = 0;
        }
    });
}

void PhoneWorker::connectOnLine(Line& line) {
    bool wanted;
    {
        std::lock_guard lock(m_mutex);
        wanted = m_connectWanted;
    }
    bool opened = false;  // connected by this job, not before it
    try {
        if (wanted && !line.dialogue.state().IsConnected) {
            line.dialogue.btnOpenClick();
            opened = true;
        }
    } catch (const std::exception& e) {
        const std::string text = e.what();
        change([&](PhoneWorkerState& s) { s.lastError = text; });
    }
    const bool connected = line.dialogue.state().IsConnected;
    if (opened && connected) {
        for (const auto& hook : line.connects) {
            hook();
        }
    }
    std::string why;
    if (wanted && !connected && !line.port.Open()) {
        // Whatever the serial layer said, the user learns why the device did not open.
        const std::optional<std::string> path = platform::resolveComPort(line.portNumber);
        if (path) {
            why = platform::explainPortCheck(platform::checkPort(*path), m_port.name);
        }
    }
    change([&](PhoneWorkerState& s) {
        s.connected = connected;
        s.connecting = false;
        if (!why.empty()) {
            s.lastError = why;
        }
    });
}

void PhoneWorker::submitOnLine(Line& line, const Submission& submission) {
    Report report{submission.done, {}};
    // Whether a message whose submission broke off went out is not known: it must not be
    // sent again blindly. Its `done` comes all the same.
    const auto brokenOff = [&](const std::string& why) {
        report.outcome.status = SendStatus::Unknown;
        report.outcome.error = why;
        report.outcome.lineLost = !line.dialogue.state().IsConnected;
    };
    try {
        report.outcome = line.sender.submit(submission.number, submission.text, submission.options);
    } catch (const std::exception& e) {
        brokenOff(e.what());
    } catch (...) {
        brokenOff(texts::noAnswer());
    }
    const bool sent = report.outcome.status == SendStatus::Sent;
    const bool connected = line.dialogue.state().IsConnected;
    {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(std::move(report));
    }
    change([&](PhoneWorkerState& s) {
        s.connected = connected;
        if (sent) {
            ++s.sent;
            s.lastError.clear();
        }
    });
    m_reportTo.post(m_reportHandler, platform::Message{kOutcome, 0, 0});
}

bool PhoneWorker::toLine(uint32_t message) {
    std::lock_guard lock(m_mutex);
    return m_lineQueue && !m_stopping &&
           m_lineQueue->post(m_lineHandler, platform::Message{message, 0, 0});
}

bool PhoneWorker::enqueue(LineJob job) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_lineQueue || m_stopping) {
            return false;
        }
        m_jobs.push_back(std::move(job));
    }
    return toLine(kRunJobs);
}

void PhoneWorker::connect() {
    {
        std::lock_guard lock(m_mutex);
        // Connected already: the job finds it so and does nothing. A disconnect asked
        // for just before may not have closed the port yet; this connect comes after it.
        if (m_state.connecting) {
            return;
        }
        m_connectWanted = true;
    }
    change([](PhoneWorkerState& s) {
        s.connecting = true;
        s.lastError.clear();
    });
    enqueue([this](Line& line) { connectOnLine(line); });
}

void PhoneWorker::disconnect() {
    {
        std::lock_guard lock(m_mutex);
        m_connectWanted = false;  // a connect still waiting for its turn does nothing
    }
    toLine(kClose);
}

PhoneWorkerState PhoneWorker::state() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void PhoneWorker::setObserver(Observer observer) {
    m_observer = std::move(observer);
}

void PhoneWorker::post(Job job) {
    enqueue([job = std::move(job)](Line& line) { job(line.dialogue); });
}

void PhoneWorker::attach(Attachment attach) {
    enqueue([attach = std::move(attach)](Line& line) {
        if (std::function<void()> end = attach(line.dialogue)) {
            line.ends.push_back(std::move(end));
        }
    });
}

void PhoneWorker::attachLine(LineAttachment attach) {
    enqueue([attach = std::move(attach)](Line& line) {
        LineHooks hooks = attach(line.dialogue, line.queue);
        if (hooks.end) {
            line.ends.push_back(std::move(hooks.end));
        }
        if (hooks.tick) {
            line.ticks.push_back(std::move(hooks.tick));
        }
        if (hooks.connected) {
            line.connects.push_back(hooks.connected);
            if (line.dialogue.state().IsConnected) {
                hooks.connected();
            }
        }
    });
}

bool PhoneWorker::callOwner(std::function<void()> call, int limitMs) {
    if (std::this_thread::get_id() != m_thread.get_id()) {
        call();
        return true;
    }
    struct Wait {  // all on m_mutex
        bool started = false;
        bool ran = false;
        bool dropped = false;
    };
    auto wait = std::make_shared<Wait>();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return false;
        }
    }
    toOwner([this, wait, call = std::move(call)] {
        {
            std::lock_guard lock(m_mutex);
            if (wait->dropped) {
                return;
            }
            wait->started = true;
        }
        const auto ran = [&] {
            {
                std::lock_guard lock(m_mutex);
                wait->ran = true;
            }
            m_ownerRan.notify_all();
        };
        try {
            call();
        } catch (...) {
            ran();
            throw;
        }
        ran();
    });
    std::unique_lock lock(m_mutex);
    m_ownerRan.wait_for(lock, std::chrono::milliseconds(limitMs),
                        [&] { return wait->ran || m_stopping; });
    if (!wait->started) {
        wait->dropped = true;
        return false;
    }
    // Begun on the owning thread, which is then not ending the worker: it ends there.
    m_ownerRan.wait(lock, [&] { return wait->ran; });
    return true;
}

void PhoneWorker::toOwner(std::function<void()> call) {
    {
        std::lock_guard lock(m_mutex);
        m_ownerCalls.push_back(std::move(call));
    }
    m_reportTo.post(m_reportHandler, platform::Message{kOwnerCall, 0, 0});
}

PhoneIdentity PhoneWorker::identity() const {
    std::lock_guard lock(m_mutex);
    return PhoneIdentity{m_state.imei, m_state.port};
}

bool PhoneWorker::available() const {
    std::lock_guard lock(m_mutex);
    return m_state.connected && !m_state.connecting && !m_state.busy && !m_stopping;
}

void PhoneWorker::submit(const std::string& number, const std::u16string& text,
                         const EncodeOptions& options, Done done) {
    {
        std::lock_guard lock(m_mutex);
        ++m_inFlight;
    }
    change([](PhoneWorkerState& s) { s.busy = true; });
    auto submission = std::make_shared<Submission>(Submission{number, text, options, done});
    if (!enqueue([this, submission](Line& line) { submitOnLine(line, *submission); })) {
        // The thread has ended (never while the worker is in use): the answer still comes.
        SendOutcome outcome;
        outcome.status = SendStatus::Failed;
        outcome.error = texts::notConnected();
        {
            std::lock_guard lock(m_mutex);
            m_reports.push_back(Report{std::move(done), std::move(outcome)});
        }
        m_reportTo.post(m_reportHandler, platform::Message{kOutcome, 0, 0});
    }
}

intptr_t PhoneWorker::onReport(const platform::Message& message) {
    if (message.msg == kOwnerCall) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_ownerCalls.empty()) {
                return 0;
            }
            call = std::move(m_ownerCalls.front());
            m_ownerCalls.pop_front();
        }
        if (call) {
            call();
        }
        return 0;
    }
    if (message.msg == kOutcome) {
        std::optional<Report> report;
        bool busy = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_reports.empty()) {
                return 0;
            }
            report = std::move(m_reports.front());
            m_reports.pop_front();
            busy = --m_inFlight > 0;
        }
        // Available again before `done` runs, so that it may hand out the next message.
        change([&](PhoneWorkerState& s) { s.busy = busy; });
        if (report->done) {
            report->done(report->outcome);
        }
        return 0;
    }
    PhoneWorkerState snapshot;
    {
        std::lock_guard lock(m_mutex);
        m_statePosted = false;
        snapshot = m_state;
    }
    // A copy: the observer may end the worker, and with it m_observer.
    if (const Observer observer = m_observer) {
        observer(snapshot);
    }
    return 0;
}

void PhoneWorker::change(const std::function<void(PhoneWorkerState&)>& edit) {
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        const PhoneWorkerState before = m_state;
        edit(m_state);
        if (!(m_state == before) && !m_statePosted) {
            m_statePosted = true;
            post = true;
        }
    }
    if (post) {
        m_reportTo.post(m_reportHandler, platform::Message{kStateChanged, 0, 0});
    }
}

}  // namespace sms
