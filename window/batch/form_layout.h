// SPDX-License-Identifier: MIT
// The main form as both windows build it, free of any toolkit: each control's place in twips, its
// caption and the order in which Tab walks the controls. 15 twips make a pixel at 96 DPI.
#pragma once

#include <string_view>

namespace tavirel::form {

struct Twips {
    int left, top, width, height;
};

/// The client area.
inline constexpr int kWidth = 9930, kHeight = 5400;

inline constexpr Twips kCmdOpen{120, 3960, 855, 375};
inline constexpr Twips kList1{120, 120, 8175, 3660};
inline constexpr Twips kTxtInput{1200, 3960, 8535, 375};
inline constexpr Twips kTxtStatus{120, 4440, 9615, 360};
inline constexpr Twips kFrame1{7920, 4800, 1815, 495};
inline constexpr Twips kLabel1{300, 180, 1335, 255};  // inside Frame1

/// The buttons Cmd(0) to Cmd(4): 全选, 全不选, 刷新, 转换, 退出.
inline constexpr std::u16string_view kCmdCaptions[5] = {u"全选", u"全不选", u"刷新", u"转换", u"退出"};
inline constexpr Twips cmdPlace(int index) {
    constexpr int tops[5] = {120, 840, 1560, 2280, 3000};
    return {8520, tops[index], 1215, 735};
}
/// The order they are made in, which is the order Tab takes: 刷新 comes after 退出.
inline constexpr int kCmdTabOrder[5] = {0, 1, 3, 4, 2};

/// The switches CHK(0) to CHK(5), one per language key, in the keys' order.
inline constexpr std::u16string_view kSwitchCaptions[6] = {u"C", u"CPP", u"H", u"asm", u"dt", u"inc"};
inline constexpr Twips switchPlace(int index) {
    constexpr int lefts[6] = {240, 1605, 2970, 4350, 5715, 7080};
    return {lefts[index], 4800, 615, 495};
}
inline constexpr int kSwitchTabOrder[6] = {5, 4, 1, 3, 2, 0};

inline constexpr std::u16string_view kOpenCaption = u"打开";
inline constexpr std::u16string_view kGuideCaption = u"用户指南";
/// What the path box and the status line hold before anything is shown.
inline constexpr std::u16string_view kInputText = u"转换路径：";
inline constexpr std::u16string_view kStatusText = u"Text1";

}  // namespace tavirel::form
