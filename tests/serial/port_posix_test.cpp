// The component over real pseudo-terminals: opening, settings in the driver, reads and writes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/cp1251.h"
#include "pty_peer.h"
#include "serial/BCPort.h"

namespace tandrel::serial {
namespace detail {
bool GetBaudRate(int fd, unsigned& rate);
}
namespace {

using testing::ProcessCpuMs;
using testing::ThreadCount;
using testing::TPty;

std::string MessageOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EComPort& e) {
        return Cp1251ToUtf8(e.Message());
    }
    return "";
}

class PortTest : public ::testing::Test {
  protected:
    PortTest() {
        port.SetPort(pty.Path());
        port.SetSyncMethod(smNone);
    }
    TPty pty;
    TBComPort port;
};

TEST_F(PortTest, OpensAndClosesAnyNumberOfTimesWithOneThreadEach) {
    port.OpenPort();  // a sanitizer starts its own helper thread with the first thread
    port.ClosePort();
    const int before = ThreadCount();
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(port.OpenPort());
        EXPECT_TRUE(port.IsOpen());
        EXPECT_TRUE(port.OpenPort());  // already open: no second thread
        EXPECT_EQ(ThreadCount(), before + 1);
        EXPECT_TRUE(port.ClosePort());
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(ThreadCount(), before);
    }
    EXPECT_TRUE(port.ClosePort());  // closing a closed port is fine
}

TEST_F(PortTest, OpenFailuresLeaveThePortClosed) {
    TBComPort other;
    other.SetPort("/dev/tandrel-no-such-port");
    EXPECT_EQ(MessageOf([&] { other.OpenPort(); }), "Попытка открыть несуществующий COM-порт");
    EXPECT_FALSE(other.IsOpen());

    ASSERT_TRUE(port.OpenPort());
    TBComPort second;
    second.SetPort(pty.Path());
    EXPECT_EQ(MessageOf([&] { second.OpenPort(); }), "Порт занят другой программой");
    EXPECT_FALSE(second.IsOpen());
    port.ClosePort();
    EXPECT_TRUE(second.OpenPort());  // released by the close

    TBComPort notTty;
    notTty.SetPort("/dev/null");
    EXPECT_EQ(MessageOf([&] { notTty.OpenPort(); }), "Ошибка функции SetupComm");
    EXPECT_FALSE(notTty.IsOpen());
}

TEST_F(PortTest, LineSettingsReachTheDriver) {
    const struct {
        TBaudRate rate;
        speed_t speed;
        TByteSize size;
        TParity parity;
        tcflag_t parityBits;
        TStopBits stop;
    } rows[] = {
        {br9600, B9600, bs8, paNone, 0, sb1},
        {br115200, B115200, bs7, paEven, PARENB, sb2},
        {br110, B110, bs5, paOdd, PARENB | PARODD, sb1_5},
        {br19200, B19200, bs6, paMark, PARENB | PARODD | CMSPAR, sb1},
        {br57600, B57600, bs8, paSpace, PARENB | CMSPAR, sb2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.rate));
        port.SetBaudRate(r.rate);
        port.SetByteSize(r.size);
        port.SetParity(r.parity);
        port.SetStopBits(r.stop);
        ASSERT_TRUE(port.OpenPort());
        const termios t = pty.Settings();
        EXPECT_EQ(cfgetospeed(&t), r.speed);
        // A pseudo-terminal forces CS8 and clears PARENB (and CMSPAR) whatever is set; the
        // rest of the parity setting stays visible.
        EXPECT_EQ(t.c_cflag & PARODD, r.parityBits & PARODD);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, r.stop != sb1);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, r.parity != paNone);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);  // raw
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_TRUE(t.c_cflag & CLOCAL);
        port.ClosePort();
    }
}

// Runs this test program again as another process that opens the port and reports the outcome.
int OpenInAnotherProcess(const std::string& path) {
    const std::string command = "TANDREL_CHILD_PORT='" + path + "' '" +
                                std::filesystem::read_symlink("/proc/self/exe").string() +
                                "' --gtest_filter=PortChild.Open >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PortChild, Open) {
    const char* path = std::getenv("TANDREL_CHILD_PORT");
    if (!path) GTEST_SKIP() << "only as the second process of AcrossTwoProcesses";
    TBComPort port;
    port.SetPort(path);
    const std::string message = MessageOf([&] { port.OpenPort(); });
    std::exit(message.empty() ? 10 : message == "Порт занят другой программой" ? 11 : 12);
}

TEST_F(PortTest, AcrossTwoProcesses) {
    ASSERT_TRUE(port.OpenPort());
    EXPECT_EQ(OpenInAnotherProcess(pty.Path()), 11);  // busy
    port.ClosePort();
    EXPECT_EQ(OpenInAnotherProcess(pty.Path()), 10);  // opens once released
    EXPECT_TRUE(port.OpenPort());                     // and the other process let it go at its exit
}

TEST_F(PortTest, BaudRateStoredWhileClosedAppliedAtOnceWhileOpen) {
    port.SetBaudRate(br4800);
    termios t = pty.Settings();
    EXPECT_NE(cfgetospeed(&t), B4800);
    ASSERT_TRUE(port.OpenPort());
    t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), B4800);
    port.SetBaudRate(br38400);
    t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), B38400);
    port.SetBaudRate(br14400);  // no B-constant for it
    unsigned rate = 0;
    ASSERT_TRUE(detail::GetBaudRate(pty.Slave(), rate));
    EXPECT_EQ(rate, 14400u);
}

TEST_F(PortTest, PropertyLocksWhileOpen) {
    ASSERT_TRUE(port.OpenPort());
    const std::string locked = "Нельзя менять свойство, пока порт открыт";
    EXPECT_EQ(MessageOf([&] { port.SetPort(pty.Path()); }), locked);  // even the same name
    EXPECT_EQ(MessageOf([&] { port.SetSyncMethod(smNone); }), "");    // same value: nothing
    EXPECT_EQ(MessageOf([&] { port.SetSyncMethod(smThreadSync); }), locked);
    EXPECT_EQ(port.SyncMethod(), smNone);
    port.SetInBufSize(4097);  // applied while open without failure
    EXPECT_EQ(port.InBufSize(), 4096);
}

TEST_F(PortTest, WritesAndReads) {
    ASSERT_TRUE(port.OpenPort());
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_TRUE(pty.Silent(50));
    const std::string text = "****1234*5#" + "Порт"_cp1251;
    EXPECT_EQ(port.WriteText(text), static_cast<int>(text.size()));
    EXPECT_EQ(pty.Read(text.size()), text);

    std::string got = "old";
    EXPECT_EQ(port.ReadText(got, 0), 0);
    EXPECT_EQ(got, "");
    EXPECT_EQ(port.ReadText(got, 10), 0);  // nothing waiting: at once
    pty.Write("12345");
    for (int i = 0; i < 200 && port.InputCount() < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(port.InputCount(), 5);
    EXPECT_EQ(port.ReadText(got, 10), 5);
    EXPECT_EQ(got, "12345");
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(PortTest, NegativeReadTimeoutsActAsTheMaximum) {
    // (max, max, c): wait up to c for a first byte, return with the first bytes.
    port.Timeouts().SetReadTotalMultiplier(-5);
    port.Timeouts().SetReadTotalConstant(3000);
    ASSERT_TRUE(port.OpenPort());
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.Write("A");
    });
    std::string got;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadText(got, 10), 1);
    const auto waited = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_EQ(got, "A");
    EXPECT_GE(waited, std::chrono::milliseconds(50));    // it waited for the byte...
    EXPECT_LT(waited, std::chrono::milliseconds(2500));  // ...and not for the constant
}

TEST_F(PortTest, TimeoutsAssignCopiesValues) {
    TComTimeouts loose;
    loose.SetWriteTotalConstant(7);
    EXPECT_EQ(loose.Port(), nullptr);
    port.SetTimeouts(loose);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 7);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().Port(), &port);
    const TComTimeouts copy(port.Timeouts());
    EXPECT_EQ(copy.Port(), nullptr);
    EXPECT_EQ(copy.WriteTotalConstant(), 7);
}

TEST_F(PortTest, WriteThatTimesOutIsAFailure) {
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    ASSERT_TRUE(port.OpenPort());
    // Far more than the pseudo-terminal buffers while nobody reads.
    EXPECT_EQ(MessageOf([&] { port.WriteText(std::string(1 << 20, 'x')); }),
              "Ошибка записи в порт");
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(PortTest, WritesFromTwoThreadsNeverInterleave) {
    ASSERT_TRUE(port.OpenPort());
    constexpr int kBlocks = 300;
    const std::string a(64, 'a'), b(64, 'b');
    std::string received;
    std::thread reader([&] { received = pty.Read(2 * kBlocks * 64, 20000); });
    std::thread other([&] {
        for (int i = 0; i < kBlocks; ++i) port.WriteText(b);
    });
    for (int i = 0; i < kBlocks; ++i) port.WriteText(a);
    other.join();
    reader.join();
    ASSERT_EQ(received.size(), 2u * kBlocks * 64);
    for (std::size_t i = 0; i < received.size(); i += 64)
        ASSERT_EQ(received.substr(i, 64).find_first_not_of(received[i]), std::string::npos) << i;
}

TEST_F(PortTest, FarEndGoneMakesWritesFailAndThePortStaysOpen) {
    ASSERT_TRUE(port.OpenPort());
    pty.CloseMaster();
    EXPECT_EQ(MessageOf([&] { port.WriteText("T"); }), "Ошибка записи в порт");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(MessageOf([&] { port.WriteText("T"); }), "Ошибка записи в порт");
}

TEST_F(PortTest, CloseRunsEveryStepWhenTheLineRefusesThem) {
    const int before = ThreadCount();
    ASSERT_TRUE(port.OpenPort());
    pty.CloseMaster();  // a hung-up tty refuses the modem-line calls
    EXPECT_EQ(MessageOf([&] { port.ClosePort(); }), "Ошибка функции EscapeCommFunction");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(ThreadCount(), before);
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(PortTest, DestructorOfAnOpenPortOnADeadLineDoesNotThrow) {
    const int before = ThreadCount();
    {
        TBComPort local;
        local.SetPort(pty.Path());
        ASSERT_TRUE(local.OpenPort());
        pty.CloseMaster();
    }
    EXPECT_EQ(ThreadCount(), before);
}

TEST_F(PortTest, AsyncRequestsRules) {
    const std::string bad = "Недопустимый параметр Async";
    EXPECT_EQ(MessageOf([&] { port.StartWrite("x", 1, nullptr); }), bad);
    EXPECT_EQ(MessageOf([&] { port.AwaitRequest(nullptr); }), bad);
    char buffer[4];
    EXPECT_EQ(MessageOf([&] { port.StartRead(buffer, 4, nullptr); }), bad);
    std::unique_ptr<TAsyncRequest> request;
    port.NewRequest(request);
    ASSERT_TRUE(request);
    EXPECT_EQ(port.AwaitRequest(request.get()), 0);  // nothing started: done at once
    EXPECT_EQ(MessageOf([&] { port.StartWrite("x", 1, request.get()); }), "Ошибка записи в порт");
    ASSERT_TRUE(port.OpenPort());
    {
        std::string text = "ABC";
        port.StartWriteText(text, request.get());
        text = "zzz";  // the request writes from its own copy
    }
    EXPECT_EQ(port.AwaitRequest(request.get()), 3);
    EXPECT_EQ(pty.Read(3), "ABC");
    port.FreeRequest(request);
    EXPECT_EQ(request, nullptr);
}

TEST_F(PortTest, IdlePortCostsNoCpu) {
    ASSERT_TRUE(port.OpenPort());
    const double before = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - before, 30.0);  // a polling loop would take most of the 300 ms
}

}  // namespace
}  // namespace tandrel::serial
