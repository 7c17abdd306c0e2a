// The trace and the dispatch log: their files, byte for byte, and their states.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/fake_serial_device.h"
#include "platform/tests/scratch_folder.h"
#include "serial/com_port.h"
#include "serial/dispatcher.h"
#include "serial/serial_exceptions.h"
#include "serial/tests/serial_test_support.h"
#include "serial/trace_log.h"

namespace serial::testing {

namespace fs = std::filesystem;
using platform::FakeLine;

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetComNumber(40);
        port.SetAutoOpen(false);
        port.SetTraceName((dir / "SERIAL.TRC").string());
        port.SetLogName((dir / "SERIAL.LOG").string());
    }
    void TearDown() override { port.SetOpen(false); }
    std::string file(const char* name) {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Lets the far side's bytes reach the input ring.
    void receive(const std::string& bytes) {
        line->send(bytes);
        for (int i = 0; i < 5000 && port.Dispatcher()->InputCount() < bytes.size(); ++i) {
            ui.queue().waitAndPumpOne(1);
        }
        ASSERT_EQ(port.Dispatcher()->InputCount(), bytes.size());
    }

    platform::testing::ScratchFolder m_scratch{"trace-log"};
    const fs::path dir = m_scratch.path();
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    PortMap map{{{40, "/fake/com40"}}};
    platform::ScopedSerialDeviceOpener opener{platform::fakeOpener({{"/fake/com40", line}})};
    UiQueue ui;
    TComPort port;
};

TEST_F(Recording, TheTraceOfACommandAndItsReply) {
    port.SetTracing(tlOn);
    port.SetOpen(true);
    EXPECT_EQ(port.Tracing(), tlOn);
    port.WriteText("AT\r");
    receive("\r\nOK\r\n");
    for (int i = 0; i < 6; ++i) {
        port.ReadChar();
    }
    port.SetTracing(tlDump);
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(file("SERIAL.TRC"), "Transmit: \r\nAT[0D]\r\n\r\nReceive: \r\n[0D][0A]OK[0D][0A]");
}

TEST_F(Recording, TraceFormsWrappingPausingAndNothingRecorded) {
    struct Case {
        bool hex, allHex;
        uint32_t size;
        std::string sent;
        std::string want;
    };
    const Case cases[] = {
        {true, false, 10000, "a b\r\xff", "Transmit: \r\na[20]b[0D][FF]"},
        {false, false, 10000, "a b\r\xff", "Transmit: \r\na b[13][255]"},
        {true, true, 10000, "a ", "Transmit: \r\n[61][20]"},
        // 10 entries kept of 11: the file starts with the second.
        {true, false, 10, "0123456789A", "Transmit: \r\n123456789A"},
        // 79 characters go on two lines: 78 and 1.
        {true, false, 10000, std::string(79, 'x'),
         "Transmit: \r\n" + std::string(78, 'x') + "\r\nx"},
    };
    for (const auto& c : cases) {
        port.SetTraceHex(c.hex);
        port.SetTraceAllHex(c.allHex);
        port.SetTraceSize(c.size);
        port.SetTracing(tlOn);
        port.SetOpen(true);
        port.WriteText(c.sent);
        port.SetOpen(false);  // the close writes the file
        EXPECT_EQ(file("SERIAL.TRC"), c.want) << c.sent;
    }

    fs::remove(dir / "SERIAL.TRC");
    port.SetTraceHex(true);
    port.SetTraceAllHex(false);
    port.SetOpen(true);
    port.SetTracing(tlPause);  // while off: nothing
    EXPECT_EQ(port.Tracing(), tlOff);
    port.SetTracing(tlOn);
    port.SetTracing(tlDump);  // nothing recorded: no file
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_FALSE(fs::exists(dir / "SERIAL.TRC"));

    port.SetTracing(tlOn);
    port.WriteText("A");
    port.SetTracing(tlPause);
    port.WriteText("B");  // not recorded
    port.SetTracing(tlOn);
    port.WriteText("C");
    port.SetTracing(tlClear);
    EXPECT_EQ(port.Tracing(), tlOn);
    port.WriteText("D");
    port.SetTracing(tlAppend);
    EXPECT_EQ(file("SERIAL.TRC"), "Transmit: \r\nD");
}

TEST_F(Recording, ALogOfEveryKindOfEntry) {
    port.SetLogging(tlOn);
    port.SetOnTriggerAvail([](TCustomComPort& p, uint16_t count) {
        for (int i = 0; i < count; ++i) {
            p.ReadChar();
        }
    });
    port.SetOpen(true);
    TBaseDispatcher* d = port.Dispatcher();
    ASSERT_GT(d->AddDataTrigger("OK", false), 0);
    int32_t timer = d->AddTimerTrigger();
    int32_t status = d->AddStatusTrigger(5);  // output sent
    port.WriteText("AT\r");
    d->SetStatusTrigger(uint32_t(status), 0, true);
    d->SetTimerTrigger(uint32_t(timer), 0, true);
    line->send("\r\nOK\r\n");
    for (int i = 0; i < 500; ++i) {  // the timer fires within a tick of 55 ms
        ui.queue().waitAndPumpOne(1);
    }
    port.SetLogging(tlDump);
    std::string log = file("SERIAL.LOG");
    std::istringstream lines(log);
    std::vector<std::string> all;
    for (std::string l; std::getline(lines, l);) {
        ASSERT_FALSE(l.empty());
        ASSERT_EQ(l.back(), '\r') << l;
        all.push_back(l.substr(0, l.size() - 1));
    }
    ASSERT_GE(all.size(), 8u);
    EXPECT_EQ(all[0], "SERIAL v4.06");
    EXPECT_EQ(all[1].rfind("Compiler : ", 0), 0u);
    EXPECT_EQ(all[2].rfind("Operating System : Linux ", 0), 0u);
    EXPECT_EQ(all[3], "Device: COM40");
    EXPECT_EQ(all[4].rfind("Date/time: ", 0), 0u);
    EXPECT_EQ(all[5], "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(all[6], "--------  --------  ------------  --------  ---------");
    auto has = [&](const std::string& kindAndSub, const std::string& rest = "") {
        for (size_t i = 7; i < all.size(); ++i) {
            if (all[i].substr(10, kindAndSub.size()) == kindAndSub &&
                all[i].find(rest) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has("TrgHdAlc  Window"));
    EXPECT_TRUE(has("TrDatChg  Avail         00000001"));
    EXPECT_TRUE(has("Dispatch  WriteCom      00000003", "  AT[0D]"));
    EXPECT_TRUE(has("Dispatch  ReadCom       00000006", "  [0D][0A]OK[0D][0A]"));
    EXPECT_TRUE(has("Trigger   Avail"));
    EXPECT_TRUE(has("Trigger   Data"));
    EXPECT_TRUE(has("Trigger   Timer"));
    EXPECT_TRUE(has("Trigger   Status"));
    EXPECT_EQ(port.Logging(), tlOff);
}

// The fourteen trace and log operations on an open port that records both: what each
// leaves in Tracing and Logging, and what the close then writes (the trace whole, the log
// as its count of write entries; "-" for no file).
TEST_F(Recording, TheTraceAndLogOperationsOnAnOpenPort) {
    const std::string trc = (dir / "op.trc").string();
    const std::string log = (dir / "op.log").string();
    struct Case {
        const char* name;
        std::function<void(TComPort&)> op;
        TTraceLogState tracing, logging;
        const char* written;  // the op's own file, or nullptr
        std::string traceAtClose;
        int logWritesAtClose;  // -1: no log file
    };
    const std::string both = "Transmit: \r\nAT[0D]B", before = "Transmit: \r\nAT[0D]",
                      after = "Transmit: \r\nB";
    const Case cases[] = {
        {"TraceInit", [](TComPort& p) { p.TraceInit(0); }, tlOn, tlOn, nullptr, after, 2},
        {"TraceDump", [&](TComPort& p) { p.TraceDump(trc, true); }, tlOff, tlOn, "op.trc", "-", 2},
        {"TraceAppend", [&](TComPort& p) { p.TraceAppend(trc, true); }, tlOff, tlOn, "op.trc", "-",
         2},
        {"TraceClear", [](TComPort& p) { p.TraceClear(); }, tlOn, tlOn, nullptr, after, 2},
        {"TraceAbort", [](TComPort& p) { p.TraceAbort(); }, tlOff, tlOn, nullptr, "-", 2},
        {"TraceStop", [](TComPort& p) { p.TraceStop(); }, tlPause, tlOn, nullptr, before, 2},
        {"TraceStart after TraceStop",
         [](TComPort& p) {
             p.TraceStop();
             p.TraceStart();
         },
         tlOn, tlOn, nullptr, both, 2},
        {"LogInit", [](TComPort& p) { p.LogInit(0); }, tlOn, tlOn, nullptr, both, 1},
        {"LogDump", [&](TComPort& p) { p.LogDump(log, true); }, tlOn, tlOff, "op.log", both, -1},
        {"LogAppend", [&](TComPort& p) { p.LogAppend(log, true); }, tlOn, tlOff, "op.log", both,
         -1},
        {"LogClear", [](TComPort& p) { p.LogClear(); }, tlOn, tlOn, nullptr, both, 1},
        {"LogAbort", [](TComPort& p) { p.LogAbort(); }, tlOn, tlOff, nullptr, both, -1},
        {"LogStop", [](TComPort& p) { p.LogStop(); }, tlOn, tlPause, nullptr, both, 1},
        {"LogStart after LogStop",
         [](TComPort& p) {
             p.LogStop();
             p.LogStart();
         },
         tlOn, tlOn, nullptr, both, 2},
    };
    const auto writeEntries = [](const std::string& text) {
        int n = 0;
        for (size_t at = text.find("WriteCom"); at != std::string::npos;
             at = text.find("WriteCom", at + 1)) {
            ++n;
        }
        return n;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        port.SetTracing(tlOn);
        port.SetLogging(tlOn);
        port.SetOpen(true);
        port.WriteText("AT\r");
        c.op(port);
        EXPECT_EQ(port.Tracing(), c.tracing);
        EXPECT_EQ(port.Logging(), c.logging);
        if (c.written) {
            EXPECT_TRUE(fs::exists(dir / c.written));
        }
        port.WriteText("B");
        port.SetOpen(false);
        EXPECT_EQ(fs::exists(dir / "SERIAL.TRC") ? file("SERIAL.TRC") : "-", c.traceAtClose);
        EXPECT_EQ(fs::exists(dir / "SERIAL.LOG") ? writeEntries(file("SERIAL.LOG")) : -1,
                  c.logWritesAtClose);
    }

    // Too large a queue is refused through the component too, and nothing is kept of it.
    port.SetOpen(true);
    try {
        port.TraceInit(kTraceLimit + 1);
        ADD_FAILURE();
    } catch (const EBadArgument& e) {
        EXPECT_EQ(e.ErrorCode, -1002);
    }
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_EQ(port.TraceSize(), 10000u);
}

// While the port closes (a close asked for inside an event) every operation does nothing:
// no state changes, no file, no error, not even for too large a queue.
TEST_F(Recording, TheTraceAndLogOperationsDoNothingWhileThePortCloses) {
    const std::string trc = (dir / "op.trc").string();
    const std::string log = (dir / "op.log").string();
    const std::pair<const char*, std::function<void(TComPort&)>> ops[] = {
        {"TraceInit", [](TComPort& p) { p.TraceInit(kTraceLimit + 1); }},
        {"TraceDump", [&](TComPort& p) { p.TraceDump(trc, true); }},
        {"TraceAppend", [&](TComPort& p) { p.TraceAppend(trc, true); }},
        {"TraceClear", [](TComPort& p) { p.TraceClear(); }},
        {"TraceAbort", [](TComPort& p) { p.TraceAbort(); }},
        {"TraceStart", [](TComPort& p) { p.TraceStart(); }},
        {"TraceStop", [](TComPort& p) { p.TraceStop(); }},
        {"LogInit", [](TComPort& p) { p.LogInit(5); }},
        {"LogDump", [&](TComPort& p) { p.LogDump(log, true); }},
        {"LogAppend", [&](TComPort& p) { p.LogAppend(log, true); }},
        {"LogClear", [](TComPort& p) { p.LogClear(); }},
        {"LogAbort", [](TComPort& p) { p.LogAbort(); }},
        {"LogStart", [](TComPort& p) { p.LogStart(); }},
        {"LogStop", [](TComPort& p) { p.LogStop(); }},
    };
    bool ran = false;
    port.SetOnTriggerAvail([&](TCustomComPort& p, uint16_t) {
        if (ran) {
            return;
        }
        ran = true;
        p.SetOpen(false);
        ASSERT_EQ(p.LifeState(), PortLifeState::Closing);
        for (const auto& [name, op] : ops) {
            SCOPED_TRACE(name);
            const TTraceLogState tracing = p.Tracing(), logging = p.Logging();
            EXPECT_NO_THROW(op(port));
            EXPECT_EQ(p.Tracing(), tracing);
            EXPECT_EQ(p.Logging(), logging);
            EXPECT_EQ(p.TraceSize(), 10000u);
            EXPECT_EQ(p.LogSize(), 10000u);
        }
    });
    port.SetOpen(true);
    line->send("x");
    for (int i = 0; i < 5000 && port.LifeState() != PortLifeState::Closed; ++i) {
        ui.queue().waitAndPumpOne(1);
    }
    EXPECT_TRUE(ran);
    EXPECT_FALSE(fs::exists(dir / "op.trc"));
    EXPECT_FALSE(fs::exists(dir / "op.log"));
}

TEST_F(Recording, AFileThatCannotBeWrittenStillLetsThePortClose) {
    port.SetTraceName((dir / "missing" / "SERIAL.TRC").string());
    port.SetTracing(tlOn);
    port.SetOpen(true);
    port.WriteText("AT\r");
    try {
        port.SetOpen(false);
        ADD_FAILURE();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 3);
        EXPECT_EQ(e.Message(), "Path not found");
    }
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LifeState(), PortLifeState::Closed);
    EXPECT_EQ(port.Tracing(), tlOff);
    EXPECT_TRUE(fs::is_empty(dir));  // nothing half written
}

TEST_F(Recording, RecordingForTheRunGoesOnAfterEachClose) {
    SetRunRecording(true, false);
    TComPort p;  // made after the switch: tracing from the start
    SetRunRecording(false, false);
    p.SetComNumber(40);
    p.SetTraceName((dir / "SERIAL.TRC").string());
    EXPECT_EQ(p.Tracing(), tlOn);
    for (const char* text : {"one", "two"}) {
        p.SetOpen(true);
        p.WriteText(text);
        p.SetOpen(false);
        EXPECT_EQ(file("SERIAL.TRC"), std::string("Transmit: \r\n") + text);
    }
}

TEST(LogFormat, EntriesLinesAndContinuations) {
    std::vector<LogEntry> entries = {
        {1, 2, 1234, 3, {'A', 'T', '\r'}},
        {9, 16, 5, 1, {}},
        {2, 4, 12, 0x91, {0x91}},  // modem status: the set bits named
        {1, 1, 0, 40, std::vector<uint8_t>(40, 0x80)},
    };
    std::string text = DispatchLog::FormatEntries(entries, true, false);
    std::string want =
        "0001.234  Dispatch  WriteCom      00000003  AT[0D]\r\n"
        "0000.005  TrDatChg  Avail         00000001  \r\n"
        "0000.012  Trigger   Modem status  00000091  [91](DCTS CTS DCD)\r\n"
        "0000.000  Dispatch  ReadCom       00000028  " +
        [] {
            std::string s;
            for (int i = 0; i < 8; ++i) {
                s += "[80]";
            }
            // Column 45 + 8 items of 4 = 77; the ninth goes on.
            for (int line = 0; line < 4; ++line) {
                s += "\r\n" + std::string(44, ' ');
                for (int i = 0; i < 8 && line * 8 + 8 + i < 40; ++i) {
                    s += "[80]";
                }
            }
            return s;
        }() +
        "\r\n";
    EXPECT_EQ(text, want);
}

TEST(LogBuffer, OldEntriesMakeRoomWholeAndAnOversizedOneKeepsItsHeader) {
    DispatchLog log;
    log.Init(100);
    const std::string bytes(40, 'x');
    for (uint32_t i = 0; i < 5; ++i) {
        log.Add(1, 2, i, i, reinterpret_cast<const uint8_t*>(bytes.data()), 40);
    }
    auto kept = log.Peek();
    ASSERT_EQ(kept.size(), 1u);  // 56 bytes each: one fits in 100
    EXPECT_EQ(kept[0].data, 4u);
    EXPECT_EQ(kept[0].extra.size(), 40u);
    const std::string big(500, 'y');
    log.Add(1, 1, 9, 500, reinterpret_cast<const uint8_t*>(big.data()), 500);
    kept = log.Peek();
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.back().data, 500u);
    EXPECT_TRUE(kept.back().extra.empty());

    TraceRecorder trace;
    EXPECT_EQ(trace.Init(kTraceLimit + 1), -1002);
    EXPECT_FALSE(trace.Exists());
    EXPECT_EQ(trace.Init(kTraceLimit), 0);
    trace.Add('T', 'x');
    EXPECT_EQ(trace.TakeText(true, false), "Transmit: \r\nx");
    EXPECT_FALSE(trace.Exists());
}

}  // namespace serial::testing
