#pragma once
// The label printer on a serial port (the printing thread's own), opened and closed around every
// label so that the port is free in between.

#include <string>

#include "printer/printer.h"

namespace tandrel::printer {

class TSerialPrinter final : public TPrinter {
  public:
    TSerialPrinter(serial::TBComPort& port, std::string name)
        : port_(port), name_(std::move(name)) {}
    ~TSerialPrinter() override;
    void Open() override;
    void Write(std::string_view bytes) override;
    void Close() override;

  protected:
    std::string Read(TClock::time_point until) override;

  private:
    serial::TBComPort& port_;
    std::string name_;
};

}  // namespace tandrel::printer
