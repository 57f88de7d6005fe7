#pragma once
// The positioning device as the program meets it on the line: pings, replies to requests,
// keypad entry, travel toward an accepted target, and the faults a test may ask for.
// Bytes in, bytes out, time given by the caller in microseconds; no I/O, one thread.
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace tandrel::sim {

struct DeviceIdentity {
    std::string serialNumber = "100001";  // Windows-1251, as sent
    double minSize = 200.0;
    double maxSize = 3050.0;
    std::int32_t precision = 1;
    std::string firmwareVersion = "3";
    std::int32_t status = 0;
    double startPosition = 3050.0;
};

struct DeviceTiming {
    std::int64_t pingIntervalUs = 500'000;
    double speedMmPerS = 250.0;
};

// Requests the device answers, in handshake order.
inline constexpr std::string_view kRequestKinds = "NMBDVTS";

class DeviceModel {
  public:
    // The first ping goes out one interval after nowUs.
    DeviceModel(DeviceIdentity identity, DeviceTiming timing, std::uint64_t seed,
                std::int64_t nowUs);

    // Bytes from the program: requests are answered at once, keypad characters ("0".."9",
    // "*", "#") work the entry, anything else is counted and ignored.
    void Receive(std::string_view bytes, std::int64_t nowUs);
    // Emits the pings due by nowUs (one, however late: a stalled loop does not burst).
    void Advance(std::int64_t nowUs);
    std::int64_t NextPingUs() const { return nextPingUs_; }
    // Everything produced since the last call.
    std::string TakeOutput();

    // A press on the device's own keypad: it goes to the program and works the entry as a
    // received key would. False for a character that is not a key.
    bool PressKey(char key, std::int64_t nowUs);

    // Faults.
    void SetSilent(bool silent) { silent_ = silent; }
    // Never answer this request kind; nullopt answers all again. False for a non-request.
    bool SetIgnored(std::optional<char> kind);
    // The next reply of kind T or M gets a payload that does not begin with a digit, of kind
    // D the payload "1.5"; once. False for any other kind.
    bool MalformNext(char kind);
    // Random bytes (any value) straight into the output, silent or not.
    void InjectNoise(int count);
    // Pings restart one interval after nowUs, e.g. when a peer has connected again.
    void RestartPings(std::int64_t nowUs) { nextPingUs_ = nowUs + timing_.pingIntervalUs; }

    // Observations.
    double Position(std::int64_t nowUs) const;
    double Target() const { return target_; }
    const std::string& Entry() const { return entry_; }
    bool Silent() const { return silent_; }
    // Requests received, by position in kRequestKinds.
    const std::array<std::int64_t, 7>& RequestCounts() const { return requests_; }
    std::int64_t Pings() const { return pings_; }
    std::int64_t MovesAccepted() const { return movesAccepted_; }
    std::int64_t MovesRejected() const { return movesRejected_; }
    std::int64_t OtherBytes() const { return otherBytes_; }
    // One line: "position=... target=... entry=... moving=0|1 N=.. ... pings=.. moves=..".
    std::string StateLine(std::int64_t nowUs) const;

    // A size as this device writes it: whole millimetres with precision 0, else one decimal.
    std::string FormatSize(double mm) const;

  private:
    void Answer(char kind, std::int64_t nowUs);
    void WorkKey(char key, std::int64_t nowUs);
    void Accept(std::int64_t nowUs);

    DeviceIdentity identity_;
    DeviceTiming timing_;
    std::mt19937_64 random_;
    std::string output_;
    std::int64_t nextPingUs_;
    bool silent_ = false;
    std::optional<char> ignored_;
    std::string malformed_;  // kinds whose next reply is malformed
    std::string entry_;
    // Travel: from moveFrom_ at moveStartUs_ toward target_.
    double moveFrom_;
    std::int64_t moveStartUs_ = 0;
    double target_;
    std::array<std::int64_t, 7> requests_{};
    std::int64_t pings_ = 0;
    std::int64_t movesAccepted_ = 0;
    std::int64_t movesRejected_ = 0;
    std::int64_t otherBytes_ = 0;
    std::int64_t noiseBytes_ = 0, noiseStarts_ = 0;  // "#" in the noise is the Start key
};

}  // namespace tandrel::sim
