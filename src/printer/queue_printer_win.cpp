// Print queues through the Windows spooler: raw data, which is how label printers on USB are
// installed; the queue's state from GetPrinter.

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "base/cp1251.h"
#include "printer/queue_printer.h"

namespace tandrel::printer {
namespace {

constexpr DWORD kOfflineStatus =
    PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE | PRINTER_STATUS_SERVER_UNKNOWN;
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
        if (StartDocPrinterW(handle_, 1, reinterpret_cast<LPBYTE>(&doc)) == 0) {
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

    void EndLabel() override {
        if (!document_) throw EPrinter(QueueJobFailedText());
        // Some spoolers hand the job to the system's queue only here.
        const bool ended = EndPagePrinter(handle_) && EndDocPrinter(handle_);
        document_ = false;
        if (!ended) {
            Release();
            throw EPrinter(QueueJobFailedText());
        }
    }

    void Close() override { Release(); }

    TPrinterCondition AskState(int) override {
        return paused_ ? TPrinterCondition::Paused : TPrinterCondition::Ready;
    }

  protected:
    std::string Read(int) override { return {}; }

  private:
    // True when the queue is paused; raises when it cannot take a label.
    bool CheckState() {
        DWORD needed = 0;
        GetPrinterW(handle_, 2, nullptr, 0, &needed);
        if (needed == 0) return false;  // no state to be had: the job will tell
        std::vector<BYTE> buffer(needed);
        if (!GetPrinterW(handle_, 2, buffer.data(), needed, &needed)) return false;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        if ((info->Status & kOfflineStatus) != 0 ||
            (info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0) {
            Release();
            throw EPrinter(QueueOfflineText());
        }
        if ((info->Status & kErrorStatus) != 0) {
            Release();
            throw EPrinter(QueueErrorText());
        }
        return (info->Status & PRINTER_STATUS_PAUSED) != 0;
    }

    void Release() noexcept {
        if (handle_ == nullptr) return;
        if (document_) AbortPrinter(handle_);  // the job not ended is withdrawn
        document_ = false;
        ClosePrinter(handle_);
        handle_ = nullptr;
    }

    std::string queue_;  // Windows-1251
    HANDLE handle_ = nullptr;
    bool document_ = false;
    bool paused_ = false;
};

}  // namespace

std::unique_ptr<TPrinter> MakeQueuePrinter(std::string_view setting) {
    return std::make_unique<TSpoolerPrinter>(setting);
}

std::vector<std::string> PrintQueues() {
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<std::string> queues;
    if (needed == 0) return queues;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(kFlags, nullptr, 2, buffer.data(), needed, &needed, &count)) return queues;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const auto* name = reinterpret_cast<const char16_t*>(info[i].pPrinterName);
        if (name == nullptr) continue;
        const std::string cp1251 = Utf16ToCp1251(name);
        if (Cp1251ToUtf16(cp1251) != std::u16string_view(name)) continue;  // no Windows-1251 form
        queues.push_back(std::string(kQueuePrefix) + cp1251);
    }
    return queues;
}

}  // namespace tandrel::printer
