// The comment-stripping engine. For one source file the batch runs:
//
//   LoadStr_FormFile(name)         whole text, every line ending CR LF; sets lng from the name
//   DeletStr_Auto(text)            cuts each line at its first "//" (c, cpp, h) or ";" (asm, dt, inc)
//   DeletStr_Mid(text, "/*", "*/") removes each stretch from "/*" through the next "*/"
//
// and writes the result back (writeTextFile). Texts are UTF-16 code units; every operation works
// on its own copies, so a nested call made during one of its yields cannot disturb it.
#pragma once

#include <string>

namespace tavirel {

class StrOPT {
public:
    /// Returned for a file whose text is longer than kSizeLimit code units.
    static constexpr char16_t kSizeSentinel[] = u"尺寸太大";
    /// Returned for a file that gives no characters at all.
    static constexpr char16_t kEmptySentinel[] = u"空文件";
    /// What DeletStr_Auto answers for a language key outside the six.
    static constexpr char16_t kUnknownLanguage[] = u"Error";
    static constexpr std::size_t kSizeLimit = 65536;

    /// The language key: the lower-cased extension of the last non-empty name given to
    /// LoadStr_FormFile or DeleteStr_FromFile. Callers may read and write it.
    std::u16string lng;

    /// The file's lines, each followed by CR LF; a sentinel for an empty or too long text; the
    /// empty text for an empty name. Sets lng before opening. Throws FileError.
    std::u16string LoadStr_FormFile(std::u16string FileName);

    /// The file's lines, each cut at the first `str` and followed by a bare LF. Sets lng.
    /// Throws FileError.
    std::u16string DeleteStr_FromFile(std::u16string FileName, std::u16string str);

    /// Every LF-terminated line holding `subStr` becomes the text before it plus CR LF; other
    /// lines stay whole; text after the last LF is dropped. Yields once per LF and once more.
    std::u16string DeletStr_Right(std::u16string mainStr, std::u16string subStr);

    /// Repeatedly removes the stretch from the first `startStr` through the first `stopStr` at or
    /// after it, until either is missing. An empty `stopStr` leaves the text unchanged. Yields
    /// once per block removed and once more.
    std::u16string DeletStr_Mid(std::u16string mainStr, std::u16string startStr, std::u16string stopStr);

    /// DeletStr_Right with "//" for lng c, cpp, h and ";" for asm, dt, inc; otherwise "Error".
    std::u16string DeletStr_Auto(std::u16string mainStr);

private:
    void SetLang(std::u16string FileName);
};

}  // namespace tavirel
