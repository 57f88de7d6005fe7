#include "console/operator_view.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"

namespace tandrel::console {
namespace {

TEST(OperatorView, TargetAndWhereTheStopStands) {
    const struct {
        const char* name;
        TTargetShown target;
        bool linkUp;
        double position;
        const char* value;
        const char* state;
        TTargetLook look;
    } cases[] = {
        {"no target yet", {}, true, 3050, "Цель: —", "", TTargetLook::None},
        {"stop elsewhere",
         {true, 1235, true, false},
         true,
         3050,
         "Цель: 1235",
         "упор на 3050",
         TTargetLook::Elsewhere},
        {"stop at the target",
         {true, 1234.5, true, false},
         true,
         1234.5,
         "Цель: 1234,5",
         "на месте",
         TTargetLook::AtTarget},
        {"a tenth away is not there",
         {true, 1234.5, true, false},
         true,
         1234.6,
         "Цель: 1234,5",
         "упор на 1234,6",
         TTargetLook::Elsewhere},
        {"out of range",
         {true, 99, false, false},
         true,
         99,
         "Цель: 99",
         "вне диапазона 200–3050",
         TTargetLook::OutOfRange},
        {"out of range without a link",
         {true, 4000, false, false},
         false,
         3050,
         "Цель: 4000",
         "вне диапазона 200–3050",
         TTargetLook::OutOfRange},
        {"no link",
         {true, 1500, true, true},
         false,
         1500,
         "Цель: 1500",
         "нет связи с упором",
         TTargetLook::NoLink},
        {"typed size at the stop",
         {true, 1500, true, true},
         true,
         1500,
         "Цель: 1500",
         "на месте",
         TTargetLook::AtTarget},
    };
    for (const auto& c : cases) {
        TTargetInputs in;
        in.Target = c.target;
        in.LinkUp = c.linkUp;
        in.Position = c.position;
        in.MinSize = 200;
        in.MaxSize = 3050;
        in.DecimalSeparator = ',';
        const TTargetText text = DescribeTarget(in);
        EXPECT_EQ(Cp1251ToUtf8(text.Value), c.value) << c.name;
        EXPECT_EQ(Cp1251ToUtf8(text.State), c.state) << c.name;
        EXPECT_EQ(text.Look, c.look) << c.name;
    }
}

TEST(OperatorView, LinkInTheOperatorsWords) {
    const struct {
        const char* name;
        TLinkInputs in;
        bool up;
        const char* text;
    } cases[] = {
        {"up", {"/dev/ttyUSB0", true, true, false, 7}, true, "Связь с устройством есть"},
        {"move sent", {"COM3", true, true, false, 8}, true, "Связь с устройством есть"},
        {"no port set",
         {"", false, false, false, 0},
         false,
         "Нет связи с устройством: порт устройства не задан в настройках"},
        {"port missing",
         {"/dev/ttyUSB0", false, false, false, 0},
         false,
         "Нет связи с устройством: порт /dev/ttyUSB0 не найден"},
        {"port there but not opened",
         {"COM3", false, true, false, 0},
         false,
         "Нет связи с устройством: порт COM3 не открывается: занят другой программой или "
         "недоступен"},
        {"no ping yet",
         {"COM3", true, true, false, 0},
         false,
         "Нет связи с устройством: устройство не отвечает (порт COM3)"},
        {"handshake",
         {"COM3", true, true, false, 4},
         false,
         "Нет связи с устройством: идёт соединение с устройством (порт COM3)"},
        {"linked but silent",
         {"COM3", true, true, false, 8, true},
         false,
         "Нет связи с устройством: устройство не отвечает (порт COM3)"},
        {"recovering, whatever the state",
         {"COM3", true, true, true, 7},
         false,
         "Нет связи с устройством: связь восстанавливается (порт COM3)"},
    };
    for (const auto& c : cases) {
        const TLinkText link = DescribeLink(c.in);
        EXPECT_EQ(link.Up, c.up) << c.name;
        EXPECT_EQ(Cp1251ToUtf8(link.Text), c.text) << c.name;
    }
}

TEST(OperatorView, RefusalsSayWhy) {
    const struct {
        double value;
        bool testMin;
        const char* text;
    } cases[] = {
        {150, true, "Размер 150 меньше наименьшего 200 мм"},
        {150, false, ""},  // while typing, a short prefix is fine
        {200, true, ""},
        {3050, true, ""},
        {30500, false, "Размер 30500 больше наибольшего 3050 мм"},
        {3050.5, true, "Размер 3050,5 больше наибольшего 3050 мм"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(EntryRefusal(c.value, 200, 3050, c.testMin, ',')), c.text)
            << c.value;
}

TEST(OperatorView, FinishedListAndPendingEntries) {
    EXPECT_EQ(Cp1251ToUtf8(ListFinishedText(30)), "Список выполнен: 30 из 30");
    const struct {
        const char* manual;
        const char* device;
        const char* hint;
    } cases[] = {
        {"", "", ""},
        {"150", "", "Набрано 150: «Старт» или # отправит этот размер на упор"},
        {"", "12.5", "на пульте упора набрано 12.5"},
        {"1", "2",
         "Набрано 1: «Старт» или # отправит этот размер на упор; на пульте упора "
         "набрано 2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(EntryHint(c.manual, c.device)), c.hint) << c.manual << c.device;
}

}  // namespace
}  // namespace tandrel::console
