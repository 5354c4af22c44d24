// SPDX-License-Identifier: MIT
// The window's pictures as Qt wants them, from the drawing code every window shares: the icon
// and the pointer over the link area.
#pragma once

#include <QCursor>
#include <QIcon>

namespace tavirel {

/// The box icon at 16 and 32 pixels (and larger sizes for desktops that ask).
QIcon boxIcon();
/// A solid grey triangle pointing right, 32 by 32, its hot spot at its tip.
QCursor trianglePointer();

}  // namespace tavirel
