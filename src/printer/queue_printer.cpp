#include "printer/queue_printer.h"

#include "base/cp1251.h"

namespace tandrel::printer {

std::string QueueName(std::string_view setting) {
    if (PrinterKind(setting) == TPrinterKind::Queue) setting.remove_prefix(kQueuePrefix.size());
    return std::string(setting);
}

std::string QueueMissingText(std::string_view queue) {
    return "очередь принтера не найдена: "_cp1251 + std::string(queue);
}
std::string QueueRejectsText(std::string_view queue) {
    return "очередь принтера не принимает задания: "_cp1251 + std::string(queue);
}
std::string QueueServiceDownText() {
    return "служба печати не отвечает"_cp1251;
}
std::string QueueOfflineText() {
    return "принтер не в сети"_cp1251;
}
std::string QueueErrorText() {
    return "ошибка принтера"_cp1251;
}
std::string QueueJobFailedText() {
    return "задание не принято очередью печати"_cp1251;
}

}  // namespace tandrel::printer
