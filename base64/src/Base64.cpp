#include "Base64.h"

#include "Base64Sizes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using base64_detail::DecodedSize;
using base64_detail::EncodedSize;
constexpr int kLineLength = static_cast<int>(base64_detail::kLineLength);

[[noreturn]] void fail(int number, const char* what) {
    throw Base64Error(number, what);
}

// Windows-1252 for 0x80..0x9F; the five bytes the code page leaves undefined map to the
// control character of the same number so that every byte round-trips.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::uint8_t toCp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<std::uint8_t>(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c)
            return static_cast<std::uint8_t>(0x80 + i);
    return '?';
}

char16_t fromCp1252(std::uint8_t b) {
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
}

std::vector<std::uint8_t> textToBytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        // A surrogate pair is one character the code page lacks: one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        bytes.push_back(toCp1252(c));
    }
    return bytes;
}

std::u16string bytesToText(const std::vector<std::uint8_t>& bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = fromCp1252(bytes[i]);
    return text;
}

// The character maps are range tests written without branches: on random data a branch per
// character is mispredicted half the time, which would cost more than the whole test.
inline char valueToChar(std::uint32_t v) {
    if (v > 63)
        return 0;
    const int x = static_cast<int>(v);
    return static_cast<char>(x + 65 + 6 * (x >= 26) - 75 * (x >= 52) - 15 * (x >= 62) +
                             3 * (x >= 63));
}

inline std::int32_t charToValue(std::uint8_t c) {
    const int x = c;
    const int upper = unsigned(x - 'A') < 26;
    const int lower = unsigned(x - 'a') < 26;
    const int digit = unsigned(x - '0') < 10;
    const int plus = x == '+';
    const int slash = x == '/';
    const int none = 1 - (upper | lower | digit | plus | slash);
    return upper * (x - 65) + lower * (x - 71) + digit * (x + 4) + plus * 62 + slash * 63 - none;
}

// Large results are first touched page by page, and on some machines each first touch of a
// 4 KiB page costs more than encoding it; huge pages make those touches 512 times rarer.
void preferHugePages(void* start, std::size_t bytes) {
    constexpr std::uintptr_t huge = 2u << 20;
    if (bytes < 4 * huge)
        return;
    const auto from = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(huge - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// Writes the four characters of one group; the result is ASCII, one UTF-16 unit each.
inline void putGroup(char16_t* out, std::uint32_t v) {
    out[0] = static_cast<char16_t>(valueToChar(v >> 18));
    out[1] = static_cast<char16_t>(valueToChar((v >> 12) & 0x3F));
    out[2] = static_cast<char16_t>(valueToChar((v >> 6) & 0x3F));
    out[3] = static_cast<char16_t>(valueToChar(v & 0x3F));
}

std::u16string encodeCore(const std::uint8_t* in, std::int64_t n) {
    const std::int64_t size = EncodedSize(n);
    std::u16string text;
    text.reserve(static_cast<std::size_t>(size));
    preferHugePages(text.data(), static_cast<std::size_t>(size) * sizeof(char16_t));
    text.resize(static_cast<std::size_t>(size));
    char16_t* out = text.data();
    std::int64_t i = 0;
    // Whole lines first: 19 groups of three bytes make 76 characters, then CR LF when more
    // input follows.
    constexpr std::int64_t lineBytes = kLineLength / 4 * 3;
    for (; n - i > lineBytes; i += lineBytes) {
        for (std::int64_t g = 0; g < lineBytes; g += 3, out += 4)
            putGroup(out, (std::uint32_t(in[i + g]) << 16) | (std::uint32_t(in[i + g + 1]) << 8) |
                              std::uint32_t(in[i + g + 2]));
        *out++ = u'\r';
        *out++ = u'\n';
    }
    for (; i + 2 <= n - 1; i += 3, out += 4)
        putGroup(out, (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) |
                          std::uint32_t(in[i + 2]));
    if (i == n - 1) {
        putGroup(out, std::uint32_t(in[i]) << 16);
        out[2] = u'=';
        out[3] = u'=';
    } else if (i + 1 == n - 1) {
        putGroup(out, (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8));
        out[3] = u'=';
    }
    return text;
}

// The decoding core as a stream: the text is cleaned (CR LF pairs out, characters to their
// code-page bytes, final padding off) and decoded chunk by chunk, and each chunk of bytes goes
// to the sink. The output size is checked before the sink sees anything.
class Decoder {
public:
    explicit Decoder(const std::u16string& text) : text_(text) {
        // First pass: how many characters the clean-up leaves, and whether they end in "=".
        std::size_t m = 0;
        const std::size_t length = text.size();
        char16_t last = 0, beforeLast = 0;
        for (std::size_t i = 0; i < length; ++i) {
            if (text[i] == u'\r' && i + 1 < length && text[i + 1] == u'\n') {
                ++i;
                continue;
            }
            if (isPairStart(i))
                ++i;
            beforeLast = last;
            last = text[i];
            ++m;
        }
        if (m > 0 && last == u'=') {
            --m;
            if (m > 0 && beforeLast == u'=')
                --m;
        }
        clean_ = m;
        size_ = DecodedSize(static_cast<std::int64_t>(m));
    }

    std::int64_t size() const { return size_; }

    template <typename Sink> void run(Sink&& sink) {
        constexpr std::size_t chunk = 64 * 1024; // a multiple of 4
        std::vector<std::uint8_t> c(std::min(chunk, clean_));
        std::vector<std::uint8_t> out(c.size() / 4 * 3 + 2);
        std::size_t done = 0, i = 0;
        while (done < clean_) {
            const std::size_t want = std::min(c.size(), clean_ - done);
            for (std::size_t k = 0; k < want; ++i) {
                const char16_t ch = text_[i];
                if (ch == u'\r' && i + 1 < text_.size() && text_[i + 1] == u'\n') {
                    ++i;
                    continue;
                }
                c[k++] = ch < 0x80 ? static_cast<std::uint8_t>(ch) : toCp1252(ch);
                if (isPairStart(i))
                    ++i;
            }
            done += want;
            sink(out.data(), decodeChunk(c.data(), want, out.data()));
        }
    }

private:
    bool isPairStart(std::size_t i) const {
        return text_[i] >= 0xD800 && text_[i] <= 0xDBFF && i + 1 < text_.size() &&
               text_[i + 1] >= 0xDC00 && text_[i + 1] <= 0xDFFF;
    }

    // Out-of-alphabet characters enter as -1: the sums are two's complement and wrong, never
    // an error. A lone last character is dropped.
    static std::size_t decodeChunk(const std::uint8_t* c, std::size_t m, std::uint8_t* o) {
        const auto a = [c](std::size_t k) { return charToValue(c[k]); };
        std::uint8_t* const start = o;
        std::size_t i = 0;
        for (; i + 3 < m; i += 4, o += 3) {
            const std::int32_t v = a(i) * 262144 + a(i + 1) * 4096 + a(i + 2) * 64 + a(i + 3);
            o[0] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
            o[1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
            o[2] = static_cast<std::uint8_t>(v & 0xFF);
        }
        if (m - i == 3) {
            const std::int32_t v = a(i) * 262144 + a(i + 1) * 4096 + a(i + 2) * 64;
            *o++ = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
            *o++ = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
        } else if (m - i == 2) {
            const std::int32_t v = a(i) * 262144 + a(i + 1) * 4096;
            *o++ = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
        }
        return static_cast<std::size_t>(o - start);
    }

    const std::u16string& text_;
    std::size_t clean_ = 0;
    std::int64_t size_ = 0;
};

std::vector<std::uint8_t> decodeCore(const std::u16string& text) {
    Decoder decoder(text);
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(decoder.size()));
    preferHugePages(out.data(), out.capacity());
    out.resize(static_cast<std::size_t>(decoder.size()));
    std::uint8_t* at = out.data();
    decoder.run([&at](const std::uint8_t* bytes, std::size_t n) {
        std::memcpy(at, bytes, n);
        at += n;
    });
    return out;
}

std::filesystem::path toPath(const std::u16string& path) {
    std::u8string utf8;
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t cp = path[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
            path[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (path[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            utf8.push_back(char8_t(cp));
        } else if (cp < 0x800) {
            utf8.push_back(char8_t(0xC0 | (cp >> 6)));
            utf8.push_back(char8_t(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            utf8.push_back(char8_t(0xE0 | (cp >> 12)));
            utf8.push_back(char8_t(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(char8_t(0x80 | (cp & 0x3F)));
        } else {
            utf8.push_back(char8_t(0xF0 | (cp >> 18)));
            utf8.push_back(char8_t(0x80 | ((cp >> 12) & 0x3F)));
            utf8.push_back(char8_t(0x80 | ((cp >> 6) & 0x3F)));
            utf8.push_back(char8_t(0x80 | (cp & 0x3F)));
        }
    }
    return std::filesystem::path(utf8);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Puts what writeTo writes in place of the file's content so that a crash leaves the old file
// or the new one: a temporary file beside it, synced, then renamed over it. An existing file keeps
// its permission bits and a link keeps its target. False when the file cannot be opened
// (missing folder, no access); a failure while writing is thrown.
template <typename Writer> bool replaceFile(std::filesystem::path path, Writer&& writeTo) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path target = std::filesystem::canonical(path, ec);
        if (!ec)
            path = target;
    }
    struct stat old {};
    const bool existed = ::stat(path.c_str(), &old) == 0;
    if (existed && (!S_ISREG(old.st_mode) || ::access(path.c_str(), W_OK) != 0))
        return false;
    mode_t mode = 0;
    if (existed) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0); // the only way to read it; set back at once
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string temp = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, mode) == 0 && writeTo(fd) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = ok ? errno : writeError;
        ::unlink(temp.c_str());
        throw std::system_error(error, std::generic_category(),
                                "cannot write the decoded data to " + path.string());
    }
    return true;
}

class Stopwatch {
public:
    double elapsedMilliseconds() const {
        using namespace std::chrono;
        return static_cast<double>(
            duration_cast<milliseconds>(steady_clock::now() - start_).count());
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace

Base64Error::Base64Error(int number, const std::string& what)
    : std::runtime_error(what), number_(number) {}

ByteArray::ByteArray(std::vector<std::uint8_t> bytes, std::int32_t lowerBound)
    : lowerBound(lowerBound), data(std::move(bytes)) {}

std::u16string Base64::Encode(const std::u16string& strDatos) {
    const Stopwatch watch;
    const std::vector<std::uint8_t> bytes = textToBytes(strDatos);
    std::u16string result = encodeCore(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::Decode(const std::u16string& strDatos) {
    const Stopwatch watch;
    std::u16string result = bytesToText(decodeCore(strDatos));
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::EncodeArr(const ByteArray& Datos) {
    const Stopwatch watch;
    // Index 0 is read first whatever the bounds, so an array that starts above 0 cannot be read.
    if (Datos.data.empty() || Datos.lowerBound > 0)
        fail(9, "the array has no element at index 0");
    const std::int64_t n =
        static_cast<std::int64_t>(Datos.data.size()) + Datos.lowerBound; // upper bound + 1
    std::u16string result = encodeCore(Datos.data.data() - Datos.lowerBound, n);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::EncodeFromFile(const std::u16string& strPath) {
    const Stopwatch watch;
    if (strPath.empty())
        return {};
    const std::filesystem::path path = toPath(strPath);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "cannot read " + path.string());
    }
    const std::int64_t length = st.st_size;
    try {
        EncodedSize(length); // a file too large for the result fails before it is read
    } catch (...) {
        ::close(fd);
        throw;
    }
    // One read of the whole length; a file that shrinks meanwhile gives what it still has.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(length));
    preferHugePages(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "cannot read " + path.string());
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    std::u16string result = encodeCore(bytes.data(), static_cast<std::int64_t>(got));
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

ByteArray Base64::DecodeArr(const std::u16string& strDatos) {
    const Stopwatch watch;
    ByteArray result(decodeCore(strDatos), 0);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

void Base64::DecodeToFile(const std::u16string& strDatos, const std::u16string& strPath) {
    const Stopwatch watch;
    Decoder decoder(strDatos); // a text that cannot be decoded fails before any file is touched
    if (strPath.empty())
        return;
    const bool written = replaceFile(toPath(strPath), [&decoder](int fd) {
        bool ok = true;
        decoder.run([&ok, fd](const std::uint8_t* bytes, std::size_t n) {
            ok = ok && writeAll(fd, bytes, n);
        });
        return ok;
    });
    if (!written)
        return; // a file that cannot be opened is no error
    lastMilliseconds_ = watch.elapsedMilliseconds();
}

double Base64::LastCount() const {
    return lastMilliseconds_ / 1000.0;
}
