#include "Base64.h"

#include "Base64Sizes.h"
#include "FileAccess.h"
#include "FileReader.h"
#include "LargeBuffer.h"
#include "ReplacementFile.h"

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

using namespace base64_detail;

namespace {

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

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Writes the code-page bytes of text[0..n) to out and returns their count. A surrogate pair is
// one character the code page lacks: one '?'.
std::size_t toCodePage(const char16_t* text, std::size_t n, std::uint8_t* out) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out[j++] = static_cast<std::uint8_t>(c);
            continue;
        }
        if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1]))
            ++i;
        out[j++] = toCp1252(c);
    }
    return j;
}

constexpr std::uint8_t valueToChar(std::uint32_t v) {
    if (v < 26)
        return static_cast<std::uint8_t>(v + 65);
    if (v < 52)
        return static_cast<std::uint8_t>(v + 71);
    if (v < 62)
        return static_cast<std::uint8_t>(v - 4);
    if (v == 62)
        return '+';
    if (v == 63)
        return '/';
    return 0;
}

constexpr std::int32_t charToValue(std::uint8_t c) {
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

// The two maps evaluated once at compile time: the cores then look up instead of branching.
// Encoding takes 12 bits (two characters) per lookup.
struct Tables {
    std::array<std::array<char16_t, 2>, 4096> pairs{};
    // A character's value already shifted to its place in the group, -1 for any other code.
    std::array<std::array<std::int32_t, 256>, 4> placed{};

    constexpr Tables() {
        for (std::uint32_t v = 0; v < 4096; ++v)
            pairs[v] = {valueToChar(v >> 6), valueToChar(v & 0x3F)};
        for (int c = 0; c < 256; ++c) {
            const std::int32_t a = charToValue(static_cast<std::uint8_t>(c));
            placed[0][c] = a * 262144;
            placed[1][c] = a * 4096;
            placed[2][c] = a * 64;
            placed[3][c] = a;
        }
    }
};

constexpr Tables kTables;

inline void putPair(char16_t* out, std::uint32_t twelveBits) {
    std::memcpy(out, kTables.pairs[twelveBits].data(), sizeof(char16_t) * 2);
}

// Output is built in chunks of lines that stay in the cache and appended to storage reserved
// once, so the result is written one time and never zero-filled first. Groups may arrive in
// pieces; a line break is written only when another group follows a full line, so the text
// never ends in CR LF.
class Encoder {
public:
    explicit Encoder(std::int64_t size) {
        text_.reserve(static_cast<std::size_t>(size));
        adviseHugePages(text_.data(), static_cast<std::size_t>(size) * sizeof(char16_t));
    }

    void groups(const std::uint8_t* p, std::int64_t count) {
        while (count > 0) {
            breakFullLine();
            const std::int64_t run = std::min(kGroupsPerLine - lineGroups_, count);
            for (std::int64_t g = 0; g < run; ++g) {
                const std::uint32_t v =
                    (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
                putPair(at_, v >> 12);
                putPair(at_ + 2, v & 0xFFF);
                p += 3;
                at_ += 4;
            }
            lineGroups_ += run;
            count -= run;
            if (at_ > chunk_ + kChunk - (kLineLength + 2))
                flush();
        }
    }

    // The last one or two bytes, padded.
    void tail(const std::uint8_t* p, std::int64_t rest) {
        if (rest < 1)
            return;
        breakFullLine();
        const std::uint32_t v = (std::uint32_t(p[0]) << 16) | (rest == 2 ? p[1] << 8 : 0);
        putPair(at_, v >> 12);
        at_[2] = rest == 2 ? kTables.pairs[(v >> 6) & 0x3F][1] : u'=';
        at_[3] = u'=';
        at_ += 4;
    }

    std::u16string take() {
        flush();
        return std::move(text_);
    }

private:
    static constexpr std::ptrdiff_t kChunk = 64 * (kLineLength + 2);

    void breakFullLine() {
        if (lineGroups_ < kGroupsPerLine)
            return;
        at_[0] = u'\r';
        at_[1] = u'\n';
        at_ += 2;
        lineGroups_ = 0;
    }
    void flush() {
        text_.append(chunk_, static_cast<std::size_t>(at_ - chunk_));
        at_ = chunk_;
    }

    std::u16string text_;
    char16_t chunk_[kChunk];
    char16_t* at_ = chunk_;
    std::int64_t lineGroups_ = 0;
};

std::u16string encodeCore(const std::uint8_t* in, std::int64_t n) {
    Encoder encoder(encodedSize(n));
    encoder.groups(in, n / 3);
    encoder.tail(in + 3 * (n / 3), n % 3);
    return encoder.take();
}

// Code-page code of the next character after the CR LF clean-up, or -1 at the end. Every
// character above 0x7F is outside the alphabet whatever its code-page byte, so 0xFF stands for
// all of them.
inline int nextCode(const char16_t*& p, const char16_t* end) {
    while (p < end) {
        const char16_t c = *p++;
        if (c == u'\r' && p < end && *p == u'\n') {
            ++p;
            continue;
        }
        if (c < 0x80)
            return c;
        if (isHighSurrogate(c) && p < end && isLowSurrogate(*p))
            ++p;
        return 0xFF;
    }
    return -1;
}

// Number of codes left after the clean-up: CR LF pairs removed, then up to two final "=".
std::int64_t cleanedLength(const std::u16string& text) {
    const char16_t* p = text.data();
    const char16_t* end = p + text.size();
    std::int64_t m = 0;
    int last = 0;
    int beforeLast = 0;
    for (int c = nextCode(p, end); c >= 0; c = nextCode(p, end)) {
        beforeLast = last;
        last = c;
        ++m;
    }
    if (m > 0 && last == '=') {
        --m;
        if (m > 0 && beforeLast == '=')
            --m;
    }
    return m;
}

inline bool plainQuad(const char16_t* p) {
    return (p[0] | p[1] | p[2] | p[3]) < 0x80 && p[0] != u'\r' && p[1] != u'\r' && p[2] != u'\r' &&
           p[3] != u'\r';
}

// Out-of-alphabet characters enter their group as -1; the sums are two's-complement ints, so
// such a group yields the bytes of that arithmetic rather than stopping the decode. The sink
// gets reserve(size) once, before anything is decoded, then the bytes chunk by chunk.
template <typename Sink> void decodeCore(const std::u16string& text, Sink& sink) {
    const std::int64_t m = cleanedLength(text);
    if (!sink.reserve(static_cast<std::size_t>(decodedSize(m))))
        return;
    const auto& t = kTables.placed;
    const char16_t* p = text.data();
    const char16_t* end = p + text.size();
    // The first walk counted m codes, so the end (-1, taken as 0xFF) is never reached here.
    const auto next = [&] { return static_cast<std::uint8_t>(nextCode(p, end)); };
    constexpr std::size_t kChunkQuads = 1024;
    std::uint8_t chunk[3 * kChunkQuads];
    std::int64_t quads = m / 4;
    while (quads > 0) {
        const std::int64_t count = std::min<std::int64_t>(quads, kChunkQuads);
        std::uint8_t* o = chunk;
        for (std::int64_t q = 0; q < count; ++q) {
            std::int32_t v;
            if (end - p >= 4 && plainQuad(p)) {
                v = t[0][p[0]] + t[1][p[1]] + t[2][p[2]] + t[3][p[3]];
                p += 4;
            } else {
                v = t[0][next()];
                v += t[1][next()];
                v += t[2][next()];
                v += t[3][next()];
            }
            o[0] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
            o[1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
            o[2] = static_cast<std::uint8_t>(v & 0xFF);
            o += 3;
        }
        sink.put(chunk, static_cast<std::size_t>(o - chunk));
        quads -= count;
    }
    const std::int64_t rest = m % 4;
    if (rest >= 2) {
        std::int32_t v = t[0][next()];
        v += t[1][next()];
        if (rest == 3)
            v += t[2][next()];
        chunk[0] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
        chunk[1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
        sink.put(chunk, static_cast<std::size_t>(rest - 1));
    }
}

struct VectorSink {
    std::vector<std::uint8_t> bytes;
    bool reserve(std::size_t n) {
        bytes.reserve(n);
        adviseHugePages(bytes.data(), n);
        return true;
    }
    void put(const std::uint8_t* p, std::size_t n) { bytes.insert(bytes.end(), p, p + n); }
};

struct TextSink {
    std::u16string text;
    bool reserve(std::size_t n) {
        text.reserve(n);
        adviseHugePages(text.data(), n * sizeof(char16_t));
        return true;
    }
    void put(const std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            text.push_back(fromCp1252(p[i]));
    }
};

// Decoded bytes go to the file in large pieces as they are produced; the target changes only
// when the whole replacement is complete.
class FileSink {
public:
    explicit FileSink(std::optional<std::string> path) : path_(std::move(path)) {}
    // Called once the decoding can no longer fail: only then is the file opened.
    bool reserve(std::size_t) {
        if (!path_)
            return false;
        file_.emplace(*path_);
        return file_->opened();
    }
    void put(const std::uint8_t* p, std::size_t n) {
        if (used_ + n > kPiece)
            drain();
        std::memcpy(piece_.get() + used_, p, n);
        used_ += n;
    }
    // False when the target could not be opened and nothing was written.
    bool commit() {
        if (!file_ || !file_->opened())
            return false;
        drain();
        file_->commit();
        return true;
    }

private:
    static constexpr std::size_t kPiece = std::size_t(1) << 20;
    void drain() {
        file_->write(piece_.get(), used_);
        used_ = 0;
    }

    std::optional<std::string> path_;
    std::optional<ReplacementFile> file_;
    std::unique_ptr<std::uint8_t[]> piece_ = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
    std::size_t used_ = 0;
};

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
    auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(strDatos.size() + 1);
    adviseHugePages(bytes.get(), strDatos.size());
    const std::size_t n = toCodePage(strDatos.data(), strDatos.size(), bytes.get());
    std::u16string result = encodeCore(bytes.get(), static_cast<std::int64_t>(n));
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::Decode(const std::u16string& strDatos) {
    const Stopwatch watch;
    TextSink sink;
    decodeCore(strDatos, sink);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return std::move(sink.text);
}

std::u16string Base64::EncodeArr(const ByteArray& Datos) {
    const Stopwatch watch;
    // The bytes are read from index 0 to the upper bound, whatever the lower bound: an array
    // that starts above 0, or ends below it, has no index 0 to read.
    const std::int64_t n = static_cast<std::int64_t>(Datos.data.size()) + Datos.lowerBound;
    if (Datos.data.empty() || Datos.lowerBound > 0 || n < 1)
        throw Base64Error(9, "the array has no element at index 0");
    std::u16string result = encodeCore(Datos.data.data() - Datos.lowerBound, n);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::EncodeFromFile(const std::u16string& strPath) {
    const Stopwatch watch;
    const std::optional<std::string> path = nativePath(strPath);
    if (strPath.empty() || !path || !isOrdinaryFile(*path))
        return {};
    FileReader file(*path);
    // Sized by the length at opening: an empty or oversized file fails before any read.
    Encoder encoder(encodedSize(file.size()));
    std::int64_t total = 0;
    std::int64_t carried = 0;
    while (const std::int64_t got = file.read(carried)) {
        const std::int64_t have = carried + got;
        encoder.groups(file.data(), have / 3);
        carried = have % 3;
        std::memmove(file.data(), file.data() + have - carried, static_cast<std::size_t>(carried));
        total += got;
    }
    if (total == 0)
        encodedSize(0); // emptied between opening and reading
    encoder.tail(file.data(), carried);
    file.close();
    std::u16string result = encoder.take();
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

ByteArray Base64::DecodeArr(const std::u16string& strDatos) {
    const Stopwatch watch;
    VectorSink sink;
    decodeCore(strDatos, sink);
    ByteArray result(std::move(sink.bytes), 0);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

void Base64::DecodeToFile(const std::u16string& strDatos, const std::u16string& strPath) {
    const Stopwatch watch;
    FileSink sink(strPath.empty() ? std::nullopt : nativePath(strPath));
    decodeCore(strDatos, sink);
    // A path that cannot be opened is no error here: nothing is written.
    if (!sink.commit())
        return;
    lastMilliseconds_ = watch.elapsedMilliseconds();
}

double Base64::LastCount() const {
    return lastMilliseconds_ / 1000.0;
}
