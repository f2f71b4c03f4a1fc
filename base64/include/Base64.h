#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(BASE64_STATIC)
#define BASE64_API
#elif defined(BASE64_BUILDING)
#define BASE64_API __attribute__((visibility("default")))
#else
#define BASE64_API
#endif

// A coding failure. number() is 9 when a result cannot be sized (empty input, an array that
// does not start at index 0) and 6 when an input or a result would exceed 2,147,483,647 bytes.
class BASE64_API Base64Error : public std::runtime_error {
public:
    Base64Error(int number, const std::string& what);
    int number() const noexcept { return number_; }

private:
    int number_;
};

// A byte array with its own index bounds: data[0] has the index lowerBound.
struct BASE64_API ByteArray {
    std::int32_t lowerBound = 0;
    std::vector<std::uint8_t> data;

    ByteArray() = default;
    ByteArray(std::vector<std::uint8_t> bytes, std::int32_t lowerBound = 0);
};

// Base64 (RFC 4648 alphabet, "=" padding) in lines of 76 characters joined by CR LF.
// Texts are UTF-16; they become bytes through Windows-1252, where a character that code page
// lacks becomes '?'. Paths are UTF-16 and reach the file system as UTF-8.
// File errors other than those documented per operation arrive as std::system_error.
class BASE64_API Base64 {
public:
    std::u16string EncodeArr(const ByteArray& Datos);
    std::u16string Encode(const std::u16string& strDatos);
    std::u16string EncodeFromFile(const std::u16string& strPath);
    ByteArray DecodeArr(const std::u16string& strDatos);
    std::u16string Decode(const std::u16string& strDatos);
    void DecodeToFile(const std::u16string& strDatos, const std::u16string& strPath);

    // Seconds taken by the last completed coding operation; 0 before any.
    double LastCount() const;

private:
    double lastMilliseconds_ = 0;
};
