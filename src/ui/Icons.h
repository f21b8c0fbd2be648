#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantry::ui {

// The program's pictures, drawn in code so they stay sharp at 16 and 32 pixels.
// Indices are those of query::Image; 12 is an empty picture.
inline constexpr int IconCount = 18;

QIcon icon(int index);
QPixmap pixmap(int index, int size);

} // namespace vantry::ui
