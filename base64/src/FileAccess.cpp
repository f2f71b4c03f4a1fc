// SPDX-License-Identifier: MIT
// UTF-16 paths made native, and the small file helpers the class's file operations share.
#include "FileAccess.h"

#include "Utf16.h"

#include <cerrno>
#include <system_error>

#include <sys/stat.h>

namespace base64_detail {

void throwErrno(int err, const std::string& what, const std::string& path) {
    throw std::system_error(err, std::generic_category(), what + " " + path);
}

std::optional<std::string> nativePath(const std::u16string& path) {
    std::string utf8;
    utf8.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t cp = path[i];
        if (cp == 0)
            return std::nullopt;
        if (isHighSurrogate(path[i]) && i + 1 < path.size() && isLowSurrogate(path[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (path[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            utf8.push_back(char(cp));
        } else if (cp < 0x800) {
            utf8.push_back(char(0xC0 | (cp >> 6)));
            utf8.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            utf8.push_back(char(0xE0 | (cp >> 12)));
            utf8.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            utf8.push_back(char(0xF0 | (cp >> 18)));
            utf8.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            utf8.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return utf8;
}

bool isOrdinaryFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace base64_detail
