#include "batch.h"

#include <optional>

#include "code_page.h"
#include "conversion.h"
#include "errors.h"
#include "event_yield.h"

namespace tavirel {
namespace {

// Thrown from a yield once a stop is requested. Deliberately not a std::exception, so that no
// handler on the way (the search skips every std::exception) can swallow it.
struct RunStopped {};

std::u16string countText(std::size_t n) {
    const std::string digits = std::to_string(n);
    return u"共选中:" + std::u16string(digits.begin(), digits.end()) + u"个文件";
}

std::u16string reasonOf(const std::exception& e) {
    const auto* fileError = dynamic_cast<const FileError*>(&e);
    const std::string reason = fileError ? fileError->reason() : e.what();
    return CodePage::system().decode(reason);
}

}  // namespace

Batch::Batch(Dir_File& files, StrOPT& stripper, FileList& list, StatusLine& status, ExtensionSwitches& switches,
             MessageBox& messages)
    : files_(files), stripper_(stripper), list_(list), status_(status), switches_(switches), messages_(messages) {}

template <typename Procedure>
void Batch::run(Procedure procedure) {
    if (stopRequested_) return;
    // Each run checks for a stop after every yield, its engines' yields included; a nested run
    // puts its own check in front and takes it away when it ends.
    ScopedYieldHook stopCheck([this, outer = detail::yieldFn, context = detail::yieldContext] {
        if (outer) outer(context);
        if (stopRequested_) throw RunStopped{};
    });
    // The depth comes back down however the run ends, or the window could never close again.
    struct Depth {
        Batch& batch;
        explicit Depth(Batch& b) : batch(b) {
            if (batch.depth_++ == 0 && batch.onBusyChanged) batch.onBusyChanged(true);
        }
        ~Depth() {
            if (--batch.depth_ == 0 && batch.onBusyChanged) batch.onBusyChanged(false);
        }
    } depth(*this);
    try {
        procedure();
    } catch (const RunStopped&) {
        // Unwound to here: nothing more of this run happens.
    }
}

void Batch::RefreshList(const std::u16string& folder) {
    run([&] {
        list_.clear();
        if (folder.empty()) return;
        for (int i = 0; i < 6; ++i) {
            if (switches_.isOn(i)) files_.SearchFiles(folder, kExtensions[i], list_);
        }
        selectAll();
    });
}

void Batch::SelectAll() {
    run([&] { selectAll(); });
}

void Batch::selectAll() {
    const std::size_t count = list_.count();
    std::size_t marked = 0;
    for (std::size_t i = 0; i < count; ++i) {
        yieldToEventLoop();
        if (i >= list_.count()) break;  // the list shrank during the yield
        list_.setMarked(i, true);
        ++marked;
    }
    status_.setText(countText(marked));
}

void Batch::SelectNone() {
    run([&] {
        const std::size_t count = list_.count();
        for (std::size_t i = 0; i < count; ++i) {
            yieldToEventLoop();
            if (i >= list_.count()) break;
            list_.setMarked(i, false);
        }
        status_.setText(countText(0));
    });
}

// One marked file, read, converted and (in a run that writes) ready to be put in place.
struct Batch::Prepared {
    std::u16string path;
    std::optional<SourceFile> file;
    SourceConversion conversion;
    std::vector<Warning> warnings;
    FileReport::Fate fate = FileReport::Fate::Unchanged;
    Language language = Language::CFamily;
    std::optional<Replacement> replacement;
};

Batch::Prepared Batch::prepare(StrOPT& stripper, NewFileDefaults& defaults, std::u16string path) const {
    using Outcome = SourceConversion::Outcome;
    using Fate = FileReport::Fate;
    Prepared p;
    p.path = std::move(path);
    p.file.emplace(p.path, StrOPT::kReadLimitBytes);
    p.conversion = convertSource(stripper, *p.file);
    switch (p.conversion.outcome) {
        case Outcome::Empty: p.fate = Fate::Empty; return p;
        case Outcome::TooLarge: p.fate = Fate::TooLarge; return p;
        case Outcome::UnknownLanguage: p.fate = Fate::UnknownLanguage; return p;
        case Outcome::Unchanged: p.fate = Fate::Unchanged; break;
        case Outcome::Changed: p.fate = Fate::Converted; break;
    }
    p.language = *languageOf(stripper.lng);
    if (options_.warnings || options_.strict) {
        p.warnings = findWarnings(p.conversion.text, p.conversion.result, p.language);
    }
    if (options_.strict && !p.warnings.empty()) {
        p.fate = Fate::Strict;
    } else if (p.fate == Fate::Converted && options_.write) {
        p.replacement.emplace(*p.file, p.conversion.bytes, defaults);
    }
    return p;
}

void Batch::finish(Prepared& file) {
    // Bytes that would not change are not written: the file keeps its inode and times.
    if (file.replacement) SaveText(file);
    if (report_) {
        const std::string_view bytes = file.file ? std::string_view(file.file->bytes()) : std::string_view();
        report_->fileDone({file.fate, file.path, file.language, bytes, file.conversion, file.warnings});
    }
}

void Batch::ConvertSelected() {
    run([&] {
        lastFailure_.clear();
        std::u16string name;
        NewFileDefaults defaults;
        try {
            const std::size_t count = list_.count();
            for (std::size_t i = 0; i < count; ++i) {
                yieldToEventLoop();
                name.clear();
                if (!list_.isMarked(i)) continue;
                name = list_.text(i);
                status_.setText(u"正在删除注释：" + name);
                Prepared file = prepare(stripper_, defaults, name);
                finish(file);
            }
            status_.setText(u"转换完毕！");
        } catch (const std::exception& e) {
            lastFailure_ = name.empty() ? reasonOf(e) : name + u": " + reasonOf(e);
            messages_.showMessage(u"转换出错，转换过程中请不要操作文件！");
        }
    });
}

void Batch::SaveText(Prepared& file) {
    file.replacement->commit();
    file.replacement.reset();
}

}  // namespace tavirel
