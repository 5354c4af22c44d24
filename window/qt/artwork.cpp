// SPDX-License-Identifier: MIT
#include "artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tavirel {
namespace {

// Drawn on a 32-unit grid and scaled, so that every size is the same picture.
QPixmap boxPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QColor black(0, 0, 0), dark(128, 128, 128), light(192, 192, 192), white(255, 255, 255);
    QPen outline(black, 1.2);

    // The handle: an arch over the lid.
    QPainterPath handle;
    handle.moveTo(11, 11);
    handle.cubicTo(11, 2, 21, 2, 21, 11);
    p.setPen(QPen(black, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(handle);
    p.setPen(QPen(dark, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(handle);

    // The box in three faces: lid, front, side.
    p.setPen(outline);
    p.setBrush(white);
    p.drawPolygon(QPolygonF({{4, 13}, {10, 9}, {28, 9}, {22, 13}}));
    p.setBrush(light);
    p.drawRect(QRectF(4, 13, 18, 15));
    p.setBrush(dark);
    p.drawPolygon(QPolygonF({{22, 13}, {28, 9}, {28, 24}, {22, 28}}));
    p.setPen(QPen(white, 1));
    p.drawLine(QPointF(5.5, 14.5), QPointF(5.5, 26.5));
    return pixmap;
}

}  // namespace

QIcon boxIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(boxPixmap(size));
    return icon;
}

QCursor trianglePointer() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, 32);
    shade.setColorAt(0, QColor(208, 208, 208));
    shade.setColorAt(1, QColor(96, 96, 96));
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(shade);
    p.drawPolygon(QPolygonF({{4, 3}, {28, 16}, {4, 29}}));
    p.end();
    return QCursor(pixmap, 28, 16);
}

}  // namespace tavirel
