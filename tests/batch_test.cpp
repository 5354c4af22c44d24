// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "batch_fixture.h"
#include "event_yield.h"
#include "text_file.h"

namespace tavirel {
namespace {

TEST_F(BatchTest, RefreshListsTheSwitchedOnExtensionsAndMarksThemAll) {
    for (const char* f : {"a.c", "b.cpp", "c.h", "d.asm", "e.dt", "f.inc", "g.txt"}) writeBytes(path(f), "x");
    for (int i = 0; i < 6; ++i) writeBytes(path("more" + std::to_string(i) + ".C"), "x");
    refresh();
    ASSERT_EQ(12u, list.count());
    for (std::size_t i = 0; i < list.count(); ++i) EXPECT_TRUE(list.isMarked(i));
    EXPECT_EQ("共选中:12个文件", status.texts.back());

    std::fill(std::begin(switches.on), std::end(switches.on), false);
    switches.on[1] = switches.on[4] = true;
    refresh();
    EXPECT_EQ(name("b.cpp"), U8(list.text(0)));
    EXPECT_EQ(name("e.dt"), U8(list.text(1)));
    EXPECT_EQ(2u, list.count());

    switches.on[1] = switches.on[4] = false;
    refresh();
    EXPECT_EQ(0u, list.count());
    EXPECT_EQ("共选中:0个文件", status.texts.back());

    const std::size_t shown = status.texts.size();
    batch.RefreshList(u"");  // empty folder box: list emptied, status kept, nothing searched
    EXPECT_EQ(0u, list.count());
    EXPECT_EQ(shown, status.texts.size());
}

TEST_F(BatchTest, SelectNoneAndSelectAllShowTheirCounts) {
    for (int i = 0; i < 3; ++i) writeBytes(path(std::to_string(i) + ".h"), "x");
    refresh();
    batch.SelectNone();
    EXPECT_FALSE(list.isMarked(0) || list.isMarked(1) || list.isMarked(2));
    EXPECT_EQ("共选中:0个文件", status.texts.back());
    list.setMarked(1, true);
    batch.SelectAll();
    EXPECT_TRUE(list.isMarked(0) && list.isMarked(1) && list.isMarked(2));
    EXPECT_EQ("共选中:3个文件", status.texts.back());
}

TEST_F(BatchTest, SelectAllStopsAtTheNewEndWhenTheListShrinksDuringAYield) {
    for (int i = 0; i < 5; ++i) writeBytes(path(std::to_string(i) + ".c"), "x");
    refresh();
    bool cleared = false;
    ScopedYieldHook hook([&] {
        if (!cleared && list.count() == 5) {
            cleared = true;
            list.clear();
        }
    });
    batch.SelectAll();
    batch.SelectNone();
    EXPECT_EQ("共选中:0个文件", status.texts.back());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(BatchTest, ConvertsOnlyMarkedFilesAndShowsEachName) {
    writeBytes(path("0.c"), "int a; // one\r\n/* two */int b;\r\n");
    writeBytes(path("1.c"), "keep // me\r\n");
    writeBytes(path("2.asm"), "mov a ; x\r\n");
    refresh();
    list.setMarked(1, false);
    status.texts.clear();
    batch.ConvertSelected();
    EXPECT_EQ((std::vector<std::string>{"正在删除注释：" + name("0.c"), "正在删除注释：" + name("2.asm"),
                                        "转换完毕！"}),
              status.texts);
    EXPECT_EQ("int a; \r\nint b;\r\n", readBytes(path("0.c")));
    EXPECT_EQ("keep // me\r\n", readBytes(path("1.c")));
    EXPECT_EQ("mov a \r\n", readBytes(path("2.asm")));
    EXPECT_FALSE(list.isMarked(1));  // marks are as before
    EXPECT_TRUE(list.isMarked(0) && list.isMarked(2));
    EXPECT_TRUE(messages.texts.empty());

    status.texts.clear();
    batch.ConvertSelected();  // a second run processes the same files again
    EXPECT_EQ(3u, status.texts.size());
}

TEST_F(BatchTest, PassesOverEmptyOversizedAndUnknownLanguageFilesUntouched) {
    writeBytes(path("empty.c"), "");
    const std::string big(70000, 'x');
    writeBytes(path("big.h"), big);
    writeBytes(path("inc"), "a ; b\r\n");  // listed for "inc"; its key comes from the whole path
    writeBytes(path("plain.c"), "no comment\r\n");
    refresh();
    const testing::FileIdentity before = identity("plain.c");
    batch.ConvertSelected();
    EXPECT_EQ("", readBytes(path("empty.c")));
    EXPECT_EQ(big, readBytes(path("big.h")));
    EXPECT_EQ("a ; b\r\n", readBytes(path("inc")));
    // Its bytes would not change: not written, so its inode and times stay.
    EXPECT_EQ(before, identity("plain.c"));
    EXPECT_EQ("no comment\r\n", readBytes(path("plain.c")));
    EXPECT_EQ("转换完毕！", status.texts.back());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(BatchTest, FailureShowsTheMessageAndStopsTheBatchThere) {
    for (const char* broken : {"b.c", "b.h"}) {
        writeBytes(path("a.c"), "a; // x\r\n");
        writeBytes(path("c.c"), "c; // x\r\n");
        writeBytes(path(broken), "b; // x\r\n");
        refresh();
        if (std::string_view(broken) == "b.c") {
            testing::removeFile(path(broken));  // deleted after the refresh
        } else {
            testing::makeReadOnly(path(broken));  // read-only, refused even for root
        }
        messages.texts.clear();
        batch.ConvertSelected();
        ASSERT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
        EXPECT_EQ("正在删除注释：" + name(broken), status.texts.back());
        EXPECT_EQ(name(broken), U8(batch.lastFailure()).substr(0, name(broken).size()));
        EXPECT_EQ("a; \r\n", readBytes(path("a.c")));
        EXPECT_EQ("c; // x\r\n", readBytes(path("c.c")));
        if (fs::exists(path(broken))) {
            EXPECT_EQ("b; // x\r\n", readBytes(path(broken)));
        }
        testing::removeFile(path(broken));
    }
}

class BatchStopTest : public BatchTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(BatchStopTest, StopEndsTheRunAtItsNextYield) {
    for (int i = 0; i < 4; ++i) writeBytes(path(std::to_string(i) + ".c"), "x; // y\r\n");
    refresh();
    batch.setWorkers(GetParam());
    std::vector<bool> busy;
    batch.onBusyChanged = [&](bool b) { busy.push_back(b); };
    ScopedYieldHook hook([&] {
        if (status.texts.back() == "正在删除注释：" + name("1.c")) batch.requestStop();
    });
    batch.ConvertSelected();
    EXPECT_EQ("x; \r\n", readBytes(path("0.c")));
    // The stop came while 1.c was loading: it and the rest are untouched, and no end is shown.
    for (const char* f : {"1.c", "2.c", "3.c"}) EXPECT_EQ("x; // y\r\n", readBytes(path(f)));
    EXPECT_EQ("正在删除注释：" + name("1.c"), status.texts.back());
    EXPECT_EQ((std::vector<bool>{true, false}), busy);
    EXPECT_EQ(0, batch.runDepth());
    batch.RefreshList(testing::textOf(dir_));  // a stopped batch starts nothing more
    EXPECT_EQ(4u, list.count());
}

INSTANTIATE_TEST_SUITE_P(OneThreadAndWorkers, BatchStopTest, ::testing::Values(0, 2));

TEST_F(BatchTest, AnyFailureEndsItsRunTellsItsCauseAndIsForgottenByTheNextRun) {
    writeBytes(path("a.c"), "a; // b\n");
    writeBytes(path("ro.c"), "keep // me\n");
    testing::makeReadOnly(path("ro.c"));
    refresh();
    batch.ConvertSelected();
    ASSERT_EQ(name("ro.c") + ": read-only file", U8(batch.lastFailure()));
    ASSERT_EQ(std::vector<std::string>{U8(batch.lastFailure())}, messages.details);
    testing::removeFile(path("ro.c"));
    refresh();
    batch.ConvertSelected();
    EXPECT_EQ(u"", batch.lastFailure());  // a run that went well has no cause to tell

    // A status line that fails in the middle of a run, where nothing expects a failure.
    struct FailingStatus : StatusLine {
        void setText(const std::u16string&) override { throw std::runtime_error("the status line is gone"); }
    } failing;
    Batch broken{files, stripper, list, failing, switches, messages};
    std::vector<bool> busy;
    broken.onBusyChanged = [&](bool b) { busy.push_back(b); };
    messages.texts.clear();
    broken.RefreshList(testing::textOf(dir_));
    EXPECT_EQ(0, broken.runDepth());  // or the window could never close
    EXPECT_EQ((std::vector<bool>{true, false}), busy);
    EXPECT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ(u"the status line is gone", broken.lastFailure());
}

// --- Real trees ------------------------------------------------------------------------------

// A run started at a yield of a file's conversion converts other files: the file keeps its own
// language, whatever the other run's last file was.
TEST_F(BatchTest, ARunInsideAFilesConversionLeavesItItsLanguage) {
    writeBytes(path("a.c"), "\xe4\xb8\xad x; // y\n");  // beyond ASCII: converted with yields
    writeBytes(path("b.asm"), "mov a ; b\n");
    refresh();
    batch.setWorkers(0);  // workers hold their yields
    struct Languages : RunReport {
        void fileDone(const FileReport& r) override { seen.emplace_back(U8(r.path), r.language); }
        std::vector<std::pair<std::string, Language>> seen;
    } report;
    batch.setReport(&report);
    int yields = 0;  // the nested run starts once the conversion's own passes are under way
    ScopedYieldHook hook([&] {
        if (status.texts.back() == "正在删除注释：" + name("a.c") && ++yields == 3) {
            list.setMarked(0, false);
            batch.ConvertSelected();
        }
    });
    batch.ConvertSelected();
    using L = Language;
    EXPECT_EQ((std::vector<std::pair<std::string, Language>>{
                  {name("b.asm"), L::Assembler}, {name("a.c"), L::CFamily}, {name("b.asm"), L::Assembler}}),
              report.seen);
    EXPECT_EQ("\xe4\xb8\xad x; \n", readBytes(path("a.c")));
}

TEST_F(BatchTest, EachFileKeepsItsLineEndsAndUnchangedFilesAreNotWritten) {
    const struct {
        const char* name;
        const char* bytes;
        const char* expected;
    } cases[] = {
        {"lf.c", "int a; // x\n/* b */int b;\n", "int a; \nint b;\n"},
        {"crlf.c", "int a; // x\r\n/* b */int b;\r\n", "int a; \r\nint b;\r\n"},
        {"cr.asm", "mov a ; x\rnop\r", "mov a \r\nnop\r\n"},
        // A CR anywhere makes the classic rule: a bare LF stays inside its line unless cut.
        {"mixed.h", "a // x\nb\r\nc\n", "a \r\nb\r\nc\n\r\n"},
        {"lf.asm", "mov a ; x\n; only\n", "mov a \n\n"},
        {"lf.inc", "/* a\n b */x\n", "x\n"},
        {"last.dt", "nop ; y", "nop \n"},
        {"span.cpp", "a /* x\ny */ b\n", "a  b\n"},
        {"url.h", "/* see http://x */\nint a;\n/* end */\nb\n", "\nb\n"},
        {"bare.c", "int a;\nint b;", "int a;\nint b;\n"},  // a missing final LF is added
        {"bare.cpp", "int a;\r\nint b;", "int a;\r\nint b;\r\n"},
        {"clean.c", "int a;\nint b;\n", "int a;\nint b;\n"},
        {"clean.asm", "nop\r\n", "nop\r\n"},
    };
    for (const auto& c : cases) writeBytes(path(c.name), c.bytes);
    refresh();
    const testing::FileIdentity clean = identity("clean.c"), cleanAsm = identity("clean.asm");
    batch.ConvertSelected();
    for (const auto& c : cases) EXPECT_EQ(c.expected, readBytes(path(c.name))) << c.name;
    EXPECT_EQ(clean, identity("clean.c"));
    EXPECT_EQ(cleanAsm, identity("clean.asm"));
    EXPECT_EQ("转换完毕！", status.texts.back());
}

// --- Workers ---------------------------------------------------------------------------------

class BatchWorkersTest : public BatchTest {
protected:
    std::string file(int i) const { return (i < 10 ? "0" : "") + std::to_string(i) + ".c"; }
    void writeTree(int files) {
        for (int i = 0; i < files; ++i)
            writeBytes(path(file(i)), "x" + std::to_string(i) + "; // y\n/* z */w;\n");
    }
    std::string original(int i) const { return "x" + std::to_string(i) + "; // y\n/* z */w;\n"; }
    std::string converted(int i) const { return "x" + std::to_string(i) + "; \nw;\n"; }
};

TEST_F(BatchWorkersTest, WorkersShowTheStatusLinesAndWriteTheFilesOfOneThread) {
    std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> runs;
    for (std::size_t workers : {0, 2}) {
        for (int i = 0; i < 60; ++i)
            writeBytes(path(file(i)), "a /* b */ c /*/ d */ // e\n" + std::to_string(i) + "\n");
        refresh();
        list.setMarked(7, false);
        batch.setWorkers(workers);
        status.texts.clear();
        // A conversion inside one of the run's yields converts everything once more, as one
        // thread would: the files prepared before it are not written.
        bool nested = false;
        ScopedYieldHook hook([&] {
            if (!nested && !status.texts.empty() &&
                status.texts.back() == "正在删除注释：" + name(file(20))) {
                nested = true;
                batch.ConvertSelected();
            }
        });
        batch.ConvertSelected();
        std::vector<std::string> bytes;
        for (int i = 0; i < 60; ++i) bytes.push_back(readBytes(path(file(i))));
        runs.emplace_back(status.texts, bytes);
    }
    EXPECT_EQ(runs[0].first, runs[1].first);
    EXPECT_EQ(runs[0].second, runs[1].second);
    EXPECT_EQ(60u, entries().size());
}

TEST_F(BatchWorkersTest, AFailureAmidPreparedFilesLeavesEveryLaterOneUntouched) {
    writeTree(40);
    testing::makeReadOnly(path(file(10)));  // refused while a worker prepares it
    refresh();
    batch.setWorkers(2);
    batch.ConvertSelected();
    ASSERT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ(name(file(10)) + ": read-only file", U8(batch.lastFailure()));
    EXPECT_EQ("正在删除注释：" + name(file(10)), status.texts.back());
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(i < 10 ? converted(i) : original(i), readBytes(path(file(i)))) << i;
    EXPECT_EQ(40u, entries().size());  // no temporary file
}

TEST_F(BatchWorkersTest, AFileUnmarkedOrDeletedAfterItsPreparationIsNotWritten) {
    writeTree(40);
    refresh();
    batch.setWorkers(2);
    bool done = false;
    ScopedYieldHook hook([&] {
        if (!done && status.texts.back() == "正在删除注释：" + name(file(5))) {
            done = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the files ahead are prepared
            list.setMarked(8, false);
            fs::remove(path(file(9)));
        }
    });
    batch.ConvertSelected();
    ASSERT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ(name(file(9)) + ": No such file or directory", U8(batch.lastFailure()));
    EXPECT_FALSE(fs::exists(path(file(9))));  // not brought back
    for (int i = 0; i < 40; ++i) {
        if (i == 9) continue;
        EXPECT_EQ(i < 8 ? converted(i) : original(i), readBytes(path(file(i)))) << i;
    }
    EXPECT_EQ(39u, entries().size());
}

// A file listed twice (two searches of one folder, or a refresh inside another) is read the second
// time only after its first conversion is in place, as on one thread.
TEST_F(BatchWorkersTest, AFileListedTwiceIsReadAgainOnlyAfterItsFirstConversion) {
    std::vector<std::vector<std::string>> statuses;
    for (std::size_t workers : {0, 2}) {
        writeTree(30);
        refresh();
        files.SearchFiles(testing::textOf(dir_), u"c", list);
        batch.SelectAll();
        ASSERT_EQ(60u, list.count());
        batch.setWorkers(workers);
        status.texts.clear();
        batch.ConvertSelected();
        EXPECT_TRUE(messages.texts.empty()) << U8(batch.lastFailure());
        for (int i = 0; i < 30; ++i) EXPECT_EQ(converted(i), readBytes(path(file(i)))) << i;
        statuses.push_back(status.texts);
    }
    EXPECT_EQ(statuses[0], statuses[1]);
}

// Run again under a GBK and a single-byte locale (TAVIREL_EXPECT_CODESET names its code page).
TEST_F(BatchWorkersTest, WorkersConvertInTheSystemCodePageAsOneThreadDoes) {
    if (const char* expected = std::getenv("TAVIREL_EXPECT_CODESET")) {
        ASSERT_EQ(std::string(expected), CodePage::system().name());
    }
    // Bytes of every kind around the markers: characters of the code page, bytes that do not
    // decode in it, and ASCII.
    std::mt19937 random(7);
    std::vector<std::string> originals;
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        for (int line = 0; line < 12; ++line) {
            for (int k = 0; k < 20; ++k) bytes += static_cast<char>(0x80 + random() % 0x80);
            bytes += line % 3 ? " x; // \xd6\xd0\xce\xc4\xa4\n" : " /* \xc4\xe3\xb9 */ s; ; \xe0\r\n";
        }
        originals.push_back(bytes);
    }
    std::vector<std::vector<std::string>> results;
    for (const std::size_t workers : {0, 2}) {
        for (int i = 0; i < 300; ++i) writeBytes(path(file(i) + (i % 2 ? "" : ".asm")), originals[i]);
        refresh();
        batch.setWorkers(workers);
        batch.ConvertSelected();
        ASSERT_TRUE(messages.texts.empty()) << U8(batch.lastFailure());
        std::vector<std::string> bytes;
        for (int i = 0; i < 300; ++i) bytes.push_back(readBytes(path(file(i) + (i % 2 ? "" : ".asm"))));
        results.push_back(bytes);
    }
    for (int i = 0; i < 300; ++i) ASSERT_EQ(results[0][i], results[1][i]) << i;
}

// Another program at work on the tree during a run: what it wrote stays, read-ahead or not.
class BatchChangedFileTest : public BatchWorkersTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(BatchChangedFileTest, AFileChangedBeforeItsTurnIsConvertedOrRefusedAsItIsThen) {
    writeTree(40);
    refresh();
    batch.setWorkers(GetParam());
    bool changed = false;
    ScopedYieldHook hook([&] {
        if (!changed && status.texts.back() == "正在删除注释：" + name(file(5))) {
            changed = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the files ahead are read
            writeBytes(path(file(9)), original(9) + "v; // new\n");
            testing::makeReadOnly(path(file(12)));
        }
    });
    batch.ConvertSelected();
    EXPECT_EQ(name(file(12)) + ": read-only file", U8(batch.lastFailure()));
    for (int i = 0; i < 40; ++i) {
        const std::string expected = i == 9 ? converted(9) + "v; \n" : i < 12 ? converted(i) : original(i);
        EXPECT_EQ(expected, readBytes(path(file(i)))) << i;
    }
    EXPECT_EQ(40u, entries().size());
    testing::removeFile(path(file(12)));
}

TEST_P(BatchChangedFileTest, AFileWrittenToWhileItIsConvertedFailsTheRunAndKeepsWhatWasWritten) {
    writeTree(20);
    refresh();
    batch.setWorkers(GetParam());
    // Another program writes to the fourth file as its replacement is put in place.
    struct Writer : ReplaceSeam {
        const std::vector<std::string>& shown;
        std::string line;
        fs::path third;
        Writer(const std::vector<std::string>& s, std::string l, fs::path t)
            : shown(s), line(std::move(l)), third(std::move(t)) {}
        void beforeReplace() override {
            if (shown.back() != line) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(12));  // a later clock tick
            writeBytes(third, readBytes(third) + "v;\n");
        }
    } writer(status.texts, "正在删除注释：" + name(file(3)), path(file(3)));
    const fs::path third = path(file(3));
    batch.setReplaceSeam(&writer);
    batch.ConvertSelected();
    EXPECT_EQ(name(file(3)) + ": changed since it was read", U8(batch.lastFailure()));
    EXPECT_EQ(original(3) + "v;\n", readBytes(third));
    for (int i = 0; i < 20; ++i) {
        if (i != 3) {
            EXPECT_EQ(i < 3 ? converted(i) : original(i), readBytes(path(file(i)))) << i;
        }
    }
    EXPECT_EQ(20u, entries().size());
}

INSTANTIATE_TEST_SUITE_P(OneThreadAndWorkers, BatchChangedFileTest, ::testing::Values(0, 2));

}  // namespace
}  // namespace tavirel
