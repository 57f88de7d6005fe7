#include "console/label_render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace tandrel::console {
namespace {

using labels::TZplBox;
using labels::TZplElement;

QRect ToRect(const TZplBox& b) {
    return QRect(b.X, b.Y, b.Width, b.Height);
}

// A text line stretched to its box: the printer's cell width decides, not the font's.
void DrawLine(QPainter& p, const labels::TZplLine& line, bool centred) {
    if (line.Utf8.empty() || line.Box.Height <= 0) return;
    const QString text =
        QString::fromUtf8(line.Utf8.data(), static_cast<qsizetype>(line.Utf8.size()));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(1, line.Box.Height * 9 / 10));
    const QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(text);
    p.save();
    p.setFont(font);
    const QRectF box = ToRect(line.Box);
    double sx = 1;
    if (!centred && advance > 0) sx = box.width() / advance;
    if (centred && advance > box.width() && advance > 0) sx = box.width() / advance;
    p.translate(box.left(), box.top());
    p.scale(sx, 1);
    const QRectF area(0, 0, box.width() / sx, box.height());
    p.drawText(area, (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter, text);
    p.restore();
}

void DrawBox(QPainter& p, const TZplElement& e) {
    const QRectF outer = ToRect(e.Box);
    const double t = e.Thickness;
    const double shorter = std::min(outer.width(), outer.height());
    const double radius = e.Rounding * shorter / 16.0;
    QPainterPath path;
    path.addRoundedRect(outer, radius, radius);
    if (2 * t < shorter) {
        QPainterPath inner;
        const QRectF hole = outer.adjusted(t, t, -t, -t);
        const double r = std::max(0.0, radius - t);
        inner.addRoundedRect(hole, r, r);
        path = path.subtracted(inner);
    }
    p.fillPath(path, p.brush());
}

void DrawBars(QPainter& p, const TZplElement& e) {
    int x = e.Box.X;
    for (std::size_t i = 0; i < e.Bars.size(); ++i) {
        const int w = e.Bars[i] * e.Module;
        if (i % 2 == 0) p.fillRect(QRect(x, e.Box.Y, w, e.Box.Height), p.brush());
        x += w;
    }
}

}  // namespace

QImage RenderLabel(const labels::TZplLayout& layout) {
    // ZPL allows 32000 dots a side; a picture that size would take gigabytes, and no label roll
    // is half a metre wide or long, so what lies past that is cut off.
    const int width = std::clamp(layout.Width, 1, kMaxPictureDots);
    const int height = std::clamp(layout.Height, 1, kMaxPictureDots);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (const TZplElement& e : layout.Elements) {
        // A reversed field inverts what lies below it: white ink in difference mode.
        const QColor ink = e.Reverse || (e.Type == TZplElement::Kind::Box && e.White)
                               ? QColor(Qt::white)
                               : QColor(Qt::black);
        p.setCompositionMode(e.Reverse ? QPainter::CompositionMode_Difference
                                       : QPainter::CompositionMode_SourceOver);
        p.setPen(ink);
        p.setBrush(ink);
        switch (e.Type) {
            case TZplElement::Kind::Text:
                for (const auto& line : e.Lines) DrawLine(p, line, false);
                break;
            case TZplElement::Kind::Box:
                DrawBox(p, e);
                break;
            case TZplElement::Kind::Barcode:
                DrawBars(p, e);
                for (const auto& line : e.Lines) DrawLine(p, line, true);
                break;
        }
    }
    return image;
}

}  // namespace tandrel::console
