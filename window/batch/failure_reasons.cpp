// SPDX-License-Identifier: MIT
#include "failure_reasons.h"

#include <array>
#include <utility>

#include "code_page.h"

namespace tavirel {
namespace {

using Entry = std::pair<std::string_view, std::u16string_view>;

// The engine's own reasons, then the system's for what a run meets (the C library's texts and
// the Windows layer's, which uses the same ones).
constexpr std::array kReasons{
    Entry{"read-only file", u"只读文件"},
    Entry{"symbolic link", u"符号链接"},
    Entry{"not a regular file", u"不是普通文件"},
    Entry{"changed since it was read", u"读取之后被其他程序改动过"},
    Entry{"replaced by another file since it was read", u"读取之后被另一个文件替换"},
    Entry{"closed before its replacement was prepared", u"准备写回之前已被关闭"},
    Entry{"owned by another user, whose ownership a new file cannot keep",
          u"属于其他用户，新文件无法保留其属主"},
    Entry{"cannot be replaced here with its security and streams kept",
          u"在这里无法替换而保留其安全设置和数据流"},
    Entry{"was removed by the system while being replaced", u"替换时被系统删除"},
    Entry{"was moved aside by the system while being replaced", u"替换时被系统移开"},
    Entry{"in use by another program", u"正被其他程序使用"},
    Entry{"No such file or directory", u"没有那个文件或目录"},
    Entry{"Permission denied", u"权限不够"},
    Entry{"Operation not permitted", u"不允许的操作"},
    Entry{"Is a directory", u"是一个目录"},
    Entry{"Not a directory", u"不是目录"},
    Entry{"No space left on device", u"设备上没有空间"},
    Entry{"Disk quota exceeded", u"超出磁盘配额"},
    Entry{"Read-only file system", u"只读文件系统"},
    Entry{"File name too long", u"文件名过长"},
    Entry{"File too large", u"文件过大"},
    Entry{"File exists", u"文件已存在"},
    Entry{"Too many open files", u"打开的文件过多"},
    Entry{"Too many levels of symbolic links", u"符号链接的层数过多"},
    Entry{"Input/output error", u"输入/输出错误"},
    Entry{"Cannot allocate memory", u"无法分配内存"},
    Entry{"std::bad_alloc", u"内存不足"},
    Entry{"Device or resource busy", u"设备或资源忙"},
    Entry{"Text file busy", u"文本文件忙"},
    Entry{"Broken pipe", u"管道已断开"},
    Entry{"Bad file descriptor", u"错误的文件描述符"},
    Entry{"Stale file handle", u"失效的文件句柄"},
    Entry{"Invalid argument", u"无效的参数"},
};

std::u16string ascii(std::string_view s) {
    return {s.begin(), s.end()};
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::u16string reasonInChinese(std::string_view reason) {
    for (const auto& [english, chinese] : kReasons) {
        if (reason == english) return std::u16string(chinese);
    }
    // The reasons made of parts: each part told on its own.
    constexpr std::string_view kept = "; its new content is kept beside it as ";
    if (const std::size_t at = reason.find(kept); at != std::string_view::npos) {
        return reasonInChinese(reason.substr(0, at)) + u"；新内容保留在旁边的 " +
               ascii(reason.substr(at + kept.size())) + u" 中";
    }
    constexpr std::string_view owner = "cannot keep its owner and group: ";
    if (startsWith(reason, owner))
        return u"无法保留其属主和属组：" + reasonInChinese(reason.substr(owner.size()));
    constexpr std::string_view attribute = "cannot keep its attribute ";
    if (startsWith(reason, attribute)) {
        const std::string_view rest = reason.substr(attribute.size());
        const std::size_t colon = rest.rfind(": ");
        if (colon != std::string_view::npos) {
            return u"无法保留其属性 " + CodePage::system().decode(rest.substr(0, colon)) + u"：" +
                   reasonInChinese(rest.substr(colon + 2));
        }
    }
    constexpr std::string_view character = "character ", represented = " cannot be represented in ";
    if (startsWith(reason, character)) {
        if (const std::size_t at = reason.find(represented); at != std::string_view::npos) {
            return u"字符 " + ascii(reason.substr(character.size(), at - character.size())) + u" 无法用 " +
                   ascii(reason.substr(at + represented.size())) + u" 编码表示";
        }
    }
    constexpr std::string_view windows = "Windows error ";
    if (startsWith(reason, windows)) return u"Windows 错误 " + ascii(reason.substr(windows.size()));
    return CodePage::system().decode(reason);
}

}  // namespace tavirel
