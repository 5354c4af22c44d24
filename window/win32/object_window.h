// SPDX-License-Identifier: MIT
// Windows kept by C++ objects: the window procedure that finds the object of each message.
#pragma once

#include <windows.h>

namespace tavirel {

/// The window procedure of a window class whose windows are kept by objects of `Window`, each
/// passed as the last argument of CreateWindowExW. The object learns its window at WM_NCCREATE
/// (`attached`), handles every later message (`handle`), and hears at WM_NCDESTROY that the
/// window is gone (`detached`), after which no message reaches it.
template <typename Window>
LRESULT CALLBACK objectWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->attached(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->detached();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

}  // namespace tavirel
