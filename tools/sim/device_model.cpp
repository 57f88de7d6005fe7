#include "sim/device_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/error.h"
#include "base/numbers.h"
#include "link/protocol.h"

namespace tandrel::sim {
namespace {

// Longer than any size the device shows; more digits are ignored like a full display.
constexpr std::size_t kMaxEntry = 12;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

DeviceModel::DeviceModel(DeviceIdentity identity, DeviceTiming timing, std::uint64_t seed,
                         std::int64_t nowUs)
    : identity_(std::move(identity)),
      timing_(timing),
      random_(seed),
      nextPingUs_(nowUs + timing.pingIntervalUs),
      moveFrom_(identity_.startPosition),
      moveStartUs_(nowUs),
      target_(identity_.startPosition) {}

void DeviceModel::Receive(std::string_view bytes, std::int64_t nowUs) {
    for (char c : bytes) {
        auto kind = kRequestKinds.find(c);
        if (kind != std::string_view::npos) {
            ++requests_[kind];
            Answer(c, nowUs);
        } else if (IsDigit(c) || c == protocol::kKeyPoint || c == protocol::kKeyEnter) {
            WorkKey(c, nowUs);
        } else {
            ++otherBytes_;
        }
    }
}

void DeviceModel::Advance(std::int64_t nowUs) {
    if (nowUs < nextPingUs_) return;
    if (!silent_) {
        output_ += protocol::kPing;
        ++pings_;
    }
    nextPingUs_ += timing_.pingIntervalUs;
    if (nextPingUs_ <= nowUs) nextPingUs_ = nowUs + timing_.pingIntervalUs;
}

std::string DeviceModel::TakeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

bool DeviceModel::PressKey(char key, std::int64_t nowUs) {
    if (!IsDigit(key) && key != protocol::kKeyPoint && key != protocol::kKeyEnter) return false;
    if (!silent_) output_ += key;
    WorkKey(key, nowUs);
    return true;
}

bool DeviceModel::SetIgnored(std::optional<char> kind) {
    if (kind && kRequestKinds.find(*kind) == std::string_view::npos) return false;
    ignored_ = kind;
    return true;
}

bool DeviceModel::MalformNext(char kind) {
    if (kind != 'T' && kind != 'M' && kind != 'D') return false;
    if (malformed_.find(kind) == std::string::npos) malformed_ += kind;
    return true;
}

void DeviceModel::InjectNoise(int count) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < count; ++i) {
        const char c = static_cast<char>(byte(random_));
        output_ += c;
        noiseStarts_ += c == '#';
    }
    noiseBytes_ += count;
}

double DeviceModel::Position(std::int64_t nowUs) const {
    double distance = std::abs(target_ - moveFrom_);
    double travelled = timing_.speedMmPerS * static_cast<double>(nowUs - moveStartUs_) / 1e6;
    if (travelled >= distance || !(timing_.speedMmPerS > 0)) return target_;
    return target_ > moveFrom_ ? moveFrom_ + travelled : moveFrom_ - travelled;
}

std::string DeviceModel::FormatSize(double mm) const {
    char text[48];
    if (identity_.precision == 0)
        std::snprintf(text, sizeof text, "%.0f", RoundHalfEven(mm));
    else
        std::snprintf(text, sizeof text, "%.1f", RoundHalfEven(mm * 10) / 10);
    return text;
}

std::string DeviceModel::StateLine(std::int64_t nowUs) const {
    double position = Position(nowUs);
    std::string line = "position=" + FormatGeneral(position, '.') +
                       " target=" + FormatGeneral(target_, '.') +
                       " entry=" + (entry_.empty() ? "-" : entry_) +
                       " moving=" + (position != target_ ? "1" : "0");
    for (std::size_t i = 0; i < kRequestKinds.size(); ++i)
        line += " " + std::string(1, kRequestKinds[i]) + "=" + std::to_string(requests_[i]);
    line += " pings=" + std::to_string(pings_) + " moves=" + std::to_string(movesAccepted_) +
            " rejected=" + std::to_string(movesRejected_) +
            " other=" + std::to_string(otherBytes_) + " silent=" + (silent_ ? "1" : "0") +
            " noise=" + std::to_string(noiseBytes_) + " noise#=" + std::to_string(noiseStarts_);
    return line;
}

void DeviceModel::Answer(char kind, std::int64_t nowUs) {
    if (silent_ || ignored_ == kind) return;
    bool malformed = false;
    if (auto at = malformed_.find(kind); at != std::string::npos) {
        malformed_.erase(at, 1);
        malformed = true;
    }
    std::string payload;
    switch (kind) {
        case 'N':
            payload = identity_.serialNumber;
            break;
        case 'M':
            payload = FormatSize(identity_.minSize);
            break;
        case 'B':
            payload = FormatSize(identity_.maxSize);
            break;
        case 'D':
            payload = malformed ? "1.5" : std::to_string(identity_.precision);
            break;
        case 'V':
            payload = identity_.firmwareVersion;
            break;
        case 'T':
            payload = FormatSize(Position(nowUs));
            break;
        case 'S':
            payload = std::to_string(identity_.status);
            break;
        default:
            return;
    }
    // A sign is what a confused controller would most plausibly put first.
    if (malformed && kind != 'D') payload.insert(0, 1, '-');
    output_ += kind;
    output_ += payload;
    output_ += protocol::kReplyEnd;
}

void DeviceModel::WorkKey(char key, std::int64_t nowUs) {
    if (key == protocol::kKeyEnter) {
        Accept(nowUs);
    } else if (key == protocol::kKeyPoint) {
        // Point on an entry without one, erase on an entry with one: four presses always clear.
        if (entry_.find('.') != std::string::npos)
            entry_.clear();
        else if (!entry_.empty())
            entry_ += '.';
    } else if (entry_.size() < kMaxEntry) {
        entry_ += key;
    }
}

void DeviceModel::Accept(std::int64_t nowUs) {
    if (entry_.empty()) return;
    std::string entry;
    entry.swap(entry_);
    double size;
    try {
        size = protocol::ParseSize(entry);
    } catch (const Exception&) {
        ++movesRejected_;
        return;
    }
    if (size < identity_.minSize || size > identity_.maxSize) {
        ++movesRejected_;
        return;
    }
    double scale = identity_.precision == 0 ? 1.0 : 10.0;
    double target = RoundHalfEven(size * scale) / scale;
    moveFrom_ = Position(nowUs);
    moveStartUs_ = nowUs;
    target_ = std::clamp(target, identity_.minSize, identity_.maxSize);
    ++movesAccepted_;
}

}  // namespace tandrel::sim
