#pragma once
// What the program asks of the system about itself. One implementation file per platform.

#include <filesystem>

namespace tandrel {

// The directory of the program's own executable file, whatever the working directory.
std::filesystem::path ProgramDir();

}  // namespace tandrel
