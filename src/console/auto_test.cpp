#include "console/auto_test.h"

#include <cmath>
#include <limits>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "link/protocol.h"

namespace tandrel::console {
namespace {

// round(a × limit) as a 32-bit integer, or false when it does not fit.
bool ScaledBound(double limit, int scale, std::int64_t& bound) {
    const double r = RoundScaledExact(limit, scale);
    if (!std::isfinite(r) || r > std::numeric_limits<std::int32_t>::max() ||
        r < std::numeric_limits<std::int32_t>::min()) {
        return false;
    }
    bound = static_cast<std::int64_t>(r);
    return true;
}

}  // namespace

void TAutoTest::Reset(double position) {
    Distance = 0.0;
    MoveCount = 0;
    LastAutoTarget = position;
}

std::uint32_t RandomDraw(std::uint32_t& seed, std::uint32_t n) {
    seed = seed * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(n) * seed) >> 32);
}

TAutoResult AutoMoveStep(TAutoTest& test, const TAutoTestInputs& in,
                         const std::function<void(const std::string&)>& write) {
    TAutoResult result;
    if (in.StartEnabled || !in.AutoChecked) return result;
    if (!in.PortOpen) {
        result.Outcome = TAutoOutcome::NoPort;
        result.Notice = "Автотест: нет связи с устройством, перемещение пропущено"_cp1251;
        return result;
    }
    const int scale = in.Precision == 1 ? 10 : 1;
    std::int64_t hi = 0;
    std::int64_t lo = 0;
    if (!ScaledBound(in.MaxSize, scale, hi) || !ScaledBound(in.MinSize, scale, lo)) {
        result.Outcome = TAutoOutcome::TooLarge;
        result.Notice = "Автотест: пределы устройства слишком велики, перемещение пропущено"_cp1251;
        return result;
    }
    // The difference of two 32-bit integers always fits 32 unsigned bits.
    const std::int64_t from = hi >= lo ? lo : hi;
    const auto range = static_cast<std::uint32_t>(hi >= lo ? hi - lo : lo - hi);
    const std::int64_t r = from + RandomDraw(test.Seed, range);
    const double target = static_cast<double>(r) / scale;
    std::string move = protocol::AutoMove(target, in.DecimalSeparator);

    write(move);
    test.MoveCount += 1;
    test.Distance += std::fabs(test.LastAutoTarget - target);
    test.LastAutoTarget = target;
    result.Outcome = TAutoOutcome::Moved;
    result.Target = target;
    result.Move = std::move(move);
    return result;
}

std::string MoveCountText(const TAutoTest& test) {
    return std::to_string(test.MoveCount);
}

std::string DistanceText(const TAutoTest& test, char decimalSeparator) {
    return FormatGeneral(test.Distance / 1000.0, decimalSeparator) + " метров"_cp1251;
}

}  // namespace tandrel::console
