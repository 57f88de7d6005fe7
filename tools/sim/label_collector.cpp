#include "sim/label_collector.h"

namespace tandrel::sim {
namespace {

bool EndsWithCommand(const std::string& text, char letter1, char letter2) {
    auto n = text.size();
    if (n < 3 || text[n - 3] != '^') return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return upper(text[n - 2]) == letter1 && upper(text[n - 1]) == letter2;
}

}  // namespace

std::vector<std::string> LabelCollector::Feed(std::string_view bytes) {
    std::vector<std::string> labels;
    for (char c : bytes) {
        buffer_ += c;
        if (!inside_) {
            if (EndsWithCommand(buffer_, 'X', 'A')) {
                buffer_ = buffer_.substr(buffer_.size() - 3);
                inside_ = true;
            } else if (buffer_.size() > 2) {
                buffer_.erase(0, buffer_.size() - 2);
            }
        } else if (EndsWithCommand(buffer_, 'X', 'Z')) {
            labels.push_back(std::move(buffer_));
            buffer_.clear();
            inside_ = false;
        } else if (buffer_.size() > maxLabel_) {
            ++discarded_;
            buffer_.clear();
            inside_ = false;
        }
    }
    return labels;
}

}  // namespace tandrel::sim
