// Source text files: read whole, handed out line by line; written back by atomic replacement.
// Paths are texts and cross to the platform in the system code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavirel {

/// The platform form of a path: its bytes in the system code page. Throws EncodeError.
std::string platformPath(std::u16string_view path);

/// Sequential input by the line rule: a line ends at CR or CR LF, which is not part of it; a
/// lone LF is an ordinary character; the last line runs to the end of the file; a terminator at
/// the very end starts no further line. The file is read and decoded whole when opened, and
/// reading never yields. Opening throws FileError (with the path and the reason) when the file
/// cannot be read.
class TextInput {
public:
    /// A file of more than `byteLimit` bytes is not read at all: tooLarge() is true and the input
    /// holds no lines.
    explicit TextInput(std::u16string_view path, std::size_t byteLimit = SIZE_MAX);

    bool tooLarge() const { return tooLarge_; }
    bool atEnd() const { return pos_ >= text_.size(); }
    /// The next line without its terminator. Valid until the next call or the input's end.
    std::u16string_view readLine();

private:
    std::u16string text_;
    std::size_t pos_ = 0;
    bool tooLarge_ = false;
};

struct WriteOptions {
    /// fsync the new content before it replaces the old. Protects against a power cut, not
    /// just a killed process, at the price of one disk flush per file.
    bool flushToDisk = false;
};

/// Writes `text`, encoded in the system code page and nothing after it, over the file at `path`
/// (created if missing) through replaceFile(). Throws EncodeError before touching anything if
/// the text holds a character the code page lacks.
void writeTextFile(std::u16string_view path, std::u16string_view text, WriteOptions options = {});

/// Replaces the file at `path` by `bytes` atomically: a temporary dot-named ".tmp" file in the
/// same folder, given the original's permission bits (and owner where allowed), renamed over it.
/// A symbolic link is written through to its target. Refused with FileError, leaving everything
/// as it was: a folder or special file, a file with no write permission bit at all (even for
/// root), a file the process may not write in place, any failure of the write itself. A file
/// with several hard links gets a new inode under this name; its other names keep the old bytes.
void replaceFile(const std::string& path, std::string_view bytes, WriteOptions options = {});

}  // namespace tavirel
