// SPDX-License-Identifier: MIT
// The main form's logic without a window: start-up, the buttons, 打开 and a close asked for
// during a run, over plain fakes of the window's parts.
#include "form_controller.h"

#include <gtest/gtest.h>

#include "batch_fixture.h"
#include "event_yield.h"

namespace tavirel {
namespace {

struct FakeView : FormView {
    std::u16string folderText() const override { return box; }
    void setFolderText(const std::u16string& folder) override { box = folder; }
    std::u16string pickFolder(const std::u16string& prompt, const std::u16string& from) override {
        asked.push_back(U8(prompt) + " @ " + U8(from));
        return answer;
    }
    void showBusy(bool busy) override { busyShown.push_back(busy); }
    void closeSoon() override { ++closes; }
    bool confirm(const std::u16string& question) override {
        asked.push_back(U8(question));
        return agree;
    }

    bool agree = true;
    std::u16string box, answer;
    std::vector<std::string> asked;
    std::vector<bool> busyShown;
    int closes = 0;
};

class FormControllerTest : public testing::TempDirTest {
protected:
    std::u16string folder(std::string_view name = "") const {
        return testing::textOf(name.empty() ? dir_ : path(name));
    }

    FakeView view;
    SortedFileList list;
    RecordingStatus status;
    Switches switches;
    RecordingMessages messages;
    FormController form{view, list, status, switches, messages};
};

TEST_F(FormControllerTest, StartButtonsAndOpenDriveTheBatchThroughTheView) {
    std::filesystem::create_directories(path("sub"));
    writeBytes(path("a.c"), "x; // y\n");
    writeBytes(path("sub/b.asm"), "nop ; z\n");
    int exits = 0;
    form.onExit = [&] { ++exits; };
    form.start(folder());
    EXPECT_EQ(folder(), view.box);
    EXPECT_EQ(2u, list.count());
    EXPECT_EQ("共选中:2个文件", status.texts.back());
    EXPECT_EQ((std::vector<bool>{true, false}), view.busyShown);  // the scan was a run

    form.press(FormController::kSelectNone);
    EXPECT_EQ("共选中:0个文件", status.texts.back());
    form.press(FormController::kSelectAll);
    form.press(FormController::kConvert);
    EXPECT_EQ("转换完毕！", status.texts.back());
    EXPECT_EQ("x; \n", readBytes(path("a.c")));

    // 打开 asks the picker, opening on the folder in the box; a cancel changes nothing.
    form.open();
    EXPECT_EQ(std::vector<std::string>{"请选择目录 @ " + U8(folder())}, view.asked);
    EXPECT_EQ(folder(), view.box);
    view.answer = folder("sub");
    view.box = u"/no/such/folder";
    form.open();
    EXPECT_EQ("请选择目录 @ ", view.asked.back());  // a box that names no folder: the system's choice
    EXPECT_EQ(folder("sub"), view.box);
    EXPECT_EQ("...正扫描目录：" + U8(folder("sub")), status.texts[status.texts.size() - 2]);
    EXPECT_EQ(1u, list.count());

    form.press(FormController::kExit);
    EXPECT_EQ(1, exits);
    EXPECT_TRUE(form.hasEngines());  // 退出 only asks: the window closes the form
    EXPECT_TRUE(form.requestClose());
    EXPECT_FALSE(form.hasEngines());
}

TEST_F(FormControllerTest, AClosePutOffByARunComesOnceTheRunHasUnwound) {
    for (int i = 0; i < 5; ++i) writeBytes(path(std::to_string(i) + ".c"), "x; // y\n");
    form.start(folder());
    bool asked = false;
    ScopedYieldHook hook([&] {
        if (!asked && status.texts.back().find("2.c") != std::string::npos) {
            asked = true;
            EXPECT_FALSE(form.requestClose());  // the run ends at its next yield
            EXPECT_TRUE(form.hasEngines());
            EXPECT_EQ(0, view.closes);
        }
    });
    form.press(FormController::kConvert);
    EXPECT_EQ(1, view.closes);
    EXPECT_FALSE(form.busy());
    EXPECT_EQ("x; // y\n", readBytes(path("4.c")));  // stopped: the later files untouched
    EXPECT_TRUE(form.requestClose());
    EXPECT_FALSE(form.hasEngines());
}

TEST_F(FormControllerTest, TheRulesChosenAreNamedAndTakenByTheNextRunButNotChangedDuringOne) {
    writeBytes(path("a.c"), "s = \"a//b\"; // Copyright\nt; // NOLINT\nu; // z\n");
    form.start(folder());
    EXPECT_TRUE(form.setRules(RuleSet::Syntax));
    EXPECT_EQ("共选中:1个文件（按语法删除注释）", status.texts.back());
    EXPECT_FALSE(form.setKeepPattern(u"a("));  // not valid: nothing changes
    EXPECT_TRUE(form.setKeepPattern(u"NOLINT"));
    EXPECT_TRUE(form.setKeepLicense(true));
    {
        bool refused = false;
        ScopedYieldHook hook([&] {
            if (form.busy()) refused = !form.setRules(RuleSet::Classic) && !form.setKeepLicense(false);
        });
        form.press(FormController::kConvert);
        EXPECT_TRUE(refused);
    }
    EXPECT_EQ("s = \"a//b\"; // Copyright\nt; // NOLINT\nu;\n", readBytes(path("a.c")));
    EXPECT_TRUE(form.setRules(RuleSet::Classic));
    EXPECT_EQ("共选中:1个文件", status.texts.back());
}

// 撤销上次转换: refused during a run and when nothing is kept; asks once with the count, and a
// cancel changes nothing; then puts the files back, lists the folder again and says so.
TEST_F(FormControllerTest, UndoAsksWithTheCountThenPutsTheFilesBackAndSaysSo) {
    writeBytes(path("a.c"), "a; // x\n");
    writeBytes(path("b.c"), "b; // y\n");
    form.start(folder());
    EXPECT_FALSE(form.canUndo());
    {
        bool refused = false;
        ScopedYieldHook hook([&] { refused = refused || (form.busy() && !form.canUndo()); });
        form.press(FormController::kConvert);
        EXPECT_TRUE(refused);
    }
    ASSERT_EQ("a; \n", readBytes(path("a.c")));
    writeBytes(path("b.c"), "edited\n");
    EXPECT_TRUE(form.canUndo());

    view.agree = false;
    form.undo();
    EXPECT_EQ("撤销上次转换：将恢复 1 个文件，1 个文件在转换后已改动，保持原样。确定吗？", view.asked.back());
    EXPECT_EQ("a; \n", readBytes(path("a.c")));

    view.agree = true;
    form.undo();
    EXPECT_EQ("a; // x\n", readBytes(path("a.c")));
    EXPECT_EQ("edited\n", readBytes(path("b.c")));
    EXPECT_EQ("已恢复 1 个文件，1 个文件保持原样", status.texts.back());
    EXPECT_EQ(2u, list.count());
    ASSERT_FALSE(messages.details.empty());
    EXPECT_NE(std::string::npos, messages.details.back().find("b.c: 转换后已改动，原文件保存在 "))
        << messages.details.back();
}

}  // namespace
}  // namespace tavirel
