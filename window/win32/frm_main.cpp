// SPDX-License-Identifier: MIT
#include <windows.h>

#include "frm_main.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <vector>

#include "event_pump.h"
#include "folder_enum.h"
#include "fonts.h"
#include "form_layout.h"
#include "icons.h"
#include "object_window.h"
#include "pictures.h"
#include "preview_window.h"

namespace tavirel {
namespace {

constexpr wchar_t kWindowClass[] = L"TavirelFrmMain";
constexpr wchar_t kFrameOwner[] = L"Tavirel.FrameOwner";
constexpr wchar_t kFrameProc[] = L"Tavirel.FrameProc";

// Control identifiers; the buttons and switches count up from their first by index.
enum : int {
    kIdCmdOpen = 100,
    kIdList1,
    kIdTxtInput,
    kIdTxtStatus,
    kIdFrame1,
    kIdLabel1,
    kIdCmd0 = 110,
    kIdChk0 = 120,
    kIdUndo = 130,  // Ctrl+Z
};

// A text as the system's wide strings, for the call it is passed to: every text here, a string
// or a literal of the form's table, ends in NUL.
const wchar_t* wide(std::u16string_view s) {
    return reinterpret_cast<const wchar_t*>(s.data());
}
std::u16string text(const wchar_t* s, std::size_t n) {
    return {reinterpret_cast<const char16_t*>(s), n};
}

// Points scaled for `dpi`, as a font height in pixels (negative: the character height).
int fontHeight(int hundredthsOfPoints, UINT dpi) {
    return -MulDiv(hundredthsOfPoints, static_cast<int>(dpi), 7200);
}

// Twips scaled for `dpi`: 1440 twips make an inch.
int pixels(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}

HFONT makeFont(const wchar_t* face, int hundredthsOfPoints, bool bold, BYTE charset, UINT dpi) {
    return CreateFontW(fontHeight(hundredthsOfPoints, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

std::u16string browseForFolder(HWND owner, const std::u16string& prompt, const std::u16string& start) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wide(prompt);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    // The picker opens on `start`, when there is one.
    info.lpfn = [](HWND picker, UINT message, LPARAM, LPARAM data) -> int {
        if (message == BFFM_INITIALIZED && data) SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, data);
        return 0;
    };
    info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(wide(start));
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return {};
    std::vector<wchar_t> path(32768);
    const bool ok =
        SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    CoTaskMemFree(chosen);
    return ok ? text(path.data(), std::wcslen(path.data())) : std::u16string();
}

}  // namespace

struct FrmMain::Fonts {
    explicit Fonts(UINT dpi)
        : window(makeFont(chineseFace(), 825, false, GB2312_CHARSET, dpi)),
          sansSerif(makeFont(L"MS Sans Serif", 825, false, ANSI_CHARSET, dpi)),
          status(makeFont(chineseFace(), 975, false, GB2312_CHARSET, dpi)),
          label(makeFont(chineseFace(), 975, true, GB2312_CHARSET, dpi)) {
        // The buttons' captions are Chinese: where MS Sans Serif cannot show them, the Chinese
        // face of the same size does.
        if (!covers(sansSerif, L"打开全选全不选刷新转换退出")) {
            DeleteObject(sansSerif);
            sansSerif = makeFont(chineseFace(), 825, false, GB2312_CHARSET, dpi);
        }
    }
    ~Fonts() {
        for (HFONT f : {window, sansSerif, status, label}) DeleteObject(f);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;
    HFONT window, sansSerif, status, label;
};

FrmMain::FrmMain() : FrmMain(Options{}) {}

FrmMain::FrmMain(Options options)
    : options_(std::move(options)),
      form_(static_cast<FormView&>(*this), files_, static_cast<StatusLine&>(*this),
            static_cast<ExtensionSwitches&>(*this), static_cast<MessageBox&>(*this)) {
    form_.onExit = [this] { close(); };
    if (options_.programFolder.empty()) options_.programFolder = programFolder();
    if (options_.journals) form_.setJournals(*options_.journals);
    if (!options_.folderDialog) options_.folderDialog = browseForFolder;
    if (!options_.openFile) {
        options_.openFile = [](HWND owner, const std::u16string& path) {
            const auto result = reinterpret_cast<INT_PTR>(
                ShellExecuteW(owner, nullptr, wide(path), nullptr, nullptr, SW_SHOWNORMAL));
            return result > 32;
        };
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // The list view and the tips come from the common controls, which register them on request.
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The program file's own icon where it has one; else the same picture, drawn here.
    bigIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (!bigIcon_) bigIcon_ = iconOf(boxImage(GetSystemMetrics(SM_CXICON)));
    if (!smallIcon_) smallIcon_ = iconOf(boxImage(GetSystemMetrics(SM_CXSMICON)));
    pointer_ = iconOf(trianglePointerImage(), true, kPointerHotX, kPointerHotY);
    boxBrush_ = CreateSolidBrush(RGB(0, 64, 0));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = objectWindowProc<FrmMain>;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when a window before registered it

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExW(0, kWindowClass, L"Tavirel", style, CW_USEDEFAULT, CW_USEDEFAULT, 662, 360,
                            nullptr, nullptr, instance, this);
    if (!hwnd_) return;
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    dpi_ = GetDpiForWindow(hwnd_);
    fonts_ = std::make_unique<Fonts>(dpi_);
    keyboardAsDialog(hwnd_);
    ACCEL undo{FCONTROL | FVIRTKEY, 'Z', kIdUndo};
    accelerators_ = CreateAcceleratorTableW(&undo, 1);
    setAccelerators(hwnd_, accelerators_);
    createControls();
    layOut();

    // The client area of 662 × 360 pixels at 96 DPI, centred on the screen.
    RECT frame{0, 0, pixels(form::kWidth, dpi_), pixels(form::kHeight, dpi_)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, 0, dpi_);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    files_.setObserver(this);
}

FrmMain::~FrmMain() {
    files_.setObserver(nullptr);
    form_.requestClose();
    if (hwnd_) {
        options_.quitWhenClosed = false;
        DestroyWindow(hwnd_);
    }
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    if (pointer_) DestroyCursor(pointer_);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    if (boxBrush_) DeleteObject(boxBrush_);
}

void FrmMain::createControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    auto make = [&](const wchar_t* kind, const wchar_t* caption, DWORD style, DWORD exStyle, int id,
                    HWND parent = nullptr) {
        return CreateWindowExW(exStyle, kind, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               parent ? parent : hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               instance, nullptr);
    };
    // Created in tab order, so that Tab walks the controls as the table of the layout does.
    CmdOpen = make(L"BUTTON", wide(form::kOpenCaption), BS_PUSHBUTTON | WS_TABSTOP, 0, kIdCmdOpen);

    List1 =
        make(WC_LISTVIEWW, L"",
             LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
             WS_EX_CLIENTEDGE, kIdList1);
    ListView_SetExtendedListViewStyle(List1, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // The marks live in the sorted list: the view asks for each entry's.
    ListView_SetCallbackMask(List1, LVIS_STATEIMAGEMASK);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ListView_InsertColumn(List1, 0, &column);

    TxtInput =
        make(L"EDIT", wide(form::kInputText), ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdTxtInput);

    for (const int index : form::kCmdTabOrder) {
        Cmd[static_cast<std::size_t>(index)] =
            make(L"BUTTON", wide(form::kCmdCaptions[index]), BS_PUSHBUTTON | WS_TABSTOP, 0, kIdCmd0 + index);
    }

    TxtStatus =
        make(L"EDIT", wide(form::kStatusText), ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kIdTxtStatus);

    for (const int index : form::kSwitchTabOrder) {
        const HWND box = make(L"BUTTON", wide(form::kSwitchCaptions[index]), BS_AUTOCHECKBOX | WS_TABSTOP, 0,
                              kIdChk0 + index);
        Button_SetCheck(box, BST_CHECKED);
        CHK[static_cast<std::size_t>(index)] = box;
    }

    // The frame is the guide's link, last in tab order: Enter or Space opens the guide.
    Frame1 = make(L"STATIC", L"", SS_ETCHEDFRAME | SS_NOTIFY | WS_TABSTOP, 0, kIdFrame1);
    Label1 = make(L"STATIC", wide(form::kGuideCaption), SS_LEFT | SS_NOTIFY, 0, kIdLabel1, Frame1);
    // The label's clicks and colours go to its parent, the frame, which passes them on.
    SetPropW(Frame1, kFrameOwner, reinterpret_cast<HANDLE>(this));
    SetPropW(Frame1, kFrameProc,
             reinterpret_cast<HANDLE>(
                 SetWindowLongPtrW(Frame1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(frameProc))));

    // The label's tip says where the guide is.
    const HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0,
                                     0, 0, hwnd_, nullptr, instance, nullptr);
    const std::u16string guide = guidePath();
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(Label1);
    tool.lpszText = const_cast<wchar_t*>(wide(guide));
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Places every control and gives it its font, for the window's DPI: at start and whenever the
// window moves to a monitor of another DPI.
void FrmMain::layOut() {
    enum class Font { Window, SansSerif, Status, Label };
    struct Place {
        HWND control;
        form::Twips at;
        Font font;
    };
    std::vector<Place> places = {
        {CmdOpen, form::kCmdOpen, Font::SansSerif},   {List1, form::kList1, Font::SansSerif},
        {TxtInput, form::kTxtInput, Font::SansSerif}, {TxtStatus, form::kTxtStatus, Font::Status},
        {Frame1, form::kFrame1, Font::Window},        {Label1, form::kLabel1, Font::Label},
    };
    for (int i = 0; i < 5; ++i)
        places.push_back({Cmd[static_cast<std::size_t>(i)], form::cmdPlace(i), Font::SansSerif});
    for (int i = 0; i < 6; ++i)
        places.push_back({CHK[static_cast<std::size_t>(i)], form::switchPlace(i), Font::Window});

    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->window), FALSE);
    for (const Place& p : places) {
        // Each edge is scaled, so that neighbours stay as close as the twips put them.
        const int left = pixels(p.at.left, dpi_), top = pixels(p.at.top, dpi_);
        MoveWindow(p.control, left, top, pixels(p.at.left + p.at.width, dpi_) - left,
                   pixels(p.at.top + p.at.height, dpi_) - top, TRUE);
        const HFONT font = p.font == Font::SansSerif ? fonts_->sansSerif
                           : p.font == Font::Status  ? fonts_->status
                           : p.font == Font::Label   ? fonts_->label
                                                     : fonts_->window;
        SendMessageW(p.control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    fitColumn();
}

HWND FrmMain::control(std::u16string_view name) const {
    if (name == u"CmdOpen") return CmdOpen;
    if (name == u"List1") return List1;
    if (name == u"TxtInput") return TxtInput;
    if (name == u"TxtStatus") return TxtStatus;
    if (name == u"Frame1") return Frame1;
    if (name == u"Label1") return Label1;
    if (name.size() == 4 && name.substr(0, 3) == u"Cmd" && name[3] >= u'0' && name[3] <= u'4')
        return Cmd[static_cast<std::size_t>(name[3] - u'0')];
    if (name.size() == 4 && name.substr(0, 3) == u"CHK" && name[3] >= u'0' && name[3] <= u'5')
        return CHK[static_cast<std::size_t>(name[3] - u'0')];
    return nullptr;
}

void FrmMain::start(int showCommand) {
    // Shown before the engines exist and before the first scan, which then runs on screen.
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(CmdOpen);
    form_.setRules(options_.rules);
    form_.start(options_.startFolder.value_or(options_.programFolder));
}

std::u16string FrmMain::folderText() const {
    return windowText(TxtInput);
}

void FrmMain::setFolderText(const std::u16string& folder) {
    SetWindowTextW(TxtInput, wide(folder));
}

std::u16string FrmMain::pickFolder(const std::u16string& prompt, const std::u16string& from) {
    return options_.folderDialog(hwnd_, prompt, from);
}

LRESULT CALLBACK FrmMain::frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kFrameProc));
    if (message == WM_ERASEBKGND) {
        // A frame paints only its edge; inside it is the window's face.
        RECT inside;
        GetClientRect(hwnd, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (message == WM_COMMAND || message == WM_CTLCOLORSTATIC) {
        const auto* self = static_cast<FrmMain*>(GetPropW(hwnd, kFrameOwner));
        if (self && self->hwnd_) return SendMessageW(self->hwnd_, message, wParam, lParam);
    }
    if (message == WM_GETDLGCODE) {
        // Enter is the link's own, not the dialog keys' default button.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return DLGC_WANTMESSAGE;
        return CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
    if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_SPACE)) {
        const auto* self = static_cast<FrmMain*>(GetPropW(hwnd, kFrameOwner));
        if (self && self->hwnd_) {
            SendMessageW(self->hwnd_, WM_COMMAND, MAKEWPARAM(kIdFrame1, STN_CLICKED),
                         reinterpret_cast<LPARAM>(hwnd));
        }
        return 0;
    }
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) InvalidateRect(hwnd, nullptr, TRUE);
    if (message == WM_PAINT) {
        // The focus shows as the system's dotted rectangle inside the frame.
        const LRESULT painted = CallWindowProcW(previous, hwnd, message, wParam, lParam);
        if (GetFocus() == hwnd) {
            RECT inside;
            GetClientRect(hwnd, &inside);
            InflateRect(&inside, -3, -3);
            const HDC dc = GetDC(hwnd);
            DrawFocusRect(dc, &inside);
            ReleaseDC(hwnd, dc);
        }
        return painted;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(hwnd, kFrameProc);
        RemovePropW(hwnd, kFrameOwner);
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

LRESULT FrmMain::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == 1 && LOWORD(wParam) == kIdUndo) {
                undoLastRun();  // from the accelerator
            } else if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == STN_CLICKED) {
                onCommand(LOWORD(wParam));
            }
            return 0;
        case WM_NOTIFY: return notify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == List1) {
                POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                int row = -1;
                if (lParam == -1) {
                    // The Menu key or Shift+F10: the focused entry.
                    row = ListView_GetNextItem(List1, -1, LVNI_FOCUSED);
                    RECT item{};
                    if (row >= 0 && ListView_GetItemRect(List1, row, &item, LVIR_LABEL)) {
                        at = {item.left + 16, (item.top + item.bottom) / 2};
                    } else {
                        at = {0, 0};
                    }
                    ClientToScreen(List1, &at);
                } else {
                    LVHITTESTINFO hit{};
                    hit.pt = at;
                    ScreenToClient(List1, &hit.pt);
                    row = ListView_HitTest(List1, &hit);
                }
                showListMenu(at, row);
                return 0;
            }
            break;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == TxtInput || reinterpret_cast<HWND>(lParam) == TxtStatus) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(0, 255, 255));
                SetBkColor(dc, RGB(0, 64, 0));
                return reinterpret_cast<LRESULT>(boxBrush_);
            }
            break;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Label1) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(128, 128, 128));
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_SETCURSOR:
            if ((reinterpret_cast<HWND>(wParam) == Frame1 || reinterpret_cast<HWND>(wParam) == Label1) &&
                LOWORD(lParam) == HTCLIENT && pointer_) {
                SetCursor(pointer_);
                return TRUE;
            }
            break;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            fonts_ = std::make_unique<Fonts>(dpi_);
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            layOut();
            return 0;
        }
        case WM_ACTIVATE:
            // The focus comes back to the control that had it, as in a dialog.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(hwnd_, focus)) focusBeforeDeactivation_ = focus;
            } else if (focusBeforeDeactivation_ && IsWindow(focusBeforeDeactivation_) &&
                       IsWindowEnabled(focusBeforeDeactivation_)) {
                SetFocus(focusBeforeDeactivation_);
            }
            return 0;
        case kSyncView: syncView(); return 0;
        case WM_CLOSE: close(); return 0;
        case WM_ENDSESSION:
            // The session ends: the run stops at its next yield, leaving every file old or whole.
            if (wParam) form_.stop();
            return 0;
        case WM_DESTROY:
            if (options_.quitWhenClosed) PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT FrmMain::notify(const NMHDR& header) {
    if (header.hwndFrom != List1) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
            if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= files_.count()) return 0;
            const auto row = static_cast<std::size_t>(item.iItem);
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
                const std::u16string entry = files_.text(row);
                const std::size_t n = std::min(entry.size(), static_cast<std::size_t>(item.cchTextMax - 1));
                std::copy_n(entry.data(), n, reinterpret_cast<char16_t*>(item.pszText));
                item.pszText[n] = L'\0';
            }
            if (item.mask & LVIF_STATE) {
                item.state = INDEXTOSTATEIMAGEMASK(files_.isMarked(row) ? 2 : 1);
                item.stateMask = LVIS_STATEIMAGEMASK;
            }
            return 0;
        }
        case NM_CLICK:
        case NM_DBLCLK:  // the second click of a double click turns the mark over again
            toggle(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
            return 0;
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_SPACE)
                toggle(ListView_GetNextItem(List1, -1, LVNI_FOCUSED));
            return 0;
        default: return 0;
    }
}

void FrmMain::toggle(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.count()) return;
    files_.setMarked(static_cast<std::size_t>(row), !files_.isMarked(static_cast<std::size_t>(row)));
}

void FrmMain::onCommand(int id) {
    // A click sent to a refused button (BM_CLICK reaches one on some systems) starts nothing.
    const HWND from = GetDlgItem(hwnd_, id);
    if (from && !IsWindowEnabled(from)) return;
    if (id == kIdCmdOpen) {
        form_.open();
    } else if (id == kIdFrame1 || id == kIdLabel1) {
        openLink();
    } else if (id >= kIdCmd0 && id < kIdCmd0 + 5) {
        form_.press(id - kIdCmd0);
    }
}

std::u16string FrmMain::guidePath() const {
    std::u16string path = options_.programFolder;
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    return path + kGuideName;
}

void FrmMain::openLink() {
    const std::u16string guide = guidePath();
    if (options_.openFile(hwnd_, guide)) return;
    // Nothing is registered to open it: at least say where it is.
    const std::u16string message = u"没有能打开用户指南的程序。用户指南在：\n" + guide;
    MessageBoxW(hwnd_, wide(message), L"Tavirel", MB_OK | MB_ICONINFORMATION);
}

void FrmMain::showListMenu(POINT at, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.count()) return;
    const HMENU menu = CreatePopupMenu();
    enum : UINT { kPreview = 1, kSyntax, kLicense, kPattern, kUndo };
    AppendMenuW(menu, MF_STRING, kPreview, L"预览");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    // The rules of the next run: checked entries, refused during a run.
    const bool syntax = form_.rules() == RuleSet::Syntax;
    const UINT live = busy() ? MF_GRAYED : 0;
    const UINT keeping = busy() || !syntax ? MF_GRAYED : 0;
    AppendMenuW(menu, MF_STRING | live | (syntax ? MF_CHECKED : 0), kSyntax,
                wide(FormController::kSyntaxEntry));
    AppendMenuW(menu, MF_STRING | keeping | (form_.keepsLicense() ? MF_CHECKED : 0), kLicense,
                wide(FormController::kLicenseEntry));
    AppendMenuW(menu, MF_STRING | keeping, kPattern, wide(FormController::kPatternEntry));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const std::u16string undo = std::u16string(FormController::kUndoEntry) + u"\tCtrl+Z";
    AppendMenuW(menu, MF_STRING | (form_.canUndo() ? 0 : MF_GRAYED), kUndo, wide(undo));
    const UINT chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    switch (chosen) {
        case kPreview: showPreview(static_cast<std::size_t>(row)); break;
        case kSyntax: form_.setRules(syntax ? RuleSet::Classic : RuleSet::Syntax); break;
        case kLicense: form_.setKeepLicense(!form_.keepsLicense()); break;
        case kPattern: askKeepPattern(); break;
        case kUndo: undoLastRun(); break;
        default: break;
    }
}

void FrmMain::undoLastRun() {
    if (!form_.canUndo()) {
        MessageBeep(MB_OK);
        return;
    }
    form_.undo();
}

bool FrmMain::confirm(const std::u16string& question) {
    if (options_.confirm) return options_.confirm(hwnd_, question);
    return MessageBoxW(hwnd_, wide(question), L"Tavirel", MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

namespace {

// A dialog of a prompt, a line to type in, 确定 and 取消, built in memory: Windows has no stock one.
struct TextPrompt {
    std::u16string prompt;
    std::u16string text;
    HFONT font = nullptr;
};

INT_PTR CALLBACK textPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<TextPrompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            p = reinterpret_cast<TextPrompt*>(lParam);
            // The message font that has the prompt's characters, as the other windows use.
            p->font = messageFont(GetDpiForWindow(dialog), std::wstring(wide(p->prompt)) + L"确定取消");
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(p->font), FALSE);
            SetDlgItemTextW(dialog, 10, wide(p->prompt));
            SetDlgItemTextW(dialog, 11, wide(p->text));
            SendDlgItemMessageW(dialog, 11, EM_SETSEL, 0, -1);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                const HWND edit = GetDlgItem(dialog, 11);
                std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, u'\0');
                GetWindowTextW(edit, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()));
                text.resize(text.size() - 1);
                p->text = std::move(text);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default: break;
    }
    return FALSE;
}

// The text typed, or none on 取消.
std::optional<std::u16string> askText(HWND owner, const std::u16string& prompt, const std::u16string& text) {
    // DLGTEMPLATE and its items, each WORD-aligned, then DWORD-aligned before the next item.
    std::vector<WORD> t;
    auto words = [&](std::initializer_list<WORD> w) { t.insert(t.end(), w); };
    auto dword = [&](DWORD d) { words({LOWORD(d), HIWORD(d)}); };
    auto string = [&](const wchar_t* s) {
        for (; *s; ++s) t.push_back(static_cast<WORD>(*s));
        t.push_back(0);
    };
    auto align = [&] {
        if (t.size() % 2) t.push_back(0);
    };
    dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    dword(0);
    words({4, 0, 0, 280, 70});  // items, x, y, cx, cy in dialog units
    words({0, 0});              // no menu, the standard class
    string(L"Tavirel");
    words({9});
    string(L"Microsoft YaHei UI");
    auto item = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD kind,
                    const wchar_t* caption) {
        align();
        dword(WS_CHILD | WS_VISIBLE | style);
        dword(0);
        words({static_cast<WORD>(x), static_cast<WORD>(y), static_cast<WORD>(cx), static_cast<WORD>(cy), id,
               0xFFFF, kind});
        string(caption);
        words({0});
    };
    item(SS_LEFT, 7, 7, 266, 18, 10, 0x0082, L"");
    item(WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 27, 266, 13, 11, 0x0081, L"");
    item(BS_DEFPUSHBUTTON | WS_TABSTOP, 162, 48, 53, 15, IDOK, 0x0080, L"确定");
    item(BS_PUSHBUTTON | WS_TABSTOP, 220, 48, 53, 15, IDCANCEL, 0x0080, L"取消");
    TextPrompt p{prompt, text};
    const INT_PTR answer =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), owner,
                                textPromptProc, reinterpret_cast<LPARAM>(&p));
    if (p.font) DeleteObject(p.font);
    if (answer != IDOK) return std::nullopt;
    return p.text;
}

}  // namespace

void FrmMain::askKeepPattern() {
    std::u16string text = form_.keepPattern();
    for (;;) {
        const std::optional<std::u16string> typed = askText(hwnd_, FormController::kPatternPrompt, text);
        if (!typed || form_.setKeepPattern(*typed)) return;
        text = *typed;
        MessageBoxW(hwnd_, wide(FormController::kBadPattern + text), L"Tavirel", MB_OK | MB_ICONWARNING);
    }
}

void FrmMain::showPreview(std::size_t row) {
    if (row >= files_.count()) return;
    // Not modal: a run under way goes on while the preview is open, and the preview keeps
    // nothing of the list.
    openPreview(hwnd_, files_.text(row), form_.conversionOptions());
}

// A run under way refuses the buttons that would start another one; marks, "退出" and the
// window's close stay live. A nested conversion would convert files twice.
void FrmMain::showBusy(bool busy) {
    const std::array<HWND, 5> refused = {Cmd[kSelectAll], Cmd[kSelectNone], Cmd[kRefresh], Cmd[kConvert],
                                         CmdOpen};
    const HWND focus = GetFocus();
    const bool hadFocus = std::find(refused.begin(), refused.end(), focus) != refused.end();
    if (busy) {
        focusBeforeRun_ = hadFocus ? focus : nullptr;
        // The focus waits on the list, where a key does no harm: left to the system it would
        // go nowhere, or to 退出, which a Space would press.
        if (hadFocus) SetFocus(List1);
    }
    for (HWND w : refused) EnableWindow(w, !busy);
    if (!busy) syncView();
    if (!busy && focusBeforeRun_) {
        SetFocus(focusBeforeRun_);
        focusBeforeRun_ = nullptr;
    }
}

void FrmMain::closeSoon() {
    if (hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void FrmMain::close() {
    if (form_.requestClose() && hwnd_) DestroyWindow(hwnd_);
}

std::u16string FrmMain::GetOpenFileName() {
    // Each filter: the description the tool has always had, then its pattern.
    static const wchar_t filter[] =
        L"所有文件 (*.*)\0*.*\0C语言文件(*.C)\0*.c\0汇编语言文件(*.asm)\0*.asm\0义隆汇编文件(*.dt)\0*.dt\0";
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = wide(options_.programFolder);
    dialog.lpstrTitle = L"打开";
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (::GetOpenFileNameW(&dialog)) lastOpenFileName_ = text(file.data(), std::wcslen(file.data()));
    return lastOpenFileName_;
}

std::u16string FrmMain::windowText(HWND control) const {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1);
    const int n = GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
    return text(buffer.data(), static_cast<std::size_t>(std::max(n, 0)));
}

void FrmMain::setText(const std::u16string& line) {
    SetWindowTextW(TxtStatus, wide(line));
}

bool FrmMain::isOn(int index) const {
    return Button_GetCheck(CHK[static_cast<std::size_t>(index)]) == BST_CHECKED;
}

void FrmMain::showMessage(const std::u16string& message, const std::u16string& details) {
    if (options_.messages) {
        options_.messages->showMessage(message, details);
        return;
    }
    // The file and the reason under the message: a message box has no place of its own for them.
    const std::u16string shown = details.empty() ? message : message + u"\n\n" + details;
    MessageBoxW(hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr, wide(shown), L"Tavirel", MB_OK);
}

void FrmMain::aboutToInsert(std::size_t row) {
    insertedRow_ = row;
}

void FrmMain::inserted() {
    // The view learns the new count when the messages are next handled, or when the run ends:
    // once per burst of a scan, which may add a hundred thousand entries.
    if (!viewPosted_ && hwnd_) viewPosted_ = PostMessageW(hwnd_, kSyncView, 0, 0) != 0;
    if (insertedRow_ < files_.count()) {
        std::u16string entry = files_.text(insertedRow_);
        if (entry.size() > longest_.size()) {
            longest_ = std::move(entry);
            fitColumn();
        }
    }
}

void FrmMain::aboutToClear() {}

void FrmMain::syncView() {
    viewPosted_ = false;
    ListView_SetItemCountEx(List1, static_cast<int>(files_.count()),
                            LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    fitColumn();  // the rows may have brought or taken the vertical scroll bar
    InvalidateRect(List1, nullptr, FALSE);
}

void FrmMain::cleared() {
    ListView_SetItemCountEx(List1, 0, 0);
    longest_.clear();
    fitColumn();
}

void FrmMain::markChanged(std::size_t) {
    // Repainted with the rest of the view: a select-all turns a hundred thousand marks.
    if (!viewPosted_ && hwnd_) viewPosted_ = PostMessageW(hwnd_, kSyncView, 0, 0) != 0;
}

// The one column is as wide as the list, or as the longest path when that is wider, so that a
// long path scrolls into view instead of being cut. The list's width is taken without the
// vertical scroll bar its rows need, or a column as wide as the list would bring a horizontal one.
void FrmMain::fitColumn() {
    if (!List1) return;
    RECT client{};
    GetClientRect(List1, &client);
    int width = client.right - client.left;
    const bool barShown = (GetWindowLongPtrW(List1, GWL_STYLE) & WS_VSCROLL) != 0;
    if (!barShown && ListView_GetItemCount(List1) > ListView_GetCountPerPage(List1))
        width -= GetSystemMetricsForDpi(SM_CXVSCROLL, dpi_);
    if (!longest_.empty())
        width = std::max(width, ListView_GetStringWidth(List1, wide(longest_)) + pixels(600, dpi_));
    ListView_SetColumnWidth(List1, 0, width);
}

}  // namespace tavirel
