#include "printer/serial_printer.h"

#include <chrono>
#include <thread>

#include "serial/BCPort.h"

namespace tandrel::printer {

TSerialPrinter::~TSerialPrinter() {
    try {
        Close();
    } catch (...) {
        // The first failure is the one reported; a destructor has nobody to tell.
    }
}

void TSerialPrinter::Open() {
    // Left open by someone else, the port would refuse its new name.
    if (port_.IsOpen()) port_.ClosePort();
    port_.SetPort(name_);
    port_.OpenPort();
}

void TSerialPrinter::Write(std::string_view bytes) {
    port_.WriteText(bytes);
}

void TSerialPrinter::Close() {
    if (port_.IsOpen()) port_.ClosePort();
}

std::string TSerialPrinter::Read(TClock::time_point until) {
    // The printer port's reads return at once with what has come; it has no handler to wake us.
    std::string got;
    for (;;) {
        port_.ReadText(got, 512);
        if (!got.empty() || TClock::now() >= until) return got;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace tandrel::printer
