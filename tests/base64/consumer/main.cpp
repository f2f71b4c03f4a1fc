#include <Base64.h>

#include <cstdio>

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
    std::printf("encode %d decode %d error %d\n", encodes, decodes, reportsErrors);
    return encodes && decodes && reportsErrors ? 0 : 1;
}
