#pragma once
// The label printer on the network: raw TCP, one connection per label, closed after it.

#include <string>

#include "printer/printer.h"
#include "printer/tcp_connection.h"

namespace tandrel::printer {

class TNetworkPrinter final : public TPrinter {
  public:
    explicit TNetworkPrinter(std::string name) : name_(std::move(name)) {}
    void Open() override;
    void Write(std::string_view bytes) override;
    void Close() override;

  protected:
    std::string Read(int timeoutMs) override;

  private:
    std::string name_;
    TTcpConnection connection_;
};

}  // namespace tandrel::printer
