// SPDX-License-Identifier: MIT
// What the batch needs of a window: the file list, the status line, the extension switches and
// a message box. The Qt window implements them; the headless front end and the tests have plain
// ones. The yield is the process-wide hook of event_yield.h.
#pragma once

#include <cstddef>
#include <string>

#include "dir_file.h"

namespace tavirel {

/// The list of found files (List1): entries numbered from 0, each a text and a selection mark.
/// Appends come only from the search; entry operations throw Error for an index past the end.
class FileList : public ItemList {
public:
    virtual void clear() = 0;
    virtual std::size_t count() const = 0;
    virtual std::u16string text(std::size_t index) const = 0;
    virtual bool isMarked(std::size_t index) const = 0;
    virtual void setMarked(std::size_t index, bool on) = 0;
};

/// The one-line status box; every update replaces the whole line.
class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void setText(const std::u16string& text) = 0;
};

/// The six extension switches, indexes 0 to 5 for c, cpp, h, asm, dt, inc.
class ExtensionSwitches {
public:
    virtual ~ExtensionSwitches() = default;
    /// Whether the switch of the language key kLanguageKeys[index] is on.
    virtual bool isOn(int index) const = 0;
};

/// A modal message with only an OK button; returns when the user dismisses it. `details` (the file
/// and the reason of a failure, say) is shown on request, where the toolkit can.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void showMessage(const std::u16string& text, const std::u16string& details) = 0;
};

}  // namespace tavirel
