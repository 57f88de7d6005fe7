#pragma once
// The program's four windows, created once in a fixed order and reached by instance name.

namespace tandrel::console {

// Creates Form1 (running its FormCreate), Form2, AboutBox and Form3, in that order. Needs the
// application object. Main thread.
void CreateWindows();

// Destroys them in the reverse order.
void DestroyWindows();

}  // namespace tandrel::console
