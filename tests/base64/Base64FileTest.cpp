// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include "ErrorNumber.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The temporary folder's path is ASCII.
std::u16string u16(const fs::path& p) {
    const std::string s = p.string();
    return std::u16string(s.begin(), s.end());
}

std::string contentOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

class Base64Files : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "base64-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    // Gives the codec a LastCount that is not 0, so that "unchanged" can be seen. Skips on a
    // machine fast enough to encode 32 MiB in under a millisecond.
    void primeLastCount() {
        codec.EncodeArr(ByteArray(Bytes(32 << 20, 0x5A)));
        if (codec.LastCount() == 0)
            GTEST_SKIP() << "no measurable duration";
    }
    std::size_t entries() const {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    fs::path dir;
    Base64 codec;
};

TEST_F(Base64Files, DecodeToFileThenEncodeFromFileRoundTrips) {
    const fs::path file = dir / "abc.bin";
    codec.DecodeToFile(u"YWJj", u16(file));
    EXPECT_EQ(contentOf(file), "abc");
    EXPECT_EQ(codec.EncodeFromFile(u16(file)), u"YWJj");

    const fs::path accented = dir / u8"d\u00e9.bin";
    codec.DecodeToFile(u"YWI=", u16(dir) + u"/d\u00e9.bin");
    EXPECT_EQ(contentOf(accented), "ab");
    EXPECT_EQ(codec.EncodeFromFile(u16(dir) + u"/d\u00e9.bin"), u"YWI=");
}

TEST_F(Base64Files, EncodeFromFileWithoutAFileGivesTheEmptyText) {
    primeLastCount();
    const double before = codec.LastCount();
    fs::create_directory(dir / "folder");
    for (const std::u16string& path :
         {std::u16string(), u16(dir / "missing.bin"), u16(dir / "folder"),
          u16(dir / "abc.bin") + std::u16string(1, u'\0') + u"x", u16(dir / "abc.bin") + u"/x"}) {
        put(dir / "abc.bin", "abc");
        EXPECT_EQ(codec.EncodeFromFile(path), u"");
        EXPECT_EQ(codec.LastCount(), before);
    }
}

TEST_F(Base64Files, EncodeFromFileFailures) {
    put(dir / "empty.bin", "");
    EXPECT_EQ(errorOf([&] { codec.EncodeFromFile(u16(dir / "empty.bin")); }), 9);

    const fs::path locked = dir / "locked.bin";
    put(locked, "abc");
    fs::permissions(locked, fs::perms::none);
    if (::access(locked.c_str(), R_OK) == 0)
        GTEST_SKIP() << "running with the right to read any file";
    EXPECT_THROW(codec.EncodeFromFile(u16(locked)), std::system_error);
    EXPECT_EQ(codec.LastCount(), 0.0);
}

TEST_F(Base64Files, UnopenableTargetsAreSkippedSilently) {
    primeLastCount();
    const double before = codec.LastCount();
    const fs::path readOnly = dir / "readonly.bin";
    put(readOnly, "old");
    fs::permissions(readOnly, fs::perms::owner_read);
    fs::create_directory(dir / "folder");
    for (const std::u16string& path :
         {std::u16string(), u16(dir / "no" / "such" / "x.bin"), u16(dir / "folder"), u16(readOnly),
          u16(dir / "nul") + std::u16string(1, u'\0')}) {
        EXPECT_NO_THROW(codec.DecodeToFile(u"YWJj", path));
        EXPECT_EQ(codec.LastCount(), before);
    }
    EXPECT_EQ(contentOf(readOnly), "old");
    EXPECT_EQ(entries(), 2u);
}

TEST_F(Base64Files, DecodeFailureTouchesNoFile) {
    EXPECT_EQ(errorOf([&] { codec.DecodeToFile(u"", u16(dir / "x.bin")); }), 9);
    EXPECT_EQ(errorOf([&] { codec.DecodeToFile(u"Y", u16(dir / "x.bin")); }), 9);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(Base64Files, ReplacedFileHoldsExactlyTheBytesAndKeepsItsMode) {
    const fs::path file = dir / "target.bin";
    put(file, "a much longer old content");
    ::chmod(file.c_str(), 0640);
    codec.DecodeToFile(u"YWJj", u16(file));
    EXPECT_EQ(contentOf(file), "abc");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 1u);

    const mode_t old = ::umask(027);
    codec.DecodeToFile(u"YWJj", u16(dir / "new.bin"));
    ::umask(old);
    ASSERT_EQ(::stat((dir / "new.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(Base64Files, SymbolicLinkStaysALink) {
    put(dir / "real.bin", "old");
    fs::create_symlink("real.bin", dir / "link.bin");
    codec.DecodeToFile(u"YWJj", u16(dir / "link.bin"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
    EXPECT_EQ(contentOf(dir / "real.bin"), "abc");
}

TEST_F(Base64Files, FailedWriteKeepsTheOldFile) {
    const fs::path file = dir / "target.bin";
    put(file, "old content");
    const std::u16string big = codec.EncodeArr(ByteArray(Bytes(64 * 1024, 0x41)));

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int err = 0;
    try {
        codec.DecodeToFile(big, u16(file));
    } catch (const std::system_error& e) {
        err = e.code().value();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(contentOf(file), "old content");
    EXPECT_EQ(entries(), 1u) << "the temporary file is removed";
    EXPECT_EQ(codec.LastCount() * 1000, double(long(codec.LastCount() * 1000)));
}

TEST_F(Base64Files, WriteErrorOfADeviceReachesTheCaller) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    try {
        codec.DecodeToFile(u"YWJj", u"/dev/full");
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(Base64Timing, LastCountIsWholeMillisecondsInSeconds) {
    Base64 codec;
    EXPECT_EQ(codec.LastCount(), 0.0);
    codec.EncodeArr(ByteArray(Bytes(8 << 20, 0x33)));
    const double ms = codec.LastCount() * 1000;
    EXPECT_GE(ms, 0.0);
    EXPECT_DOUBLE_EQ(ms, double(static_cast<long long>(ms + 0.5)));
    const double after = codec.LastCount();
    EXPECT_EQ(errorOf([&] { codec.Encode(u""); }), 9);
    EXPECT_EQ(errorOf([&] { codec.DecodeArr(u"="); }), 9);
    EXPECT_EQ(codec.LastCount(), after);
}

} // namespace
