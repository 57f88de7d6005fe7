// The tool as a process: its exit codes, and nothing on standard output but the plan.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "plan/plan_tool.h"
#include "support/temp_dir.h"

namespace tandrel::plan::tool {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(PlanTool, TheProgramWritesOnlyItsOutputAndExitCode) {
    TempDir dir;
    WriteBytes("list.txt", "2450\n2450\n1800,5\n960\n");
    const std::string tool = TANDREL_PLAN_TOOL;
    auto run = [&](const std::string& args) {
        const int status = std::system((tool + " " + args + " >out 2>err").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("--stock 6000 --kerf 4 --head 10 --csv list.txt"), kPlanned);
    EXPECT_EQ(ReadBytes("out"),
              "1;6000;new;2450 2450 960;118\n2;6000;new;1800.5;4185.5\n"
              "итого;2;12000;12000;4339.5;да\n");
    EXPECT_EQ(ReadBytes("err"), "");
    EXPECT_EQ(run("--stock 6000x1 --csv list.txt"), kShort);
    EXPECT_EQ(ReadBytes("out"), "");
    EXPECT_EQ(run("--stock 6000x --csv list.txt"), kRefused);
    EXPECT_NE(ReadBytes("err"), "");
}

}  // namespace
}  // namespace tandrel::plan::tool
