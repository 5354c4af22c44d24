// SPDX-License-Identifier: MIT
// The comment-stripping engine. For one source file the batch runs:
//
//   LoadStr_FormFile(name)         whole text, every line ending CR LF; sets lng from the name
//   DeletStr_Auto(text)            cuts each line at its first "//" (c, cpp, h) or ";" (asm, dt, inc)
//   DeletStr_Mid(text, "/*", "*/") removes each stretch from "/*" through the next "*/"
//
// and writes the result back; conversion.h has the whole road of one file, bytes to bytes. Texts
// are UTF-16 code units; every operation works on its own copies, so a nested call made during
// one of its yields cannot disturb it.
#pragma once

#include <string>
#include <string_view>

namespace tavirel {

class CodePage;
class SourceFile;
struct ConversionOptions;
struct SourceConversion;

class StrOPT {
public:
    /// Returned for a file whose text is longer than kSizeLimit code units.
    static constexpr char16_t kSizeSentinel[] = u"尺寸太大";
    /// Returned for a file that gives no characters at all.
    static constexpr char16_t kEmptySentinel[] = u"空文件";
    /// What DeletStr_Auto answers for a language key outside the six.
    static constexpr char16_t kUnknownLanguage[] = u"Error";
    static constexpr std::size_t kSizeLimit = 65536;
    /// A character takes at most four bytes in any code page, and line ends only add units, so
    /// a file of more bytes than this can only give the size sentinel: it is not read at all,
    /// which keeps a huge file from being loaded whole.
    static constexpr std::size_t kReadLimitBytes = 8 * kSizeLimit;

    /// The language key: the lower-cased extension of the last non-empty name given to
    /// LoadStr_FormFile or DeleteStr_FromFile. Callers may read and write it.
    std::u16string lng;

    /// The file's lines, each followed by CR LF; a sentinel for an empty or too long text; the
    /// empty text for an empty name. A file without any CR is read by LF line ends. Sets lng
    /// before opening. Throws FileError.
    std::u16string LoadStr_FormFile(std::u16string FileName);

    /// The file's lines by the classic rule (a line ends at CR or CR LF), each cut at the first
    /// `str` and followed by a bare LF. Sets lng. Throws FileError.
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

    /// The language key of a file's name, as lng takes it: its extension, lower-cased.
    static std::u16string languageKeyOf(std::u16string FileName);

private:
    friend SourceConversion convertBytes(StrOPT&, const std::u16string&, std::string_view, const CodePage&,
                                         ConversionOptions);
    friend SourceConversion convertSource(StrOPT&, const SourceFile&, ConversionOptions);

    void SetLang(std::u16string FileName);
};

}  // namespace tavirel
