#pragma once
// The label printer on the network: raw TCP, one connection per label. The label counts as taken
// once the printer has closed the connection after it (or not closed it within its time), and,
// where its state is asked, once it has answered "~HS" again after it.

#include <string>

#include "printer/printer.h"
#include "printer/tcp_connection.h"

namespace tandrel::printer {

class TNetworkPrinter final : public TPrinter {
  public:
    explicit TNetworkPrinter(std::string name) : name_(std::move(name)) {}
    void Open() override;
    void Write(std::string_view bytes) override;
    TLabelEnd EndLabel(bool askState) override;
    void Close() override;

  protected:
    std::string Read(TClock::time_point until) override;

  private:
    std::string name_;
    TTcpConnection connection_;
};

}  // namespace tandrel::printer
