// SPDX-License-Identifier: MIT
// What the main form does, free of any toolkit: the engines it starts with, its buttons, 打开, a
// run's busy state and a close asked for during a run. Each window keeps only its widgets, its
// events and its painting, and drives this.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "batch.h"
#include "batch_interfaces.h"
#include "dir_file.h"
#include "strop.h"

namespace tavirel {

/// What the controller asks of the window around it.
class FormView {
public:
    virtual ~FormView() = default;
    /// The path box, TxtInput.
    virtual std::u16string folderText() const = 0;
    virtual void setFolderText(const std::u16string& folder) = 0;
    /// The system's folder picker, owned by the window and opening on `from` (empty: wherever the
    /// system likes); the folder chosen, or the empty text on cancel.
    virtual std::u16string pickFolder(const std::u16string& prompt, const std::u16string& from) = 0;
    /// A run began (true) or the last one ended: the controls that would start another are
    /// refused or given back.
    virtual void showBusy(bool busy) = 0;
    /// Closes the window once the handler under way has returned: the run it started has unwound.
    virtual void closeSoon() = 0;
    /// Asks `question`, with OK and Cancel; true for OK.
    virtual bool confirm(const std::u16string& question) = 0;
};

/// The five buttons Cmd(0) to Cmd(4), by the index the form knows them by; a window that derives
/// from this names them as its own.
struct FormButtons {
    enum CmdIndex { kSelectAll = 0, kSelectNone = 1, kRefresh = 2, kConvert = 3, kExit = 4 };
};

class FormController : public FormButtons {
public:
    /// What 打开 asks the picker.
    static constexpr char16_t kPickPrompt[] = u"请选择目录";

    FormController(FormView& view, FileList& list, StatusLine& status, ExtensionSwitches& switches,
                   MessageBox& messages);
    ~FormController();

    /// Makes the engines, puts `folder` in the path box and lists it.
    void start(const std::u16string& folder);
    /// One of the five buttons; 退出 asks for the close (the window's own close, then
    /// requestClose()).
    void press(int cmd);
    /// 打开: the picker, then the folder chosen is shown and listed; a cancel changes nothing.
    void open();
    /// The window asks to close. True: no run is under way and the engines are gone, so the
    /// window may go. False: the run ends at its next yield and the window is closed soon after.
    bool requestClose();
    /// The session ends: every run stops at its next yield.
    void stop();

    /// The rules and the comments kept for the next run, shown after the count in the status
    /// line. Refused (false) during a run, whose files all go by the rules it began with.
    bool setRules(RuleSet rules);
    bool setKeepLicense(bool on);
    /// An extended regular expression; the empty text keeps none. False also for one that is
    /// not valid, which changes nothing.
    bool setKeepPattern(const std::u16string& pattern);
    RuleSet rules() const { return options_.rules; }
    bool keepsLicense() const { return options_.keep.license; }
    const std::u16string& keepPattern() const { return pattern_; }
    /// The rules and kept comments as a conversion takes them, for a preview.
    ConversionOptions conversionOptions() const { return {.rules = options_.rules, .keep = options_.keep}; }

    /// The list's menu entries for the rules, in both windows.
    static constexpr char16_t kSyntaxEntry[] = u"按语法删除注释";
    static constexpr char16_t kLicenseEntry[] = u"保留许可证注释";
    static constexpr char16_t kPatternEntry[] = u"保留匹配的注释…";
    static constexpr char16_t kPatternPrompt[] = u"保留匹配这个扩展正则表达式的注释（留空则不保留）：";
    static constexpr char16_t kBadPattern[] = u"这不是有效的扩展正则表达式：";

    /// The entry, and Ctrl+Z, that puts back the files the last run over the listed folder
    /// replaced (undo_journal.h).
    static constexpr char16_t kUndoEntry[] = u"撤销上次转换";
    static constexpr char16_t kUndoFailed[] = u"撤销失败。";
    static constexpr char16_t kUndoLeft[] = u"有文件未能恢复，它们保持原样。";
    /// Whether there is a run to undo and no run under way.
    bool canUndo() const;
    /// Says how many files it will put back and asks once; then puts them back, lists the folder
    /// again and says the outcome in the status line, the files it left in a message.
    void undo();
    /// Where the originals are kept; the user's state folder unless said otherwise.
    void setJournals(const std::u16string& home) { journals_ = home; }

    bool busy() const { return batch_ && batch_->runDepth() > 0; }
    bool hasEngines() const { return batch_ != nullptr; }
    /// Set when 退出 is pressed: the window closes as it would for its own close box.
    std::function<void()> onExit;

private:
    FormView& view_;
    FileList& list_;
    StatusLine& status_;
    ExtensionSwitches& switches_;
    MessageBox& messages_;
    std::unique_ptr<Dir_File> dirFile_;
    std::unique_ptr<StrOPT> strOpt_;
    std::unique_ptr<Batch> batch_;
    bool closePending_ = false;
    std::u16string journals() const;

    ConvertOptions options_;
    std::u16string pattern_;
    std::optional<std::u16string> journals_;
};

}  // namespace tavirel
