// SPDX-License-Identifier: MIT
// The floor of a run: every source file under a folder read whole and replaced atomically by a
// new file of its own bytes and mode, on one thread, with no text work and nothing else: an open,
// an fstat, a read, a named file created beside it, its blocks taken, a write, a rename and two
// closes each. What a run does beyond this is its own cost.
//
//   rewrite_floor FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool isSource(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "c" || ext == "cpp" || ext == "h" || ext == "asm" || ext == "dt" || ext == "inc";
}

std::vector<char> buffer;
long files = 0;

bool rewrite(int folder, const char* name) {
    const int in = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) return ::close(in), false;
    const auto size = static_cast<std::size_t>(st.st_size);
    if (buffer.size() < size) buffer.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(in, buffer.data() + got, size - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    const std::string temp = std::string(".floor-") + name;
    const int out =
        ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    // Blocks taken first: ext4 otherwise flushes the new file in the rename over the old one.
    if (out >= 0 && got > 0) ::fallocate(out, 0, 0, static_cast<off_t>(got));
    bool ok = out >= 0 && ::write(out, buffer.data(), got) == static_cast<ssize_t>(got);
    if (out >= 0) ok = ::close(out) == 0 && ok;
    ok = ok && ::renameat(folder, temp.c_str(), folder, name) == 0;
    ::close(in);
    return ok;
}

bool walk(int folder) {
    DIR* dir = ::fdopendir(folder);
    if (!dir) return false;
    std::vector<std::string> subfolders;
    bool ok = true;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.') continue;  // the run lists no dot folders; no source starts with one here
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            subfolders.emplace_back(name);
        } else if (type == DT_REG && isSource(name)) {
            if (!rewrite(folder, name)) {
                std::perror(name);
                ok = false;
            }
            ++files;
        }
    }
    for (const std::string& sub : subfolders) {
        const int fd = ::openat(folder, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ok = fd >= 0 && walk(fd) && ok;
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rewrite_floor FOLDER\n");
        return 2;
    }
    const int root = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = walk(root);
    std::fprintf(stderr, "%ld files rewritten\n", files);
    return ok ? 0 : 1;
}
