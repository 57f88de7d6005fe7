#include "link/link_state.h"

#include <algorithm>
#include <utility>

#include "base/numbers.h"
#include "link/drayver.h"

namespace tandrel::link {

TLinkData::TLinkData() = default;
TLinkData::~TLinkData() = default;

void TLinkData::SetLinkState(std::uint8_t state) {
    {
        // Stored under the lock so that a handshake between its test and its wait cannot miss it.
        std::lock_guard lock(Mutex);
        LinkState.store(state);
    }
    Changed.notify_all();
}

void TLinkData::PushReply(std::string reply) {
    {
        std::lock_guard lock(Mutex);
        // One waiting ping says all that pings say: a burst of them must not push out a reply.
        const bool ping = reply == "P";
        if (ping && std::find(LastReply.begin(), LastReply.end(), reply) != LastReply.end()) return;
        if (LastReply.size() >= kMaxPendingReplies) {
            auto oldestPing = std::find(LastReply.begin(), LastReply.end(), "P");
            LastReply.erase(oldestPing != LastReply.end() ? oldestPing : LastReply.begin());
        }
        LastReply.push_back(std::move(reply));
    }
    Changed.notify_all();
}

std::shared_ptr<serial::TBComPort> TLinkData::GetDevicePort() const {
    std::lock_guard lock(Mutex);
    return DevicePort;
}

void TLinkData::SetDevicePort(std::shared_ptr<serial::TBComPort> port) {
    std::shared_ptr<serial::TBComPort> old;
    {
        std::lock_guard lock(Mutex);
        old = std::exchange(DevicePort, std::move(port));
    }
    // The last reference may close the port: not under the lock the handshake waits on.
}

std::string TLinkData::GetSerialNumber() const {
    std::lock_guard lock(Mutex);
    return SerialNumber;
}

std::string TLinkData::GetFirmwareVersion() const {
    std::lock_guard lock(Mutex);
    return FirmwareVersion;
}

void TLinkData::SetSerialNumber(std::string text) {
    std::lock_guard lock(Mutex);
    SerialNumber = std::move(text);
}

void TLinkData::SetFirmwareVersion(std::string text) {
    std::lock_guard lock(Mutex);
    FirmwareVersion = std::move(text);
}

TDeviceTexts DeviceTexts(const TLinkData& link, char decimalSeparator) {
    TDeviceTexts t;
    t.SerialNumber = link.GetSerialNumber();
    t.MinSize = FormatGeneral(link.MinSize.load(), decimalSeparator);
    t.MaxSize = FormatGeneral(link.MaxSize.load(), decimalSeparator);
    t.Position = FormatGeneral(link.CurrentPosition.load(), decimalSeparator);
    t.DeviceStatus = std::to_string(link.DeviceStatus.load());
    t.Precision = std::to_string(link.Precision.load());
    t.FirmwareVersion = link.GetFirmwareVersion();
    return t;
}

}  // namespace tandrel::link
