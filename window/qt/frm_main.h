// SPDX-License-Identifier: MIT
// The main window: builds and wires the controls and hands every action to the form's controller,
// which owns the engines and releases them only once no run is using them any more.
//
// Texts that name files cross between Qt and the engine as bytes: Qt reads file names as UTF-8,
// the engine in the locale's code page, and a name must reach the engine with its own bytes.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "batch_interfaces.h"
#include "form_controller.h"
#include "sorted_file_list.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace tavirel {

class FileListModel;

/// A file name as Qt gives it (from a dialog, say) as the engine's text, byte for byte.
std::u16string engineText(const QString& qtPath);
/// An engine path as Qt reads file names, for its dialogs and for opening a file.
QString qtPath(const std::u16string& text);

class FrmMain : public QWidget,
                public FormButtons,
                private StatusLine,
                private ExtensionSwitches,
                private MessageBox,
                private FormView {
public:
    struct Options {
        /// The program's folder: scanned at start, where the file dialog opens and where the
        /// guide is found; the folder of the running program by default.
        std::u16string programFolder;
        /// A folder to start on instead of the program's (tavirel FOLDER).
        std::optional<std::u16string> startFolder;
        /// The rules a run starts with (tavirel --syntax).
        RuleSet rules = RuleSet::Classic;
        /// Shows the failure message; a modal Qt message box by default.
        MessageBox* messages = nullptr;
        /// The folder dialog behind 打开: (owner, prompt, folder to open on) to the folder chosen,
        /// or an empty string on cancel. A QFileDialog by default.
        std::function<QString(QWidget*, const QString&, const QString&)> folderDialog;
        /// Opens the user guide; false when nothing could. The desktop's opener by default.
        std::function<bool(const QUrl&)> openUrl;
        /// Asks a question with OK and Cancel, true for OK; a modal Qt message box by default.
        std::function<bool(const QString&)> confirm;
        /// Where the originals of a run are kept for 撤销上次转换; the user's state folder by default.
        std::optional<std::u16string> journals;
    };

    /// The link area opens this, resolved against the program folder: the user guide shipped
    /// with the tool.
    static constexpr const char* kGuideAddress = "../share/doc/tavirel/guide.html";

    FrmMain();
    explicit FrmMain(Options options);
    ~FrmMain() override;

    /// Shows the window, creates the engines and scans the start folder, with the window
    /// answering events during the scan.
    void start();

    /// A modal file-open dialog titled "打开" in the program folder. The chosen file's path; after
    /// a cancel, the last one chosen (the empty text if none).
    QString GetOpenFileName();

    /// Opens the preview of the list's entry `row`, which writes nothing; a run may go on meanwhile.
    void showPreview(int row);

    /// True while a scan, a select or a conversion is under way.
    bool busy() const { return form_.busy(); }
    /// False once the window has closed and released its engines.
    bool hasEngines() const { return form_.hasEngines(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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

    void buildControls();
    /// 撤销上次转换, from the list's menu or Ctrl+Z: a beep when there is nothing to undo.
    void undoLastRun();
    void openLink();
    void showListMenu(const QPoint& at, int row, bool byKeyboard = false);
    /// 保留匹配的注释…: asks for the expression until a valid one or a cancel.
    void askKeepPattern();
    void toggleMark(int row);
    bool openWithDesktop(const QUrl& url);
    void showGuideLocation();
    QString guidePath() const;

    Options options_;
    SortedFileList files_;
    FileListModel* model_;

    QListView* List1;
    QLineEdit* TxtInput;
    QLineEdit* TxtStatus;
    QPushButton* CmdOpen;
    std::array<QPushButton*, 5> Cmd{};
    std::array<QCheckBox*, 6> CHK{};
    QFrame* Frame1;
    QLabel* Label1;

    QPointer<QWidget> focusBeforeRun_;
    FormController form_;
    QString lastOpenFileName_;
};

}  // namespace tavirel
