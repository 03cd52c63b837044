// The product's banner and icon, drawn rather than loaded so that the
// program needs no resource files next to it.
//
// Threading: GUI thread only (QPixmap).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vidorra {

QIcon ApplicationIcon();
QPixmap ApplicationIconPixmap(int size);
QPixmap BannerPixmap(int width, int height);

}  // namespace vidorra
