#pragma once
// Splits the bytes a label printer receives into labels, each from "^XA" to "^XZ" inclusive
// (either letter case, as the printer accepts). Bytes outside a label are dropped.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::sim {

class LabelCollector {
  public:
    // A label that grows past maxLabel bytes without "^XZ" is discarded, so a stream of
    // garbage cannot eat the memory.
    explicit LabelCollector(std::size_t maxLabel = 1 << 20) : maxLabel_(maxLabel) {}

    // The labels completed by these bytes, in order.
    std::vector<std::string> Feed(std::string_view bytes);
    std::size_t Discarded() const { return discarded_; }
    bool InsideLabel() const { return inside_; }

  private:
    std::size_t maxLabel_;
    std::string buffer_;  // the open label, or the last bytes that may start "^XA"
    bool inside_ = false;
    std::size_t discarded_ = 0;
};

}  // namespace tandrel::sim
