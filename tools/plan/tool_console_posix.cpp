#include "plan/tool_console.h"

namespace tandrel::plan::tool {

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace tandrel::plan::tool
