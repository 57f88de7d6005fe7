#include "sim/control.h"

#include <gtest/gtest.h>

#include "sim/options.h"

namespace tandrel::sim {
namespace {

using Action = ControlResult::Action;

TEST(Control, Commands) {
    struct Case {
        const char* line;
        const char* answer;
        Action action;
        const char* output;  // what the device sends at once
    } cases[] = {
        {"key 1", "ok entry=1", Action::kNone, "1"},
        {"keys 12*5", "ok entry=12.5", Action::kNone, "12*5"},
        {"keys 305#", "ok entry=-", Action::kNone, "305#"},
        {"  key   #  \r", "ok entry=-", Action::kNone, "#"},
        {"key 12", "error key needs one key", Action::kNone, ""},
        {"keys 1a", "error not a key: a", Action::kNone, ""},  // nothing of it pressed
        {"key", "error key needs one key", Action::kNone, ""},
        {"silent on", "ok silent on", Action::kNone, ""},
        {"silent maybe", "error silent on|off", Action::kNone, ""},
        {"ignore T", "ok ignore T", Action::kNone, ""},
        {"ignore -", "ok ignore -", Action::kNone, ""},
        {"ignore P", "error ignore N|M|B|D|V|T|S|-", Action::kNone, ""},
        {"malformed D", "ok malformed D", Action::kNone, ""},
        {"malformed V", "error malformed T|M|D", Action::kNone, ""},
        {"noise 0", "error noise COUNT (1 to 1000000)", Action::kNone, ""},
        {"noise x", "error noise COUNT (1 to 1000000)", Action::kNone, ""},
        {"drop 1500", "ok drop 1500", Action::kDrop, ""},
        {"drop -1", "error drop MS (0 to 3600000)", Action::kNone, ""},
        {"quit", "ok quit", Action::kQuit, ""},
        {"fly", "error unknown command: fly", Action::kNone, ""},
    };
    for (const auto& c : cases) {
        DeviceModel device(DeviceIdentity{}, DeviceTiming{}, 1, 0);
        ControlResult r = ExecuteCommand(c.line, device, 0);
        EXPECT_EQ(r.answer, c.answer) << c.line;
        EXPECT_EQ(r.action, c.action) << c.line;
        EXPECT_EQ(device.TakeOutput(), c.output) << c.line;
    }
}

TEST(Control, CommandsReachTheModel) {
    DeviceModel device(DeviceIdentity{}, DeviceTiming{}, 1, 0);
    ExecuteCommand("noise 5", device, 0);
    EXPECT_EQ(device.TakeOutput().size(), 5u);
    ExecuteCommand("malformed T", device, 0);
    device.Receive("T", 0);
    EXPECT_EQ(device.TakeOutput(), "T-3050.0_");
    ExecuteCommand("keys 1500#", device, 0);
    ControlResult state = ExecuteCommand("state", device, 2'000'000);
    EXPECT_EQ(state.answer.rfind("ok position=2550 target=1500 entry=- moving=1 N=0", 0), 0u)
        << state.answer;
    EXPECT_NE(state.answer.find(" T=1 "), std::string::npos);
    EXPECT_NE(state.answer.find(" moves=1 "), std::string::npos);
}

TEST(Options, ValuesAndErrors) {
    SimOptions o = ParseOptions({"--device-link",
                                 "/tmp/d",
                                 "--printer-link",
                                 "/tmp/p",
                                 "--serial",
                                 "A-17",
                                 "--min",
                                 "200",
                                 "--max",
                                 "3050.5",
                                 "--precision",
                                 "0",
                                 "--firmware",
                                 "2.1",
                                 "--status",
                                 "-3",
                                 "--start",
                                 "1000",
                                 "--ping-ms",
                                 "250",
                                 "--speed",
                                 "80",
                                 "--pace",
                                 "--seed",
                                 "9",
                                 "--labels-dir",
                                 "out"});
    EXPECT_EQ(o.identity.serialNumber, "A-17");
    EXPECT_EQ(o.identity.maxSize, 3050.5);
    EXPECT_EQ(o.identity.precision, 0);
    EXPECT_EQ(o.identity.status, -3);
    EXPECT_EQ(o.timing.pingIntervalUs, 250'000);
    EXPECT_TRUE(o.pace);
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(ParseOptions({"--device-link", "d", "--serial", "Зав-1"}).identity.serialNumber,
              "\xC7\xE0\xE2-1");

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--labels-dir", "x"},
        {"--device-link", "a", "--device-port", "b"},
        {"--device-link", "a", "--precision", "2"},
        {"--device-link", "a", "--min", "300", "--max", "200"},
        {"--device-link", "a", "--min", "-1"},
        {"--device-link", "a", "--ping-ms", "0"},
        {"--device-link", "a", "--speed", "fast"},
        {"--device-link", "a", "--serial", "SN5"},  // S would open a reply
        {"--device-link", "a", "--firmware", "1_2"},
        {"--device-link", "a", "--bogus", "1"},
        {"--device-link"},
    };
    for (const auto& args : bad) EXPECT_THROW(ParseOptions(args), OptionError);
    EXPECT_TRUE(ParseOptions({"--help"}).help);
}

TEST(Options, HelpNamesEveryOptionAndCommand) {
    std::string help = HelpText();
    for (const char* word :
         {"--device-link", "--device-port", "--printer-link", "--labels-dir", "--serial",
          "--min",         "--max",         "--precision",    "--firmware",   "--status",
          "--start",       "--ping-ms",     "--speed",        "--pace",       "--log",
          "--seed",        "--help",        "key K",          "keys",         "silent",
          "ignore",        "malformed",     "noise",          "drop",         "state",
          "quit",          "ready device="})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace tandrel::sim
