// Print queues through CUPS, on a connection of our own to the server whose every request ends by
// the time given to it: libcups' shared connection waits minutes for a server that accepts and
// never answers. The queue's state, then one raw job per label, followed until the server says
// how it went. The server is CUPS_SERVER's, or the client configuration's.

#include <cups/cups.h>

#include <cstring>
#include <thread>

#include "base/cp1251.h"
#include "printer/queue_printer.h"

namespace tandrel::printer {
namespace {

constexpr int kPrinterStopped = 5;
constexpr int kJobCanceled = 7;
constexpr int kJobAborted = 8;
constexpr int kJobCompleted = 9;
// How often libcups asks whether a request may go on waiting.
constexpr double kCheckSeconds = 0.05;

// "printer-state-reasons": keywords, each maybe with a severity suffix.
template <typename Test>
bool AnyReason(ipp_attribute_t* reasons, Test test) {
    for (int i = 0; i < ippGetCount(reasons); ++i) {
        const char* reason = ippGetString(reasons, i, nullptr);
        if (reason != nullptr && test(std::string_view(reason))) return true;
    }
    return false;
}

int Integer(ipp_t* response, const char* name, int otherwise) {
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute == nullptr ? otherwise : ippGetInteger(attribute, 0);
}

// A connection to the print service whose calls end by the time set with Until.
class TService {
  public:
    explicit TService(const std::atomic<bool>* stop) : stop_(stop) {}
    ~TService() {
        if (http_ != nullptr) httpClose(http_);
    }
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;

    // False when the server could not be reached by then.
    bool Connect(TClock::time_point until) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - TClock::now());
        http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                             static_cast<int>(std::max<long long>(ms.count(), 1)), nullptr);
        if (http_ == nullptr) return false;
        httpSetTimeout(http_, kCheckSeconds, &TService::GoOn, this);
        return true;
    }
    void Until(TClock::time_point until) {
        until_ = until;
        timedOut_ = false;
    }
    bool TimedOut() const { return timedOut_; }
    bool Stopped() const { return stop_ != nullptr && stop_->load(); }
    http_t* Http() const { return http_; }

    // The answer to a request (freed by the caller), or nullptr; the request is consumed.
    ipp_t* Ask(ipp_t* request) { return cupsDoRequest(http_, request, "/"); }

  private:
    static int GoOn(http_t*, void* self) {
        auto* service = static_cast<TService*>(self);
        if (service->Stopped()) return 0;
        if (TClock::now() < service->until_) return 1;
        service->timedOut_ = true;
        return 0;
    }

    const std::atomic<bool>* stop_;
    http_t* http_ = nullptr;
    TClock::time_point until_ = TClock::time_point::max();
    bool timedOut_ = false;
};

ipp_t* NewRequest(ipp_op_t operation, const char* attribute, const char* pathFormat,
                  const char* value) {
    ipp_t* request = ippNewRequest(operation);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     pathFormat, value);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, attribute, nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
}

struct TQueueState {
    bool Found = false;
    bool Rejects = false;
    bool Offline = false;
    bool Error = false;
    bool Paused = false;
    bool AtPrinter = false;  // the server waits for the printer to finish a job it was given
};

class TCupsPrinter final : public TPrinter {
  public:
    explicit TCupsPrinter(std::string_view setting)
        : queue_(QueueName(setting)), name_(Cp1251ToUtf8(queue_)) {}
    ~TCupsPrinter() override { Withdraw(); }

    void Open() override {
        Withdraw();
        service_ = std::make_unique<TService>(bounds_.Stop);
        const auto until = bounds_.Within(bounds_.Service);
        if (!service_->Connect(until))
            throw EPrinter(QueueServiceDownText(), bounds_.Fired(until, TBound::Service));
        const TQueueState state = State(bounds_.Within(bounds_.Service));
        if (!state.Found) throw EPrinter(QueueMissingText(queue_));
        if (state.Rejects) throw EPrinter(QueueRejectsText(queue_));
        if (state.Offline) throw EPrinter(QueueOfflineText());
        if (state.Error) throw EPrinter(QueueErrorText());
        paused_ = state.Paused;
        Until(bounds_.Within(bounds_.Service));
        const int job = cupsCreateJob(service_->Http(), name_.c_str(), "label", 0, nullptr);
        CheckAnswered();
        if (job == 0) throw EPrinter(CreateFailure());
        job_ = job;
        const http_status_t started =
            cupsStartDocument(service_->Http(), name_.c_str(), job_, "label", CUPS_FORMAT_RAW, 1);
        CheckAnswered();
        if (started != HTTP_STATUS_CONTINUE) throw EPrinter(QueueJobFailedText());
        document_ = true;
    }

    void Write(std::string_view bytes) override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        Until(bounds_.Deadline);
        const http_status_t written =
            cupsWriteRequestData(service_->Http(), bytes.data(), bytes.size());
        CheckAnswered();
        if (written != HTTP_STATUS_CONTINUE) throw EPrinter(QueueJobFailedText());
    }

    TLabelEnd EndLabel(bool) override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        Until(bounds_.Within(bounds_.Service));
        const ipp_status_t finished = cupsFinishDocument(service_->Http(), name_.c_str());
        document_ = false;
        CheckAnswered();
        if (finished > IPP_STATUS_OK_EVENTS_COMPLETE) throw EPrinter(QueueJobFailedText());
        return Follow();
    }

    void Close() override { Withdraw(); }

    TStateAnswer AskState() override {
        return {paused_ ? TPrinterCondition::Paused : TPrinterCondition::Ready, TBound::None};
    }

  protected:
    std::string Read(TClock::time_point) override { return {}; }

  private:
    void Until(TClock::time_point until) {
        until_ = until;
        service_->Until(until);
    }

    // After a request: a server that did not answer in time, or a program that closed.
    void CheckAnswered() const {
        if (service_->Stopped()) throw EPrinter(ClosedText(), TBound::Stop);
        if (service_->TimedOut())
            throw EPrinter(QueueServiceDownText(), bounds_.Fired(until_, TBound::Service));
    }

    TQueueState State(TClock::time_point until) {
        Until(until);
        static const char* const kWanted[] = {"printer-state", "printer-state-reasons",
                                              "printer-is-accepting-jobs"};
        ipp_t* request =
            NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", "/printers/%s", name_.c_str());
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3,
                      nullptr, kWanted);
        ipp_t* answer = service_->Ask(request);
        CheckAnswered();
        TQueueState state;
        state.Found = answer != nullptr && cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
        if (state.Found) {
            ipp_attribute_t* reasons =
                ippFindAttribute(answer, "printer-state-reasons", IPP_TAG_ZERO);
            ipp_attribute_t* accepting =
                ippFindAttribute(answer, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
            state.Rejects = accepting != nullptr && !ippGetBoolean(accepting, 0);
            state.Offline =
                AnyReason(reasons, [](std::string_view r) { return r.starts_with("offline"); });
            state.Paused =
                AnyReason(reasons, [](std::string_view r) { return r.starts_with("paused"); });
            // A stopped queue that nobody paused was stopped by a failing backend.
            state.Error =
                AnyReason(reasons, [](std::string_view r) { return r.ends_with("-error"); }) ||
                (Integer(answer, "printer-state", 0) == kPrinterStopped && !state.Paused);
            state.AtPrinter = AnyReason(reasons, [](std::string_view r) {
                return r.starts_with("cups-waiting-for-job-completed");
            });
        } else if (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
            ippDelete(answer);
            throw EPrinter(QueueServiceDownText());
        }
        ippDelete(answer);
        return state;
    }

    // The job's state and whether it has gone to the printer, as the server tells.
    std::pair<int, bool> JobState(TClock::time_point until) {
        Until(until);
        static const char* const kWanted[] = {"job-state", "job-impressions-completed"};
        const std::string id = std::to_string(job_);
        ipp_t* request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", "/jobs/%s", id.c_str());
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                      nullptr, kWanted);
        ipp_t* answer = service_->Ask(request);
        CheckAnswered();
        if (answer == nullptr) throw EPrinter(QueueServiceDownText());
        const int state = Integer(answer, "job-state", kJobAborted);
        const bool printed = Integer(answer, "job-impressions-completed", 0) > 0;
        ippDelete(answer);
        return {state, printed};
    }

    TLabelEnd Follow() {
        const TLabelEnd end = FollowJob(
            bounds_,
            [this] {
                const auto until = std::min(TClock::now() + bounds_.Service, bounds_.FollowLimit);
                const auto [state, sent] = JobState(until);
                TJobWord word;
                word.Done = state == kJobCompleted;
                word.Gone = state == kJobCanceled || state == kJobAborted;
                if (word.Done || word.Gone) return word;
                const TQueueState queue = State(until);
                word.Held = queue.Paused;
                word.AtPrinter = sent || queue.AtPrinter;
                word.Offline = queue.Offline;
                word.Error = queue.Error;
                return word;
            },
            [this] { Withdraw(); });
        job_ = 0;  // printed, or held by the queue
        return end;
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

    // A job not yet handed over or not printed is cancelled, so that it never prints later;
    // on a connection of its own, as the label's may be in the middle of a request.
    void Withdraw() noexcept {
        const bool cancel = job_ != 0;
        document_ = false;
        service_.reset();
        if (!cancel) return;
        TService service(nullptr);
        const auto until = TClock::now() + bounds_.Service;
        if (service.Connect(until)) {
            service.Until(until);
            cupsCancelJob2(service.Http(), name_.c_str(), job_, 0);
        }
        job_ = 0;
    }

    std::string queue_;  // Windows-1251
    std::string name_;   // UTF-8
    std::unique_ptr<TService> service_;
    TClock::time_point until_;
    int job_ = 0;
    bool document_ = false;
    bool paused_ = false;
};

}  // namespace

std::unique_ptr<TPrinter> MakeQueuePrinter(std::string_view setting) {
    return std::make_unique<TCupsPrinter>(setting);
}

TQueueList PrintQueues(std::chrono::milliseconds serviceTime) {
    TQueueList list;
    TService service(nullptr);
    const auto until = TClock::now() + serviceTime;
    if (!service.Connect(until)) {
        list.Problem = QueueServiceDownText();
        return list;
    }
    service.Until(until);
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(service.Http(), &dests);
    if (service.TimedOut()) list.Problem = QueueServiceDownText();
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance != nullptr || !FitsCp1251(dests[i].name)) continue;
        list.Queues.push_back(std::string(kQueuePrefix) + Utf8ToCp1251(dests[i].name));
    }
    cupsFreeDests(count, dests);
    return list;
}

}  // namespace tandrel::printer
