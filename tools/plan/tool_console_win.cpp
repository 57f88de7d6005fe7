#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "plan/tool_console.h"

namespace tandrel::plan::tool {

std::vector<std::string> ConsoleArguments(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The narrow arguments are in the ANSI code page: the wide ones hold any file name.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        text.resize(text.size() - 1);
        args.push_back(std::move(text));
    }
    if (wide != nullptr) LocalFree(wide);
    return args;
}

}  // namespace tandrel::plan::tool
