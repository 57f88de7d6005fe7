#include "console/operator_view.h"

#include "base/cp1251.h"
#include "base/numbers.h"

namespace tandrel::console {

TTargetText DescribeTarget(const TTargetInputs& in) {
    TTargetText out;
    if (!in.Target.Has) {
        out.Value = "Цель: —"_cp1251;
        return out;
    }
    const std::string target = FormatGeneral(in.Target.Value, in.DecimalSeparator);
    out.Value = "Цель: "_cp1251 + target;
    if (!in.Target.InRange) {
        out.Look = TTargetLook::OutOfRange;
        out.State = "вне диапазона "_cp1251 + FormatGeneral(in.MinSize, in.DecimalSeparator) +
                    "–"_cp1251 + FormatGeneral(in.MaxSize, in.DecimalSeparator);
    } else if (!in.LinkUp) {
        out.Look = TTargetLook::NoLink;
        out.State = "нет связи с упором"_cp1251;
    } else if (FormatGeneral(in.Position, in.DecimalSeparator) == target) {
        out.Look = TTargetLook::AtTarget;
        out.State = "на месте"_cp1251;
    } else {
        out.Look = TTargetLook::Elsewhere;
        out.State = "упор на "_cp1251 + FormatGeneral(in.Position, in.DecimalSeparator);
    }
    return out;
}

TLinkText DescribeLink(const TLinkInputs& in) {
    TLinkText out;
    std::string why;
    const std::string port = "порт "_cp1251 + in.PortName;
    if (in.Recovering) {
        why = "связь восстанавливается ("_cp1251 + port + ")";
    } else if (in.PortName.empty()) {
        why = "порт устройства не задан в настройках"_cp1251;
    } else if (!in.PortOpen) {
        why =
            port + (in.PortExists ? " не открывается: занят другой программой или недоступен"_cp1251
                                  : " не найден"_cp1251);
    } else if (in.LinkState == 0 || (in.LinkState >= 7 && in.Silent)) {
        why = "устройство не отвечает ("_cp1251 + port + ")";
    } else if (in.LinkState < 7) {
        why = "идёт соединение с устройством ("_cp1251 + port + ")";
    } else {
        out.Up = true;
        out.Text = "Связь с устройством есть"_cp1251;
        return out;
    }
    out.Text = "Нет связи с устройством: "_cp1251 + why;
    return out;
}

std::string EntryRefusal(double value, double minSize, double maxSize, bool testMin,
                         char decimalSeparator) {
    const std::string size = "Размер "_cp1251 + FormatGeneral(value, decimalSeparator);
    if (value > maxSize)
        return size + " больше наибольшего "_cp1251 + FormatGeneral(maxSize, decimalSeparator) +
               " мм"_cp1251;
    if (testMin && value < minSize)
        return size + " меньше наименьшего "_cp1251 + FormatGeneral(minSize, decimalSeparator) +
               " мм"_cp1251;
    return {};
}

std::string ListFinishedText(std::int32_t rowCount) {
    return "Список выполнен: "_cp1251 + std::to_string(rowCount) + " из "_cp1251 +
           std::to_string(rowCount);
}

std::string EntryHint(const std::string& manualEntry, const std::string& deviceEntry) {
    std::string hint;
    if (!manualEntry.empty()) {
        hint =
            "Набрано "_cp1251 + manualEntry + ": «Старт» или # отправит этот размер на упор"_cp1251;
    }
    if (!deviceEntry.empty()) {
        if (!hint.empty()) hint += "; ";
        hint += "на пульте упора набрано "_cp1251 + deviceEntry;
    }
    return hint;
}

std::string JoinNotices(const std::vector<std::string>& notices) {
    std::string text;
    for (const std::string& notice : notices) text += (text.empty() ? "" : ". ") + notice;
    return text;
}

}  // namespace tandrel::console
