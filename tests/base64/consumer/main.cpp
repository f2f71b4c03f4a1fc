#include <Base64.h>

#include <iostream>

int main() {
    Base64 codec;
    const std::u16string encoded = codec.Encode(u"abc");
    const std::u16string decoded = codec.Decode(encoded);
    std::cout << std::string(encoded.begin(), encoded.end()) << ' '
              << std::string(decoded.begin(), decoded.end()) << '\n';
}
