// SPDX-License-Identifier: MIT
// The batch over plain fakes of the window's parts and a temporary folder of real files.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "batch.h"
#include "sorted_file_list.h"
#include "test_support.h"

namespace tavirel {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::T;
using testing::U8;
using testing::writeBytes;

struct RecordingStatus : StatusLine {
    void setText(const std::u16string& text) override { texts.push_back(U8(text)); }
    std::vector<std::string> texts;
};

struct Switches : ExtensionSwitches {
    bool on[6] = {true, true, true, true, true, true};
    bool isOn(int index) const override { return on[index]; }
};

struct RecordingMessages : MessageBox {
    void showMessage(const std::u16string& text, const std::u16string& detail) override {
        texts.push_back(U8(text));
        details.push_back(U8(detail));
    }
    std::vector<std::string> texts, details;
};

class BatchTest : public testing::TempDirTest {
protected:
    void refresh() { batch.RefreshList(testing::textOf(dir_)); }
    /// A file's path as the list shows it.
    std::string name(std::string_view file) const { return U8(testing::textOf(path(file))); }
    testing::FileIdentity identity(std::string_view file) const { return testing::identityOf(path(file)); }
    std::vector<std::string> entries(std::string_view folder = "") const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder.empty() ? dir_ : path(folder))) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    Dir_File files;
    StrOPT stripper;
    SortedFileList list;
    RecordingStatus status;
    Switches switches;
    RecordingMessages messages;
    Batch batch{files, stripper, list, status, switches, messages};
};

}  // namespace tavirel
