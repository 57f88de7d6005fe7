#pragma once
// What the handshake thread asks of the platform. One implementation file per platform.

#include <string>

namespace tandrel::link {

// Puts the calling thread one step below normal priority. Failure is harmless and ignored.
void LowerCurrentThreadPriority();

// The current local time in the user's long time format (the handshake's starting serial number).
std::string LocalTimeText();

}  // namespace tandrel::link
