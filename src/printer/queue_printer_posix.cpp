// Print queues through CUPS: the queue's state from its destination, then one raw job per label.
// The server is CUPS_SERVER's, or the client configuration's.

#include <cups/cups.h>

#include <cstring>

#include "base/cp1251.h"
#include "printer/queue_printer.h"

namespace tandrel::printer {
namespace {

// "printer-state-reasons": keywords separated by commas, each maybe with a severity suffix.
template <typename Test>
bool AnyReason(const char* reasons, Test test) {
    std::string_view all(reasons == nullptr ? "" : reasons);
    while (!all.empty()) {
        const auto comma = all.find(',');
        if (test(all.substr(0, comma))) return true;
        if (comma == std::string_view::npos) break;
        all.remove_prefix(comma + 1);
    }
    return false;
}

bool ServiceAnswers() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                kConnectTimeoutMs, nullptr);
    if (http == nullptr) return false;
    httpClose(http);
    return true;
}

class TCupsPrinter final : public TPrinter {
  public:
    explicit TCupsPrinter(std::string_view setting) : queue_(QueueName(setting)) {}
    ~TCupsPrinter() override { Cancel(); }

    void Open() override {
        Cancel();
        const std::string name = Cp1251ToUtf8(queue_);
        paused_ = CheckState(name);
        const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.c_str(), "label", 0, nullptr);
        if (job == 0) throw EPrinter(CreateFailure());
        job_ = job;
        name_ = name;
        if (cupsStartDocument(CUPS_HTTP_DEFAULT, name_.c_str(), job_, "label", CUPS_FORMAT_RAW,
                              1) != HTTP_STATUS_CONTINUE) {
            Cancel();
            throw EPrinter(QueueJobFailedText());
        }
        document_ = true;
    }

    void Write(std::string_view bytes) override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.data(), bytes.size()) !=
            HTTP_STATUS_CONTINUE)
            throw EPrinter(QueueJobFailedText());
    }

    void EndLabel() override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        document_ = false;
        if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name_.c_str()) != IPP_STATUS_OK) {
            Cancel();
            throw EPrinter(QueueJobFailedText());
        }
        job_ = 0;
    }

    void Close() override { Cancel(); }

    TPrinterCondition AskState(int) override {
        return paused_ ? TPrinterCondition::Paused : TPrinterCondition::Ready;
    }

  protected:
    std::string Read(int) override { return {}; }

  private:
    // True when the queue is paused; raises when it cannot take a label.
    bool CheckState(const std::string& name) const {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
        if (dest == nullptr) {
            // The lookup says "not found" also when no print service answers.
            if (!ServiceAnswers()) throw EPrinter(QueueServiceDownText());
            throw EPrinter(QueueMissingText(queue_));
        }
        const auto option = [dest](const char* key) {
            return cupsGetOption(key, dest->num_options, dest->options);
        };
        const char* accepting = option("printer-is-accepting-jobs");
        const char* state = option("printer-state");
        const char* reasons = option("printer-state-reasons");
        const bool rejects = accepting != nullptr && std::strcmp(accepting, "false") == 0;
        const bool offline =
            AnyReason(reasons, [](std::string_view r) { return r.starts_with("offline"); });
        const bool paused =
            AnyReason(reasons, [](std::string_view r) { return r.starts_with("paused"); });
        // A stopped queue that nobody paused was stopped by a failing backend.
        const bool error =
            AnyReason(reasons, [](std::string_view r) { return r.ends_with("-error"); }) ||
            (state != nullptr && std::strcmp(state, "5") == 0 && !paused);
        cupsFreeDests(1, dest);
        if (rejects) throw EPrinter(QueueRejectsText(queue_));
        if (offline) throw EPrinter(QueueOfflineText());
        if (error) throw EPrinter(QueueErrorText());
        return paused;
    }

    std::string CreateFailure() const {
        switch (cupsLastError()) {
            case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
                return QueueRejectsText(queue_);
            case IPP_STATUS_ERROR_NOT_FOUND:
                return QueueMissingText(queue_);
            default:
                return QueueJobFailedText();
        }
    }

    // Ends a request left open and withdraws its job; the first failure is the one reported.
    void Cancel() noexcept {
        if (document_) {
            document_ = false;
            cupsFinishDocument(CUPS_HTTP_DEFAULT, name_.c_str());
        }
        if (job_ != 0) {
            cupsCancelJob2(CUPS_HTTP_DEFAULT, name_.c_str(), job_, 0);
            job_ = 0;
        }
    }

    std::string queue_;  // Windows-1251
    std::string name_;   // UTF-8, of the job in hand
    int job_ = 0;
    bool document_ = false;
    bool paused_ = false;
};

}  // namespace

std::unique_ptr<TPrinter> MakeQueuePrinter(std::string_view setting) {
    return std::make_unique<TCupsPrinter>(setting);
}

std::vector<std::string> PrintQueues() {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::vector<std::string> queues;
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance != nullptr || !FitsCp1251(dests[i].name)) continue;
        queues.push_back(std::string(kQueuePrefix) + Utf8ToCp1251(dests[i].name));
    }
    cupsFreeDests(count, dests);
    return queues;
}

}  // namespace tandrel::printer
