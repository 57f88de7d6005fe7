#include "console/keypad.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace tandrel::console {
namespace {

// Types keys on an entry the way the window does: digits, "*" and nothing else.
std::string Type(const std::string& keys, std::int32_t precision, double maxSize) {
    std::string entry;
    for (char key : keys)
        entry = key == '*' ? StarKey(entry, precision) : AppendDigit(entry, key, maxSize);
    return entry;
}

TEST(Keypad, TypingTable) {
    struct Case {
        const char* keys;
        std::int32_t precision;
        double maxSize;
        const char* entry;
    } cases[] = {
        {"3051", 0, 3050, "305"},   // the digit that would pass the maximum is ignored
        {"3050", 0, 3050, "3050"},  // the maximum itself is accepted
        {"1234*5", 1, 3050, "1234.5"},
        {"1234*5*", 1, 3050, "1234."},    // erases back to the point,
        {"1234*5**", 1, 3050, "1234"},    // then the point,
        {"1234*5***", 1, 3050, "1234."},  // then adds it again
        {"*", 0, 3050, ""},               // backspace on nothing
        {"12*", 0, 3050, "1"},
        {"0250", 0, 3050, "0250"},
        {"150", 0, 3050, "150"},  // the minimum is not tested while typing
    };
    for (const Case& c : cases) EXPECT_EQ(Type(c.keys, c.precision, c.maxSize), c.entry) << c.keys;
}

TEST(Keypad, DigitAfterALeadingPointFails) {
    EXPECT_THROW(AppendDigit(".", '5', 3050), EConvertError);
}

TEST(Keypad, AcceptTable) {
    struct Case {
        const char* entry;
        std::optional<std::string> move;
    } cases[] = {
        {"3050", "****3050#"}, {"1234.5", "****1234*5#"}, {"0250", "****0250#"},  // sent as typed
        {"150", std::nullopt},  // below the minimum: refused, the entry stays
        {"200", "****200#"},   {"3050.1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(AcceptEntry(c.entry, 200, 3050), c.move) << c.entry;
    EXPECT_THROW(AcceptEntry("", 200, 3050), EConvertError);
}

TEST(Keypad, KeyTable) {
    const std::pair<char, TKeyAction> cases[] = {
        {8, TKeyAction::Back},           {13, TKeyAction::Accept}, {' ', TKeyAction::Start},
        {'*', TKeyAction::Star},         {',', TKeyAction::Star},  {'.', TKeyAction::Star},
        {'+', TKeyAction::ToggleKeypad}, {'0', TKeyAction::Digit}, {'9', TKeyAction::Digit},
        {'a', TKeyAction::None},         {'-', TKeyAction::None},  {'#', TKeyAction::None},
    };
    for (auto [key, action] : cases) EXPECT_EQ(KeyActionFor(key), action) << int(key);
}

TEST(Keypad, ButtonsSizeOf800By400) {
    const TKeyLayout layout = ButtonsSize(400, 800);
    EXPECT_EQ(layout.keyWidth, 169);
    EXPECT_EQ(layout.keyHeight, 124);
    EXPECT_EQ(layout.rowTops, (std::array<int, 3>{7, 138, 269}));
    EXPECT_EQ(layout.columnLefts, (std::array<int, 4>{5, 179, 353, 527}));
}

TEST(Keypad, ButtonsSizeRoundsHalvesToEven) {
    // H = 50: 15.5 rounds to 16; W = 97 + 50: 12 wide keys; gaps (50 - 48) / 4 = 0.5 -> 0.
    const TKeyLayout layout = ButtonsSize(50, 147);
    EXPECT_EQ(layout.keyHeight, 16);
    EXPECT_EQ(layout.keyWidth, 12);
    EXPECT_EQ(layout.rowTops, (std::array<int, 3>{0, 16, 32}));
    EXPECT_EQ(layout.columnLefts, (std::array<int, 4>{0, 12, 24, 36}));
}

}  // namespace
}  // namespace tandrel::console
