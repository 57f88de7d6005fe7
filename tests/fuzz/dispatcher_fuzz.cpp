// The receive dispatcher on arbitrary batches. The input's first bytes set the link state, the
// precision and the size range; then each batch is a header byte and up to 63 characters: the
// header's low six bits are the batch length, its top bits what happens before the batch (the
// handshake or a move sender changes the link state, or the view's next write fails). After each
// batch the entry is empty or starts with a digit, the link state is within 0 to 8, the mirror
// is set only by the characters that may change it, and the queue of replies and the reply
// being assembled stay bounded.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "link/dispatcher.h"

using namespace tandrel;
using namespace tandrel::link;

namespace {

class RecordingView : public TLinkView {
  public:
    bool FailWrite = false;
    bool ThrowInHandler = false;
    bool Back = true, Start = true;
    std::string Mirror, Position, Display;
    int Writes = 0, Clicks = 0;

    void WriteDevice(const std::string& text) override {
        TANDREL_FUZZ_CHECK(text == "T");
        if (FailWrite) {
            FailWrite = false;
            throw std::runtime_error("write");
        }
        ++Writes;
    }
    void SetCurrentPositionField(const std::string& text) override {
        TANDREL_FUZZ_CHECK(!text.empty());
        Position = text;
    }
    void SetPositionDisplay(const std::string& text) override {
        TANDREL_FUZZ_CHECK(text == Position);
        if (ThrowInHandler && text != Display) {
            ThrowInHandler = false;
            Display = text;
            throw std::runtime_error("handler");
        }
        Display = text;
    }
    void SetKeypadMirror(const std::string& text) override { Mirror = text; }
    bool BackEnabled() const override { return Back; }
    void ClickBack() override { ++Clicks; }
    bool StartEnabled() const override { return Start; }
    void ClickStart() override { ++Clicks; }
    void Notice(const std::string& text, bool) override { TANDREL_FUZZ_CHECK(!text.empty()); }
};

const double kSizes[] = {0, 1, 100, 200, 3050, 9999.5, 2147483647.0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    TLinkData link;
    RecordingView view;
    link.SetLinkState(static_cast<std::uint8_t>(data[0] % 9));
    link.Precision.store(data[1] & 3);
    link.MinSize.store(kSizes[(data[2] & 7) % 7]);
    link.MaxSize.store(kSizes[((data[2] >> 3) & 7) % 7]);
    view.Back = data[2] & 0x40;
    view.Start = data[2] & 0x80;
    std::size_t pos = 3;
    while (pos < size) {
        const std::uint8_t header = data[pos++];
        const std::size_t length = std::min<std::size_t>(header & 0x3F, size - pos);
        switch (header >> 6) {
            case 1:
                link.SetLinkState(static_cast<std::uint8_t>(length % 9));
                break;
            case 2:
                view.FailWrite = true;
                break;
            case 3:
                view.ThrowInHandler = true;
                break;
            default:
                break;
        }
        const std::string_view batch(reinterpret_cast<const char*>(data) + pos, length);
        pos += length;
        const std::string mirrorBefore = view.Mirror;
        bool raised = false;
        try {
            ComPortRxChar(link, view, batch);
        } catch (const std::runtime_error&) {
            raised = true;
        }
        const std::string& entry = link.DeviceEntry;
        TANDREL_FUZZ_CHECK(entry.empty() || (entry[0] >= '0' && entry[0] <= '9'));
        TANDREL_FUZZ_CHECK(entry.size() <= TLinkData::kMaxEntryLength + 1);  // and its "."
        TANDREL_FUZZ_CHECK(link.LinkState.load() <= kMoveSent);
        TANDREL_FUZZ_CHECK(link.LastReply.size() <= TLinkData::kMaxPendingReplies);
        TANDREL_FUZZ_CHECK(link.ReplyBuffer.size() <= TLinkData::kMaxReplyLength);
        if (!raised) {
            // Only the other characters set the mirror; "*" and "#" leave it.
            if (batch.find_first_not_of("P_*#BDMNSTV") == std::string_view::npos)
                TANDREL_FUZZ_CHECK(view.Mirror == mirrorBefore);
        }
    }
    return 0;
}
