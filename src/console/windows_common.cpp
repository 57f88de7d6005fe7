#include "console/windows_common.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTableView>

#include "base/numbers.h"
#include "base/system.h"

namespace tandrel::console {

QFont PixelFont(const char* family, int pixels) {
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies(
        {QString::fromLatin1(family), QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixels);
    return font;
}

QLabel* TouchNotice(QWidget* parent) {
    auto* notice = new QLabel(parent);
    notice->setObjectName(QStringLiteral("Notice"));
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: white; background: #c00000; padding: 4px"));
    notice->setVisible(false);
    return notice;
}

void SetUpTouchTable(QTableView* table, int rowHeight) {
    table->setObjectName(QStringLiteral("Table"));
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setWordWrap(false);
}

int TextColumnWidth(const QFont& font, const char* utf8) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(QString::fromUtf8(utf8)) + 2 * metrics.averageCharWidth();
}

namespace {
std::filesystem::path& ProgramDirectoryOverride() {
    static std::filesystem::path directory;
    return directory;
}
}  // namespace

std::filesystem::path ProgramDirectory() {
    const std::filesystem::path& chosen = ProgramDirectoryOverride();
    return chosen.empty() ? ProgramDir() : chosen;
}

void SetProgramDirectory(const std::filesystem::path& directory) {
    ProgramDirectoryOverride() = directory;
}

QFont WindowFont() {
    return PixelFont("MS Sans Serif", 11);
}

int PointsToPixels(int points) {
    return static_cast<int>(RoundHalfEven(static_cast<double>(points) * 96.0 / 72.0));
}

QPixmap ProgramPicture(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(QColor(230, 236, 245));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width;
    const double h = height;
    // A conveyor: rollers under a bar, and the stop at its end.
    painter.setPen(QPen(QColor(60, 60, 60), h / 32.0));
    painter.setBrush(QColor(150, 150, 160));
    for (int i = 0; i < 5; ++i)
        painter.drawEllipse(QPointF(w * (0.14 + 0.15 * i), h * 0.68), w * 0.06, w * 0.06);
    painter.setBrush(QColor(200, 160, 60));
    painter.drawRect(QRectF(w * 0.05, h * 0.42, w * 0.65, h * 0.14));
    painter.setBrush(QColor(200, 30, 30));
    painter.drawRect(QRectF(w * 0.78, h * 0.18, w * 0.12, h * 0.64));
    return pixmap;
}

QIcon ProgramIcon() {
    return QIcon(ProgramPicture(64, 64));
}

}  // namespace tandrel::console
