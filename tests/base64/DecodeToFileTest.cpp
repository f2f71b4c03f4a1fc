// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The UTF-16 form of an ASCII folder and a name of any characters.
std::u16string u16(const fs::path& folder, const std::u16string& name = {}) {
    const std::string s = folder.string();
    return std::u16string(s.begin(), s.end()) + (name.empty() ? u"" : u"/" + name);
}

class DecodeToFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "base64-target-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::size_t entries(const fs::path& folder) const {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }

    fs::path dir;
    Base64 codec;
};

TEST_F(DecodeToFile, LongNamesAreWrittenAndLeaveNoTemporary) {
    const struct {
        const char* what;
        std::u16string name;
    } cases[] = {
        {"238 ASCII bytes", std::u16string(238, u'n')},
        {"the longest name the folder takes", std::u16string(255, u'm')},
        {"80 CJK characters, 240 bytes", std::u16string(80, u'\u6f22')},
        {"84 CJK characters and a dot, 253 bytes", std::u16string(84, u'\u5b57') + u".b"},
    };
    for (const auto& c : cases) {
        const std::u16string path = u16(dir, c.name);
        codec.DecodeToFile(u"YWJj", path);
        ASSERT_EQ(entries(dir), 1u) << c.what;
        const fs::path written = fs::directory_iterator(dir)->path();
        EXPECT_EQ(contentOf(written), "abc") << c.what;
        codec.DecodeToFile(u"ZGVmZw==", path);
        EXPECT_EQ(contentOf(written), "defg") << c.what << " (replaced)";
        EXPECT_EQ(entries(dir), 1u) << c.what;
        fs::remove(written);
    }
}

TEST_F(DecodeToFile, TargetsThatCannotBeExaminedAreLeftAlone) {
    fs::create_symlink("b.bin", dir / "a.bin");
    fs::create_symlink("a.bin", dir / "b.bin");
    put(dir / "plain.bin", "old");
    for (const fs::path& target : {dir / "a.bin", dir / "plain.bin" / "x"}) {
        EXPECT_NO_THROW(codec.DecodeToFile(u"YWJj", u16(target))) << target;
        EXPECT_EQ(codec.LastCount(), 0.0) << target;
    }
    EXPECT_TRUE(fs::is_symlink(dir / "a.bin"));
    EXPECT_TRUE(fs::is_symlink(dir / "b.bin"));
    EXPECT_EQ(contentOf(dir / "plain.bin"), "old");
    EXPECT_EQ(entries(dir), 3u);
}

TEST_F(DecodeToFile, HardLinkedFileIsRewrittenForEveryName) {
    put(dir / "first.bin", "a much longer old content");
    fs::create_hard_link(dir / "first.bin", dir / "second.bin");
    struct stat before {};
    ASSERT_EQ(::stat((dir / "first.bin").c_str(), &before), 0);

    codec.DecodeToFile(u"YWJj", u16(dir / "first.bin"));
    EXPECT_EQ(contentOf(dir / "first.bin"), "abc");
    EXPECT_EQ(contentOf(dir / "second.bin"), "abc");
    struct stat after {};
    ASSERT_EQ(::stat((dir / "second.bin").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(entries(dir), 2u);
}

// Another user's file that we may write, in a folder like /tmp: a rename may not replace it
// there, and elsewhere it would make the file ours.
TEST_F(DecodeToFile, AnotherUsersWritableFileIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two users";
    const uid_t nobody = 65534;
    fs::permissions(dir, fs::perms::all);
    const fs::path sticky = dir / "sticky";
    fs::create_directory(sticky);
    ::chmod(sticky.c_str(), 01777);
    const fs::path target = sticky / "theirs.bin";
    put(target, "old content");
    ::chmod(target.c_str(), 0666);
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 3;
        if (::setgid(nobody) == 0 && ::setuid(nobody) == 0) {
            try {
                Base64().DecodeToFile(u"YWJj", u16(target));
                code = 0;
            } catch (const std::system_error&) {
                code = 1;
            }
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write failed";

    EXPECT_EQ(contentOf(target), "abc");
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(entries(sticky), 1u);
}

} // namespace
