#include "app/OneInstance_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "support/ChildProcess.h"
#include "support/WinTest.h"

namespace {

// What the copies of the test program wrote to their common log.
struct LogRecords {
    std::vector<DWORD> running;  // "RUN"
    std::vector<DWORD> handed;   // "HANDED"
    std::vector<DWORD> restored;
    std::vector<std::string> errors;
    struct Event {
        DWORD pid;
        std::string sender;
        std::vector<std::string> params;
    };
    std::vector<Event> events;
    size_t EventsOf(DWORD pid) const {
        return std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.pid == pid; });
    }
    bool Runs(DWORD pid) const { return std::find(running.begin(), running.end(), pid) != running.end(); }
};

LogRecords ParseLog(const std::string& text) {
    LogRecords r;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        DWORD pid = 0;
        if (kind == "PARAM") {
            if (!r.events.empty()) r.events.back().params.push_back(line.substr(6));
            continue;
        }
        fields >> pid;
        if (kind == "RUN") r.running.push_back(pid);
        if (kind == "HANDED") r.handed.push_back(pid);
        if (kind == "RESTORE") r.restored.push_back(pid);
        if (kind == "ERROR") r.errors.push_back(line);
        if (kind == "EVENT") {
            size_t count = 0;
            LogRecords::Event e{pid, "", {}};
            fields >> count >> e.sender;
            r.events.push_back(e);
        }
    }
    return r;
}

// Each test has its own kernel object names, log and stop event, so tests
// and earlier runs never meet.
class OneInstanceProcesses : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
        ident_ = L"KolibrioTest_" + tag;
        dir_ = wintest::MakeTempDir();
        log_ = dir_ + L"log.txt";
        const std::wstring stopName = L"KolibrioTestStop_" + tag;
        stop_ = CreateEventW(nullptr, TRUE, FALSE, stopName.c_str());
        SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", ident_.c_str());
        SetEnvironmentVariableW(L"KOLIBRIO_OI_LOG", log_.c_str());
        SetEnvironmentVariableW(L"KOLIBRIO_OI_STOP", stopName.c_str());
        for (const wchar_t* name : {L"KOLIBRIO_OI_HALT", L"KOLIBRIO_OI_SHOW", L"KOLIBRIO_OI_BOX", L"KOLIBRIO_OI_THROW"})
            SetEnvironmentVariableW(name, nullptr);
    }
    void TearDown() override {
        SetEvent(stop_);
        for (auto& c : children_) c->WaitExit(10000);
        children_.clear();
        CloseHandle(stop_);
        wintest::RemoveTree(dir_);
    }

    wintest::ChildProcess& Start(const std::vector<std::wstring>& args = {}, bool suspended = false) {
        return StartProgram(wintest::BuildDir() + L"tests\\oneinstance_child.exe", args, suspended);
    }
    wintest::ChildProcess& StartProgram(const std::wstring& exe, const std::vector<std::wstring>& args,
                                        bool suspended = false) {
        children_.push_back(std::make_unique<wintest::ChildProcess>());
        EXPECT_TRUE(children_.back()->Start(exe, args, suspended));
        return *children_.back();
    }
    // Starts the first copy and waits until it runs as the receiver.
    wintest::ChildProcess& StartReceiver() {
        wintest::ChildProcess& c = Start();
        EXPECT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.Runs(c.Pid()); }, 20000));
        return c;
    }
    LogRecords Log() const { return ParseLog(wintest::ReadFileBytes(log_)); }
    bool WaitForRecord(const std::function<bool(const LogRecords&)>& pred, DWORD timeoutMs) const {
        return wintest::WaitFor([&] { return pred(Log()); }, timeoutMs);
    }
    void Stop(wintest::ChildProcess& c) {
        SetEvent(stop_);
        EXPECT_TRUE(c.WaitExit(10000));
        ResetEvent(stop_);
    }

    std::wstring ident_, dir_, log_;
    HANDLE stop_ = nullptr;
    std::vector<std::unique_ptr<wintest::ChildProcess>> children_;
};

// Each hand-over waits at most 10 s twice, so no copy may take longer than
// this to end or to go on as a program.
constexpr DWORD kHangBoundMs = 25000;

struct HandOverCase {
    const char* name;
    std::vector<std::wstring> args;
    std::vector<std::string> received;  // UTF-8
};

class HandOverTest : public OneInstanceProcesses, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(HandOverTest, SecondCopyEndsAndTheFirstGetsItsParametersOnce) {
    wintest::ChildProcess& first = StartReceiver();
    wintest::ChildProcess& second = Start(GetParam().args);
    ASSERT_TRUE(second.WaitExit(kHangBoundMs));
    EXPECT_EQ(second.ExitCode(), 0u);  // ended at once with UseHaltToExit
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) > 0; }, 5000));
    wintest::Pump(300);  // a duplicate event would show up by now
    LogRecords log = Log();
    EXPECT_FALSE(log.Runs(second.Pid()));
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].pid, first.Pid());
    EXPECT_EQ(log.events[0].sender, "sender");
    EXPECT_EQ(log.events[0].params, GetParam().received);
    EXPECT_TRUE(log.restored.empty());  // ShowOnNewInstance is off
    EXPECT_TRUE(first.Running());
}

std::vector<std::wstring> NumberedW(int n) {
    std::vector<std::wstring> v;
    for (int i = 1; i <= n; ++i) v.push_back(L"param" + std::to_wstring(i));
    return v;
}
std::vector<std::string> Numbered(int n) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i) v.push_back("param" + std::to_string(i));
    return v;
}
// 400 characters of Czech text, one byte each in the code page 1250.
std::wstring Long400() {
    std::wstring s;
    while (s.size() < 400) s += L"žluťoučký kůň ";
    return s.substr(0, 400);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, HandOverTest,
    ::testing::Values(HandOverCase{"None", {}, {}},
                      HandOverCase{"CzechAndBlanks",
                                   {L"E:\\DCIM\\", L"C:\\Moje fotky\\léto 2008", L"příliš", L""},
                                   {"E:\\DCIM\\", "C:\\Moje fotky\\léto 2008", "příliš", ""}},
                      HandOverCase{"TwelveArriveAsTen", NumberedW(12), Numbered(10)},
                      HandOverCase{"LongCutTo300", {Long400()}, {fw::Utf8(Long400().substr(0, 300))}}),
    [](const ::testing::TestParamInfo<HandOverCase>& info) { return std::string(info.param.name); });

// The same guarded program built for the other architecture (the sibling
// build tree), and whether it runs here: a 32-bit prefix runs no 64-bit
// program, and 64-bit Wine runs 32-bit ones only beside a working 32-bit
// Wine.
std::wstring OtherArchitectureChild() {
    return wintest::BuildDir() + (sizeof(void*) == 8 ? L"..\\win\\" : L"..\\win64\\") +
           L"tests\\oneinstance_child.exe";
}

class MixedArchitectures : public OneInstanceProcesses, public ::testing::WithParamInterface<bool> {};

// A 32-bit and a 64-bit copy meet: the receiver's window handle crosses the
// shared block as 32 bits either way.
TEST_P(MixedArchitectures, LaterCopyOfTheOtherKindHandsOver) {
    const std::wstring other = OtherArchitectureChild();
    {
        wintest::ChildProcess probe;
        SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", (ident_ + L"_probe").c_str());
        const bool runs = wintest::FileExists(other) && probe.Start(other, {}) &&
                          WaitForRecord([&](const LogRecords& r) { return r.Runs(probe.Pid()); }, 20000);
        SetEvent(stop_);
        probe.WaitExit(10000);
        ResetEvent(stop_);
        SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", ident_.c_str());
        if (!runs)
            GTEST_SKIP() << "the " << (sizeof(void*) == 8 ? "32" : "64")
                         << "-bit guarded program does not run in this prefix (" << fw::Utf8(other)
                         << "); the two kinds meet only where Wine runs both";
    }
    const bool otherFirst = GetParam();
    const std::wstring own = wintest::BuildDir() + L"tests\\oneinstance_child.exe";
    wintest::ChildProcess& first = StartProgram(otherFirst ? other : own, {});
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.Runs(first.Pid()); }, 20000));
    wintest::ChildProcess& second = StartProgram(otherFirst ? own : other, {L"E:\\DCIM\\"});
    ASSERT_TRUE(second.WaitExit(kHangBoundMs));
    EXPECT_EQ(second.ExitCode(), 0u);
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) == 1; }, 5000));
    EXPECT_EQ(Log().events[0].params, std::vector<std::string>{"E:\\DCIM\\"});
}

INSTANTIATE_TEST_SUITE_P(Orders, MixedArchitectures, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "OtherKindFirst" : "OwnKindFirst");
                         });

TEST_F(OneInstanceProcesses, WithoutHaltTheSecondCopyAsksToTerminate) {
    wintest::ChildProcess& first = StartReceiver();
    SetEnvironmentVariableW(L"KOLIBRIO_OI_HALT", L"0");
    wintest::ChildProcess& second = Start({L"x"});
    ASSERT_TRUE(second.WaitExit(kHangBoundMs));
    EXPECT_EQ(second.ExitCode(), 4u);  // Loaded said no, the message loop ended at once
    LogRecords log = Log();
    EXPECT_EQ(log.handed, std::vector<DWORD>{second.Pid()});
    EXPECT_FALSE(log.Runs(second.Pid()));
    EXPECT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) == 1; }, 5000));
}

TEST_F(OneInstanceProcesses, ShowOnNewInstanceRestoresTheReceiverBeforeTheEvent) {
    SetEnvironmentVariableW(L"KOLIBRIO_OI_SHOW", L"1");
    wintest::ChildProcess& first = StartReceiver();
    wintest::ChildProcess& second = Start();
    ASSERT_TRUE(second.WaitExit(kHangBoundMs));
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) == 1; }, 5000));
    EXPECT_EQ(Log().restored, std::vector<DWORD>{first.Pid()});
    const std::string text = wintest::ReadFileBytes(log_);
    EXPECT_LT(text.find("RESTORE"), text.find("EVENT"));
}

TEST_F(OneInstanceProcesses, AfterTheFirstCopyHasEndedANewStartBecomesTheReceiver) {
    wintest::ChildProcess& first = StartReceiver();
    Stop(first);
    EXPECT_EQ(first.ExitCode(), 3u);
    wintest::ChildProcess& next = StartReceiver();
    EXPECT_TRUE(next.Running());
    wintest::ChildProcess& third = Start({L"again"});
    ASSERT_TRUE(third.WaitExit(kHangBoundMs));
    EXPECT_EQ(third.ExitCode(), 0u);
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(next.Pid()) == 1; }, 5000));
    LogRecords log = Log();
    EXPECT_EQ(log.EventsOf(first.Pid()), 0u);
    EXPECT_EQ(log.events.back().params, std::vector<std::string>{"again"});
}

TEST_F(OneInstanceProcesses, BusyReceiverLetsALaterCopyRunAfterTenSecondsAndThatOneReceivesNext) {
    SetEnvironmentVariableW(L"KOLIBRIO_OI_BOX", L"1");
    wintest::ChildProcess& first = StartReceiver();
    SetEnvironmentVariableW(L"KOLIBRIO_OI_BOX", nullptr);

    const DWORD t0 = GetTickCount();
    wintest::ChildProcess& second = Start({L"busy"});
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) == 1; }, 10000));
    HWND box = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (box = wintest::FindProcessWindow(first.Pid(), L"oneinstance busy")); }, 5000));
    // The box stays open: the second copy gives up its wait and runs.
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.Runs(second.Pid()); }, kHangBoundMs));
    const DWORD waited = GetTickCount() - t0;
    EXPECT_GE(waited, 9500u);
    std::printf("a copy facing a busy receiver ran after %lu ms\n", static_cast<unsigned long>(waited));
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(IsWindow(box));

    // Later copies hand over to the second copy, whose window took the
    // first one's place in the block.
    wintest::ChildProcess& third = Start({L"to the second"});
    ASSERT_TRUE(third.WaitExit(kHangBoundMs));
    EXPECT_EQ(third.ExitCode(), 0u);
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(second.Pid()) == 1; }, 5000));
    EXPECT_EQ(Log().events.back().params, std::vector<std::string>{"to the second"});

    // Closing the first copy's box disturbs nothing.
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(wintest::WaitFor([&] { return !IsWindow(box); }, 5000));
    wintest::ChildProcess& fourth = Start({L"still the second"});
    ASSERT_TRUE(fourth.WaitExit(kHangBoundMs));
    EXPECT_EQ(fourth.ExitCode(), 0u);
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(second.Pid()) == 2; }, 5000));
    EXPECT_EQ(Log().EventsOf(first.Pid()), 1u);
    EXPECT_TRUE(first.Running());
}

TEST_F(OneInstanceProcesses, TokenComesBackWhenTheHandlerFails) {
    SetEnvironmentVariableW(L"KOLIBRIO_OI_THROW", L"1");
    wintest::ChildProcess& first = StartReceiver();
    for (int i = 1; i <= 2; ++i) {
        const DWORD t0 = GetTickCount();
        wintest::ChildProcess& next = Start({L"copy" + std::to_wstring(i)});
        ASSERT_TRUE(next.WaitExit(kHangBoundMs));
        EXPECT_EQ(next.ExitCode(), 0u) << i;
        // Without the token back this copy would have waited out its 10 s.
        EXPECT_LT(GetTickCount() - t0, 9000u) << i;
        EXPECT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(first.Pid()) == size_t(i); }, 5000));
    }
    EXPECT_TRUE(Log().running == std::vector<DWORD>{first.Pid()});
}

TEST_F(OneInstanceProcesses, WithoutTheSharedBlockEveryCopyRunsUnguarded) {
    // An object of another kind holds the block's name.
    HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, (ident_ + L"_FileMap").c_str());
    ASSERT_NE(squatter, nullptr);
    wintest::ChildProcess& first = StartReceiver();
    wintest::ChildProcess& second = StartReceiver();
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(Log().events.empty());
    CloseHandle(squatter);
}

TEST_F(OneInstanceProcesses, BlockLeftByAVanishedReceiverIsTakenOverAtOnce) {
    // The block and the semaphore outlive their receiver here (this process
    // holds them), and the block names a window that no longer exists.
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 3018,
                                        (ident_ + L"_FileMap").c_str());
    ASSERT_NE(mapping, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 3018);
    ASSERT_NE(view, nullptr);
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    const auto handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(gone));
    std::memcpy(view, &handle, 4);
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, ident_.c_str());
    ASSERT_NE(semaphore, nullptr);

    const DWORD t0 = GetTickCount();
    wintest::ChildProcess& next = Start({L"orphan"});
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.Runs(next.Pid()); }, kHangBoundMs));
    // Nobody could have given the token back, so there was nothing to wait for.
    EXPECT_LT(GetTickCount() - t0, 9000u);
    EXPECT_EQ(Log().events.size(), 0u);

    wintest::ChildProcess& later = Start({L"to the new receiver"});
    ASSERT_TRUE(later.WaitExit(kHangBoundMs));
    EXPECT_EQ(later.ExitCode(), 0u);
    ASSERT_TRUE(WaitForRecord([&](const LogRecords& r) { return r.EventsOf(next.Pid()) == 1; }, 5000));
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(semaphore);
}

// The reliability figure: copies started together sort themselves out into
// one receiver and copies that hand over, none waiting past the bound.
TEST_F(OneInstanceProcesses, FiveCopiesStartedTogetherLeaveExactlyOneRunning) {
    constexpr int kCopies = 5;
    constexpr int kRounds = 3;
    DWORD worst = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::wstring ident = ident_ + L"_r" + std::to_wstring(round);
        SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", ident.c_str());
        const size_t eventsBefore = Log().events.size();
        std::vector<wintest::ChildProcess*> copies;
        for (int i = 0; i < kCopies; ++i) copies.push_back(&Start({L"copy" + std::to_wstring(i)}, true));
        const DWORD t0 = GetTickCount();
        for (auto* c : copies) c->Resume();

        std::vector<HANDLE> handles;
        for (auto* c : copies) handles.push_back(c->Handle());
        // Four end by handing over; the fifth keeps running.
        int ended = 0;
        while (ended < kCopies - 1) {
            const DWORD elapsed = GetTickCount() - t0;
            if (elapsed > kHangBoundMs) break;
            std::vector<HANDLE> running;
            for (HANDLE h : handles)
                if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) running.push_back(h);
            ended = kCopies - static_cast<int>(running.size());
            if (ended >= kCopies - 1) break;
            WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, 50);
        }
        const DWORD took = GetTickCount() - t0;
        worst = std::max(worst, took);
        std::printf("round %d: %d of %d copies ended after handing over within %lu ms\n", round, ended, kCopies,
                    static_cast<unsigned long>(took));
        ASSERT_EQ(ended, kCopies - 1) << "round " << round;

        wintest::ChildProcess* receiver = nullptr;
        std::vector<std::string> expected;
        for (int i = 0; i < kCopies; ++i) {
            if (copies[i]->Running()) {
                receiver = copies[i];
            } else {
                EXPECT_EQ(copies[i]->ExitCode(), 0u) << "round " << round << " copy " << i;
                expected.push_back("copy" + std::to_string(i));
            }
        }
        ASSERT_NE(receiver, nullptr);
        ASSERT_TRUE(WaitForRecord(
            [&](const LogRecords& r) { return r.events.size() == eventsBefore + kCopies - 1; }, 5000));
        wintest::Pump(300);
        LogRecords log = Log();
        std::vector<std::string> received;
        for (size_t e = eventsBefore; e < log.events.size(); ++e) {
            EXPECT_EQ(log.events[e].pid, receiver->Pid());
            ASSERT_EQ(log.events[e].params.size(), 1u);
            received.push_back(log.events[e].params[0]);
        }
        std::sort(received.begin(), received.end());
        EXPECT_EQ(received, expected) << "round " << round;
        for (auto* c : copies) {
            if (c != receiver) EXPECT_FALSE(log.Runs(c->Pid()));
        }
        EXPECT_TRUE(log.Runs(receiver->Pid()));
        Stop(*receiver);
    }
    std::printf("five copies at once: the slowest hand-over ended after %lu ms\n", static_cast<unsigned long>(worst));
}

// In this process: the component itself.

TEST(OneInstanceComponent, OnlyOneMayExistAtATime) {
    auto first = std::make_unique<TOneInstance>();
    try {
        TOneInstance second;
        FAIL() << "a second component was constructed";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Drop only one of these components on your form !");
    }
    first.reset();
    EXPECT_NO_THROW(TOneInstance again);
}

TEST(OneInstanceComponent, DefaultsOfTheProperties) {
    TOneInstance c;
    EXPECT_EQ(c.IdentString, "MyApplication");
    EXPECT_TRUE(c.ShowOnNewInstance);
    EXPECT_FALSE(c.UseHaltToExit);
    EXPECT_FALSE(c.OnInstanceStarted);
    EXPECT_FALSE(c.OnCloseRequested);
    EXPECT_FALSE(c.IsReceiver());
}

TEST(OneInstanceComponent, SemaphoreThatCannotBeCreatedStopsTheStart) {
    const std::wstring ident = L"KolibrioTestSem_" + std::to_wstring(GetCurrentProcessId());
    // A mutex holds the semaphore's name, so the semaphore cannot be created.
    HANDLE squatter = CreateMutexW(nullptr, FALSE, ident.c_str());
    ASSERT_NE(squatter, nullptr);
    TOneInstance c;
    c.IdentString = fw::Utf8(ident);
    try {
        c.Loaded();
        FAIL() << "the start went on";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create semaphore");
    }
    CloseHandle(squatter);
}

// A receiver in this process, a real copy handing over to it: the virtual
// operation runs on this thread with the copy's parameters and then raises
// the event.
class RecordingInstance : public TOneInstance {
public:
    std::vector<std::string> seen;
    bool eventRaised = false;

protected:
    void InstanceStarted(const std::vector<std::string>& params) override {
        seen = params;
        EXPECT_FALSE(eventRaised);
        TOneInstance::InstanceStarted(params);
        EXPECT_TRUE(eventRaised);
    }
};

TEST(OneInstanceComponent, ReceiverInThisProcessGetsTheCopysParameters) {
    const std::wstring ident = L"KolibrioTestSelf_" + std::to_wstring(GetCurrentProcessId());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", ident.c_str());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_LOG", nullptr);
    SetEnvironmentVariableW(L"KOLIBRIO_OI_HALT", nullptr);
    RecordingInstance c;
    c.IdentString = fw::Utf8(ident);
    c.ShowOnNewInstance = false;
    std::vector<std::string> received;
    TOneInstance* sender = nullptr;
    const DWORD thread = GetCurrentThreadId();
    DWORD eventThread = 0;
    c.OnInstanceStarted = [&](TOneInstance* s, const std::vector<std::string>& params) {
        sender = s;
        received = params;
        eventThread = GetCurrentThreadId();
        c.eventRaised = true;
    };
    ASSERT_TRUE(c.Loaded());
    EXPECT_TRUE(c.IsReceiver());
    wintest::ChildProcess copy;
    ASSERT_TRUE(copy.Start(wintest::BuildDir() + L"tests\\oneinstance_child.exe", {L"Č:\\ěšč", L"two words"}));
    // The hand-over message needs this thread's message loop.
    ASSERT_TRUE(wintest::WaitFor([&] { return c.eventRaised; }, 15000));
    ASSERT_TRUE(copy.WaitExit(kHangBoundMs));
    EXPECT_EQ(copy.ExitCode(), 0u);
    EXPECT_EQ(sender, &c);
    EXPECT_EQ(eventThread, thread);
    const std::vector<std::string> expected{"Č:\\ěšč", "two words"};
    EXPECT_EQ(received, expected);
    EXPECT_EQ(c.seen, expected);
}

// A program outside (the uninstaller, an upgrade) finds the receiver's
// hidden window by its class, the IdentString, and asks it to end with
// WM_CLOSE: the event is raised, and the window stays, so that later copies
// still hand over to it.
TEST(OneInstanceComponent, CloseRequestRaisesTheEventAndKeepsTheWindow) {
    const std::wstring ident = L"KolibrioTestClose_" + std::to_wstring(GetCurrentProcessId());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_IDENT", ident.c_str());
    SetEnvironmentVariableW(L"KOLIBRIO_OI_LOG", nullptr);
    SetEnvironmentVariableW(L"KOLIBRIO_OI_HALT", nullptr);
    TOneInstance c;
    c.IdentString = fw::Utf8(ident);
    c.ShowOnNewInstance = false;
    int handedOver = 0;
    c.OnInstanceStarted = [&](TOneInstance*, const std::vector<std::string>&) { ++handedOver; };
    ASSERT_TRUE(c.Loaded());
    HWND window = FindWindowExW(HWND_MESSAGE, nullptr, ident.c_str(), nullptr);
    ASSERT_NE(window, nullptr) << "the hidden window, by its class";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, GetCurrentProcessId());

    // Nobody listens: the request changes nothing.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));

    int asked = 0;
    TOneInstance* sender = nullptr;
    c.OnCloseRequested = [&](TOneInstance* s) {
        ++asked;
        sender = s;
    };
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(wintest::WaitFor([&] { return asked > 0; }, 5000));
    wintest::Pump(100);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(sender, &c);
    EXPECT_TRUE(IsWindow(window));

    wintest::ChildProcess copy;
    ASSERT_TRUE(copy.Start(wintest::BuildDir() + L"tests\\oneinstance_child.exe", {L"later"}));
    ASSERT_TRUE(wintest::WaitFor([&] { return handedOver == 1; }, 15000)) << "a later copy hands over as before";
    ASSERT_TRUE(copy.WaitExit(kHangBoundMs));
    EXPECT_EQ(copy.ExitCode(), 0u);
}

}  // namespace
