#pragma once
// Windows: the device control block that a port's line settings make.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "serial/backend.h"

namespace tandrel::serial::detail {

DCB DeviceControlBlock(const TLineSettings& settings);

}  // namespace tandrel::serial::detail
