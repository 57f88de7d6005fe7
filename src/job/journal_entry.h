#pragma once
// One line of the production journal before it gets its date and time: what a step or a keypad
// move did. Plain data.

#include <cstdint>
#include <optional>
#include <string>

namespace tandrel::job {

enum class TLabelResult : std::uint8_t {
    NotPrinted,  // printing off, no printer port, or no label for this kind of step
    Printed,
    Failed,  // the printer's failure in LabelFailure
    Queued,  // handed to the printing thread; its outcome follows on a line of its own
    Paused,  // the printer keeps it until it is resumed
};

// What a bar's leftover became, for its line of its own (no list row, so no piece).
enum class TLeftover : std::uint8_t {
    None,       // a step or a keypad move
    Remnant,    // kept in the store: "остаток <id>: " before its label's outcome
    Waste,      // shorter than the minimum remnant: "отход"
    FlawedBar,  // the bar was given up as flawed: "хлыст с дефектом"
};

struct TJournalEntry {
    std::string ListName;                    // as passed to the load, Windows-1251
    std::int32_t Row = 0;                    // list row; 0 for a keypad move
    double Size = 0;                         // millimetres
    std::optional<std::int32_t> Correction;  // none for a keypad move: it adds none
    double Target = 0;
    bool InRange = true;
    bool WorkedAgain = false;  // the row was done before this step took it
    TLabelResult Label = TLabelResult::NotPrinted;
    std::string LabelFailure;  // Windows-1251
    bool Reprint = false;  // the label printed again: "перепечатка: " before the outcome
    bool Outcome = false;  // the outcome of a step's label that was queued: "итог: " before it
    TLeftover Leftover = TLeftover::None;
    std::string RemnantId;  // TLeftover::Remnant: "R000123"; empty when it could not be stored

    // A piece of the shop's output: a list row cut to its target for the first time.
    bool IsPiece() const { return Row > 0 && InRange && !WorkedAgain; }
};

}  // namespace tandrel::job
