#include "platform/FolderLock.h"
#include "platform/PrivateFolder.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

unsigned ModeOf(const std::string& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_mode & 0777;
}

// Whether a child process (another holder in another process) gets the lock.
bool ChildLocks(const std::string& path)
{
    const pid_t child = fork();
    if (child == 0) {
        const bool locked = FolderLock(path).TryLock() == FolderLock::Outcome::Locked;
        _exit(locked ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(FolderLock, OneHolderAtATimeInAnyProcessAndTheFileGoesWithIt)
{
    TempDirectory folder;
    const std::string path = folder.File("trn.lock");
    {
        FolderLock first(path);
        ASSERT_EQ(first.TryLock(), FolderLock::Outcome::Locked);
        EXPECT_EQ(ModeOf(path), 0600u);
        EXPECT_EQ(FolderLock(path).TryLock(), FolderLock::Outcome::HeldElsewhere) << "in the same process";
        EXPECT_FALSE(ChildLocks(path)) << "a second holder in another process";
    }
    EXPECT_EQ(access(path.c_str(), F_OK), -1) << "released: the file is gone";
    EXPECT_TRUE(ChildLocks(path));
    EXPECT_EQ(access(path.c_str(), F_OK), -1) << "the child's lock went with it";

    // A link in the lock file's place is never followed.
    const std::string target = folder.File("elsewhere");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_EQ(FolderLock(path).TryLock(), FolderLock::Outcome::Unavailable);
    EXPECT_EQ(access(target.c_str(), F_OK), -1);
    EXPECT_EQ(FolderLock(folder.File("missing/trn.lock")).TryLock(), FolderLock::Outcome::Unavailable);
}

TEST(PrivateFolder, CreatesMissingFoldersForTheOwnerAlone)
{
    TempDirectory folder;
    const std::string deep = folder.File("a/b/c");
    ASSERT_TRUE(PrivateFolder::Create(deep));
    for (const char* created : {"a", "a/b", "a/b/c"})
        EXPECT_EQ(ModeOf(folder.File(created)), 0700u) << created;
    EXPECT_TRUE(PrivateFolder::IsPrivate(deep));
    chmod(deep.c_str(), 0711);
    EXPECT_FALSE(PrivateFolder::IsPrivate(deep));
    ASSERT_TRUE(PrivateFolder::Create(deep));
    EXPECT_EQ(ModeOf(deep), 0711u) << "a folder that exists keeps its mode";
    const std::string link = folder.File("link");
    ASSERT_EQ(symlink(deep.c_str(), link.c_str()), 0);
    EXPECT_FALSE(PrivateFolder::IsPrivate(link));
    const std::string file = folder.File("file");
    close(creat(file.c_str(), 0600));
    EXPECT_FALSE(PrivateFolder::Create(file + "/below"));
}
