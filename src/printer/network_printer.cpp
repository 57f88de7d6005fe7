#include "printer/network_printer.h"

#include "base/cp1251.h"

namespace tandrel::printer {

std::string RefusedText() {
    return "принтер отклонил соединение"_cp1251;
}
std::string NoAnswerText() {
    return "принтер не отвечает"_cp1251;
}
std::string BrokenText() {
    return "соединение с принтером разорвано"_cp1251;
}
std::string UnresolvedText(const std::string& host) {
    return "имя принтера не найдено: "_cp1251 + host;
}

namespace {
THostLookup& Lookup() {
    static THostLookup lookup;
    return lookup;
}
}  // namespace

void SetHostLookup(THostLookup lookup) {
    Lookup() = std::move(lookup);
}

const THostLookup& HostLookup() {
    return Lookup();
}

void TNetworkPrinter::Open() {
    const auto address = ParseNetworkAddress(name_);
    if (!address) throw EPrinter("неверный адрес принтера: "_cp1251 + name_);
    const auto until = bounds_.Within(bounds_.Connect);
    try {
        connection_.Connect(address->Host, address->Port, until, bounds_.Stop);
    } catch (const EPrinter& e) {
        // Nothing reached the printer within the label's time.
        if (e.Fired() == TBound::Connect && until == bounds_.Deadline)
            throw EPrinter(NotTakenText(), TBound::Start);
        throw;
    }
}

void TNetworkPrinter::Write(std::string_view bytes) {
    connection_.Send(bytes, bounds_.Deadline, bounds_.Stop);
}

TLabelEnd TNetworkPrinter::EndLabel(bool askState) {
    TLabelEnd end;
    if (askState) {
        // Its answer comes after the label's bytes: it has them.
        const TStateAnswer answer = AskState();
        switch (answer.Condition) {
            case TPrinterCondition::NoAnswer:
            case TPrinterCondition::Garbled:
                throw EPrinter(ConditionText(answer.Condition), answer.Fired);
            case TPrinterCondition::Paused:
                end.Paused = true;
                break;
            case TPrinterCondition::Ready:
                break;
            default:
                end.Notice = ConditionText(answer.Condition);
                break;
        }
    }
    const auto until = bounds_.Within(bounds_.Close);
    if (!connection_.Finish(until, bounds_.Stop)) end.Fired = bounds_.Fired(until, TBound::Close);
    return end;
}

void TNetworkPrinter::Close() {
    connection_.Close();
}

std::string TNetworkPrinter::Read(TClock::time_point until) {
    return connection_.Receive(until, bounds_.Stop);
}

}  // namespace tandrel::printer
