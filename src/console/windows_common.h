#pragma once
// Fonts and images shared by the windows.

#include <QFont>
#include <QIcon>
#include <filesystem>

class QLabel;
class QTableView;

namespace tandrel::console {

// A font of the given family with a character height in pixels; where the family is missing,
// a sans serif with Cyrillic serves.
QFont PixelFont(const char* family, int pixels);

// The windows' own font: MS Sans Serif, 11 pixels.
QFont WindowFont();

// The touch screens' parts: a red notice line, hidden until it says something; a table of rows
// rowHeight high, chosen whole and one at a time, never edited, without row numbers or sideways
// scrolling; the width of a column that holds text (UTF-8 here) in font.
QLabel* TouchNotice(QWidget* parent);
void SetUpTouchTable(QTableView* table, int rowHeight);
int TextColumnWidth(const QFont& font, const char* utf8);

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
