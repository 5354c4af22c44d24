// SPDX-License-Identifier: MIT
// The window's pictures, drawn by code: the icon (a grey box with an arched handle) and the
// pointer over the link area (a grey triangle pointing right).
#pragma once

#include <QCursor>
#include <QIcon>

namespace tavirel {

/// The box icon at 16 and 32 pixels (and larger sizes for desktops that ask).
QIcon boxIcon();
/// A solid grey triangle pointing right, 32 by 32, its hot spot at its tip.
QCursor trianglePointer();

}  // namespace tavirel
