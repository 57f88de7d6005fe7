#include "link/dispatcher.h"

#include "base/cp1251.h"
#include "base/error.h"
#include "base/numbers.h"
#include "link/protocol.h"

namespace tandrel::link {
namespace {

using namespace protocol;

void Ping(TLinkData& link, TLinkView& view) {
    link.Silence.Ping(TSilenceWatch::Clock::now());
    link.ReplyBuffer.clear();
    if (IsLinkUp(link.LinkState.load())) {
        view.WriteDevice(std::string(1, kRequestPosition));
    } else {
        link.PushReply(std::string(1, kPing));
    }
}

void ReplyEnd(TLinkData& link, TLinkView& view) {
    std::string reply;
    reply.swap(link.ReplyBuffer);
    if (IsLinkUp(link.LinkState.load()) && !reply.empty() && reply[0] == kRequestPosition) {
        double position = 0;
        try {
            position = ParseSize(std::string_view(reply).substr(1));
        } catch (const EConvertError&) {
            view.Notice("Устройство сообщило положение, которое нельзя прочитать"_cp1251, true);
            return;
        }
        link.CurrentPosition.store(position);
        const std::string text = FormatGeneral(position, DecimalSeparator());
        view.SetCurrentPositionField(text);
        view.SetPositionDisplay(text);
        // After both fields: an automatic move made inside them set 8, and the report wins.
        link.SetLinkState(kLinked);
        return;
    }
    // A stray "_" closes nothing; there is nothing for the handshake in it.
    if (!reply.empty()) link.PushReply(std::move(reply));
}

void PointKey(TLinkData& link, TLinkView& view) {
    std::string& entry = link.DeviceEntry;
    if (entry.empty()) {
        if (view.BackEnabled()) view.ClickBack();
    } else if (link.Precision.load() == 0) {
        entry.pop_back();
    } else if (entry.find('.') != std::string::npos) {
        entry.clear();
    } else {
        // Even past the cap, so that the next "*" empties a full entry: one "." at most.
        entry += '.';
    }
}

void EnterKey(TLinkData& link, TLinkView& view) {
    std::string& entry = link.DeviceEntry;
    if (entry.empty()) {
        if (link.LinkState.load() >= 6 && view.StartEnabled()) view.ClickStart();
        return;
    }
    // The entry always begins with a digit, so this converts; the guard is for the day it does not.
    try {
        if (ParseSize(entry) >= link.MinSize.load()) entry.clear();
    } catch (const EConvertError&) {
    }
}

void OtherCharacter(TLinkData& link, TLinkView& view, char c) {
    if (!link.ReplyBuffer.empty()) {
        if (link.ReplyBuffer.size() >= TLinkData::kMaxReplyLength) {
            link.ReplyBuffer.clear();
            link.ReplyDropped = true;
            return;
        }
        link.ReplyBuffer += c;
    } else if (link.DeviceEntry.size() < TLinkData::kMaxEntryLength) {
        try {
            if (ParseSize(link.DeviceEntry + c) <= link.MaxSize.load()) link.DeviceEntry += c;
        } catch (const EConvertError&) {
            // A key that makes no number (a letter as the first key) is dropped alone.
        }
    }
    view.SetKeypadMirror(link.DeviceEntry);
}

}  // namespace

void ComPortRxChar(TLinkData& link, TLinkView& view, std::string_view received) {
    for (const char c : received) {
        if (link.ReplyDropped) {
            if (c != kPing && c != kReplyEnd && !IsReplyKind(c)) continue;
            link.ReplyDropped = false;
        }
        if (c == kPing) {
            Ping(link, view);
        } else if (IsReplyKind(c)) {
            link.ReplyBuffer.assign(1, c);
        } else if (c == kReplyEnd) {
            ReplyEnd(link, view);
        } else if (c == kKeyPoint) {
            PointKey(link, view);
        } else if (c == kKeyEnter) {
            EnterKey(link, view);
        } else {
            OtherCharacter(link, view, c);
        }
    }
}

}  // namespace tandrel::link
