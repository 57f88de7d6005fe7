#pragma once
// The label printer as a system print queue (setting g "printer:" and the queue's name): the
// Windows spooler or CUPS, raw data, one job per label. The queue's state comes from the system,
// not from the printer: a queue that is missing, refuses jobs, is offline or in error fails Open
// with the reason; a paused one takes the job and AskState says Paused. EndLabel follows the job:
// printed once the system says so; one that has not reached its printer by the label's deadline
// is withdrawn, so that it never prints later as a duplicate. Every request to the print service
// is bounded. One thread at a time.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "printer/printer.h"

namespace tandrel::printer {

inline constexpr std::string_view kQueuePrefix = "printer:";

// The queue's name in setting g without its "printer:" (any letter case), Windows-1251.
std::string QueueName(std::string_view setting);

// A printer for the queue named by setting g.
std::unique_ptr<TPrinter> MakeQueuePrinter(std::string_view setting);

// The system's print queues as settings ("printer:" and the name, Windows-1251), in the system's
// order; names Windows-1251 cannot hold are left out. Problem says why there are none when the
// print service did not answer within serviceTime. Raises nothing; any thread.
struct TQueueList {
    std::vector<std::string> Queues;
    std::string Problem;  // Windows-1251
};
TQueueList PrintQueues(std::chrono::milliseconds serviceTime = std::chrono::milliseconds(3000));

// PrintQueues on a thread of its own; done gets the list there. The thread is left to end alone.
void PrintQueuesAsync(std::function<void(TQueueList)> done);

// What the system says of a label's job and of its queue, once the job is handed over.
struct TJobWord {
    bool Done = false;       // printed
    bool Gone = false;       // cancelled or aborted
    bool Held = false;       // the queue, or the job, is paused
    bool AtPrinter = false;  // the printer has it and is printing it
    bool Offline = false;
    bool Error = false;
};
// Follows a handed-over job until the system says it printed, or holds it (Paused), or its
// deadline comes: a job then at its printer is followed up to the follow limit and counts as
// printed; any other is withdrawn and fails with why. ask raises as the printer does; withdraw
// cancels the job and raises nothing.
TLabelEnd FollowJob(const TLabelBounds& bounds, const std::function<TJobWord()>& ask,
                    const std::function<void()>& withdraw);

// The reasons a queue fails a label with, Windows-1251.
std::string QueueMissingText(std::string_view queue);
std::string QueueRejectsText(std::string_view queue);
std::string QueueServiceDownText();
std::string QueueOfflineText();
std::string QueueErrorText();
std::string QueueJobFailedText();
std::string QueueUnreachableText();

}  // namespace tandrel::printer
