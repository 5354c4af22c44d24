// SPDX-License-Identifier: MIT
#include <windows.h>

#include "preview_window.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "code_page.h"
#include "errors.h"
#include "event_pump.h"
#include "file_preview.h"
#include "fonts.h"
#include "object_window.h"

namespace tavirel {
namespace {

constexpr wchar_t kWindowClass[] = L"TavirelPreview";
enum : int { kIdInfo = 100, kIdText, kIdWarnings, kIdSyntax };

const wchar_t* wide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// Text as RTF: the characters RTF reserves escaped, everything beyond ASCII by its code unit.
void appendRtf(std::string& out, std::u16string_view text) {
    for (const char16_t c : text) {
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += '?';  // a control character shows as what it is not: a mark
        } else if (isReservedUnit(c)) {
            out += "\\u-3?";  // a byte that does not decode: U+FFFD, one for one
        } else {
            out += "\\u" + std::to_string(static_cast<std::int16_t>(c)) + '?';
        }
    }
}

class PreviewWindow {
public:
    PreviewWindow(HWND owner, const std::u16string& path, const ConversionOptions& options);

    HWND hwnd = nullptr;

private:
    friend LRESULT CALLBACK tavirel::objectWindowProc<PreviewWindow>(HWND, UINT, WPARAM, LPARAM);
    void attached(HWND window) { hwnd = window; }
    // The window owns its object: it goes with the window.
    void detached() {
        if (font_) DeleteObject(font_);
        delete this;
    }
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void fill();
    static std::string colourTable();
    std::string linesAsRtf(const FilePreview& preview);
    void streamIn(const std::string& rtf);
    void layOut();
    void showLine(std::size_t line);
    int scaled(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }

    UINT dpi_ = 96;
    HFONT font_ = nullptr;
    std::u16string path_;
    ConversionOptions options_;
    HWND syntax_ = nullptr, info_ = nullptr, text_ = nullptr, warnings_ = nullptr, close_ = nullptr;
    bool hasWarnings_ = false;
    std::map<std::size_t, int> paragraphOfLine_;  // the file's line to the first line showing it
};

PreviewWindow::PreviewWindow(HWND owner, const std::u16string& path, const ConversionOptions& options)
    : path_(path), options_(options) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // The rich edit control lives in a library of its own.
    static const bool richEdit = LoadLibraryW(L"Msftedit.dll") != nullptr;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = objectWindowProc<PreviewWindow>;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);

    dpi_ = owner ? GetDpiForWindow(owner) : 96;
    const std::u16string title = u"预览 - " + path;
    hwnd = CreateWindowExW(0, kWindowClass, wide(title), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                           CW_USEDEFAULT, scaled(760), scaled(560), owner, nullptr, instance, this);
    if (!hwnd) return;
    font_ = messageFont(dpi_, L"预览关闭行列种类说明代码页无法读取按语法删除注释");

    auto make = [&](const wchar_t* kind, const wchar_t* caption, DWORD style, DWORD exStyle, int id) {
        const HWND control =
            CreateWindowExW(exStyle, kind, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return control;
    };
    syntax_ = make(L"BUTTON", L"按语法删除注释(&S)", BS_AUTOCHECKBOX | WS_TABSTOP, 0, kIdSyntax);
    SendMessageW(syntax_, BM_SETCHECK, options_.rules == RuleSet::Syntax ? BST_CHECKED : BST_UNCHECKED, 0);
    info_ = make(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 0, kIdInfo);
    text_ = make(richEdit ? MSFTEDIT_CLASS : L"EDIT", L"",
                 ES_MULTILINE | ES_READONLY | ES_NOHIDESEL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                     WS_HSCROLL | WS_TABSTOP,
                 WS_EX_CLIENTEDGE, kIdText);
    SendMessageW(text_, EM_SETTARGETDEVICE, 0, 1);  // no wrapping: a line of the file is a line here
    // The warnings as a compiler's problem list: where, what kind, what the rules do there.
    warnings_ = make(WC_LISTVIEWW, L"", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                     WS_EX_CLIENTEDGE, kIdWarnings);
    ListView_SetExtendedListViewStyle(warnings_, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    const wchar_t* const headings[4] = {L"行", L"列", L"种类", L"说明"};
    const int widths[4] = {50, 40, 140, 480};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(headings[i]);
        column.cx = scaled(widths[i]);
        ListView_InsertColumn(warnings_, i, &column);
    }
    close_ = make(L"BUTTON", L"关闭", BS_PUSHBUTTON | WS_TABSTOP, 0, IDCANCEL);
    keyboardAsDialog(hwnd);

    fill();
    layOut();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetFocus(text_);
}

void PreviewWindow::fill() {
    ListView_DeleteAllItems(warnings_);
    paragraphOfLine_.clear();
    hasWarnings_ = false;
    SetWindowTextW(text_, L"");
    FilePreview preview;
    try {
        preview = previewFile(path_, options_);
    } catch (const FileError& e) {
        std::u16string message = u"无法读取这个文件：";
        message.append(e.reason().begin(), e.reason().end());  // ASCII
        SetWindowTextW(info_, wide(message));
        return;
    }
    const std::u16string why = verdictOf(preview);
    SetWindowTextW(info_, wide(why.empty() ? describeFile(preview) : describeFile(preview) + u"\r\n" + why));

    // The whole file as a diff: removed lines on red with what the rules take out struck through,
    // the lines they become on green, the numbers of the file's lines in grey; every line left to
    // right, whatever letters it holds. The pale colours carry dark text of their own, whatever
    // the theme's text colour; a high-contrast theme gets its own colours instead, what the rules
    // take out shown as selected text.
    const std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fmodern Consolas;}}" + colourTable() +
                            "\\f0\\fs18\\ltrpar " + linesAsRtf(preview) + '}';
    streamIn(rtf);
    SendMessageW(text_, EM_SETSEL, 0, 0);

    int row = 0;
    for (const Warning& w : preview.warnings) {
        const std::string_view kind = kindName(w.kind);
        const std::wstring cells[4] = {std::to_wstring(w.line), std::to_wstring(w.column),
                                       std::wstring(kind.begin(), kind.end()),
                                       std::wstring(w.text.begin(), w.text.end())};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(cells[0].c_str());
        item.lParam = static_cast<LPARAM>(w.line);
        ListView_InsertItem(warnings_, &item);
        for (int column = 1; column < 4; ++column)
            ListView_SetItemText(warnings_, row, column, const_cast<wchar_t*>(cells[column].c_str()));
        ++row;
    }
    hasWarnings_ = row > 0;
    // The explanation column as wide as its longest sentence; the list scrolls to it.
    if (hasWarnings_) ListView_SetColumnWidth(warnings_, 3, LVSCW_AUTOSIZE);
}

// The colours of the diff: 1 the line numbers, 2 a removed line, 3 what the rules take out, 4 an
// added line, 5 the text on 2 and 4, 6 the text on 3.
std::string PreviewWindow::colourTable() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    const bool high = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                      (contrast.dwFlags & HCF_HIGHCONTRASTON);
    const COLORREF normal[6] = {RGB(128, 128, 128), RGB(255, 236, 236), RGB(248, 160, 160),
                                RGB(230, 255, 230), RGB(0, 0, 0),       RGB(0, 0, 0)};
    const COLORREF system[6] = {GetSysColor(COLOR_GRAYTEXT),   GetSysColor(COLOR_WINDOW),
                                GetSysColor(COLOR_HIGHLIGHT),  GetSysColor(COLOR_WINDOW),
                                GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_HIGHLIGHTTEXT)};
    std::string table = "{\\colortbl ;";
    for (const COLORREF c : high ? system : normal) {
        table += "\\red" + std::to_string(GetRValue(c)) + "\\green" + std::to_string(GetGValue(c)) +
                 "\\blue" + std::to_string(GetBValue(c)) + ';';
    }
    return table + '}';
}

std::string PreviewWindow::linesAsRtf(const FilePreview& preview) {
    std::string rtf;
    int paragraph = 0;
    for (const PreviewLine& line : preview.lines) {
        if (paragraph > 0) rtf += "\\par\n";
        if (line.oldLine != 0) paragraphOfLine_.emplace(line.oldLine, paragraph);
        ++paragraph;
        const char mark = line.kind == PreviewLine::Kind::Same      ? ' '
                          : line.kind == PreviewLine::Kind::Removed ? '-'
                                                                    : '+';
        std::string number = line.oldLine ? std::to_string(line.oldLine) : std::string();
        rtf += "{\\cf1 " + std::string(number.size() < 6 ? 6 - number.size() : 0, ' ') + number + ' ' + mark +
               " }";
        const std::u16string_view text = line.text;
        if (line.kind == PreviewLine::Kind::Same) {
            appendRtf(rtf, text);
            continue;
        }
        if (line.kind == PreviewLine::Kind::Added) {
            rtf += "{\\highlight4\\cf5 ";
            appendRtf(rtf, text);
            rtf += '}';
            continue;
        }
        std::size_t at = 0;
        for (const auto& [start, end] : line.removed) {
            rtf += "{\\highlight2\\cf5 ";
            appendRtf(rtf, text.substr(at, start - at));
            rtf += "}{\\highlight3\\cf6\\strike ";
            appendRtf(rtf, text.substr(start, end - start));
            rtf += '}';
            at = end;
        }
        rtf += "{\\highlight2\\cf5 ";
        appendRtf(rtf, text.substr(at));
        rtf += '}';
    }
    return rtf;
}

void PreviewWindow::streamIn(const std::string& rtf) {
    struct Source {
        const std::string& bytes;
        std::size_t at = 0;
    } source{rtf};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = [](DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) -> DWORD {
        auto& s = *reinterpret_cast<Source*>(cookie);
        const std::size_t n = std::min(static_cast<std::size_t>(wanted), s.bytes.size() - s.at);
        std::copy_n(s.bytes.data() + s.at, n, buffer);
        s.at += n;
        *given = static_cast<LONG>(n);
        return 0;
    };
    SendMessageW(text_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

void PreviewWindow::layOut() {
    RECT client;
    GetClientRect(hwnd, &client);
    const int margin = scaled(8), infoHeight = scaled(36), buttonWidth = scaled(88),
              buttonHeight = scaled(26);
    const int width = client.right - 2 * margin;
    const int bottom = client.bottom - margin - buttonHeight;
    int top = margin;
    MoveWindow(syntax_, margin, top, width, buttonHeight, TRUE);
    top += buttonHeight;
    MoveWindow(info_, margin, top, width, infoHeight, TRUE);
    top += infoHeight + margin;
    const int space = std::max(0, bottom - margin - top);
    const int warningsHeight = hasWarnings_ ? space / 5 : 0;
    ShowWindow(warnings_, hasWarnings_ ? SW_SHOW : SW_HIDE);
    MoveWindow(text_, margin, top, width, space - (hasWarnings_ ? warningsHeight + margin : 0), TRUE);
    if (hasWarnings_)
        MoveWindow(warnings_, margin, bottom - margin - warningsHeight, width, warningsHeight, TRUE);
    MoveWindow(close_, client.right - margin - buttonWidth, bottom, buttonWidth, buttonHeight, TRUE);
}

void PreviewWindow::showLine(std::size_t line) {
    const auto it = paragraphOfLine_.lower_bound(line);
    if (it == paragraphOfLine_.end()) return;
    const auto at =
        static_cast<WPARAM>(SendMessageW(text_, EM_LINEINDEX, static_cast<WPARAM>(it->second), 0));
    SendMessageW(text_, EM_SETSEL, at, static_cast<LPARAM>(at));
    // The line in the middle of the view, where the eye looks first.
    RECT view;
    GetClientRect(text_, &view);
    const int first = static_cast<int>(SendMessageW(text_, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int lineHeight = std::max(1, scaled(15));
    SendMessageW(text_, EM_LINESCROLL, 0, it->second - first - (view.bottom / lineHeight) / 2);
}

LRESULT PreviewWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (info_) layOut();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) DestroyWindow(hwnd);
            if (LOWORD(wParam) == kIdSyntax && HIWORD(wParam) == BN_CLICKED) {
                // The other rules' result for the same file.
                const bool on = SendMessageW(syntax_, BM_GETCHECK, 0, 0) == BST_CHECKED;
                options_.rules = on ? RuleSet::Syntax : RuleSet::Classic;
                fill();
                layOut();
            }
            return 0;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            if (header.hwndFrom == warnings_ && header.code == LVN_ITEMCHANGED) {
                const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
                if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED))
                    showLine(static_cast<std::size_t>(change.lParam));
            }
            return 0;
        }
        default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

HWND openPreview(HWND owner, const std::u16string& path, const ConversionOptions& options) {
    auto* preview = new PreviewWindow(owner, path, options);
    if (!preview->hwnd) {
        delete preview;
        return nullptr;
    }
    return preview->hwnd;
}

}  // namespace tavirel
