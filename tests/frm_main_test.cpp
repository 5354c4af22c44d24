// The window on Qt's offscreen platform: start-up, buttons, picker, marks, busy state, close.
#include "frm_main.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "event_yield.h"
#include "test_support.h"

namespace tavirel {
namespace {

using testing::readBytes;
using testing::writeBytes;

struct RecordingMessages : MessageBox {
    void showMessage(const std::u16string& text) override { texts.push_back(testing::U8(text)); }
    std::vector<std::string> texts;
};

class FrmMainTest : public testing::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        folder = QString::fromStdString(dir_.string());
    }
    void startWindow() {
        window = std::make_unique<FrmMain>(FrmMain::Options{folder, &messages});
        window->start();
        status = window->findChildren<QLineEdit*>().at(1);
        input = window->findChildren<QLineEdit*>().at(0);
        list = window->findChild<QListView*>();
        for (auto* b : window->findChildren<QPushButton*>()) buttons[b->text()] = b;
        checks = window->findChildren<QCheckBox*>();
    }
    QStringList rows() const {
        QStringList out;
        for (int i = 0; i < list->model()->rowCount(); ++i) out << list->model()->index(i, 0).data().toString();
        return out;
    }
    bool marked(int row) const { return list->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked; }

    QString folder;
    RecordingMessages messages;
    std::unique_ptr<FrmMain> window;
    QLineEdit* status = nullptr;
    QLineEdit* input = nullptr;
    QListView* list = nullptr;
    std::map<QString, QPushButton*> buttons;
    QList<QCheckBox*> checks;
};

TEST_F(FrmMainTest, StartsOnTheProgramFolderWithEverythingFoundAndMarked) {
    writeBytes(path("B.c"), "x");
    writeBytes(path("a.h"), "x");
    writeBytes(path("n.txt"), "x");
    startWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ("Tavirel", window->windowTitle());
    EXPECT_EQ(folder, input->text());
    for (auto* c : checks) EXPECT_TRUE(c->isChecked()) << c->text().toStdString();
    EXPECT_EQ(6, checks.size());
    // Found "c" first, but a.h sorts before B.c with letter case ignored.
    EXPECT_EQ((QStringList{folder + "/a.h", folder + "/B.c"}), rows());
    EXPECT_TRUE(marked(0) && marked(1));
    EXPECT_EQ("共选中:2个文件", status->text());
    EXPECT_EQ(buttons["打开"], window->focusWidget());  // focus starts on the first in tab order
}

TEST_F(FrmMainTest, ButtonsAndClicksDriveTheBatch) {
    for (const char* f : {"1.c", "2.c", "3.c"}) writeBytes(path(f), "a; // b\r\n");
    startWindow();

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_TRUE(marked(0));
    EXPECT_FALSE(marked(1));
    EXPECT_TRUE(marked(2));

    buttons["全不选"]->click();
    EXPECT_FALSE(marked(0) || marked(1) || marked(2));
    EXPECT_EQ("共选中:0个文件", status->text());
    buttons["全选"]->click();
    EXPECT_EQ("共选中:3个文件", status->text());

    buttons["转换"]->click();
    EXPECT_EQ("转换完毕！", status->text());
    EXPECT_EQ("a; \r\n", readBytes(path("2.c")));

    input->setText("");
    buttons["刷新"]->click();  // empty box: list emptied, status kept
    EXPECT_EQ(0, list->model()->rowCount());
    EXPECT_EQ("转换完毕！", status->text());

    input->setText(folder);
    for (auto* c : checks) c->setChecked(false);
    buttons["刷新"]->click();
    EXPECT_EQ(0, list->model()->rowCount());
    EXPECT_EQ("共选中:0个文件", status->text());

    buttons["退出"]->click();  // no question asked
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->hasEngines());
}

TEST_F(FrmMainTest, FileDialogOpensInTheProgramFolderWithItsFourFilters) {
    startWindow();
    QString title, shownFolder;
    QStringList filters;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle();
            shownFolder = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            dialog->reject();
        }
    });
    EXPECT_EQ("", window->GetOpenFileName());  // cancelled, nothing ever chosen
    EXPECT_EQ("打开", title);
    EXPECT_EQ(QDir(folder).canonicalPath(), QDir(shownFolder).canonicalPath());
    EXPECT_EQ(4, filters.size());
    EXPECT_TRUE(filters.value(1).startsWith("C语言文件(*.C)"));
}

TEST_F(FrmMainTest, PickerCancelChangesNothingAndAPickScansTheFolder) {
    writeBytes(path("x.asm"), "x");
    startWindow();
    input->setText("typed");
    std::u16string answer;
    const FolderPicker previous = setFolderPicker([&](std::uintptr_t, const std::u16string&) { return answer; });
    buttons["打开"]->click();
    EXPECT_EQ("typed", input->text());
    EXPECT_EQ("共选中:1个文件", status->text());

    QStringList shown;
    QObject::connect(status, &QLineEdit::textChanged, [&](const QString& t) { shown << t; });
    answer = testing::T(dir_.string() + "/");
    buttons["打开"]->click();
    EXPECT_EQ(folder, input->text());
    EXPECT_EQ((QStringList{"...正扫描目录：" + folder, "共选中:1个文件"}), shown);
    setFolderPicker(previous);
}

TEST_F(FrmMainTest, RunRefusesOtherRunsAndAFailureShowsTheMessage) {
    writeBytes(path("a.c"), "a; // b\r\n");
    writeBytes(path("ro.c"), "keep // me\r\n");
    ::chmod(path("ro.c").c_str(), 0444);
    startWindow();
    std::map<QString, bool> enabledDuringRun;
    {
        ScopedYieldHook hook([&] {
            if (enabledDuringRun.empty()) {
                for (const auto& [caption, button] : buttons) enabledDuringRun[caption] = button->isEnabled();
            }
        });
        buttons["转换"]->click();
    }
    EXPECT_EQ((std::map<QString, bool>{{"全不选", false}, {"全选", false}, {"刷新", false}, {"打开", false},
                                        {"转换", false}, {"退出", true}}),
              enabledDuringRun);
    for (const auto& [caption, button] : buttons) EXPECT_TRUE(button->isEnabled()) << caption.toStdString();
    EXPECT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ("a; \r\n", readBytes(path("a.c")));
    EXPECT_EQ("keep // me\r\n", readBytes(path("ro.c")));
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
            if (++yields == 300) window->close();  // arrives at a yield, as a close event would
        });
        // Run as the program does, inside the event loop, which must end by itself.
        QTimer::singleShot(0, [&] { buttons["转换"]->click(); });
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
    buttons["全选"]->click();  // nothing is left to use: no crash, no effect
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
