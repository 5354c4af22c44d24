#include "conversion.h"

#include <cstring>

#include "strop.h"
#include "text_file.h"

namespace tavirel {

LineEnds lineEndsOf(std::string_view bytes) {
    return std::memchr(bytes.data(), '\r', bytes.size()) ? LineEnds::Classic : LineEnds::Lf;
}

std::u16string_view LineReader::readLine() {
    const std::u16string_view rest = text_.substr(pos_);
    const std::size_t end = rest.find(ends_ == LineEnds::Lf ? u'\n' : u'\r');
    if (end == std::u16string_view::npos) {
        pos_ = text_.size();
        return rest;
    }
    pos_ += end + 1;
    if (ends_ == LineEnds::Classic && pos_ < text_.size() && text_[pos_] == u'\n') ++pos_;
    return rest.substr(0, end);
}

std::u16string textOfFile(std::u16string_view fileText, LineEnds ends) {
    std::u16string text;
    text.reserve(fileText.size() + 2);
    for (LineReader reader(fileText, ends); !reader.atEnd();) {
        text += reader.readLine();
        text += u"\r\n";
    }
    return text;
}

std::u16string fileTextOf(std::u16string result, LineEnds ends) {
    if (ends == LineEnds::Classic) return result;
    std::size_t w = 0;
    for (std::size_t r = 0; r < result.size(); ++r) {
        if (result[r] == u'\r' && r + 1 < result.size() && result[r + 1] == u'\n') continue;
        result[w++] = result[r];
    }
    result.resize(w);
    return result;
}

SourceConversion convertBytes(StrOPT& strop, const std::u16string& name, std::string_view bytes,
                              const CodePage& page) {
    using Outcome = SourceConversion::Outcome;
    SourceConversion c;
    strop.SetLang(name);
    c.lineEnds = lineEndsOf(bytes);
    c.text = textOfFile(page.decode(bytes), c.lineEnds);
    if (c.text.size() > StrOPT::kSizeLimit) {
        c.outcome = Outcome::TooLarge;
        c.text.clear();
        return c;
    }
    if (c.text.empty()) {
        c.outcome = Outcome::Empty;
        return c;
    }
    c.result = strop.DeletStr_Auto(c.text);
    // A name without a dot gives a key from the whole path ("inc" is listed for "inc"): such a
    // file is left alone rather than written with "Error".
    if (c.result == StrOPT::kUnknownLanguage) {
        c.outcome = Outcome::UnknownLanguage;
        c.text.clear();
        c.result.clear();
        return c;
    }
    c.result = strop.DeletStr_Mid(std::move(c.result), u"/*", u"*/");
    // The result holds only characters of the file plus CR and LF, so it always encodes; it is
    // never empty, since the text's final CR LF survives both passes.
    c.bytes = page.encode(fileTextOf(c.result, c.lineEnds));
    if (c.result.empty() || c.bytes == bytes) {
        c.outcome = Outcome::Unchanged;
        c.bytes.clear();
    } else {
        c.outcome = Outcome::Changed;
    }
    return c;
}

SourceConversion convertSource(StrOPT& strop, const SourceFile& file) {
    if (file.tooLarge()) {
        strop.SetLang(file.path());
        SourceConversion c;
        c.outcome = SourceConversion::Outcome::TooLarge;
        return c;
    }
    return convertBytes(strop, file.path(), file.bytes());
}

}  // namespace tavirel
