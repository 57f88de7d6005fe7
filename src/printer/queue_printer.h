#pragma once
// The label printer as a system print queue (setting g "printer:" and the queue's name): the
// Windows spooler or CUPS, raw data, one job per label. The queue's state comes from the system,
// not from the printer: a queue that is missing, refuses jobs, is offline or in error fails Open
// with the reason; a paused one takes the job and AskState says Paused. Main thread only.

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
// order; names Windows-1251 cannot hold are left out. Empty when there is no print service.
// Raises nothing.
std::vector<std::string> PrintQueues();

// The reasons a queue fails a label with, Windows-1251.
std::string QueueMissingText(std::string_view queue);
std::string QueueRejectsText(std::string_view queue);
std::string QueueServiceDownText();
std::string QueueOfflineText();
std::string QueueErrorText();
std::string QueueJobFailedText();

}  // namespace tandrel::printer
