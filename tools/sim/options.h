#pragma once
// The simulator's command line.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/device_model.h"

namespace tandrel::sim {

struct SimOptions {
    std::string deviceLink;  // create a pty and a symlink to its far end here
    std::string devicePort;  // or open this existing serial device
    std::string printerLink;
    int printerTcpPort = -1;  // listen on 127.0.0.1 at this port (0: any free one); -1: no
    std::string labelsDir = ".";
    std::string logFile;
    DeviceIdentity identity;
    DeviceTiming timing;
    bool pace = false;
    std::uint64_t seed = 1;
    bool help = false;
};

struct OptionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Raises OptionError naming the option at fault. Texts given in UTF-8 are converted to
// Windows-1251 for the line.
SimOptions ParseOptions(const std::vector<std::string>& args);

// Every option and every control command.
std::string HelpText();

// True when text can travel in a reply payload: none of the reply letters, "P", "_", "*", "#".
bool IsPayloadSafe(const std::string& text);

}  // namespace tandrel::sim
