#pragma once
// The tool's console: its arguments as UTF-8 and its output as bytes. One file per platform.

#include <string>
#include <vector>

namespace tandrel::plan::tool {

// The arguments after the program's name, UTF-8; on Windows also sets the console to UTF-8 and
// standard output and error to binary, so that a line ends in LF alone.
std::vector<std::string> ConsoleArguments(int argc, char** argv);

}  // namespace tandrel::plan::tool
