#pragma once
// The receive dispatcher: every character the device sends passes through ComPortRxChar, which
// assembles replies for the handshake, answers pings once linked, shows position reports,
// mirrors the device keypad and lets its "*" and "#" keys press Back and Start/Next.

#include <string>
#include <string_view>

#include "link/link_state.h"

namespace tandrel::link {

// What the dispatcher needs of the windows. Implemented by the main window; main thread only.
class TLinkView {
  public:
    virtual ~TLinkView() = default;
    // Writes to the device port. May raise the port's write error; the dispatcher lets it pass.
    virtual void WriteDevice(const std::string& text) = 0;
    // Form2's "Текущее положение" and the position display Edit1. Each setter runs the control's
    // change handler inside, and only when the text really changes; what the handler raises
    // passes through the dispatcher.
    virtual void SetCurrentPositionField(const std::string& text) = 0;
    virtual void SetPositionDisplay(const std::string& text) = 0;
    // Caption of the hidden keypad mirror Label1.
    virtual void SetKeypadMirror(const std::string& text) = 0;
    virtual bool BackEnabled() const = 0;   // BitBtn2
    virtual void ClickBack() = 0;           // runs BitBtn2's click handler
    virtual bool StartEnabled() const = 0;  // BitBtn1
    virtual void ClickStart() = 0;          // runs BitBtn1's click handler
    // A line for the status line; fault is true for something that went wrong.
    virtual void Notice(const std::string& text, bool fault) = 0;
};

// Handles one batch of received characters (what ReadText returned). Main thread only.
// A reply or key press that cannot be converted is dropped alone, and the rest of the batch is
// handled. Raises only what the view raises (the port's write error, a change handler's error);
// the rest of the batch is then not handled.
void ComPortRxChar(TLinkData& link, TLinkView& view, std::string_view received);

}  // namespace tandrel::link
