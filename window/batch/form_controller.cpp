// SPDX-License-Identifier: MIT
#include "form_controller.h"

#include "folder_enum.h"

namespace tavirel {

FormController::FormController(FormView& view, FileList& list, StatusLine& status,
                               ExtensionSwitches& switches, MessageBox& messages)
    : view_(view), list_(list), status_(status), switches_(switches), messages_(messages) {}

FormController::~FormController() {
    // The batch holds the engines: it goes first.
    batch_.reset();
}

void FormController::start(const std::u16string& folder) {
    dirFile_ = std::make_unique<Dir_File>(nullptr, [this](std::uintptr_t, const std::u16string& prompt) {
        // The picker opens on the folder in the box, when there is one.
        const std::u16string typed = view_.folderText();
        return view_.pickFolder(prompt,
                                !typed.empty() && folderUnreadableReason(typed).empty() ? typed : u"");
    });
    strOpt_ = std::make_unique<StrOPT>();
    batch_ = std::make_unique<Batch>(*dirFile_, *strOpt_, list_, status_, switches_, messages_);
    batch_->onBusyChanged = [this](bool busy) {
        view_.showBusy(busy);
        // Closed during the run, which has now unwound: closed for real once the handler that
        // started it has returned, so that nothing on its stack outlives the engines.
        if (!busy && closePending_) view_.closeSoon();
    };
    batch_->setReasonsInChinese(true);
    batch_->setOptions(options_);
    view_.setFolderText(folder);
    batch_->RefreshList(view_.folderText());
}

void FormController::press(int cmd) {
    if (!batch_) return;
    switch (cmd) {
        case kSelectAll: batch_->SelectAll(); break;
        case kSelectNone: batch_->SelectNone(); break;
        case kRefresh: batch_->RefreshList(view_.folderText()); break;
        case kConvert: batch_->ConvertSelected(); break;
        case kExit:
            if (onExit) onExit();
            break;
        default: break;
    }
}

void FormController::open() {
    if (!batch_) return;
    const std::u16string folder = dirFile_->BrowseForFolder(0, kPickPrompt);
    if (folder.empty()) return;
    view_.setFolderText(folder);
    status_.setText(u"...正扫描目录：" + folder);
    batch_->RefreshList(folder);
}

bool FormController::setRules(RuleSet rules) {
    if (busy()) return false;
    options_.rules = rules;
    if (batch_) {
        batch_->setOptions(options_);
        batch_->showCount();
    }
    return true;
}

bool FormController::setKeepLicense(bool on) {
    if (busy()) return false;
    options_.keep.license = on;
    if (batch_) batch_->setOptions(options_);
    return true;
}

bool FormController::setKeepPattern(const std::u16string& pattern) {
    if (busy()) return false;
    std::shared_ptr<const std::regex> compiled;
    if (!pattern.empty()) {
        try {
            compiled = tavirel::keepPattern(pattern);
        } catch (const std::exception&) {
            return false;
        }
    }
    options_.keep.pattern = std::move(compiled);
    pattern_ = pattern;
    if (batch_) batch_->setOptions(options_);
    return true;
}

bool FormController::requestClose() {
    if (busy()) {
        // The run ends at its next yield; the engines go only after it has unwound.
        closePending_ = true;
        batch_->requestStop();
        return false;
    }
    batch_.reset();
    dirFile_.reset();
    strOpt_.reset();
    return true;
}

void FormController::stop() {
    if (batch_) batch_->requestStop();
}

}  // namespace tavirel
