// SPDX-License-Identifier: GPL-3.0-or-later
#include <Base64.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

// Any UTF-16 text decodes or fails with error 9; the text and array forms agree, and the bytes
// encode to a text that decodes back to them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    Base64 codec;
    ByteArray bytes;
    try {
        bytes = codec.DecodeArr(text);
    } catch (const Base64Error& e) {
        if (e.number() != 9)
            std::abort();
        bool alsoFails = false;
        try {
            codec.Decode(text);
        } catch (const Base64Error& again) {
            alsoFails = again.number() == 9;
        }
        if (!alsoFails)
            std::abort();
        return 0;
    }
    if (bytes.lowerBound != 0 || bytes.data.empty() || bytes.data.size() * 4 > text.size() * 3)
        std::abort();
    if (codec.Decode(text).size() != bytes.data.size())
        std::abort();
    if (codec.DecodeArr(codec.EncodeArr(bytes)).data != bytes.data)
        std::abort();
    return 0;
}
