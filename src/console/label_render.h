#pragma once
// Draws a laid-out label (labels/zpl_layout.h) as the printer would print it, one pixel per dot
// (8 per millimetre), black on white. Printer fonts are approximated by a scalable font stretched
// to the ZPL cell sizes. Needs a QGuiApplication; main thread only.

#include <QImage>

#include "labels/zpl_layout.h"

namespace tandrel::console {

// At most kMaxPictureDots a side (500 mm); a larger label is cut off at that size.
inline constexpr int kMaxPictureDots = 4000;
QImage RenderLabel(const labels::TZplLayout& layout);

}  // namespace tandrel::console
