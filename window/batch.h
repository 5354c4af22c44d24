// The batch behind the window's buttons, free of any toolkit: refresh the list for a folder and
// the switched-on extensions, mark all or none, convert the marked files in place.
//
// Every loop hands control to the event loop once per pass, so a window stays live and the user
// may start another run inside one. requestStop() ends every run at its next yield: nothing after
// that touches a file or an engine object, and the file being written is either untouched or
// whole, because writes replace files atomically and never yield.
#pragma once

#include <functional>
#include <string>

#include "batch_interfaces.h"
#include "dir_file.h"
#include "strop.h"
#include "text_file.h"

namespace tavirel {

class Batch {
public:
    /// The extension each switch stands for, by index.
    static constexpr const char16_t* kExtensions[6] = {u"c", u"cpp", u"h", u"asm", u"dt", u"inc"};

    Batch(Dir_File& files, StrOPT& stripper, FileList& list, StatusLine& status, ExtensionSwitches& switches,
          MessageBox& messages);

    /// Empties the list; unless `folder` is the empty text, searches it for every switched-on
    /// extension and marks everything found.
    void RefreshList(const std::u16string& folder);
    /// Marks every entry and shows the count.
    void SelectAll();
    /// Clears every mark and shows a count of 0.
    void SelectNone();
    /// Loads, strips and writes back every marked file, showing each name; shows the one message
    /// on the first failure and stops there.
    void ConvertSelected();

    /// Ends every run at its next yield; the batch starts no new run afterwards.
    void requestStop() { stopRequested_ = true; }
    /// How many runs are under way, nested ones counted. Engines may be released only at 0.
    int runDepth() const { return depth_; }
    /// Called when the first run starts (true) and when the last one ends (false).
    std::function<void(bool busy)> onBusyChanged;

    /// The file and the reason of the last failed conversion, for front ends that can say more
    /// than the message box.
    const std::u16string& lastFailure() const { return lastFailure_; }

private:
    template <typename Procedure>
    void run(Procedure procedure);
    void selectAll();
    void SaveText(const SourceFile& file, const std::string& bytes, NewFileDefaults& defaults);

    Dir_File& files_;
    StrOPT& stripper_;
    FileList& list_;
    StatusLine& status_;
    ExtensionSwitches& switches_;
    MessageBox& messages_;
    bool stopRequested_ = false;
    int depth_ = 0;
    std::u16string lastFailure_;
};

}  // namespace tavirel
