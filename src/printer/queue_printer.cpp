#include "printer/queue_printer.h"

#include <thread>

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
std::string QueueUnreachableText() {
    return "очередь печати не передала этикетку принтеру"_cp1251;
}

TLabelEnd FollowJob(const TLabelBounds& bounds, const std::function<TJobWord()>& ask,
                    const std::function<void()>& withdraw) {
    constexpr std::chrono::milliseconds kEvery{50};
    TLabelEnd end;
    for (;;) {
        const TJobWord job = ask();
        if (job.Done) return end;
        if (job.Gone) throw EPrinter(QueueJobFailedText());
        if (job.Held) {
            end.Paused = true;  // the queue keeps it until it is resumed
            return end;
        }
        const auto now = TClock::now();
        if (now >= bounds.Deadline) {
            if (job.AtPrinter) {
                if (now >= bounds.FollowLimit) {
                    end.Fired = TBound::Label;  // the printer has it
                    return end;
                }
            } else {
                withdraw();  // so that it never prints later as a duplicate
                throw EPrinter(job.Offline ? QueueOfflineText()
                               : job.Error ? QueueErrorText()
                                           : QueueUnreachableText(),
                               TBound::Label);
            }
        }
        std::this_thread::sleep_for(kEvery);
        if (bounds.Stopped()) throw EPrinter(ClosedText(), TBound::Stop);
    }
}

void PrintQueuesAsync(std::function<void(TQueueList)> done) {
    std::thread([done = std::move(done)] { done(PrintQueues()); }).detach();
}

}  // namespace tandrel::printer
