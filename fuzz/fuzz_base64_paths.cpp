// SPDX-License-Identifier: GPL-3.0-or-later
#include <Base64.h>

#include "scalar/Reference.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Every code path the processor has against the reference cores: the input as bytes to encode,
// as 8-bit and as UTF-16 text to decode in both modes, whole and cut in two.

namespace ref = base64_detail::reference;

namespace {

std::vector<std::uint8_t> bytesOf(const std::vector<std::byte>& b) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.data());
    return {p, p + b.size()};
}

template <typename Char> void checkDecode(std::basic_string_view<Char> text, std::size_t cut) {
    const std::vector<std::uint8_t> want = ref::decode(text);
    if (bytesOf(base64::decode(text)) != want || base64::decoded_size(text) != want.size())
        std::abort();

    const base64::result strict = ref::strictCheck(text);
    std::vector<std::byte> out(base64::max_decoded_size(text.size()));
    const base64::result got = base64::decode_into(text, out, base64::mode::strict);
    if (got.error != strict.error || got.count != strict.count)
        std::abort();
    if (got) {
        out.resize(got.count);
        if (bytesOf(out) != want)
            std::abort();
    }

    for (const base64::mode m : {base64::mode::forgiving, base64::mode::strict}) {
        base64::decoder d(m);
        std::vector<std::byte> pieces(base64::decoder::max_update_size(text.size()) +
                                      base64::decoder::max_finish_size);
        std::size_t n = 0;
        base64::result r = d.update(text.substr(0, cut), pieces);
        n += r ? r.count : 0;
        if (r) {
            r = d.update(text.substr(cut), std::span(pieces).subspan(n));
            n += r ? r.count : 0;
        }
        if (r) {
            r = d.finish(std::span(pieces).subspan(n));
            n += r ? r.count : 0;
        }
        const base64::result w = m == base64::mode::strict ? strict : base64::result{};
        if (r.error != w.error || (!r && r.count != w.count))
            std::abort();
        pieces.resize(n);
        if (r && bytesOf(pieces) != want)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t cut = data[0] % (size);
    const std::string_view text8(reinterpret_cast<const char*>(data + 1), size - 1);
    std::u16string text16((size - 1) / 2, u'\0');
    std::memcpy(text16.data(), data + 1, text16.size() * 2);

    const base64::kernel best = base64::active_kernel();
    for (const base64::kernel k : {base64::kernel::scalar, base64::kernel::portable,
                                   base64::kernel::avx2, base64::kernel::avx512_vbmi}) {
        if (!base64::select_kernel(k))
            continue;
        for (const base64::lines l : {base64::lines::mime, base64::lines::none})
            if (base64::encode(text8, l) != ref::encode(data + 1, size - 1, l))
                std::abort();
        checkDecode(text8, std::min(cut, text8.size()));
        checkDecode(std::u16string_view(text16), std::min(cut, text16.size()));
        // The text the encoder writes, decoded again.
        const std::string encoded = base64::encode(text8);
        checkDecode(std::string_view(encoded), std::min(cut, encoded.size()));
    }
    base64::select_kernel(best);
    return 0;
}
