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

void TNetworkPrinter::Open() {
    const auto address = ParseNetworkAddress(name_);
    if (!address) throw EPrinter("неверный адрес принтера: "_cp1251 + name_);
    connection_.Connect(address->Host, address->Port, kConnectTimeoutMs);
}

void TNetworkPrinter::Write(std::string_view bytes) {
    connection_.Send(bytes, WriteTimeoutMs(bytes.size()));
}

void TNetworkPrinter::Close() {
    connection_.Close();
}

std::string TNetworkPrinter::Read(int timeoutMs) {
    return connection_.Receive(timeoutMs);
}

}  // namespace tandrel::printer
