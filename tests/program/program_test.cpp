// The program as a process, started offscreen as an operator's session would start it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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
