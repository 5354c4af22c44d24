// SPDX-License-Identifier: MIT
// The window on Qt's offscreen platform: start-up, buttons, picker, marks, busy state, close, the
// preview. Controls are found by the names the window gives them.
#include "frm_main.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>

#include "code_page.h"
#include "event_pump.h"
#include "event_yield.h"
#include "preview_dialog.h"
#include "test_support.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

struct RecordingMessages : MessageBox {
    void showMessage(const std::u16string& text, const std::u16string& detail) override {
        texts.push_back(testing::U8(text));
        details.push_back(testing::U8(detail));
    }
    std::vector<std::string> texts, details;
};

// Runs `action` once the modal widget or popup that the next call opens is up.
void whenShown(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* shown = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                           : QApplication::activeModalWidget();
        if (shown) action(shown);
    });
}

class FrmMainTest : public testing::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        folder = QString::fromStdString(dir_.string());
        options.programFolder = engineText(folder);
        options.messages = &messages;
        options.folderDialog = [this](QWidget*, const QString& prompt, const QString& start) {
            dialogPrompt = prompt;
            dialogStart = start;
            return dialogAnswer;
        };
    }
    void startWindow() {
        window = std::make_unique<FrmMain>(options);
        window->start();
        status = window->findChild<QLineEdit*>("TxtStatus");
        input = window->findChild<QLineEdit*>("TxtInput");
        list = window->findChild<QListView*>("List1");
    }
    QPushButton* cmd(int index) const {
        return window->findChild<QPushButton*>("Cmd" + QString::number(index));
    }
    QPushButton* open() const { return window->findChild<QPushButton*>("CmdOpen"); }
    QCheckBox* chk(int index) const { return window->findChild<QCheckBox*>("CHK" + QString::number(index)); }
    QStringList rows() const {
        QStringList out;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            out << list->model()->index(i, 0).data().toString();
        return out;
    }
    bool marked(int row) const {
        return list->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }

    QString folder;
    FrmMain::Options options;
    RecordingMessages messages;
    QString dialogPrompt, dialogStart, dialogAnswer;
    std::unique_ptr<FrmMain> window;
    QLineEdit* status = nullptr;
    QLineEdit* input = nullptr;
    QListView* list = nullptr;
};

TEST_F(FrmMainTest, StartsOnTheProgramFolderWithEverythingFoundAndMarked) {
    writeBytes(path("B.c"), "x");
    writeBytes(path("a.h"), "x");
    writeBytes(path("n.txt"), "x");
    startWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ("Tavirel", window->windowTitle());
    EXPECT_EQ(folder, input->text());
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(chk(i)->isChecked()) << i;
    // Found "c" first, but a.h sorts before B.c with letter case ignored.
    EXPECT_EQ((QStringList{folder + "/a.h", folder + "/B.c"}), rows());
    EXPECT_TRUE(marked(0) && marked(1));
    EXPECT_EQ("共选中:2个文件", status->text());
    EXPECT_EQ(open(), window->focusWidget());  // focus starts on the first in tab order
}

TEST_F(FrmMainTest, AFolderGivenToTheProgramIsWhereItStarts) {
    std::filesystem::create_directories(path("given"));
    writeBytes(path("given/g.asm"), "x");
    writeBytes(path("top.c"), "x");
    options.startFolder = engineText(folder + "/given");
    startWindow();
    EXPECT_EQ(folder + "/given", input->text());
    EXPECT_EQ(QStringList{folder + "/given/g.asm"}, rows());
}

TEST_F(FrmMainTest, ButtonsKeysAndClicksDriveTheBatch) {
    for (const char* f : {"1.c", "2.c", "3.c"}) writeBytes(path(f), "a; // b\r\n");
    startWindow();

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_TRUE(marked(0));
    EXPECT_FALSE(marked(1));
    EXPECT_TRUE(marked(2));

    // Enter presses a focused button as Space does.
    cmd(FrmMain::kSelectNone)->setFocus();
    QTest::keyClick(cmd(FrmMain::kSelectNone), Qt::Key_Return);
    EXPECT_FALSE(marked(0) || marked(1) || marked(2));
    EXPECT_EQ("共选中:0个文件", status->text());
    cmd(FrmMain::kSelectAll)->setFocus();
    QTest::keyClick(cmd(FrmMain::kSelectAll), Qt::Key_Enter);
    EXPECT_EQ("共选中:3个文件", status->text());

    cmd(FrmMain::kConvert)->click();
    EXPECT_EQ("转换完毕！", status->text());
    EXPECT_EQ("a; \r\n", readBytes(path("2.c")));

    input->setText("");
    cmd(FrmMain::kRefresh)->click();  // empty box: list emptied, status kept
    EXPECT_EQ(0, list->model()->rowCount());
    EXPECT_EQ("转换完毕！", status->text());

    // A check box turns over wherever in its area it is clicked, not only on its box and caption.
    input->setText(folder);
    QTest::mouseClick(chk(0), Qt::LeftButton, {}, QPoint(chk(0)->width() - 2, chk(0)->height() - 2));
    EXPECT_FALSE(chk(0)->isChecked());
    for (int i = 1; i < 6; ++i) chk(i)->setChecked(false);
    cmd(FrmMain::kRefresh)->click();
    EXPECT_EQ(0, list->model()->rowCount());
    EXPECT_EQ("共选中:0个文件", status->text());

    cmd(FrmMain::kExit)->click();  // no question asked
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->hasEngines());
}

// Ctrl+Z puts back the last run after one question; in the folder box it takes back typing.
TEST_F(FrmMainTest, CtrlZUndoesTheLastRunButInTheFolderBox) {
    writeBytes(path("a.c"), "a; // b\r\n");
    QStringList asked;
    options.confirm = [&asked](const QString& question) {
        asked << question;
        return true;
    };
    startWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));  // where the window's shortcuts work
    cmd(FrmMain::kConvert)->click();
    ASSERT_EQ("a; \r\n", readBytes(path("a.c")));

    input->setFocus();
    QTest::keyClicks(input, "x");
    QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(folder, input->text());
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ("a; \r\n", readBytes(path("a.c")));

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(QStringList{"撤销上次转换：将恢复 1 个文件。确定吗？"}, asked);
    EXPECT_EQ("a; // b\r\n", readBytes(path("a.c")));
    EXPECT_EQ("已恢复 1 个文件", status->text());
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);  // nothing left to undo: a beep
    EXPECT_EQ(1, asked.size());
}

TEST_F(FrmMainTest, FileDialogOpensInTheProgramFolderWithItsFourFilters) {
    startWindow();
    QString title, shownFolder;
    QStringList filters;
    whenShown([&](QWidget* shown) {
        auto* dialog = qobject_cast<QFileDialog*>(shown);
        title = dialog->windowTitle();
        shownFolder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        dialog->reject();
    });
    EXPECT_EQ("", window->GetOpenFileName());  // cancelled, nothing ever chosen
    EXPECT_EQ("打开", title);
    EXPECT_EQ(QDir(folder).canonicalPath(), QDir(shownFolder).canonicalPath());
    EXPECT_EQ(4, filters.size());
    EXPECT_TRUE(filters.value(1).startsWith("C语言文件(*.C)"));
}

TEST_F(FrmMainTest, PickerOpensOnTheFolderInTheBoxAndCancelChangesNothing) {
    writeBytes(path("x.asm"), "x");
    startWindow();
    input->setText("typed, no such folder");
    open()->click();
    EXPECT_EQ("请选择目录", dialogPrompt);
    EXPECT_EQ("", dialogStart);
    EXPECT_EQ("typed, no such folder", input->text());
    EXPECT_EQ("共选中:1个文件", status->text());

    input->setText(folder);
    QStringList shown;
    QObject::connect(status, &QLineEdit::textChanged, [&](const QString& t) { shown << t; });
    dialogAnswer = folder + "/";
    open()->click();
    EXPECT_EQ(folder, dialogStart);
    EXPECT_EQ(folder, input->text());
    EXPECT_EQ((QStringList{"...正扫描目录：" + folder, "共选中:1个文件"}), shown);
}

TEST_F(FrmMainTest, TheRealPickerAndEventPumpServeTheWindow) {
    std::filesystem::create_directories(path("sub"));
    writeBytes(path("sub/s.c"), "x");
    for (int i = 0; i < 300; ++i)
        writeBytes(path(std::to_string(i) + ".c"), std::string(3000, 'x') + "// y\n");
    options.folderDialog = nullptr;  // a real QFileDialog
    startWindow();
    QString opened;
    whenShown([&](QWidget* shown) {
        auto* dialog = qobject_cast<QFileDialog*>(shown);
        opened = dialog->directory().absolutePath();
        dialog->selectFile(folder + "/sub");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    open()->click();
    EXPECT_EQ(QDir(folder).canonicalPath(), QDir(opened).canonicalPath());
    EXPECT_EQ(QStringList{folder + "/sub/s.c"}, rows());

    // The pump runs the window's events during a run: a timer fires while it converts.
    input->setText(folder);
    cmd(FrmMain::kRefresh)->click();
    installEventPump();
    int ticks = 0;
    bool running = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += running; });
    ticker.start(1);
    running = true;
    cmd(FrmMain::kConvert)->click();
    running = false;
    setYieldHook(nullptr, nullptr);
    EXPECT_EQ("转换完毕！", status->text());
    EXPECT_GT(ticks, 0);
}

TEST_F(FrmMainTest, ARunRefusesOtherRunsKeepsTheFocusHarmlessAndAFailureShowsItsCause) {
    writeBytes(path("a.c"), "a; // b\r\n");
    writeBytes(path("ro.c"), "keep // me\r\n");
    ::chmod(path("ro.c").c_str(), 0444);
    startWindow();
    std::map<QString, bool> enabledDuringRun;
    QWidget* focusDuringRun = nullptr;
    cmd(FrmMain::kConvert)->setFocus();
    {
        ScopedYieldHook hook([&] {
            if (!focusDuringRun) {
                for (int i = 0; i < 5; ++i) enabledDuringRun[cmd(i)->text()] = cmd(i)->isEnabled();
                enabledDuringRun[open()->text()] = open()->isEnabled();
                focusDuringRun = window->focusWidget();
                // The marks are what the run converts: neither Space nor a click turns one over.
                list->setCurrentIndex(list->model()->index(1, 0));
                QTest::keyClick(list, Qt::Key_Space);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualRect(list->model()->index(1, 0)).center());
                EXPECT_TRUE(marked(1));
            }
        });
        QTest::keyClick(cmd(FrmMain::kConvert), Qt::Key_Space);
    }
    EXPECT_EQ((std::map<QString, bool>{{"全不选", false},
                                       {"全选", false},
                                       {"刷新", false},
                                       {"打开", false},
                                       {"转换", false},
                                       {"退出", true}}),
              enabledDuringRun);
    // Not 退出, where the next Space would end the run and the program.
    EXPECT_EQ(list, focusDuringRun);
    EXPECT_EQ(cmd(FrmMain::kConvert), window->focusWidget());
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(cmd(i)->isEnabled()) << i;
    EXPECT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ(std::vector<std::string>{path("ro.c").string() + ": 只读文件"}, messages.details);
    EXPECT_EQ("a; \r\n", readBytes(path("a.c")));
    EXPECT_EQ("keep // me\r\n", readBytes(path("ro.c")));

    // Without a fake, the message box itself carries the cause as its details.
    options.messages = nullptr;
    startWindow();
    QString text, details;
    whenShown([&](QWidget* shown) {
        auto* box = qobject_cast<QMessageBox*>(shown);
        text = box->text();
        details = box->detailedText();
        box->accept();
    });
    cmd(FrmMain::kConvert)->click();
    EXPECT_EQ("转换出错，转换过程中请不要操作文件！", text);
    EXPECT_EQ(QString::fromStdString(path("ro.c").string()) + ": 只读文件", details);
}

TEST_F(FrmMainTest, TheGuideLinkSaysWhereTheGuideIsWhenNothingCanOpenIt) {
    QUrl asked;
    options.openUrl = [&](const QUrl& url) {
        asked = url;
        return false;
    };
    startWindow();
    QString text;
    whenShown([&](QWidget* shown) {
        text = qobject_cast<QMessageBox*>(shown)->text();
        qobject_cast<QMessageBox*>(shown)->accept();
    });
    QTest::mouseClick(window->findChild<QLabel*>("Label1"), Qt::LeftButton);
    const QString guide = QDir::cleanPath(folder + "/../share/doc/tavirel/guide.html");
    EXPECT_EQ(QUrl::fromLocalFile(guide), asked);
    EXPECT_TRUE(text.endsWith(guide)) << text.toStdString();
}

TEST_F(FrmMainTest, TheGuideIsReachedByKeyboardAndAnOpenerThatFindsNoProgramSaysWhereItIs) {
    // An xdg-open that has no program for HTML, as on a minimal desktop: it exits with 3.
    fs::create_directories(path("bin"));
    writeBytes(path("bin/xdg-open"), "#!/bin/sh\nexit 3\n");
    fs::permissions(path("bin/xdg-open"), fs::perms::owner_all);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(path("bin").string()) + ":" + savedPath);
    startWindow();
    QString text;
    QWidget* frame = window->findChild<QFrame*>("Frame1");
    frame->setFocus();
    ASSERT_EQ(frame, window->focusWidget());
    // The box comes when the opener has exited, inside the event loop: it is answered there.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
        }
    });
    answer.start(20);
    QTest::keyClick(frame, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 5000);
    qputenv("PATH", savedPath);
    EXPECT_TRUE(text.endsWith(QDir::cleanPath(folder + "/../share/doc/tavirel/guide.html")))
        << text.toStdString();
}

TEST_F(FrmMainTest, ClosingDuringAConversionEndsItLeavingEveryFileOldOrWhole) {
    const std::string before = "x; // y\r\n", after = "x; \r\n";
    for (int i = 0; i < 200; ++i) writeBytes(path(std::to_string(i) + ".c"), before);
    startWindow();
    int yields = 0;
    bool timedOut = false;
    int exitCode = -1;
    {
        ScopedYieldHook hook([&] {
            if (++yields == 150) window->close();  // arrives at a yield, as a close event would
        });
        // Run as the program does, inside the event loop, which must end by itself.
        QTimer::singleShot(0, [&] { cmd(FrmMain::kConvert)->click(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            QApplication::exit(1);
        });
        watchdog.start(10000);
        exitCode = QApplication::exec();
    }
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(0, exitCode);
    EXPECT_FALSE(window->busy());
    EXPECT_FALSE(window->hasEngines());
    EXPECT_FALSE(window->isVisible());
    int converted = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string bytes = readBytes(path(std::to_string(i) + ".c"));
        if (bytes == after) {
            ++converted;
        } else {
            EXPECT_EQ(before, bytes);
        }
    }
    EXPECT_GT(converted, 0);
    EXPECT_LT(converted, 200);
    cmd(FrmMain::kSelectAll)->click();  // nothing is left to use: no crash, no effect
}

// --- The preview -----------------------------------------------------------------------------

class PreviewTest : public FrmMainTest {
protected:
    PreviewDialog* preview() const { return window->findChild<PreviewDialog*>(); }
    QString info() const { return preview()->findChild<QLabel*>("PreviewInfo")->text(); }
    QStringList lines() const {
        return preview()->findChild<QPlainTextEdit*>("PreviewText")->toPlainText().split('\n');
    }
    QTreeWidget* warnings() const { return preview()->findChild<QTreeWidget*>("PreviewWarnings"); }
};

TEST_F(PreviewTest, TheListsMenuOpensAPreviewThatEscCloses) {
    writeBytes(path("a.c"), "int a; // x\nint b;\n");
    startWindow();
    list->setCurrentIndex(list->model()->index(0, 0));
    // The Menu key, like a right click or Shift+F10, opens the list's menu with its one entry.
    whenShown([](QWidget* shown) {
        auto* menu = qobject_cast<QMenu*>(shown);
        ASSERT_NE(nullptr, menu);
        ASSERT_EQ(7, menu->actions().size());
        EXPECT_EQ("预览", menu->actions()[0]->text());
        EXPECT_EQ("按语法删除注释", menu->actions()[2]->text());
        EXPECT_FALSE(menu->actions()[3]->isEnabled());  // keeping is for the syntax rules
        EXPECT_EQ("撤销上次转换", menu->actions()[6]->text());
        EXPECT_FALSE(menu->actions()[6]->isEnabled());        // no run to undo yet
        EXPECT_EQ(menu->actions()[0], menu->activeAction());  // so that Enter takes it
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), list->mapToGlobal(QPoint()));
    QApplication::sendEvent(list, &menuKey);
    ASSERT_NE(nullptr, preview());
    EXPECT_TRUE(preview()->isVisible());
    EXPECT_EQ((QStringList{"     1 - int a; // x", "       + int a; ", "     2   int b;"}), lines());
    EXPECT_TRUE(info().contains("LF（写回时仍为 LF）"));
    EXPECT_TRUE(info().contains("UTF-8"));
    EXPECT_EQ("int a; // x\nint b;\n", readBytes(path("a.c")));  // nothing written

    QTest::keyClick(preview(), Qt::Key_Escape);
    EXPECT_TRUE(preview() == nullptr || !preview()->isVisible());
}

TEST_F(PreviewTest, TheSyntaxEntryNamesTheRulesAndThePreviewShowsEither) {
    writeBytes(path("a.c"), "s = \"a//b\"; // x\n");
    startWindow();
    list->setCurrentIndex(list->model()->index(0, 0));
    whenShown([](QWidget* shown) {
        auto* menu = qobject_cast<QMenu*>(shown);
        ASSERT_NE(nullptr, menu);
        menu->actions()[2]->trigger();
        menu->close();
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), list->mapToGlobal(QPoint()));
    QApplication::sendEvent(list, &menuKey);
    EXPECT_EQ("共选中:1个文件（按语法删除注释）", status->text());
    window->showPreview(0);
    EXPECT_EQ((QStringList{"     1 - s = \"a//b\"; // x", "       + s = \"a//b\";"}), lines());
    auto* syntax = preview()->findChild<QCheckBox*>("PreviewSyntax");
    ASSERT_TRUE(syntax->isChecked());
    syntax->setChecked(false);  // the classic rules' result for the same file
    EXPECT_EQ((QStringList{"     1 - s = \"a//b\"; // x", "       + s = \"a"}), lines());
    EXPECT_EQ("marker-in-string", warnings()->topLevelItem(0)->text(2));
}

TEST_F(PreviewTest, RemovedTextIsMarkedAndEachWarningShowsItsLine) {
    std::string source = "int z; /* see http://x */\r\n";
    for (int i = 0; i < 80; ++i) source += "int v" + std::to_string(i) + ";\r\n";
    source += "p(\"a//b\");\r\nint q; /* end */\r\nint r; /* never closed\r\n";
    writeBytes(path("w.c"), source);
    startWindow();
    window->showPreview(0);
    EXPECT_TRUE(info().contains("CR LF"));
    const QStringList shown = lines();
    EXPECT_EQ("     1 - int z; /* see http://x */", shown[0]);
    // The removed stretch of the first line is struck through; what stays is not.
    auto* text = preview()->findChild<QPlainTextEdit*>("PreviewText");
    const QTextBlock first = text->document()->firstBlock();
    int struck = 0;
    for (const QTextLayout::FormatRange& range : first.textFormats()) {
        EXPECT_EQ(range.start >= 16, range.format.fontStrikeOut()) << range.start;
        struck += range.format.fontStrikeOut();
    }
    EXPECT_EQ(1, struck);
    // swallowed-code on line 1, marker-in-string on line 82, unclosed-block on line 84.
    ASSERT_EQ(3, warnings()->topLevelItemCount());
    EXPECT_EQ("swallowed-code", warnings()->topLevelItem(0)->text(2));
    EXPECT_EQ("82", warnings()->topLevelItem(1)->text(0));
    EXPECT_EQ("unclosed-block", warnings()->topLevelItem(2)->text(2));
    warnings()->setCurrentItem(warnings()->topLevelItem(1));
    EXPECT_TRUE(text->textCursor().block().text().startsWith("    82 - p("))
        << text->textCursor().block().text().toStdString();
}

TEST_F(PreviewTest, AFilePassedOverSaysWhy) {
    writeBytes(path("empty.c"), "");
    writeBytes(path("clean.h"), "int a;\n");
    writeBytes(path("inc"), "x ; y\n");
    writeBytes(path("large.c"), std::string(70000, 'x') + "\n");
    writeBytes(path("gbk.c"), "s = \"\xd6\xd0\"; // \xce\xc4\n");  // not UTF-8
    startWindow();
    const struct {
        int row;
        const char* says;
        const char* doesNotSay;
    } cases[] = {{0, "没有要删除的内容", "无法解码"},
                 {1, "空文件", "行尾"},
                 {2, "这个文件不是 UTF-8 编码：有 4 个字节无法解码", "CR"},
                 {3, "无法从文件名得知语言", "行尾"},
                 {4, "超过 65536", "CR"}};
    for (const auto& c : cases) {
        window->showPreview(c.row);
        EXPECT_TRUE(info().contains(QString::fromUtf8(c.says))) << info().toStdString();
        EXPECT_FALSE(info().contains(QString::fromUtf8(c.doesNotSay))) << info().toStdString();
        preview()->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Under a locale whose code page is not UTF-8, the names Qt gives reach the engine with their own
// bytes. Run with LC_ALL=zh_CN.GBK (see the test list).
TEST(FrmMainLocaleTest, UnderGbkAFolderFromTheDialogIsFoundByItsBytes) {
    if (CodePage::system().name() != "GBK") GTEST_SKIP() << "the zh_CN.GBK locale is not installed";
    char pattern[] = "/tmp/tavirel-gbk-XXXXXX";
    const std::filesystem::path root = ::mkdtemp(pattern);
    const std::filesystem::path named = root / "\xe4\xb8\xad\xe6\x96\x87";  // "中文" in UTF-8, as Qt names it
    std::filesystem::create_directories(named);
    writeBytes(named / "a.c", "x");
    const QString qtFolder = QString::fromUtf8(named.string().c_str());
    RecordingMessages messages;
    FrmMain::Options options;
    options.programFolder = engineText(QString::fromStdString(root.string()));
    options.messages = &messages;
    options.folderDialog = [&](QWidget*, const QString&, const QString&) { return qtFolder; };
    FrmMain window(options);
    window.start();
    window.findChild<QPushButton*>("CmdOpen")->click();
    EXPECT_EQ("共选中:1个文件", window.findChild<QLineEdit*>("TxtStatus")->text());
    EXPECT_EQ(qtFolder + "/a.c", qtPath(engineText(qtFolder + "/a.c")));
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace tavirel

int main(int argc, char** argv) {
    // CI has no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
