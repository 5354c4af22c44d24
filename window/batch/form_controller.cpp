// SPDX-License-Identifier: MIT
#include "form_controller.h"

#include "code_page.h"
#include "errors.h"
#include "failure_reasons.h"
#include "folder_enum.h"
#include "undo_journal.h"

namespace tavirel {
namespace {

std::u16string count(std::size_t n) {
    const std::string digits = std::to_string(n);
    return {digits.begin(), digits.end()};
}

}  // namespace

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
        case kConvert:
            options_.journals = journals();
            batch_->setOptions(options_);
            batch_->ConvertSelected();
            if (batch_ && batch_->lastNotKept() > 0) {
                messages_.showMessage(
                    u"有 " + count(batch_->lastNotKept()) +
                        u" 个文件在另一个文件系统上，复制原文件会超出上限，未保留：它们不能撤销。",
                    u"");
            }
            break;
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

std::u16string FormController::journals() const {
    return journals_ ? *journals_ : defaultJournalHome();
}

bool FormController::canUndo() const {
    if (!batch_ || busy()) return false;
    const std::u16string home = journals();
    return !home.empty() && undoAvailable(home, batch_->folder());
}

void FormController::undo() {
    if (!canUndo()) return;
    const std::u16string folder = batch_->folder();
    // The files left, each with its reason, for the message's details.
    struct Left : UndoReport {
        std::u16string details;
        void restored(const std::u16string&) override {}
        void leftAlone(const std::u16string& path, UndoReport::Left why,
                       const std::u16string& detail) override {
            std::u16string because;
            switch (why) {
                case UndoReport::Left::Changed: because = u"转换后已改动，原文件保存在 " + detail; break;
                case UndoReport::Left::NotKept: because = u"原文件未保留"; break;
                case UndoReport::Left::Unreadable:
                    because = reasonInChinese(CodePage::system().encode(detail));
                    break;
            }
            details += path + u": " + because + u"\n";
        }
    };
    auto failed = [this](const FileError& e) {
        messages_.showMessage(kUndoFailed, e.path() + u": " + reasonInChinese(e.reason()));
    };
    Left plan;
    UndoOutcome outcome;
    try {
        outcome = batch_->UndoLastRun(journals(), folder, true, plan);
    } catch (const FileError& e) {
        return failed(e);
    }
    if (!batch_ || closePending_) return;  // closed meanwhile
    std::u16string question = u"撤销上次转换：将恢复 " + count(outcome.restored) + u" 个文件";
    if (outcome.left > 0) question += u"，" + count(outcome.left) + u" 个文件在转换后已改动，保持原样";
    if (!view_.confirm(question + u"。确定吗？") || !batch_) return;
    Left done;
    try {
        outcome = batch_->UndoLastRun(journals(), folder, false, done);
    } catch (const FileError& e) {
        return failed(e);
    }
    if (!batch_ || closePending_) return;
    batch_->RefreshList(folder);
    std::u16string said = u"已恢复 " + count(outcome.restored) + u" 个文件";
    if (outcome.left > 0) said += u"，" + count(outcome.left) + u" 个文件保持原样";
    status_.setText(said);
    if (!done.details.empty()) messages_.showMessage(kUndoLeft, done.details);
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
