// SPDX-License-Identifier: GPL-3.0-or-later
#include <Base64.h>

#include <cstdio>
#include <vector>

int main() {
    Base64 codec;
    const bool encodes = codec.Encode(u"hello world") == u"aGVsbG8gd29ybGQ=";
    const bool decodes = codec.Decode(u"YWJj") == u"abc";
    bool reportsErrors = false;
    try {
        codec.Encode(u"");
    } catch (const Base64Error& e) {
        reportsErrors = e.number() == 9;
    }
    const std::vector<std::byte> bytes = base64::decode("YWJj", base64::mode::strict);
    const bool functions = base64::encode(bytes) == "YWJj";
    bool strict = false;
    try {
        base64::decode("YW Jj", base64::mode::strict);
    } catch (const base64::decode_error& e) {
        strict = e.position() == 2;
    }
    std::printf("encode %d decode %d error %d functions %d strict %d\n", encodes, decodes,
                reportsErrors, functions, strict);
    return encodes && decodes && reportsErrors && functions && strict ? 0 : 1;
}
