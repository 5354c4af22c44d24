// SPDX-License-Identifier: MIT
#include <windows.h>

#include "event_pump.h"

#include <chrono>
#include <cwchar>

#include "event_yield.h"

namespace tavirel {
namespace {

constexpr wchar_t kDialogKeys[] = L"Tavirel.DialogKeys";
constexpr wchar_t kAccelerators[] = L"Tavirel.Accelerators";

bool isEdit(HWND hwnd) {
    wchar_t name[16];
    return hwnd && GetClassNameW(hwnd, name, 16) && _wcsicmp(name, L"Edit") == 0;
}

bool isPushButton(HWND hwnd) {
    wchar_t name[16];
    if (!GetClassNameW(hwnd, name, 16) || _wcsicmp(name, L"Button") != 0) return false;
    const LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

}  // namespace

void keyboardAsDialog(HWND window) {
    SetPropW(window, kDialogKeys, reinterpret_cast<HANDLE>(1));
}

void setAccelerators(HWND window, HACCEL table) {
    SetPropW(window, kAccelerators, table);
}

bool preTranslate(MSG& message) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && isPushButton(message.hwnd)) {
        if (IsWindowEnabled(message.hwnd)) SendMessageW(message.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (!root) return false;
    if (const auto table = static_cast<HACCEL>(GetPropW(root, kAccelerators));
        table && !isEdit(message.hwnd) && TranslateAcceleratorW(root, table, &message)) {
        return true;
    }
    if (!GetPropW(root, kDialogKeys)) return false;
    // Esc cancels, whatever control has the focus: a multi-line box would keep it to itself.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        SendMessageW(root, WM_COMMAND, IDCANCEL, 0);
        return true;
    }
    return IsDialogMessageW(root, &message);
}

bool handlePendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (!preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

void installEventPump() {
    using Clock = std::chrono::steady_clock;
    static Clock::time_point lastPump = Clock::now();
    static unsigned calls = 0;
    setYieldHook(
        [](void*) {
            if (++calls % 16 != 0 || Clock::now() - lastPump < std::chrono::milliseconds(15)) return;
            handlePendingMessages();
            lastPump = Clock::now();
        },
        nullptr);
}

int runMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        if (!preTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace tavirel
