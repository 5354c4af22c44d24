// The main window: builds and wires the controls and hands every action to the batch. It owns
// the two engines, and releases them only once no run is using them any more.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>

#include "batch.h"
#include "batch_interfaces.h"
#include "sorted_file_list.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace tavirel {

class FileListModel;

class FrmMain : public QWidget, private StatusLine, private ExtensionSwitches, private MessageBox {
public:
    struct Options {
        /// The folder scanned at start and where the file dialog opens; the executable's by default.
        QString programFolder;
        /// Shows the failure message; a modal Qt message box by default.
        MessageBox* messages = nullptr;
    };

    /// The link area opens this, resolved against the program folder: the user guide shipped
    /// with the tool.
    static constexpr const char* kGuideAddress = "../share/doc/tavirel/guide.html";

    FrmMain();
    explicit FrmMain(Options options);
    ~FrmMain() override;

    /// Shows the window, creates the engines and scans the program folder, with the window
    /// answering events during the scan.
    void start();

    /// A modal file-open dialog titled "打开" in the program folder. The chosen file's path; after
    /// a cancel, the last one chosen (the empty text if none).
    QString GetOpenFileName();

    /// True while a scan, a select or a conversion is under way.
    bool busy() const { return batch_ && batch_->runDepth() > 0; }
    /// False once the window has closed and released its engines.
    bool hasEngines() const { return batch_ != nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The batch's view of the window.
    void setText(const std::u16string& text) override;
    bool isOn(int index) const override;
    void showMessage(const std::u16string& text) override;

    void buildControls();
    void onCmdClicked(int index);
    void onOpenClicked();
    void openLink();
    void setBusy(bool busy);

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

    std::unique_ptr<Dir_File> dirFile_;
    std::unique_ptr<StrOPT> strOpt_;
    std::unique_ptr<Batch> batch_;
    bool closePending_ = false;
    QPointer<QWidget> focusBeforeRun_;
    QString lastOpenFileName_;
};

/// Installs the window's yield: pending events run at most every few milliseconds of work, so a
/// yield per character costs next to nothing while the window stays live. Also installs the
/// folder picker as a modal folder dialog.
void installQtHooks();

}  // namespace tavirel
