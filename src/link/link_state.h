#pragma once
// The device link's share of the main window's state. The main thread (the receive dispatcher,
// the move senders, the windows) and the handshake thread both use it: the numbers and the link
// state are atomics, the strings they share sit behind Mutex, and Changed wakes the handshake
// whenever LastReply or LinkState changes.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "link/silence.h"

namespace tandrel::serial {
class TBComPort;
}

namespace tandrel::link {

class drayver;

// LinkState values.
inline constexpr std::uint8_t kAwaitingPing = 0;  // 1 to 6: request N M B D V T sent
inline constexpr std::uint8_t kLinked = 7;
inline constexpr std::uint8_t kMoveSent = 8;

inline bool IsLinkUp(std::uint8_t state) {
    return state == kLinked || state == kMoveSent;
}

struct TLinkData {
    TLinkData();
    ~TLinkData();  // stops a handshake still running
    TLinkData(const TLinkData&) = delete;
    TLinkData& operator=(const TLinkData&) = delete;

    // Empty while no device port is open. Written on the main thread under Mutex; other threads
    // take a copy with GetDevicePort.
    std::shared_ptr<serial::TBComPort> DevicePort;

    std::atomic<std::uint8_t> LinkState{kAwaitingPing};
    // Times a handshake started over by itself (a device that did not answer, a reply that could
    // not be read), over the program's run. Counted where it happens, for the soaks' figures.
    std::atomic<std::int64_t> HandshakeRestarts{0};

    // Main thread only.
    std::string ReplyBuffer;
    // Far longer than any real reply. A reply that grows past it is dropped, and so is every byte
    // up to the next "_", "P" or reply letter (ReplyDropped meanwhile): a line that sends digits
    // forever must neither fill the memory nor type on the device's keypad.
    static constexpr std::size_t kMaxReplyLength = 256;
    bool ReplyDropped = false;
    std::string DeviceEntry;
    // Longer than any size the keypad can make: past it the bytes are line noise (after a
    // separator any byte parses), and an entry redrawn on every byte would stall the windows.
    // The "*" key may still add its one "." to a full entry, so that a second "*" empties it.
    static constexpr std::size_t kMaxEntryLength = 16;

    std::atomic<double> MinSize{0.0};
    std::atomic<double> MaxSize{0.0};
    std::atomic<double> CurrentPosition{0.0};
    std::atomic<std::int32_t> Precision{0};
    std::atomic<std::int32_t> DeviceStatus{0};

    bool DeviceArrivalPending = false;
    // The pings' pace since the handshake began, for telling a silent device. Main thread.
    TSilenceWatch Silence;

    // Guards LastReply, SerialNumber and FirmwareVersion; Changed is signalled under it.
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    // Finished replies (kind letter and payload) and early pings ("P") not yet taken by the
    // handshake, oldest first. A reply waits here until taken, so neither a following batch nor
    // a ping can lose it. At most one ping waits; when nobody takes them (no handshake waiting)
    // and the queue is full, the ping goes first, else the oldest reply.
    std::deque<std::string> LastReply;
    static constexpr std::size_t kMaxPendingReplies = 16;
    std::string SerialNumber;
    std::string FirmwareVersion;

    // Any thread. Every write of LinkState goes through here, so that a waiting handshake sees it.
    void SetLinkState(std::uint8_t state);
    // Main thread (the dispatcher): queues a finished reply or an early ping.
    void PushReply(std::string reply);

    std::shared_ptr<serial::TBComPort> GetDevicePort() const;
    void SetDevicePort(std::shared_ptr<serial::TBComPort> port);
    std::string GetSerialNumber() const;
    std::string GetFirmwareVersion() const;
    void SetSerialNumber(std::string text);
    void SetFirmwareVersion(std::string text);

    // The handshake last started; StartHandshake stops it before starting the next. Declared
    // last so that it is destroyed (and its thread joined) before everything it uses.
    std::unique_ptr<drayver> HandshakeThread;
};

// The texts of the information window's device fields and of the position display.
struct TDeviceTexts {
    std::string SerialNumber;     // "Серийный номер"
    std::string MinSize;          // "Минимум"
    std::string MaxSize;          // "Максимум"
    std::string Position;         // "Текущее положение" and Edit1
    std::string DeviceStatus;     // "Состояние"
    std::string Precision;        // "Точность"
    std::string FirmwareVersion;  // "Версия прошивки"
};
TDeviceTexts DeviceTexts(const TLinkData& link, char decimalSeparator);

}  // namespace tandrel::link
