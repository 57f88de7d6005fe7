#pragma once
// A picture of each saved label, so that training and tests can look at what was printed.
// Drawn with the program's own label renderer where the simulator is built with Qt.
#include <filesystem>
#include <string>

namespace tandrel::sim {

// Loads what drawing needs (fonts take a moment the first time), so that the first label is
// not held up. Main thread only.
void PrepareLabelPictures();

// Draws the label's ZPL and writes it whole, as a PNG, to path. Returns "" when written,
// else why not. Main thread only.
std::string SaveLabelPicture(const std::string& zpl, const std::filesystem::path& path);

}  // namespace tandrel::sim
