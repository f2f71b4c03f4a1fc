#include "Base64.h"

#include "../../base64/src/Base64Sizes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

std::u16string repeat(char16_t c, std::size_t n) {
    return std::u16string(n, c);
}

std::vector<std::uint8_t> bytesOf(const ByteArray& a) {
    return a.data;
}

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Base64Error& e) {
        return e.number();
    }
    return 0;
}

struct TempFolder {
    TempFolder() {
        char name[] = "/tmp/base64-test-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path); }
    std::u16string file(const char* name) const {
        const std::string p = (path / name).string();
        return std::u16string(p.begin(), p.end());
    }
    std::string read(const char* name) const {
        std::ifstream in(path / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write(const char* name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
    fs::path path;
};

TEST(Encode, WorkedExamples) {
    Base64 b;
    EXPECT_EQ(b.Encode(u"a"), u"YQ==");
    EXPECT_EQ(b.Encode(u"ab"), u"YWI=");
    EXPECT_EQ(b.Encode(u"abc"), u"YWJj");
    EXPECT_EQ(b.Encode(u"hello world"), u"aGVsbG8gd29ybGQ=");
    EXPECT_EQ(b.Encode(u"\u00e9"), u"6Q==");     // Windows-1252
    EXPECT_EQ(b.Encode(u"\u20ac"), u"gA==");     // the euro sign is 0x80 there
    EXPECT_EQ(b.Encode(u"\u4e2d"), u"Pw==");     // a character the code page lacks: '?'
    EXPECT_EQ(b.Encode(u"\U0001F600"), u"Pw=="); // one '?' for a surrogate pair
}

TEST(Encode, LineBreaksEverySeventySixCharacters) {
    Base64 b;
    for (const auto& [n, size] : std::vector<std::pair<std::size_t, std::size_t>>{
             {57, 76}, {58, 82}, {114, 154}, {115, 160}, {570, 778}}) {
        const std::u16string out = b.Encode(repeat(u'x', n));
        EXPECT_EQ(out.size(), size) << n;
        EXPECT_FALSE(out.size() >= 2 && out.substr(out.size() - 2) == u"\r\n") << n;
        for (std::size_t line = 76; line < out.size(); line += 78)
            EXPECT_EQ(out.substr(line, 2), u"\r\n") << n;
    }
}

TEST(Decode, WorkedExamplesAndLooseInput) {
    Base64 b;
    EXPECT_EQ(b.Decode(u"YWJj"), u"abc");
    EXPECT_EQ(b.Decode(u"YWI="), u"ab");
    EXPECT_EQ(b.Decode(u"YWI"), u"ab");
    EXPECT_EQ(b.Decode(u"YQ=="), u"a");
    EXPECT_EQ(b.Decode(u"YW"), u"a");
    EXPECT_EQ(b.Decode(u"YWJjZ"), u"abc");
    EXPECT_EQ(b.Decode(u"YWJj\r\nZGVm"), u"abcdef");
    EXPECT_EQ(b.Decode(u"YQ==\r\n"), u"a");
}

TEST(Decode, CharactersOutsideTheAlphabetEnterAsMinusOne) {
    Base64 b;
    EXPECT_EQ(bytesOf(b.DecodeArr(u"YQ===")), (std::vector<std::uint8_t>{0x60, 0xFF}));
    EXPECT_EQ(bytesOf(b.DecodeArr(u"YQ==YQ==")),
              (std::vector<std::uint8_t>{0x60, 0xFF, 0xBF, 'a'}));
    EXPECT_EQ(bytesOf(b.DecodeArr(u"YWJj\nYWJj")),
              (std::vector<std::uint8_t>{'a', 'b', 'c', 0xFD, 0x85, 0x89}));
    EXPECT_EQ(bytesOf(b.DecodeArr(u"YW Jj")), (std::vector<std::uint8_t>{0x61, 0x5F, 0xC9}));
}

TEST(Codec, EveryByteRoundTripsThroughText) {
    Base64 b;
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    const std::u16string encoded = b.EncodeArr(ByteArray(all));
    EXPECT_EQ(bytesOf(b.DecodeArr(encoded)), all);
    const std::u16string text = b.Decode(encoded);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(b.Encode(text), encoded);

    std::mt19937 random(7);
    for (int n : {1, 2, 3, 56, 57, 58, 1000, 4097}) {
        std::vector<std::uint8_t> data(n);
        for (auto& x : data)
            x = static_cast<std::uint8_t>(random());
        EXPECT_EQ(bytesOf(b.DecodeArr(b.EncodeArr(ByteArray(data)))), data) << n;
    }
}

TEST(Errors, NumbersAndTheDurationKept) {
    Base64 b;
    EXPECT_EQ(b.LastCount(), 0.0);
    EXPECT_EQ(errorOf([&] { b.Encode(u""); }), 9);
    for (const char16_t* bad : {u"", u"Y", u"=", u"==", u"Y="})
        EXPECT_EQ(errorOf([&] { b.Decode(bad); }), 9);
    EXPECT_EQ(errorOf([&] { b.EncodeArr(ByteArray()); }), 9);
    EXPECT_EQ(errorOf([&] { b.EncodeArr(ByteArray({1, 2, 3}, 1)); }), 9);
    EXPECT_EQ(errorOf([&] { b.DecodeArr(u"Y"); }), 9);
    EXPECT_EQ(b.LastCount(), 0.0);
    EXPECT_EQ(b.EncodeArr(ByteArray({0x61, 0x62, 0x63}, -2)), u"Yw=="); // index 0 is the 'c'

    using namespace base64_detail;
    EXPECT_EQ(EncodedSize(1569314973), 2147483646); // the largest input that fits
    EXPECT_EQ(errorOf([] { EncodedSize(1569314974); }), 6);
    EXPECT_EQ(DecodedSize(std::int64_t(2863311530)), 2147483647);
    EXPECT_EQ(errorOf([] { DecodedSize(std::int64_t(2863311531)); }), 6);
    EXPECT_EQ(errorOf([] { DecodedSize(1); }), 9);
}

TEST(LastCountTest, SecondsOfTheLastOperation) {
    Base64 b;
    b.Encode(repeat(u'x', 1 << 20));
    EXPECT_GE(b.LastCount(), 0.0);
    EXPECT_DOUBLE_EQ(b.LastCount() * 1000, std::round(b.LastCount() * 1000)); // whole milliseconds
}

TEST(Files, RoundTripAndMissingFiles) {
    TempFolder dir;
    Base64 b;
    b.DecodeToFile(u"YWJj", dir.file("abc.bin"));
    EXPECT_EQ(dir.read("abc.bin"), "abc");
    EXPECT_EQ(b.EncodeFromFile(dir.file("abc.bin")), u"YWJj");

    Base64 fresh;
    EXPECT_EQ(fresh.EncodeFromFile(u""), u"");
    EXPECT_EQ(fresh.EncodeFromFile(dir.file("missing")), u"");
    EXPECT_EQ(fresh.EncodeFromFile(dir.file(".")), u"");
    fresh.DecodeToFile(u"YWJj", dir.file("no-such-folder/x.bin"));
    EXPECT_FALSE(fs::exists(dir.path / "no-such-folder"));
    EXPECT_EQ(fresh.LastCount(), 0.0);

    dir.write("empty", "");
    EXPECT_EQ(errorOf([&] { fresh.EncodeFromFile(dir.file("empty")); }), 9);
    EXPECT_EQ(errorOf([&] { fresh.DecodeToFile(u"", dir.file("never")); }), 9);
    EXPECT_FALSE(fs::exists(dir.path / "never"));
}

TEST(Files, DecodeReplacesTheWholeFileAndKeepsItsPermissions) {
    TempFolder dir;
    dir.write("out.bin", std::string(1000, 'z'));
    ::chmod((dir.path / "out.bin").c_str(), 0640);
    Base64 b;
    b.DecodeToFile(u"YWJj", dir.file("out.bin"));
    EXPECT_EQ(dir.read("out.bin"), "abc");
    struct stat st {};
    ::stat((dir.path / "out.bin").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()),
              1); // no temporary left

    fs::create_symlink(dir.path / "out.bin", dir.path / "link.bin");
    b.DecodeToFile(u"ZGVm", dir.file("link.bin"));
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.bin"));
    EXPECT_EQ(dir.read("out.bin"), "def");
}

TEST(Files, UnicodePathsReachTheFileSystemAsUtf8) {
    TempFolder dir;
    Base64 b;
    const std::string p = (dir.path / "").string();
    std::u16string path(p.begin(), p.end());
    path += u"caf\u00e9.bin";
    b.DecodeToFile(u"YWJj", path);
    EXPECT_EQ(dir.read("caf\xc3\xa9.bin"), "abc");
}

} // namespace
