// SPDX-License-Identifier: MIT
#include "artwork.h"

#include <QImage>
#include <QPixmap>

#include "pictures.h"

namespace tavirel {
namespace {

QPixmap toPixmap(const Image& image) {
    const QImage view(image.rgba.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888);
    return QPixmap::fromImage(view.copy());
}

}  // namespace

QIcon boxIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) icon.addPixmap(toPixmap(boxImage(size)));
    return icon;
}

QCursor trianglePointer() {
    return QCursor(toPixmap(trianglePointerImage()), kPointerHotX, kPointerHotY);
}

}  // namespace tavirel
