// SPDX-License-Identifier: GPL-3.0-or-later
#include <Base64.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// decode(encode(x)) == x for bytes and for the texts those bytes stand for, with lines of 76
// characters joined by CR LF and no break at the end.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    Base64 codec;
    const ByteArray in(std::vector<std::uint8_t>(data, data + size));
    const std::u16string encoded = codec.EncodeArr(in);
    if (codec.DecodeArr(encoded).data != in.data)
        std::abort();

    std::size_t start = 0;
    for (std::size_t br = encoded.find(u"\r\n"); br != std::u16string::npos;
         br = encoded.find(u"\r\n", start)) {
        if (br - start != 76)
            std::abort();
        start = br + 2;
    }
    if (encoded.size() == start || encoded.size() - start > 76 || encoded.size() % 78 == 0)
        std::abort();

    const std::u16string text = codec.Decode(encoded);
    if (text.size() != size || codec.Encode(text) != encoded)
        std::abort();
    return 0;
}
