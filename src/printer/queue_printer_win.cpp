// Print queues through the Windows spooler: raw data, which is how label printers on USB are
// installed; the queue's state from GetPrinter, the job followed with GetJob. The spooler's calls
// cannot be given a time of their own: they run on the printing thread, under the label's.

#include <windows.h>
#include <winspool.h>

#include <optional>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "printer/queue_printer.h"

namespace tandrel::printer {
namespace {

constexpr DWORD kOfflineStatus =
    PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE | PRINTER_STATUS_SERVER_UNKNOWN;
constexpr DWORD kJobDone = JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
constexpr DWORD kJobGone = JOB_STATUS_DELETED | JOB_STATUS_DELETING;
constexpr DWORD kJobOffline = JOB_STATUS_OFFLINE;
constexpr DWORD kJobError =
    JOB_STATUS_ERROR | JOB_STATUS_PAPEROUT | JOB_STATUS_BLOCKED_DEVQ | JOB_STATUS_USER_INTERVENTION;

constexpr DWORD kErrorStatus = PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM |
                               PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_PAPER_PROBLEM |
                               PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_NO_TONER |
                               PRINTER_STATUS_USER_INTERVENTION;

class TSpoolerPrinter final : public TPrinter {
  public:
    explicit TSpoolerPrinter(std::string_view setting) : queue_(QueueName(setting)) {}
    ~TSpoolerPrinter() override { Release(); }

    void Open() override {
        Release();
        std::u16string name = Cp1251ToUtf16(queue_);
        HANDLE handle = nullptr;
        if (!OpenPrinterW(reinterpret_cast<LPWSTR>(name.data()), &handle, nullptr))
            throw EPrinter(QueueMissingText(queue_));
        handle_ = handle;
        paused_ = CheckState();
        std::u16string title = u"label";
        std::u16string datatype = u"RAW";
        DOC_INFO_1W doc{};
        doc.pDocName = reinterpret_cast<LPWSTR>(title.data());
        doc.pDatatype = reinterpret_cast<LPWSTR>(datatype.data());
        job_ = StartDocPrinterW(handle_, 1, reinterpret_cast<LPBYTE>(&doc));
        if (job_ == 0) {
            Release();
            throw EPrinter(QueueJobFailedText());
        }
        document_ = true;
        if (!StartPagePrinter(handle_)) {
            Release();
            throw EPrinter(QueueJobFailedText());
        }
    }

    void Write(std::string_view bytes) override {
        DWORD written = 0;
        if (!document_ ||
            !WritePrinter(handle_, const_cast<char*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()), &written) ||
            written != bytes.size())
            throw EPrinter(QueueJobFailedText());
    }

    TLabelEnd EndLabel(bool) override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        // Some spoolers hand the job to the system's queue only here.
        const bool ended = EndPagePrinter(handle_) && EndDocPrinter(handle_);
        document_ = false;
        if (!ended) {
            Release();
            throw EPrinter(QueueJobFailedText());
        }
        return Follow();
    }

    void Close() override { Release(); }

    TStateAnswer AskState() override {
        return {paused_ ? TPrinterCondition::Paused : TPrinterCondition::Ready, TBound::None};
    }

  protected:
    std::string Read(TClock::time_point) override { return {}; }

  private:
    // The queue's status and attributes; nothing when the spooler gives none.
    std::optional<std::pair<DWORD, DWORD>> PrinterStatus() const {
        DWORD needed = 0;
        GetPrinterW(handle_, 2, nullptr, 0, &needed);
        if (needed == 0) return std::nullopt;
        std::vector<BYTE> buffer(needed);
        if (!GetPrinterW(handle_, 2, buffer.data(), needed, &needed)) return std::nullopt;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        return std::pair(info->Status, info->Attributes);
    }

    // True when the queue is paused; raises when it cannot take a label.
    bool CheckState() {
        const auto status = PrinterStatus();
        if (!status) return false;  // no state to be had: the job will tell
        if ((status->first & kOfflineStatus) != 0 ||
            (status->second & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0) {
            Release();
            throw EPrinter(QueueOfflineText());
        }
        if ((status->first & kErrorStatus) != 0) {
            Release();
            throw EPrinter(QueueErrorText());
        }
        return (status->first & PRINTER_STATUS_PAUSED) != 0;
    }

    // The job's status; nothing once the spooler has let it go (printed and removed).
    std::optional<DWORD> JobStatus() const {
        DWORD needed = 0;
        GetJobW(handle_, job_, 1, nullptr, 0, &needed);
        if (needed == 0) return std::nullopt;
        std::vector<BYTE> buffer(needed);
        if (!GetJobW(handle_, job_, 1, buffer.data(), needed, &needed)) return std::nullopt;
        return reinterpret_cast<const JOB_INFO_1W*>(buffer.data())->Status;
    }

    TLabelEnd Follow() {
        const TLabelEnd end = FollowJob(
            bounds_,
            [this] {
                TJobWord word;
                const std::optional<DWORD> job = JobStatus();
                // The spooler lets a printed job go.
                word.Done = !job || (*job & kJobDone) != 0;
                word.Gone = !word.Done && (*job & kJobGone) != 0;
                if (word.Done || word.Gone) return word;
                const auto queue = PrinterStatus();
                const DWORD status = *job | (queue ? queue->first : 0);
                word.Held = (*job & JOB_STATUS_PAUSED) != 0 ||
                            (queue && (queue->first & PRINTER_STATUS_PAUSED) != 0);
                word.AtPrinter = (*job & JOB_STATUS_PRINTING) != 0;
                word.Offline = (status & (kJobOffline | kOfflineStatus)) != 0;
                word.Error = (status & (kJobError | kErrorStatus)) != 0;
                return word;
            },
            [this] { Release(); });
        job_ = 0;  // printed, or held by the queue
        return end;
    }

    // A job not ended, or handed over and not printed, is withdrawn so that it never prints
    // later as a duplicate.
    void Release() noexcept {
        if (handle_ == nullptr) return;
        if (document_) {
            AbortPrinter(handle_);
        } else if (job_ != 0) {
            SetJobW(handle_, job_, 0, nullptr, JOB_CONTROL_DELETE);
        }
        document_ = false;
        job_ = 0;
        ClosePrinter(handle_);
        handle_ = nullptr;
    }

    std::string queue_;  // Windows-1251
    HANDLE handle_ = nullptr;
    DWORD job_ = 0;
    bool document_ = false;
    bool paused_ = false;
};

}  // namespace

std::unique_ptr<TPrinter> MakeQueuePrinter(std::string_view setting) {
    return std::make_unique<TSpoolerPrinter>(setting);
}

// The spooler's enumeration takes no time-out: the caller runs it off the windows' thread.
TQueueList PrintQueues(std::chrono::milliseconds) {
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &count);
    TQueueList list;
    std::vector<std::string>& queues = list.Queues;
    if (needed == 0) return list;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(kFlags, nullptr, 2, buffer.data(), needed, &needed, &count)) return list;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const auto* name = reinterpret_cast<const char16_t*>(info[i].pPrinterName);
        if (name == nullptr) continue;
        const std::string cp1251 = Utf16ToCp1251(name);
        if (Cp1251ToUtf16(cp1251) != std::u16string_view(name)) continue;  // no Windows-1251 form
        queues.push_back(std::string(kQueuePrefix) + cp1251);
    }
    return list;
}

}  // namespace tandrel::printer
