// Decoding an encoding gives the bytes back, and the encoding keeps its line layout.
#include "Base64.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    Base64 codec;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::u16string text = codec.EncodeArr(ByteArray(bytes));
    for (std::size_t i = 76; i < text.size(); i += 78)
        if (text[i] != u'\r' || text[i + 1] != u'\n')
            std::abort();
    if (codec.DecodeArr(text).data != bytes)
        std::abort();
    // Through text too: every byte has its character in the code page.
    if (codec.Encode(codec.Decode(text)) != text)
        std::abort();
    return 0;
}
