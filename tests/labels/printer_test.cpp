#include "labels/printer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "base/cp1251.h"
#include "labels/label.h"

namespace tandrel::labels {
namespace {

// A pseudo-terminal: the port opens its slave side, the test reads what the printer would get
// on the master side.
class Pty {
  public:
    Pty() {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
            master_ = slave_ = -1;
            return;
        }
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
    }
    ~Pty() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool Ok() const { return master_ >= 0; }
    std::string Name() const { return ::ttyname(slave_); }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    // Everything that arrives until the line has been quiet for quietMs.
    std::string Received(int quietMs = 300) {
        std::string got;
        pollfd p{master_, POLLIN, 0};
        char buf[512];
        while (::poll(&p, 1, quietMs) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
};

class PrinterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ConfigureLabelPort(port);
        settings = {true, pty.Name(), {}};
        row.Caption = "Дверь"_cp1251;
        row.Fields[0] = "123";
    }
    std::string Print(std::string_view text = "", std::uint8_t fieldCount = 1) {
        return PrintLabel(port, settings, lines, text, row, fieldCount).Failure();
    }

    Pty pty;
    serial::TBComPort port;
    TPrintSettings settings;
    std::vector<std::string> lines = SplitTemplateLines(kDefaultTemplate);
    job::SizeRow row;
};

TEST_F(PrinterTest, SendsTheExactBytesAndClosesThePort) {
    EXPECT_EQ(Print(), "");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(pty.Received(), "^XA^PW360^FO10,00^ASN,70,70^FD123^FS^XZ");

    const std::string test = "Testovaya pechat, Тестовая печать =)"_cp1251;
    EXPECT_EQ(Print(test), "");
    EXPECT_EQ(pty.Received(), "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FD" + test + "^FS^XZ");
}

TEST_F(PrinterTest, NothingWhenOffOrWithoutPort) {
    for (const TPrintSettings& off :
         {TPrintSettings{false, pty.Name(), {}}, TPrintSettings{true, "", {}}}) {
        settings = off;
        EXPECT_EQ(Print("x"), "");
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(pty.Received(100), "");
    }
}

TEST_F(PrinterTest, AFailedLabelLeavesThePortClosedForTheNext) {
    settings.LabelPortName = "/dev/tandrel-no-such-port";
    const std::string missing = Print();
    EXPECT_EQ(Cp1251ToUtf8(missing).rfind("Этикетка не напечатана: ", 0), 0u)
        << Cp1251ToUtf8(missing);
    EXPECT_FALSE(port.IsOpen());

    Pty gone;
    ASSERT_TRUE(gone.Ok());
    settings.LabelPortName = gone.Name();
    gone.CloseMaster();  // the printer's end is gone: open or write fails
    const std::string lost = Print();
    EXPECT_EQ(Cp1251ToUtf8(lost).rfind("Этикетка не напечатана: ", 0), 0u) << Cp1251ToUtf8(lost);
    EXPECT_FALSE(port.IsOpen());

    settings.LabelPortName = pty.Name();
    EXPECT_EQ(Print(), "");
    EXPECT_EQ(pty.Received(), "^XA^PW360^FO10,00^ASN,70,70^FD123^FS^XZ");
}

TEST_F(PrinterTest, AWriteErrorIsReportedAndThePortClosed) {
    // A printer that takes nothing: the write times out (shortened here).
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(300);
    lines = {std::string(1 << 20, 'x')};
    const std::string failed = Print();
    EXPECT_EQ(Cp1251ToUtf8(failed), "Этикетка не напечатана: Ошибка записи в порт");
    EXPECT_FALSE(port.IsOpen());

    pty.Received(50);  // what the line took before the time-out
    lines = SplitTemplateLines(kDefaultTemplate);
    EXPECT_EQ(Print(), "");
    EXPECT_EQ(pty.Received().substr(0, 3), "^XA");
}

}  // namespace
}  // namespace tandrel::labels
