// SPDX-License-Identifier: MIT
// The Windows window, a real one (under wine and Xvfb in the tests): start-up, buttons, keys and
// clicks, the picker, the system's own dialogs, a run's busy state and failure, close during a
// run, the preview. Controls are found by their names and driven with the system's messages.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <richedit.h>
#include <windowsx.h>

#include <functional>
#include <vector>

#include "event_pump.h"
#include "event_yield.h"
#include "frm_main.h"
#include "test_support.h"

namespace tavirel {
namespace {

using testing::readBytes;
using testing::T;
using testing::U8;
using testing::writeBytes;

struct RecordingMessages : MessageBox {
    void showMessage(const std::u16string& text, const std::u16string& detail) override {
        texts.push_back(U8(text));
        details.push_back(U8(detail));
    }
    std::vector<std::string> texts, details;
};

std::string textOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return U8(std::u16string(text.begin(), text.end()));
}

// Runs `action` on the window the next modal loop of this thread shows (a message box, a
// dialog, a menu), found by its class and, where given, its title.
class WhenShown {
public:
    WhenShown(const wchar_t* windowClass, const wchar_t* title, std::function<void(HWND)> action) {
        pending() = {windowClass, title, std::move(action)};
        timer_ = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
            Pending& p = pending();
            if (!p.action) return;
            if (const HWND shown = FindWindowW(p.windowClass, p.title)) {
                auto action = std::move(p.action);
                p.action = nullptr;
                action(shown);
            }
        });
    }
    ~WhenShown() {
        KillTimer(nullptr, timer_);
        pending().action = nullptr;
    }

private:
    struct Pending {
        const wchar_t* windowClass;
        const wchar_t* title;
        std::function<void(HWND)> action;
    };
    static Pending& pending() {
        static Pending p;
        return p;
    }
    UINT_PTR timer_;
};

class FrmMainWin32Test : public testing::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        folder = dir_.u16string();
        options.programFolder = folder;
        options.messages = &messages;
        options.quitWhenClosed = false;
        options.folderDialog = [this](HWND owner, const std::u16string& prompt, const std::u16string& start) {
            dialogOwner = owner;
            dialogPrompt = U8(prompt);
            dialogStart = start;
            return dialogAnswer;
        };
        options.openFile = [this](HWND, const std::u16string& path) {
            opened.push_back(path);
            return openSucceeds;
        };
        installEventPump();
    }
    void TearDown() override {
        window.reset();
        setYieldHook(nullptr, nullptr);
        TempDirTest::TearDown();
    }
    void startWindow() {
        window = std::make_unique<FrmMain>(options);
        ASSERT_NE(nullptr, window->handle());
        window->start();
        handlePendingMessages();
    }
    HWND control(std::u16string_view name) const { return window->control(name); }
    HWND cmd(int index) const {
        return control(u"Cmd" + std::u16string(1, static_cast<char16_t>(u'0' + index)));
    }
    HWND chk(int index) const {
        return control(u"CHK" + std::u16string(1, static_cast<char16_t>(u'0' + index)));
    }
    void click(HWND button) const { SendMessageW(button, BM_CLICK, 0, 0); }
    std::string status() const { return textOf(control(u"TxtStatus")); }
    int rowCount() const { return ListView_GetItemCount(control(u"List1")); }
    std::string row(int i) const {
        wchar_t text[1024] = {};
        ListView_GetItemText(control(u"List1"), i, 0, text, 1024);
        return U8(std::u16string(text, text + std::wcslen(text)));
    }
    bool marked(int i) const {
        return (ListView_GetItemState(control(u"List1"), i, LVIS_STATEIMAGEMASK) >> 12) == 2;
    }
    std::string pathOf(std::string_view name) const { return path(name).string(); }

    std::u16string folder;
    FrmMain::Options options;
    RecordingMessages messages;
    HWND dialogOwner = nullptr;
    std::string dialogPrompt;
    std::u16string dialogStart, dialogAnswer;
    std::vector<std::u16string> opened;
    bool openSucceeds = true;
    std::unique_ptr<FrmMain> window;
};

TEST_F(FrmMainWin32Test, StartsOnTheProgramFolderWithEverythingFoundAndMarkedLaidOutInTwips) {
    writeBytes(path("B.c"), "x");
    writeBytes(path("a.h"), "x");
    writeBytes(path("n.txt"), "x");
    startWindow();
    const HWND hwnd = window->handle();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ("Tavirel", textOf(hwnd));
    EXPECT_EQ(dir_.string(), textOf(control(u"TxtInput")));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(BST_CHECKED, Button_GetCheck(chk(i))) << i;
    // Found "c" first, but a.h sorts before B.c with letter case ignored.
    ASSERT_EQ(2, rowCount());
    EXPECT_EQ(pathOf("a.h"), row(0));
    EXPECT_EQ(pathOf("B.c"), row(1));
    EXPECT_TRUE(marked(0) && marked(1));
    EXPECT_EQ("共选中:2个文件", status());
    EXPECT_EQ(control(u"CmdOpen"), GetFocus());  // the focus starts on the first in tab order

    // 15 twips to the pixel at 96 DPI: the client area, a button of the column, the label in
    // its frame. The buttons overlap by a pixel.
    const int scale = static_cast<int>(window->dpi());
    auto px = [scale](int twips) { return MulDiv(twips, scale, 1440); };
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(px(9930), client.right);
    EXPECT_EQ(px(5400), client.bottom);
    auto placeOf = [](HWND control) {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT convert = placeOf(cmd(FrmMain::kConvert)), exit = placeOf(cmd(FrmMain::kExit));
    EXPECT_EQ(px(8520), convert.left);
    EXPECT_EQ(px(2280), convert.top);
    EXPECT_EQ(px(8520 + 1215), convert.right);
    EXPECT_EQ(1, convert.bottom - exit.top);
    const RECT label = placeOf(control(u"Label1"));
    EXPECT_EQ(control(u"Frame1"), GetParent(control(u"Label1")));
    EXPECT_EQ(px(300), label.left);
    EXPECT_EQ(px(180), label.top);
    // Tab walks the controls in the layout's order: 刷新 after 退出, the guide's frame last, where
    // Enter and Space open the guide.
    EXPECT_EQ(cmd(FrmMain::kRefresh), GetNextDlgTabItem(hwnd, cmd(FrmMain::kExit), FALSE));
    const HWND frame = control(u"Frame1");
    EXPECT_EQ(frame, GetNextDlgTabItem(hwnd, chk(0), FALSE));
    SetFocus(frame);
    MSG enter{frame, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    if (!preTranslate(enter)) {
        TranslateMessage(&enter);
        DispatchMessageW(&enter);
    }
    SendMessageW(frame, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(2u, opened.size());
}

// Ctrl+Z, the window's accelerator, puts back the last run after one question; the folder box
// keeps Ctrl+Z for its own undo.
TEST_F(FrmMainWin32Test, CtrlZUndoesTheLastRunButInTheFolderBox) {
    writeBytes(path("a.c"), "a; // b\r\n");
    std::vector<std::string> asked;
    options.confirm = [&asked](HWND, const std::u16string& question) {
        asked.push_back(U8(question));
        return true;
    };
    startWindow();
    click(cmd(FrmMain::kConvert));
    ASSERT_EQ("a; \r\n", readBytes(path("a.c")));
    auto ctrlZ = [](HWND to) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        MSG z{to, WM_KEYDOWN, 'Z', 0, 0, {}};
        if (!preTranslate(z)) {
            TranslateMessage(&z);
            DispatchMessageW(&z);
        }
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    };
    ctrlZ(control(u"TxtInput"));
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ("a; \r\n", readBytes(path("a.c")));
    ctrlZ(control(u"List1"));
    EXPECT_EQ(std::vector<std::string>{"撤销上次转换：将恢复 1 个文件。确定吗？"}, asked);
    EXPECT_EQ("a; // b\r\n", readBytes(path("a.c")));
    EXPECT_EQ("已恢复 1 个文件", status());
}

TEST_F(FrmMainWin32Test, AFolderGivenToTheProgramIsWhereItStarts) {
    std::filesystem::create_directories(path("given"));
    writeBytes(path("given/g.asm"), "x");
    writeBytes(path("top.c"), "x");
    options.startFolder = folder + u"\\given";
    startWindow();
    EXPECT_EQ(pathOf("given"), textOf(control(u"TxtInput")));
    ASSERT_EQ(1, rowCount());
    EXPECT_EQ(pathOf("given/g.asm"), row(0));
}

TEST_F(FrmMainWin32Test, ManyShortPathsScrollDownButNeverAcross) {
    for (int i = 0; i < 80; ++i) writeBytes(path(std::to_string(i) + ".c"), "x");
    startWindow();
    handlePendingMessages();
    const LONG_PTR style = GetWindowLongPtrW(control(u"List1"), GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
}

TEST_F(FrmMainWin32Test, ButtonsKeysAndClicksDriveTheBatch) {
    for (const char* f : {"1.c", "2.c", "3.c"}) writeBytes(path(f), "a; // b\r\n");
    writeBytes(path("4.asm"), "mov a ; b\n");
    startWindow();
    const HWND list = control(u"List1");

    // A click anywhere on an entry turns its mark over; so does Space on the focused entry.
    RECT item;
    ListView_GetItemRect(list, 1, &item, LVIR_BOUNDS);
    const LPARAM at = MAKELPARAM(item.left + 120, (item.top + item.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    handlePendingMessages();
    EXPECT_TRUE(marked(0));
    EXPECT_FALSE(marked(1));
    ListView_SetItemState(list, 2, LVIS_FOCUSED, LVIS_FOCUSED);
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_FALSE(marked(2));
    EXPECT_TRUE(marked(3));

    // Enter presses a focused button as Space does.
    SetFocus(cmd(FrmMain::kSelectNone));
    MSG enter{cmd(FrmMain::kSelectNone), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(preTranslate(enter));
    EXPECT_FALSE(marked(0) || marked(1) || marked(2) || marked(3));
    EXPECT_EQ("共选中:0个文件", status());
    click(cmd(FrmMain::kSelectAll));
    EXPECT_EQ("共选中:4个文件", status());

    click(cmd(FrmMain::kConvert));
    EXPECT_EQ("转换完毕！", status());
    EXPECT_EQ("a; \r\n", readBytes(path("2.c")));
    EXPECT_EQ("mov a \n", readBytes(path("4.asm")));  // an LF file stays LF

    SetWindowTextW(control(u"TxtInput"), L"");
    click(cmd(FrmMain::kRefresh));  // an empty box: the list emptied, the status kept
    EXPECT_EQ(0, rowCount());
    EXPECT_EQ("转换完毕！", status());

    SetWindowTextW(control(u"TxtInput"), reinterpret_cast<const wchar_t*>(folder.c_str()));
    for (int i : {0, 1, 2, 4, 5}) click(chk(i));
    EXPECT_EQ(BST_UNCHECKED, Button_GetCheck(chk(0)));
    click(cmd(FrmMain::kRefresh));
    ASSERT_EQ(1, rowCount());
    EXPECT_EQ(pathOf("4.asm"), row(0));

    click(cmd(FrmMain::kExit));  // no question asked
    EXPECT_EQ(nullptr, window->handle());
    EXPECT_FALSE(window->hasEngines());
}

TEST_F(FrmMainWin32Test, ThePickerOpensOnTheBoxsFolderAndACancelChangesNothing) {
    std::filesystem::create_directories(path("sub"));
    writeBytes(path("sub/s.c"), "x");
    writeBytes(path("t.c"), "x");
    startWindow();
    dialogAnswer = u"";
    click(control(u"CmdOpen"));
    EXPECT_EQ("请选择目录", dialogPrompt);
    EXPECT_EQ(window->handle(), dialogOwner);
    EXPECT_EQ(folder, dialogStart);
    EXPECT_EQ(2, rowCount());
    EXPECT_EQ("共选中:2个文件", status());

    dialogAnswer = folder + u"\\sub\\";
    click(control(u"CmdOpen"));
    EXPECT_EQ(pathOf("sub"), textOf(control(u"TxtInput")));
    ASSERT_EQ(1, rowCount());
    EXPECT_EQ("共选中:1个文件", status());
}

TEST_F(FrmMainWin32Test, TheSystemsDialogsShowTheToolsTexts) {
    writeBytes(path("a.c"), "x");
    startWindow();
    // The file dialog: its title, its folder and its four filters; a cancel gives the empty text.
    std::vector<std::string> filters;
    {
        WhenShown dialog(L"#32770", L"打开", [&](HWND shown) {
            const HWND types = GetDlgItem(shown, 0x470);  // the file type box
            for (int i = 0; i < ComboBox_GetCount(types); ++i) {
                wchar_t text[256] = {};
                ComboBox_GetLBText(types, i, text);
                filters.push_back(U8(std::u16string(text, text + std::wcslen(text))));
            }
            PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(u"", window->GetOpenFileName());
    }
    EXPECT_EQ((std::vector<std::string>{"所有文件 (*.*)", "C语言文件(*.C)", "汇编语言文件(*.asm)",
                                        "义隆汇编文件(*.dt)"}),
              filters);

    // The link opens the guide beside the program; where nothing can, a message says where it is.
    const HWND label = control(u"Label1");
    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(folder + u"\\guide.html", opened[0]);
    openSucceeds = false;
    std::string said;
    {
        WhenShown box(L"#32770", L"Tavirel", [&](HWND shown) {
            said = textOf(GetDlgItem(shown, 0xFFFF));
            PostMessageW(shown, WM_COMMAND, IDOK, 0);
        });
        SendMessageW(window->handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control(u"Frame1")), STN_CLICKED),
                     reinterpret_cast<LPARAM>(control(u"Frame1")));
    }
    EXPECT_NE(std::string::npos, said.find(pathOf("guide.html"))) << said;
}

TEST_F(FrmMainWin32Test, ARunRefusesOtherRunsKeepsTheFocusHarmlessAndAFailureShowsItsCause) {
    for (int i = 0; i < 40; ++i) writeBytes(path("f" + std::to_string(100 + i) + ".c"), "a; // b\r\n");
    writeBytes(path("z.c"), "z; // z\r\n");
    testing::makeReadOnly(path("z.c"));
    startWindow();
    const HWND convert = cmd(FrmMain::kConvert);
    SetFocus(convert);
    bool refusedDuringRun = false, focusOnList = false;
    int yields = 0;
    {
        ScopedYieldHook hook([&] {
            if (++yields > 3) return;
            refusedDuringRun = !IsWindowEnabled(convert) && !IsWindowEnabled(control(u"CmdOpen")) &&
                               IsWindowEnabled(cmd(FrmMain::kExit));
            focusOnList = GetFocus() == control(u"List1");
            // A click on a refused button starts nothing inside the run.
            SendMessageW(cmd(FrmMain::kRefresh), BM_CLICK, 0, 0);
        });
        click(convert);
    }
    EXPECT_TRUE(refusedDuringRun);
    EXPECT_TRUE(focusOnList);
    EXPECT_TRUE(IsWindowEnabled(convert));
    EXPECT_EQ(convert, GetFocus());  // back where it was
    ASSERT_EQ(1u, messages.texts.size());
    EXPECT_EQ(U8(Batch::kFailureMessage), messages.texts[0]);
    EXPECT_NE(std::string::npos, messages.details[0].find(pathOf("z.c"))) << messages.details[0];
    EXPECT_NE(std::string::npos, messages.details[0].find("只读文件")) << messages.details[0];
    EXPECT_EQ("a; \r\n", readBytes(path("f139.c")));
    EXPECT_EQ("z; // z\r\n", readBytes(path("z.c")));
    testing::removeFile(path("z.c"));
}

TEST_F(FrmMainWin32Test, ClosingDuringAConversionEndsItLeavingEveryFileOldOrWhole) {
    const std::string before = "int a; // note\r\n", after = "int a; \r\n";
    for (int i = 0; i < 300; ++i) writeBytes(path("f" + std::to_string(1000 + i) + ".c"), before);
    startWindow();
    int yields = 0;
    {
        ScopedYieldHook hook([&] {
            if (++yields != 100) return;
            PostMessageW(window->handle(), WM_CLOSE, 0, 0);
            handlePendingMessages();
        });
        click(cmd(FrmMain::kConvert));
    }
    for (int i = 0; i < 50 && window->handle(); ++i) handlePendingMessages();
    EXPECT_EQ(nullptr, window->handle());
    EXPECT_FALSE(window->hasEngines());
    int converted = 0;
    for (int i = 0; i < 300; ++i) {
        const std::string bytes = readBytes(path("f" + std::to_string(1000 + i) + ".c"));
        if (bytes == after) {
            ++converted;
        } else {
            ASSERT_EQ(before, bytes) << i;
        }
    }
    EXPECT_LT(converted, 300);
}

TEST_F(FrmMainWin32Test, TheListsMenuOpensAPreviewWithItsWarningsThatEscCloses) {
    writeBytes(path("m.c"),
               "/* see <https://example.org/doc>.  */\r\nint a; // count\r\nputs(\"http://x\");\r\n");
    startWindow();
    const HWND list = control(u"List1");
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    {
        // The Menu key on the focused entry, then the menu's one entry.
        WhenShown menu(L"#32768", nullptr, [](HWND shown) {
            PostMessageW(shown, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(shown, WM_KEYDOWN, VK_RETURN, 0);
        });
        SendMessageW(window->handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    }
    const std::u16string title = u"预览 - " + path("m.c").u16string();
    const HWND preview = FindWindowW(L"TavirelPreview", reinterpret_cast<const wchar_t*>(title.c_str()));
    ASSERT_NE(nullptr, preview);
    EXPECT_EQ(window->handle(), GetWindow(preview, GW_OWNER));

    const HWND text = GetDlgItem(preview, 101), warnings = GetDlgItem(preview, 102);
    const std::string shown = textOf(text);
    EXPECT_NE(std::string::npos, shown.find("2 - int a; // count")) << shown;
    EXPECT_NE(std::string::npos, shown.find("  + int a; ")) << shown;
    EXPECT_NE(std::string::npos, textOf(GetDlgItem(preview, 100)).find("CR"))
        << textOf(GetDlgItem(preview, 100));
    ASSERT_GE(ListView_GetItemCount(warnings), 1);
    // Choosing a warning shows its line.
    const int last = ListView_GetItemCount(warnings) - 1;
    wchar_t lineText[16] = {};
    ListView_GetItemText(warnings, last, 0, lineText, 16);
    ListView_SetItemState(warnings, last, LVIS_SELECTED, LVIS_SELECTED);
    DWORD selStart = 0;
    SendMessageW(text, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), 0);
    const auto shownLine = SendMessageW(text, EM_LINEFROMCHAR, selStart, 0);
    wchar_t lineBuffer[256] = {};
    lineBuffer[0] = 255;
    const auto n =
        SendMessageW(text, EM_GETLINE, static_cast<WPARAM>(shownLine), reinterpret_cast<LPARAM>(lineBuffer));
    std::u16string shownThere(lineBuffer, lineBuffer + n);
    shownThere.erase(0, shownThere.find_first_not_of(u' '));
    EXPECT_EQ(0u, shownThere.find(std::u16string(lineText, lineText + std::wcslen(lineText)) + u" "))
        << U8(shownThere);

    // Its box shows the other rules' result: by the syntax, the string keeps its "//".
    SendMessageW(GetDlgItem(preview, 103), BM_CLICK, 0, 0);
    handlePendingMessages();
    EXPECT_NE(std::string::npos, textOf(text).find("+ int a;")) << textOf(text);
    EXPECT_EQ(std::string::npos, textOf(text).find("+ puts(")) << textOf(text);

    PostMessageW(text, WM_KEYDOWN, VK_ESCAPE, 0);
    handlePendingMessages();
    EXPECT_FALSE(IsWindow(preview));

    // The menu's rules entry, below the separator, names the rules in the status line.
    {
        WhenShown menu(L"#32768", nullptr, [](HWND shown) {
            for (int i = 0; i < 2; ++i) PostMessageW(shown, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(shown, WM_KEYDOWN, VK_RETURN, 0);
        });
        SendMessageW(window->handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    }
    EXPECT_EQ("共选中:1个文件（按语法删除注释）", status());
}

}  // namespace
}  // namespace tavirel
