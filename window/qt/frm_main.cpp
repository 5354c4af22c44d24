// SPDX-License-Identifier: MIT
#include "frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include "artwork.h"
#include "code_page.h"
#include "errors.h"
#include "file_list_model.h"
#include "folder_enum.h"
#include "form_layout.h"
#include "interrupt.h"
#include "preview_dialog.h"

namespace tavirel {
namespace {

std::u16string toText(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}
QString toQString(const std::u16string& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// Positions and sizes are laid out in twips; 15 twips make a pixel at 96 dots per inch.
QRect twips(const form::Twips& t) {
    return {t.left / 15, t.top / 15, t.width / 15, t.height / 15};
}

QString qText(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

QFont songTi(double points, bool bold = false) {
    QFont font;
    // 宋体 where it exists, else the Chinese fonts Debian installs.
    font.setFamilies(
        {"SimSun", "宋体", "NSimSun", "Noto Serif CJK SC", "WenQuanYi Zen Hei", "Noto Sans CJK SC"});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont sansSerif(double points) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Sans Serif", "WenQuanYi Zen Hei"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

// A check box that the whole of its area turns over, not just its box and caption.
class AreaCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

}  // namespace

std::u16string engineText(const QString& qtPath) {
    const QByteArray bytes = QFile::encodeName(qtPath);
    return CodePage::system().decode(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString qtPath(const std::u16string& text) {
    try {
        const std::string bytes = CodePage::system().encode(text);
        return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    } catch (const EncodeError&) {
        return toQString(text);  // typed, not read from the disk: no bytes to keep
    }
}

FrmMain::FrmMain() : FrmMain(Options{}) {}

FrmMain::FrmMain(Options options)
    : options_(std::move(options)),
      form_(static_cast<FormView&>(*this), files_, static_cast<StatusLine&>(*this),
            static_cast<ExtensionSwitches&>(*this), static_cast<MessageBox&>(*this)) {
    form_.onExit = [this] { close(); };
    if (options_.programFolder.empty()) options_.programFolder = programFolder();
    if (!options_.folderDialog) {
        options_.folderDialog = [](QWidget* parent, const QString& prompt, const QString& start) {
            return QFileDialog::getExistingDirectory(parent, prompt, start, QFileDialog::ShowDirsOnly);
        };
    }
    if (!options_.openUrl) options_.openUrl = [this](const QUrl& url) { return openWithDesktop(url); };
    if (options_.journals) form_.setJournals(*options_.journals);
    model_ = new FileListModel(files_, this);
    buildControls();
    // Ctrl+Z anywhere in the window, but for the path box, where it takes back typing.
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this, &FrmMain::undoLastRun);
    // SIGINT, SIGTERM and SIGHUP close the window as 退出 does, ending a run at its next yield.
    if (interruptDescriptor() >= 0) {
        auto* interrupts = new QSocketNotifier(interruptDescriptor(), QSocketNotifier::Read, this);
        connect(interrupts, &QSocketNotifier::activated, this, [this, interrupts] {
            interrupts->setEnabled(false);
            close();
        });
    }
}

FrmMain::~FrmMain() {
    // The model watches files_, which goes before the children do.
    delete model_;
}

void FrmMain::buildControls() {
    setWindowTitle("Tavirel");
    setWindowIcon(boxIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(form::kWidth / 15, form::kHeight / 15);
    setFont(songTi(8.25));

    const QString inputStyle = "QLineEdit { background: rgb(0, 64, 0); color: rgb(0, 255, 255); }";

    // Created in tab order, so that Tab walks the controls as the table of the layout does.
    CmdOpen = new QPushButton(qText(form::kOpenCaption), this);
    CmdOpen->setObjectName("CmdOpen");
    CmdOpen->setGeometry(twips(form::kCmdOpen));
    CmdOpen->setFont(sansSerif(8.25));
    CmdOpen->setAutoDefault(false);
    CmdOpen->installEventFilter(this);
    connect(CmdOpen, &QPushButton::clicked, this, [this] { form_.open(); });

    List1 = new QListView(this);
    List1->setObjectName("List1");
    List1->setGeometry(twips(form::kList1));
    List1->setFont(sansSerif(8.25));
    List1->setModel(model_);
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->installEventFilter(this);
    List1->viewport()->installEventFilter(this);
    connect(List1, &QListView::clicked, this, [this](const QModelIndex& index) { toggleMark(index.row()); });

    TxtInput = new QLineEdit(qText(form::kInputText), this);
    TxtInput->setObjectName("TxtInput");
    TxtInput->setGeometry(twips(form::kTxtInput));
    TxtInput->setFont(sansSerif(8.25));
    TxtInput->setStyleSheet(inputStyle);

    for (const int index : form::kCmdTabOrder) {
        auto* button = new QPushButton(qText(form::kCmdCaptions[index]), this);
        button->setObjectName("Cmd" + QString::number(index));
        button->setGeometry(twips(form::cmdPlace(index)));
        button->setFont(sansSerif(8.25));
        button->setAutoDefault(false);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, index] { form_.press(index); });
        Cmd[static_cast<std::size_t>(index)] = button;
    }

    TxtStatus = new QLineEdit(qText(form::kStatusText), this);
    TxtStatus->setObjectName("TxtStatus");
    TxtStatus->setGeometry(twips(form::kTxtStatus));
    TxtStatus->setFont(songTi(9.75));
    TxtStatus->setStyleSheet(inputStyle);

    for (const int index : form::kSwitchTabOrder) {
        auto* box = new AreaCheckBox(qText(form::kSwitchCaptions[index]), this);
        box->setObjectName("CHK" + QString::number(index));
        box->setGeometry(twips(form::switchPlace(index)));
        box->setChecked(true);
        CHK[static_cast<std::size_t>(index)] = box;
    }

    Frame1 = new QFrame(this);
    Frame1->setObjectName("Frame1");
    Frame1->setGeometry(twips(form::kFrame1));
    Frame1->setFrameShape(QFrame::StyledPanel);
    Frame1->setCursor(trianglePointer());
    Frame1->installEventFilter(this);

    Label1 = new QLabel(qText(form::kGuideCaption), Frame1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(twips(form::kLabel1));
    Label1->setFont(songTi(9.75, true));
    Label1->setStyleSheet("color: rgb(128, 128, 128);");
    Label1->setToolTip(guidePath());
    Label1->installEventFilter(this);
    // Reached by Tab as the buttons are, and opened by Enter or Space.
    Frame1->setFocusPolicy(Qt::StrongFocus);
    Frame1->setAccessibleName(qText(form::kGuideCaption));
    Frame1->setStyleSheet("QFrame#Frame1:focus { border: 1px dotted palette(text); }");

    CmdOpen->setFocus();
}

void FrmMain::start() {
    // Shown before the engines exist and before the first scan, which then runs on screen.
    const QRect screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    if (screen.isValid()) move(screen.center() - rect().center());
    show();
    form_.setRules(options_.rules);
    form_.start(options_.startFolder.value_or(options_.programFolder));
}

std::u16string FrmMain::folderText() const {
    return toText(TxtInput->text());
}

void FrmMain::setFolderText(const std::u16string& folder) {
    TxtInput->setText(toQString(folder));
}

std::u16string FrmMain::pickFolder(const std::u16string& prompt, const std::u16string& from) {
    const QString chosen =
        options_.folderDialog(this, toQString(prompt), from.empty() ? QString() : qtPath(from));
    return chosen.isEmpty() ? std::u16string() : engineText(chosen);
}

QString FrmMain::guidePath() const {
    return QDir::cleanPath(QDir(qtPath(options_.programFolder)).absoluteFilePath(kGuideAddress));
}

void FrmMain::openLink() {
    if (!options_.openUrl(QUrl::fromLocalFile(guidePath()))) showGuideLocation();
}

bool FrmMain::openWithDesktop(const QUrl& url) {
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    // xdg-open says only by its exit status that no program takes the file (3 when none is
    // set up for HTML): then the guide's place is shown as when there is no opener at all.
    auto* process = new QProcess(this);
    connect(process, &QProcess::finished, this, [this, process](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status != QProcess::NormalExit || code != 0) showGuideLocation();
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        showGuideLocation();
    });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(opener, {url.toLocalFile()});
    return true;
}

void FrmMain::showGuideLocation() {
    const QString guide = guidePath();
    // A minimal desktop has nothing to open it with: at least say where it is.
    QMessageBox box(QMessageBox::Information, windowTitle(),
                    "没有能打开用户指南的程序。用户指南在：\n" + guide, QMessageBox::Ok, this);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void FrmMain::showListMenu(const QPoint& at, int row, bool byKeyboard) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.count()) return;
    QMenu menu(this);
    QAction* preview = menu.addAction("预览");
    menu.addSeparator();
    // The rules of the next run: checked entries, refused during a run.
    QAction* syntax = menu.addAction(toQString(FormController::kSyntaxEntry));
    syntax->setCheckable(true);
    syntax->setChecked(form_.rules() == RuleSet::Syntax);
    QAction* license = menu.addAction(toQString(FormController::kLicenseEntry));
    license->setCheckable(true);
    license->setChecked(form_.keepsLicense());
    QAction* pattern = menu.addAction(toQString(FormController::kPatternEntry));
    menu.addSeparator();
    QAction* undo = menu.addAction(toQString(FormController::kUndoEntry));
    undo->setShortcut(QKeySequence::Undo);
    undo->setEnabled(form_.canUndo());
    for (QAction* a : {syntax, license, pattern}) a->setEnabled(!busy());
    license->setEnabled(!busy() && form_.rules() == RuleSet::Syntax);
    pattern->setEnabled(license->isEnabled());
    QAction* chosen = nullptr;
    connect(&menu, &QMenu::triggered, this, [&chosen](QAction* action) { chosen = action; });
    QEventLoop loop;
    connect(&menu, &QMenu::aboutToHide, &loop, &QEventLoop::quit);
    menu.popup(at);
    // Opened from the keyboard, its first entry is highlighted, so that Enter takes it.
    if (byKeyboard) menu.setActiveAction(preview);
    loop.exec();
    if (chosen == preview) showPreview(row);
    if (chosen == syntax) form_.setRules(syntax->isChecked() ? RuleSet::Syntax : RuleSet::Classic);
    if (chosen == license) form_.setKeepLicense(license->isChecked());
    if (chosen == pattern) askKeepPattern();
    if (chosen == undo) undoLastRun();
}

void FrmMain::undoLastRun() {
    if (!form_.canUndo()) {
        QApplication::beep();
        return;
    }
    form_.undo();
}

bool FrmMain::confirm(const std::u16string& question) {
    if (options_.confirm) return options_.confirm(toQString(question));
    // The window speaks Chinese: so do the buttons, as in the Windows window's prompts.
    QMessageBox box(QMessageBox::Question, windowTitle(), toQString(question),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.button(QMessageBox::Ok)->setText("确定");
    box.button(QMessageBox::Cancel)->setText("取消");
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void FrmMain::askKeepPattern() {
    QString text = toQString(form_.keepPattern());
    for (;;) {
        bool ok = false;
        text = QInputDialog::getText(this, windowTitle(), toQString(FormController::kPatternPrompt),
                                     QLineEdit::Normal, text, &ok);
        if (!ok || form_.setKeepPattern(text.toStdU16String())) return;
        QMessageBox::warning(this, windowTitle(), toQString(FormController::kBadPattern) + text);
    }
}

void FrmMain::toggleMark(int row) {
    // The marks are what a run converts: they stay as they are until it ends.
    if (busy()) {
        QApplication::beep();
        return;
    }
    model_->toggle(row);
}

void FrmMain::showPreview(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.count()) return;
    // Not modal: a run under way goes on while the preview is open, and the preview keeps
    // nothing of the list.
    auto* dialog =
        new PreviewDialog(files_.text(static_cast<std::size_t>(row)), form_.conversionOptions(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// A run under way refuses the buttons that would start another one, and the marks; "退出" and
// the window's close stay live. A nested conversion would convert files twice.
void FrmMain::showBusy(bool busy) {
    const std::array<QWidget*, 5> refused = {Cmd[kSelectAll], Cmd[kSelectNone], Cmd[kRefresh], Cmd[kConvert],
                                             CmdOpen};
    const bool hadFocus = std::find(refused.begin(), refused.end(), focusWidget()) != refused.end();
    if (busy) {
        focusBeforeRun_ = hadFocus ? focusWidget() : nullptr;
        // The focus waits on the list, where a key does no harm: left to itself it would move to
        // 退出, which a Space would press.
        if (hadFocus) List1->setFocus();
    }
    for (QWidget* w : refused) w->setEnabled(!busy);
    if (!busy && focusBeforeRun_) {
        focusBeforeRun_->setFocus();
        focusBeforeRun_ = nullptr;
    }
}

void FrmMain::closeSoon() {
    QTimer::singleShot(0, this, &QWidget::close);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (form_.requestClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Frame1 || watched == Label1) && event->type() == QEvent::MouseButtonRelease) {
        openLink();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        // Enter presses a focused button, as Space does, the way the system's own buttons do.
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && button->isEnabled()) {
            button->click();
            return true;
        }
        if (watched == List1 && key->key() == Qt::Key_Space) {
            toggleMark(List1->currentIndex().row());
            return true;
        }
        if (watched == List1 && key->key() == Qt::Key_F10 && (key->modifiers() & Qt::ShiftModifier)) {
            const QRect item = List1->visualRect(List1->currentIndex());
            showListMenu(List1->viewport()->mapToGlobal(item.isValid() ? item.center() : QPoint()),
                         List1->currentIndex().row(), true);
            return true;
        }
        if (watched == Frame1 &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space)) {
            openLink();
            return true;
        }
    }
    if ((watched == List1 || watched == List1->viewport()) && event->type() == QEvent::ContextMenu) {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        if (menu->reason() == QContextMenuEvent::Mouse) {
            showListMenu(menu->globalPos(),
                         List1->indexAt(List1->viewport()->mapFromGlobal(menu->globalPos())).row());
        } else {
            // The Menu key: the current entry.
            const QRect item = List1->visualRect(List1->currentIndex());
            showListMenu(List1->viewport()->mapToGlobal(item.isValid() ? item.center() : QPoint()),
                         List1->currentIndex().row(), true);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::setText(const std::u16string& text) {
    TxtStatus->setText(toQString(text));
}

bool FrmMain::isOn(int index) const {
    return CHK[static_cast<std::size_t>(index)]->isChecked();
}

void FrmMain::showMessage(const std::u16string& text, const std::u16string& details) {
    if (options_.messages) {
        options_.messages->showMessage(text, details);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), toQString(text), QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    if (!details.empty()) box.setDetailedText(toQString(details));
    box.exec();
}

QString FrmMain::GetOpenFileName() {
    QFileDialog dialog(this, "打开", qtPath(options_.programFolder));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Each filter shows the description the tool has always had; the last group is the pattern.
    dialog.setNameFilters({"所有文件 (*.*) (*)", "C语言文件(*.C) (*.c)", "汇编语言文件(*.asm) (*.asm)",
                           "义隆汇编文件(*.dt) (*.dt)"});
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        lastOpenFileName_ = dialog.selectedFiles().first();
    }
    return lastOpenFileName_;
}

}  // namespace tavirel
