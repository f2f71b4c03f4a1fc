// Any text, however broken, decodes to bytes or fails with error 9; nothing else.
#include "Base64.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    Base64 codec;
    try {
        const ByteArray bytes = codec.DecodeArr(text);
        if (bytes.data.empty() || codec.Decode(text).size() != bytes.data.size())
            std::abort();
    } catch (const Base64Error& e) {
        if (e.number() != 9)
            std::abort();
    }
    return 0;
}
