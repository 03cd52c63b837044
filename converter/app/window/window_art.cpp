#include "converter/app/window/window_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace vidorra {

QPixmap ApplicationIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0.0, QColor(0x2f, 0x6d, 0xb5));
    fill.setColorAt(1.0, QColor(0x12, 0x35, 0x66));
    painter.setBrush(fill);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    // A film frame with the letter, readable from 16 pixels up.
    painter.setPen(QPen(Qt::white, qMax(1, size / 16)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(size * 0.18, size * 0.22, size * 0.64, size * 0.56));
    QFont font;
    font.setBold(true);
    font.setPixelSize(qMax(8, size / 2));
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("V"));
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(ApplicationIconPixmap(size));
    return icon;
}

QPixmap BannerPixmap(int width, int height) {
    QPixmap pixmap(width, height);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, width, 0);
    fill.setColorAt(0.0, QColor(0x12, 0x35, 0x66));
    fill.setColorAt(1.0, QColor(0x4a, 0x8f, 0xd6));
    painter.fillRect(pixmap.rect(), fill);
    const int iconSize = height - 8;
    painter.drawPixmap(8, 4, ApplicationIconPixmap(iconSize));
    QFont font;
    font.setBold(true);
    font.setPixelSize(height / 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(iconSize + 20, 0, width - iconSize - 28, height), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("Brennix Vidorra"));
    return pixmap;
}

}  // namespace vidorra
