// SPDX-License-Identifier: MIT
// The main window on Windows, with the system's own controls: builds and wires them and hands
// every action to the batch. It owns the two engines, and releases them only once no run is
// using them any more. Geometry is laid out in twips and scaled for the monitor's DPI.
#pragma once

#include <windows.h>

#include <commdlg.h>
// The system's headers name two of their functions as the window names its own; the window's are
// meant wherever this header is seen.
#undef GetOpenFileName
#undef MessageBox

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "batch_interfaces.h"
#include "form_controller.h"
#include "sorted_file_list.h"

namespace tavirel {

class FrmMain : public FormButtons,
                private StatusLine,
                private ExtensionSwitches,
                private MessageBox,
                private FormView,
                private SortedFileList::Observer {
public:
    struct Options {
        /// The program's folder: scanned at start, where the file dialog opens and where the
        /// guide is found; the folder of the running program by default.
        std::u16string programFolder;
        /// A folder to start on instead of the program's (tavirel.exe FOLDER).
        std::optional<std::u16string> startFolder;
        /// The rules a run starts with (tavirel.exe --syntax).
        RuleSet rules = RuleSet::Classic;
        /// Shows the failure message; MessageBoxW by default.
        MessageBox* messages = nullptr;
        /// The folder picker behind 打开: (owner, prompt, folder to open on) to the folder chosen,
        /// or the empty text on cancel. SHBrowseForFolderW by default.
        std::function<std::u16string(HWND, const std::u16string&, const std::u16string&)> folderDialog;
        /// Opens the user guide; false when nothing could. ShellExecuteW by default.
        std::function<bool(HWND, const std::u16string&)> openFile;
        /// Whether the end of the window ends the message loop (a program has one window).
        bool quitWhenClosed = true;
        /// Asks a question with 确定 and 取消, true for 确定; MessageBoxW by default.
        std::function<bool(HWND, const std::u16string&)> confirm;
        /// Where the originals of a run are kept for 撤销上次转换; the user's state folder by default.
        std::optional<std::u16string> journals;
    };

    /// The user guide, installed beside the program.
    static constexpr const char16_t* kGuideName = u"guide.html";

    FrmMain();
    explicit FrmMain(Options options);
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    /// Shows the window, creates the engines and scans the start folder, with the window
    /// answering messages during the scan.
    void start(int showCommand = SW_SHOWNORMAL);

    /// A modal file-open dialog titled "打开" in the program folder. The chosen file's path; after
    /// a cancel, the last one chosen (the empty text if none).
    std::u16string GetOpenFileName();

    /// Opens the preview of the list's entry `row`, which writes nothing; a run may go on meanwhile.
    void showPreview(std::size_t row);

    /// The window; null once it has closed.
    HWND handle() const { return hwnd_; }
    /// A control by its name (CmdOpen, List1, TxtInput, TxtStatus, Cmd0 … Cmd4, CHK0 … CHK5,
    /// Frame1, Label1); null for any other name.
    HWND control(std::u16string_view name) const;
    /// True while a scan, a select or a conversion is under way.
    bool busy() const { return form_.busy(); }
    /// False once the window has closed and released its engines.
    bool hasEngines() const { return form_.hasEngines(); }
    /// The scale of the window's twips: dots per inch of its monitor.
    UINT dpi() const { return dpi_; }

private:
    struct Fonts;

    template <typename Window>
    friend LRESULT CALLBACK objectWindowProc(HWND, UINT, WPARAM, LPARAM);
    void attached(HWND hwnd) { hwnd_ = hwnd; }
    void detached() { hwnd_ = nullptr; }
    static LRESULT CALLBACK frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT notify(const NMHDR& header);

    // The batch's view of the window.
    void setText(const std::u16string& text) override;
    bool isOn(int index) const override;
    void showMessage(const std::u16string& text, const std::u16string& details) override;
    // The controller's view of the window.
    std::u16string folderText() const override;
    void setFolderText(const std::u16string& folder) override;
    std::u16string pickFolder(const std::u16string& prompt, const std::u16string& from) override;
    void showBusy(bool busy) override;
    void closeSoon() override;
    bool confirm(const std::u16string& question) override;
    // The list view follows the sorted list.
    void aboutToInsert(std::size_t row) override;
    void inserted() override;
    void aboutToClear() override;
    void cleared() override;
    void markChanged(std::size_t row) override;

    void createControls();
    void layOut();
    void onCommand(int id);
    void openLink();
    void toggle(int row);
    void showListMenu(POINT at, int row);
    /// 保留匹配的注释…: asks for the expression until a valid one or a cancel.
    void askKeepPattern();
    /// 撤销上次转换, from the list's menu or Ctrl+Z: a beep when there is nothing to undo.
    void undoLastRun();
    void close();
    void fitColumn();
    void syncView();
    static constexpr UINT kSyncView = WM_APP + 1;
    std::u16string guidePath() const;
    std::u16string windowText(HWND control) const;

    Options options_;
    SortedFileList files_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    std::unique_ptr<Fonts> fonts_;
    HBRUSH boxBrush_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HCURSOR pointer_ = nullptr;
    HACCEL accelerators_ = nullptr;

    HWND List1 = nullptr;
    HWND TxtInput = nullptr;
    HWND TxtStatus = nullptr;
    HWND CmdOpen = nullptr;
    std::array<HWND, 5> Cmd{};
    std::array<HWND, 6> CHK{};
    HWND Frame1 = nullptr;
    HWND Label1 = nullptr;

    FormController form_;
    HWND focusBeforeRun_ = nullptr;
    HWND focusBeforeDeactivation_ = nullptr;
    std::u16string lastOpenFileName_;
    std::size_t insertedRow_ = 0;
    bool viewPosted_ = false;
    std::u16string longest_;  // the longest entry: the column widens only for a longer one
};

}  // namespace tavirel
