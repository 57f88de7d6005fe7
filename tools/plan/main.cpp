// tandrel-plan: see plan_tool.h.
#include <cstdio>
#include <exception>

#include "base/system.h"
#include "plan/plan_tool.h"
#include "plan/tool_console.h"

int main(int argc, char** argv) {
    using namespace tandrel::plan::tool;
    try {
        std::string out, err;
        const int code = Run(ConsoleArguments(argc, argv), tandrel::ProgramDir(), out, err);
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fwrite(err.data(), 1, err.size(), stderr);
        return std::fflush(stdout) == 0 ? code : kRefused;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tandrel-plan: %s\n", e.what());
        return kRefused;
    }
}
