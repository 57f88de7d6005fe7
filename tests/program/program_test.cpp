// The program as a process, started offscreen as an operator's session would start it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "job/crc32.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

pid_t StartProgram(const std::string& screenshot) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!screenshot.empty()) {
            setenv("TANDREL_SCREENSHOT", screenshot.c_str(), 1);
            setenv("TANDREL_SCREENSHOT_SECONDS", "1", 1);
        }
        execl(TANDREL_EXE, TANDREL_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for the child; -1 when it has not ended in time (it is then killed).
int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(20ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

class SignalCloses : public ::testing::TestWithParam<int> {};

TEST_P(SignalCloses, TheMainWindowTheNormalWay) {
    const pid_t pid = StartProgram("");
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(1500ms);
    kill(pid, GetParam());
    EXPECT_EQ(WaitForExit(pid, 10s), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalCloses, ::testing::Values(SIGTERM, SIGINT));

// A copy of the program in a folder of its own, where it keeps nastr.dat, started there with a
// list whose every row is done: it waits on the restart question from the start.
class SignalWhileTheRestartQuestionWaits : public ::testing::TestWithParam<int> {};

TEST_P(SignalWhileTheRestartQuestionWaits, AnswersNoAndWritesTheSettings) {
    const fs::path dir =
        fs::temp_directory_path() /
        ("tandrel-session-" + std::to_string(getpid()) + "-" + std::to_string(GetParam()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path exe = dir / "Tandrel";
    fs::copy_file(TANDREL_EXE, exe);
    std::ofstream(dir / "plan.txt", std::ios::binary) << "1000 A\r\n1200 B\r\n";
    const std::uint32_t crc = tandrel::job::FileCrc32((dir / "plan.txt").string()).Crc;
    std::ofstream(dir / "plan.crc", std::ios::binary) << crc << "\r\n1\r\n2\r\n";

    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (chdir(dir.c_str()) != 0) _exit(126);
        execl(exe.c_str(), exe.c_str(), "plan.txt", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(2000ms);
    kill(pid, GetParam());
    EXPECT_EQ(WaitForExit(pid, 10s), 0);
    EXPECT_TRUE(fs::exists(dir / "nastr.dat"));
    // No: the progress file keeps every row.
    std::ifstream progress(dir / "plan.crc", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(progress)), {});
    EXPECT_EQ(bytes, std::to_string(crc) + "\r\n1\r\n2\r\n");
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalWhileTheRestartQuestionWaits,
                         ::testing::Values(SIGTERM, SIGINT));

TEST(Program, SavesScreenshotsWhenAsked) {
    const fs::path dir = fs::temp_directory_path() / ("tandrel-shot-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path shot = dir / "main.png";
    const pid_t pid = StartProgram(shot.string());
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 100 && !fs::exists(shot); ++i) std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(fs::exists(shot));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid, 10s), 0);
    fs::remove_all(dir);
}

}  // namespace
