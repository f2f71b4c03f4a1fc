#include "Base64.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
constexpr int kLineLength = 76;

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

char valueToChar(std::uint32_t v) {
    if (v < 26)
        return static_cast<char>(v + 65);
    if (v < 52)
        return static_cast<char>(v + 71);
    if (v < 62)
        return static_cast<char>(v - 4);
    if (v == 62)
        return '+';
    if (v == 63)
        return '/';
    return 0;
}

std::int32_t charToValue(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z')
        return c - 65;
    if (c >= 'a' && c <= 'z')
        return c - 71;
    if (c >= '0' && c <= '9')
        return c + 4;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::u16string encodeCore(const std::uint8_t* in, std::int64_t n) {
    if (n < 1)
        fail(9, "nothing to encode");
    const std::int64_t groups = (n + 2) / 3;
    const std::int64_t chars = 4 * groups;
    const std::int64_t lines = (chars + kLineLength - 1) / kLineLength;
    const std::int64_t size = chars + 2 * (lines - 1);
    if (size > kMaxBytes)
        fail(6, "encoded text would exceed 2,147,483,647 characters");
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    std::int64_t j = 0;
    int counter = 0;
    std::int64_t i = 0;
    for (; i + 2 <= n - 1; i += 3) {
        const std::uint32_t v = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) |
                                std::uint32_t(in[i + 2]);
        out[j] = valueToChar(v >> 18);
        out[j + 1] = valueToChar((v >> 12) & 0x3F);
        out[j + 2] = valueToChar((v >> 6) & 0x3F);
        out[j + 3] = valueToChar(v & 0x3F);
        j += 4;
        counter += 4;
        if (i + 3 <= n - 1 && counter == kLineLength) {
            out[j] = u'\r';
            out[j + 1] = u'\n';
            j += 2;
            counter = 0;
        }
    }
    if (i == n - 1) {
        const std::uint32_t v = std::uint32_t(in[i]) << 16;
        out[j] = valueToChar(v >> 18);
        out[j + 1] = valueToChar((v >> 12) & 0x3F);
        out[j + 2] = u'=';
        out[j + 3] = u'=';
    } else if (i + 1 == n - 1) {
        const std::uint32_t v = (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8);
        out[j] = valueToChar(v >> 18);
        out[j + 1] = valueToChar((v >> 12) & 0x3F);
        out[j + 2] = valueToChar((v >> 6) & 0x3F);
        out[j + 3] = u'=';
    }
    return out;
}

std::vector<std::uint8_t> decodeCore(const std::u16string& text) {
    std::u16string s;
    s.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            continue;
        }
        s.push_back(text[i]);
    }
    for (int k = 0; k < 2 && !s.empty() && s.back() == u'='; ++k)
        s.pop_back();
    const std::vector<std::uint8_t> c = textToBytes(s);
    const std::int64_t m = static_cast<std::int64_t>(c.size());
    const std::int64_t groups = m / 4;
    const std::int64_t rest = m - 4 * groups;
    const std::int64_t size = 3 * groups + (rest == 2 ? 1 : rest == 3 ? 2 : 0);
    if (size < 1)
        fail(9, "nothing to decode");
    if (size > kMaxBytes)
        fail(6, "decoded data would exceed 2,147,483,647 bytes");
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    std::int64_t j = 0;
    for (std::int64_t i = 0; i <= m - 1; i += 4) {
        const auto a = [&](std::int64_t k) { return charToValue(c[k]); };
        std::int32_t v;
        if (i + 3 <= m - 1) {
            v = a(i) * 262144 + a(i + 1) * 4096 + a(i + 2) * 64 + a(i + 3);
            out[j] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
            out[j + 1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
            out[j + 2] = static_cast<std::uint8_t>(v & 0xFF);
            j += 3;
        } else if (i + 2 == m - 1) {
            v = a(i) * 262144 + a(i + 1) * 4096 + a(i + 2) * 64;
            out[j] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
            out[j + 1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
        } else if (i + 1 == m - 1) {
            v = a(i) * 262144 + a(i + 1) * 4096;
            out[j] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
        }
    }
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
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
    std::vector<std::uint8_t> bytes;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long length = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        if (length > 0) {
            bytes.resize(static_cast<std::size_t>(length));
            const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
            bytes.resize(got);
        }
    }
    const int readError = std::ferror(f);
    std::fclose(f);
    if (readError)
        throw std::system_error(EIO, std::generic_category(), "cannot read " + path.string());
    std::u16string result = encodeCore(bytes.data(), static_cast<std::int64_t>(bytes.size()));
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
    const std::vector<std::uint8_t> bytes = decodeCore(strDatos);
    if (strPath.empty())
        return;
    std::FILE* f = std::fopen(toPath(strPath).c_str(), "wb");
    if (!f)
        return;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed)
        throw std::system_error(EIO, std::generic_category(), "cannot write the decoded data");
    lastMilliseconds_ = watch.elapsedMilliseconds();
}

double Base64::LastCount() const {
    return lastMilliseconds_ / 1000.0;
}
