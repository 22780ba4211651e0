// Folders, the settings folder and whole-file replacement on a real file
// system, in a temporary folder of the test's own.

#include "platform/storage/AtomicFile.h"
#include "platform/storage/BoundedFile.h"
#include "platform/storage/Directory.h"
#include "platform/storage/FindDirectory.h"
#include "tests/common/PrivateSettings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> Listing(BDirectory& directory)
{
    std::vector<std::string> names;
    entry_ref ref;
    while (directory.GetNextRef(&ref) == B_OK)
        names.push_back(ref.name);
    return names;
}

class Storage : public testing::Test {
protected:
    PrivateSettings scratch;
    const std::string root = scratch.Root();
};

TEST_F(Storage, DirectoryListsEntriesByteOrderedWithoutDotsAndWithTheirFolder)
{
    for (const char* name : { "b", "B", "a b", "\xc3\xa9t\xc3\xa9", "a" })
        std::ofstream(root + "/" + name) << "x";
    fs::create_directory(root + "/sub");
    BDirectory directory(root.c_str());
    ASSERT_EQ(directory.InitCheck(), B_OK);
    EXPECT_EQ(directory.CountEntries(), 6);
    EXPECT_EQ(
        Listing(directory), (std::vector<std::string> { "B", "a", "a b", "b", "sub", "\xc3\xa9t\xc3\xa9" }));
    entry_ref ref;
    EXPECT_EQ(directory.GetNextRef(&ref), B_ENTRY_NOT_FOUND);
    directory.Rewind();
    ASSERT_EQ(directory.GetNextRef(&ref), B_OK);
    EXPECT_EQ(ref.Path(), root + "/B");

    BDirectory missing((root + "/none").c_str());
    EXPECT_EQ(missing.InitCheck(), B_ENTRY_NOT_FOUND);
    EXPECT_LT(missing.CountEntries(), 0);
    EXPECT_NE(missing.GetNextRef(&ref), B_OK);
}

TEST_F(Storage, CreateDirectoryMakesParentsWithTheModeLessTheUmaskAndKeepsWhatExists)
{
    const mode_t mask = ::umask(022);
    const std::string deep = root + "/one/two/three";
    EXPECT_EQ(create_directory(deep.c_str(), 0777), B_OK);
    EXPECT_EQ(create_directory((deep + "/").c_str(), 0777), B_OK);
    for (const std::string& folder : { root + "/one", root + "/one/two", deep }) {
        struct stat info { };
        ASSERT_EQ(::stat(folder.c_str(), &info), 0) << folder;
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0755u) << folder;
    }
    ::chmod(deep.c_str(), 0700);
    EXPECT_EQ(create_directory(deep.c_str(), 0777), B_OK);
    struct stat info { };
    ::stat(deep.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "an existing folder was changed";

    std::ofstream(root + "/file") << "x";
    EXPECT_NE(create_directory((root + "/file").c_str(), 0777), B_OK);
    EXPECT_NE(create_directory((root + "/file/below").c_str(), 0777), B_OK);
    ::umask(mask);
}

TEST_F(Storage, SettingsFolderFollowsXdgConfigHomeElseHome)
{
    scratch.Use("/somewhere/config/");
    EXPECT_EQ(UserSettingsDirectory(), "/somewhere/config");
    // A relative value is to be ignored, as the XDG rules say.
    scratch.Use("relative");
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(UserSettingsDirectory(), std::string(home) + "/.config");
}

TEST_F(Storage, ReplacingAFileLeavesOnlyTheNewBytesAndNoTemporaryFile)
{
    const std::string path = root + "/preset";
    std::ofstream(path) << std::string(10000, 'o');
    EXPECT_EQ(ReplaceFileContents(path.c_str(), "new", 3), 0);
    EXPECT_EQ(Contents(path), "new");
    EXPECT_EQ(ReplaceFileContents((root + "/fresh").c_str(), "", 0), 0);
    EXPECT_TRUE(fs::exists(root + "/fresh"));
    BDirectory directory(root.c_str());
    EXPECT_EQ(Listing(directory), (std::vector<std::string> { "fresh", "preset" }));
}

TEST_F(Storage, AFailedReplacementSaysWhyAndKeepsTheOldFile)
{
    fs::create_directory(root + "/folder");
    EXPECT_EQ(ReplaceFileContents((root + "/folder").c_str(), "x", 1), EISDIR);
    EXPECT_EQ(ReplaceFileContents((root + "/missing/file").c_str(), "x", 1), ENOENT);

    // A disk that fills up during the write: the size limit makes every
    // write past the first bytes fail as a full disk would.
    const std::string path = root + "/preset";
    std::ofstream(path) << "old";
    struct sigaction ignore { };
    struct sigaction previous { };
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small { 2, limit.rlim_max };
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int error = ReplaceFileContents(path.c_str(), "much longer", 11);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(Contents(path), "old");
    BDirectory directory(root.c_str());
    EXPECT_EQ(Listing(directory), (std::vector<std::string> { "folder", "preset" }))
        << "a temporary file was left";
}

TEST_F(Storage, BoundedFileReadsOnlyRegularFilesWithinTheLimitWithoutWaiting)
{
    const std::string path = root + "/state";
    std::ofstream(path) << "0123456789";
    const BoundedFile fits(path.c_str(), 10);
    ASSERT_EQ(fits.InitCheck(), B_OK) << fits.Why();
    EXPECT_EQ(std::string(fits.Bytes().begin(), fits.Bytes().end()), "0123456789");
    const BoundedFile larger(path.c_str(), 9);
    EXPECT_EQ(larger.InitCheck(), B_BAD_DATA);
    EXPECT_EQ(larger.Why(), "it is too large (10 bytes, at most 9)");
    EXPECT_TRUE(larger.Bytes().empty());
    // A file whose size the file system does not tell is cut off too.
    const BoundedFile unknownSize("/proc/self/maps", 16);
    EXPECT_EQ(unknownSize.InitCheck(), B_BAD_DATA) << unknownSize.Why();

    // Nothing that could wait for a writer or read without end is opened;
    // a link is followed to what it names.
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0600), 0);
    fs::create_directory(root + "/folder");
    fs::create_symlink("/dev/zero", root + "/zero");
    for (const auto& [name, why] : { std::pair { "fifo", "it is a FIFO, not a file" },
             { "folder", "it is a folder, not a file" }, { "zero", "it is a device, not a file" } }) {
        const BoundedFile refused((root + "/" + name).c_str(), 1 << 20);
        EXPECT_EQ(refused.InitCheck(), B_BAD_VALUE) << name;
        EXPECT_EQ(refused.Why(), why) << name;
    }
    const BoundedFile missing((root + "/none").c_str(), 10);
    EXPECT_EQ(missing.InitCheck(), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(missing.Why(), "it does not exist");

    const std::atomic<bool> abandoned { true };
    const BoundedFile stopped(path.c_str(), 10, &abandoned);
    EXPECT_EQ(stopped.InitCheck(), B_ERROR);
    EXPECT_TRUE(stopped.Bytes().empty());
}

} // namespace
