// SPDX-License-Identifier: MIT
// tavirel-batch.exe end to end on Windows: its exit codes, its output, and every file old or whole
// when the process is ended at any moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "test_support.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

struct Result {
    DWORD status;
    std::string out, err;
};

// The program, beside the tests' own folder in the build tree.
std::wstring program() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (fs::path(self).parent_path().parent_path() / "app" / TAVIREL_BATCH_NAME).wstring();
}

// Wine's ReplaceFileW, unlike Windows's, moves the old file aside to an "rf*.tmp" of its own and
// deletes it before the new one takes its name: an end in between may leave the old file there or
// only the new content, in our temporary file.
using testing::underWine;

class BatchCliWin32Test : public testing::TempDirTest {
protected:
    // Starts the program with `args`, its output going to files; stopped after `killAfter` if given.
    Result run(const std::wstring& args, std::chrono::microseconds killAfter = {}) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const fs::path outPath = path("stdout"), errPath = path("stderr");
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
        HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        start.hStdOutput = out;
        start.hStdError = err;
        std::wstring command = L"\"" + program() + L"\" " + args;
        PROCESS_INFORMATION process{};
        const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                            nullptr, nullptr, &start, &process);
        CloseHandle(out);
        CloseHandle(err);
        if (!started) {
            ADD_FAILURE() << "could not start the program";
            return {};
        }
        if (killAfter.count() > 0) {
            std::this_thread::sleep_for(killAfter);
            TerminateProcess(process.hProcess, 99);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return {status, readBytes(outPath), readBytes(errPath)};
    }
    std::wstring tree() const { return L"\"" + path("tree").wstring() + L"\""; }
};

TEST_F(BatchCliWin32Test, ConvertsReportsAndRefusesAsOnLinux) {
    fs::create_directories(path("tree/sub"));
    writeBytes(path("tree/a.c"), "int a; // x\r\n/* b */int b;\r\n");
    writeBytes(path("tree/sub/b.asm"), "mov ; x\nnop\n");
    writeBytes(path("tree/clean.h"), "int c;\n");
    const Result dry = run(L"--check " + tree());
    EXPECT_EQ(1u, dry.status);
    EXPECT_EQ(path("tree/a.c").string() + "\n" + path("tree/sub/b.asm").string() + "\n", dry.out);
    EXPECT_EQ("int a; // x\r\n/* b */int b;\r\n", readBytes(path("tree/a.c")));

    const Result diff = run(L"--diff " + tree());
    EXPECT_EQ(0u, diff.status);
    EXPECT_EQ(0u, diff.out.find("--- a/a.c\n+++ b/a.c\n@@ -1,2 +1,2 @@\n-int a; // x\r\n"));

    const Result r = run(tree());
    EXPECT_EQ(0u, r.status) << r.err;
    EXPECT_EQ("tavirel-batch: 2 converted, 1 unchanged, 0 passed over\n",
              r.err.substr(r.err.rfind("tavirel-batch:")));
    EXPECT_EQ("int a; \r\nint b;\r\n", readBytes(path("tree/a.c")));
    EXPECT_EQ("mov \nnop\n", readBytes(path("tree/sub/b.asm")));
    EXPECT_EQ(0u, run(L"--check " + tree()).status);

    // A read-only file with a comment: the message, its file and reason, and 1.
    writeBytes(path("tree/z.c"), "z; // z\n");
    SetFileAttributesW(path("tree/z.c").c_str(), FILE_ATTRIBUTE_READONLY);
    const Result failed = run(L"-q " + tree());
    EXPECT_EQ(1u, failed.status);
    EXPECT_NE(std::string::npos, failed.err.find(path("tree/z.c").string() + ": read-only file"))
        << failed.err;
    SetFileAttributesW(path("tree/z.c").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ("z; // z\n", readBytes(path("tree/z.c")));

    for (const wchar_t* args : {L"", L"--bogus x", L"--only txt x", L"a b"})
        EXPECT_EQ(2u, run(args).status) << args;
    const Result missing = run(L"\"" + path("no such").wstring() + L"\"");
    EXPECT_EQ(2u, missing.status);
    EXPECT_EQ("tavirel-batch: " + path("no such").string() + ": No such file or directory\n", missing.err);
}

TEST_F(BatchCliWin32Test, EndedAtAnyMomentEveryFileIsOldOrConverted) {
    const std::string before = "int a; // note\r\n/* block\r\n */ int b;\r\n";
    const std::string after = "int a; \r\n int b;\r\n";
    std::mt19937 rng(5);
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(path("tree"));
        for (int i = 0; i < 300; ++i) {
            const fs::path folder = path("tree") / std::to_string(i % 10);
            fs::create_directories(folder);
            writeBytes(folder / (std::to_string(i) + ".c"), before + std::string(i % 50, ' ') + "\r\n");
        }
        run((round % 2 ? L"-j1 " : L"-j3 ") + tree(), std::chrono::microseconds(20000 + rng() % 400000));
        int converted = 0, sources = 0, heldElsewhere = 0;
        for (const auto& entry : fs::recursive_directory_iterator(path("tree"))) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            const std::string bytes = readBytes(entry.path());
            // Only an end in the microseconds between naming the new content and putting it in
            // place may leave it behind; the search never lists it.
            if (name.rfind(".tavirel-", 0) == 0 && entry.path().extension() == ".tmp") {
                heldElsewhere += bytes.rfind(after, 0) == 0;
                continue;
            }
            if (underWine() && name.rfind("rf", 0) == 0 && entry.path().extension() == ".tmp") {
                heldElsewhere += bytes.rfind(before, 0) == 0;
                continue;
            }
            ASSERT_EQ(".c", entry.path().extension()) << entry.path();
            ++sources;
            const std::string pad(std::stoi(name) % 50, ' ');
            if (bytes == after + pad + "\r\n") {
                ++converted;
            } else {
                ASSERT_EQ(before + pad + "\r\n", bytes) << entry.path();
            }
        }
        if (underWine()) {
            EXPECT_LE(300 - sources, heldElsewhere);
        } else {
            EXPECT_EQ(300, sources);
        }
        RecordProperty("converted_round_" + std::to_string(round), converted);
    }
}

}  // namespace
}  // namespace tavirel
