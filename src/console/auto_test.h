#pragma once
// The automatic test mode of the connection information window: with "авто" checked and no list
// in work, every change of the current-position field sends the stop to a pseudo-random size
// within the device's limits and counts the moves and the distance travelled.

#include <cstdint>
#include <functional>
#include <string>

namespace tandrel::console {

// The test mode's counters and its generator, held by the main window.
struct TAutoTest {
    std::int32_t MoveCount = 0;
    double Distance = 0.0;  // millimetres, between consecutive automatic targets
    double LastAutoTarget = 0.0;
    std::uint32_t Seed = 0;  // 0 at start and never set otherwise: every run draws the same

    // The end of a handshake: counters to 0, LastAutoTarget to the position just read. The
    // seed goes on.
    void Reset(double position);
};

// One draw of 0 to n − 1 (0 when n is 0): seed := seed × 134775813 + 1 modulo 2³², then the high
// 32 bits of n × seed.
std::uint32_t RandomDraw(std::uint32_t& seed, std::uint32_t n);

// What the window knows when the field changes.
struct TAutoTestInputs {
    bool StartEnabled = false;  // BitBtn1 enabled: a list is in work
    bool AutoChecked = false;   // CheckBox1 "авто"
    bool PortOpen = false;      // a device port is open to write on
    double MinSize = 0.0;
    double MaxSize = 0.0;
    std::int32_t Precision = 0;
    char DecimalSeparator = ',';
};

enum class TAutoOutcome {
    Off,       // list in work or "авто" unchecked: nothing happens
    NoPort,    // no device port open: the move is skipped
    TooLarge,  // the limits times the scale do not fit in 32 bits: the move is skipped
    Moved,     // the move string was written and the counters updated
};

struct TAutoResult {
    TAutoOutcome Outcome = TAutoOutcome::Off;
    double Target = 0.0;
    std::string Move;    // the move string written (Moved)
    std::string Notice;  // for the status line (NoPort, TooLarge), Windows-1251
};

// The field's change handler, LabeledEdit4Change, and CheckBox1Click when it checks "авто".
// Draws the target, writes the move string with write (which may raise; the counters then stay as
// they were and the error passes), then counts the move. Main thread. After Moved the window
// empties ManualEntry, sets LinkState to 8 and shows MoveCountText and DistanceText.
TAutoResult AutoMoveStep(TAutoTest& test, const TAutoTestInputs& in,
                         const std::function<void(const std::string&)>& write);

// "Перемещений": MoveCount in decimal.
std::string MoveCountText(const TAutoTest& test);
// "Расстояние": Distance in metres in the general floating format and " метров".
std::string DistanceText(const TAutoTest& test, char decimalSeparator);

}  // namespace tandrel::console
