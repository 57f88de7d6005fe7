#pragma once
// Fonts and images shared by the windows.

#include <QFont>
#include <QIcon>
#include <filesystem>

namespace tandrel::console {

// A font of the given family with a character height in pixels; where the family is missing,
// a sans serif with Cyrillic serves.
QFont PixelFont(const char* family, int pixels);

// The windows' own font: MS Sans Serif, 11 pixels.
QFont WindowFont();

// Point size of a settings value to the pixel height at 96 dpi, ties to even.
int PointsToPixels(int points);

// The program's own directory, where nastr.dat and etik.eti lie. Tests point it at a
// temporary folder before the windows are created.
std::filesystem::path ProgramDirectory();
void SetProgramDirectory(const std::filesystem::path& directory);

// The program's icon: 64 x 64, drawn rather than shipped as a file.
QIcon ProgramIcon();
QPixmap ProgramPicture(int width, int height);

}  // namespace tandrel::console
