// SPDX-License-Identifier: MIT
// The Base64 class the Harborly program uses: UTF-16 texts through Windows-1252, byte arrays
// and files, over the byte functions of the library.
#include "Base64.h"

#include "Base64Sizes.h"
#include "Decode.h"
#include "FileAccess.h"
#include "FileReader.h"
#include "Kernels.h"
#include "ReplacementFile.h"
#include "Utf16.h"

#include <algorithm>
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

constexpr std::size_t kPiece = 16 * 1024;

// Encoded text built in pieces that stay in the cache, widened to UTF-16 and appended to
// storage reserved once: the result is written one time and never zero-filled first.
class TextEncoder {
public:
    explicit TextEncoder(std::int64_t size) { text_.reserve(static_cast<std::size_t>(size)); }

    void put(const std::uint8_t* p, std::size_t n) {
        while (n > 0) {
            const std::size_t take = std::min(n, kPiece);
            append(encoder_.update(std::span(reinterpret_cast<const std::byte*>(p), take), chars_));
            p += take;
            n -= take;
        }
    }

    std::u16string take() {
        append(encoder_.finish(chars_));
        return std::move(text_);
    }

private:
    void append(std::size_t n) {
        kernels().widen(chars_, n, wide_);
        text_.append(wide_, n);
    }

    base64::encoder encoder_;
    std::u16string text_;
    char chars_[base64::encoder::max_update_size(kPiece)];
    char16_t wide_[base64::encoder::max_update_size(kPiece)];
};

// The decoding core over UTF-16 text into a sink, piece by piece. The sink sees bytes only
// once the decoding can no longer fail, and may stop it by returning false.
template <typename Sink> void decodeText(const std::u16string& text, Sink& sink) {
    // Only a text this long can have more characters than a size may count.
    if (text.size() > std::size_t(kMaxBytes))
        decodedSize(static_cast<std::int64_t>(cleanedLength(std::u16string_view(text))));
    base64::decoder decoder;
    std::byte out[base64::decoder::max_update_size(kPiece)];
    std::size_t total = 0;
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
        const base64::result r = decoder.update(std::u16string_view(text).substr(at, kPiece), out);
        total += r.count;
        if (r.count > 0 && !sink.put(reinterpret_cast<std::uint8_t*>(out), r.count))
            return;
    }
    const base64::result r = decoder.finish(out);
    total += r.count;
    if (total == 0)
        throw Base64Error(9, "nothing to decode");
    if (r.count > 0)
        sink.put(reinterpret_cast<std::uint8_t*>(out), r.count);
}

struct VectorSink {
    std::vector<std::uint8_t>& bytes;
    bool put(const std::uint8_t* p, std::size_t n) {
        bytes.insert(bytes.end(), p, p + n);
        return true;
    }
};

struct TextSink {
    std::u16string& text;
    bool put(const std::uint8_t* p, std::size_t n) {
        char16_t wide[base64::decoder::max_update_size(kPiece)];
        for (std::size_t i = 0; i < n; ++i)
            wide[i] = fromCp1252(p[i]);
        text.append(wide, n);
        return true;
    }
};

// Decoded bytes go to the file in large pieces; the target changes only when the whole
// replacement is complete. The file is opened with the first bytes, when the decoding can no
// longer fail.
class FileSink {
public:
    explicit FileSink(std::optional<std::string> path) : path_(std::move(path)) {}
    bool put(const std::uint8_t* p, std::size_t n) {
        if (!file_) {
            if (!path_)
                return false;
            file_.emplace(*path_);
        }
        if (!file_->opened())
            return false;
        if (used_ + n > kBuffer)
            drain();
        std::memcpy(buffer_.get() + used_, p, n);
        used_ += n;
        return true;
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
    static constexpr std::size_t kBuffer = std::size_t(1) << 20;
    void drain() {
        file_->write(buffer_.get(), used_);
        used_ = 0;
    }

    std::optional<std::string> path_;
    std::optional<ReplacementFile> file_;
    std::unique_ptr<std::uint8_t[]> buffer_ =
        std::make_unique_for_overwrite<std::uint8_t[]>(kBuffer);
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
    // A surrogate pair is one character of the code page; only a text long enough to reach
    // the size limit needs them counted.
    std::int64_t n = static_cast<std::int64_t>(strDatos.size());
    if (n > 1'500'000'000)
        for (std::size_t i = 0; i + 1 < strDatos.size(); ++i)
            if (isHighSurrogate(strDatos[i]) && isLowSurrogate(strDatos[i + 1]))
                --n, ++i;
    TextEncoder encoder(encodedSize(n));
    std::uint8_t bytes[kPiece];
    std::size_t used = 0;
    for (std::size_t i = 0; i < strDatos.size(); ++i) {
        const char16_t c = strDatos[i];
        if (isHighSurrogate(c) && i + 1 < strDatos.size() && isLowSurrogate(strDatos[i + 1]))
            ++i;
        bytes[used++] = toCp1252(c);
        if (used == kPiece) {
            encoder.put(bytes, used);
            used = 0;
        }
    }
    encoder.put(bytes, used);
    std::u16string result = encoder.take();
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

std::u16string Base64::Decode(const std::u16string& strDatos) {
    const Stopwatch watch;
    std::u16string text;
    text.reserve(base64::max_decoded_size(strDatos.size()));
    TextSink sink{text};
    decodeText(strDatos, sink);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return text;
}

std::u16string Base64::EncodeArr(const ByteArray& Datos) {
    const Stopwatch watch;
    // The bytes are read from index 0 to the upper bound, whatever the lower bound: an array
    // that starts above 0, or ends below it, has no index 0 to read.
    const std::int64_t n = static_cast<std::int64_t>(Datos.data.size()) + Datos.lowerBound;
    if (Datos.data.empty() || Datos.lowerBound > 0 || n < 1)
        throw Base64Error(9, "the array has no element at index 0");
    TextEncoder encoder(encodedSize(n));
    encoder.put(Datos.data.data() - Datos.lowerBound, static_cast<std::size_t>(n));
    std::u16string result = encoder.take();
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
    TextEncoder encoder(encodedSize(file.size()));
    std::int64_t total = 0;
    while (const std::int64_t got = file.read(0)) {
        encoder.put(file.data(), static_cast<std::size_t>(got));
        total += got;
    }
    if (total == 0)
        encodedSize(0); // emptied between opening and reading
    file.close();
    std::u16string result = encoder.take();
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

ByteArray Base64::DecodeArr(const std::u16string& strDatos) {
    const Stopwatch watch;
    ByteArray result;
    result.data.reserve(base64::max_decoded_size(strDatos.size()));
    VectorSink sink{result.data};
    decodeText(strDatos, sink);
    lastMilliseconds_ = watch.elapsedMilliseconds();
    return result;
}

void Base64::DecodeToFile(const std::u16string& strDatos, const std::u16string& strPath) {
    const Stopwatch watch;
    FileSink sink(strPath.empty() ? std::nullopt : nativePath(strPath));
    decodeText(strDatos, sink);
    // A path that cannot be opened is no error here: nothing is written.
    if (!sink.commit())
        return;
    lastMilliseconds_ = watch.elapsedMilliseconds();
}

double Base64::LastCount() const {
    return lastMilliseconds_ / 1000.0;
}
