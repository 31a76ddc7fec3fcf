// Other code in a process opening and closing the hive's files must not drop the
// process's locks on them: a writer elsewhere would then reset the WAL under a
// reader that still reads from it.
#include <csignal>

#include <fcntl.h>
#include <gtest/gtest.h>

#include "registry_hold.h"
#include "registry_read_scope.h"
#include "registry_test_util.h"
#include "temp_hive.h"

namespace {

const char* const kList = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";

void waitFor(const std::string& marker) {
    for (int i = 0; i < 1000 && access(marker.c_str(), F_OK) != 0; ++i) usleep(10000);
}

void touch(const std::string& marker) { close(open(marker.c_str(), O_CREAT | O_WRONLY, 0644)); }

std::string count(HKEY key) { return std::to_string(valueNames(key).size()); }

TEST(RegistryLocks, OpeningAndClosingTheHiveFilesBesideAConnectionKeepsItsLocks) {
    TempHive hive;
    std::string path = hive.path().string(), opened = path + ".opened", written = path + ".written";
    ASSERT_EQ(inChild([] { return setAt(kList, "@a.example") == ERROR_SUCCESS; }), 0);

    pid_t reader = fork();
    if (reader == 0) {
        platform::registry::ReadScope scope;
        HKEY key;
        if (openKey(kList, key) != ERROR_SUCCESS) _exit(2);
        std::string before = count(key);
        for (const char* suffix : {"", "-wal", "-shm"}) close(open((path + suffix).c_str(), O_RDONLY));
        touch(opened);
        waitFor(written);
        _exit(count(key) == before ? 0 : 3);  // one committed state for the whole scope
    }
    EXPECT_EQ(inChild([&] {
                  waitFor(opened);
                  for (int i = 0; i < 200; ++i) setAt(kList, ("@w" + std::to_string(i) + ".example").c_str());
                  // With the reader's snapshot still held, the WAL cannot be reset.
                  std::string busy = sqliteAnswer(path, "PRAGMA wal_checkpoint(TRUNCATE)");
                  touch(written);
                  return busy.rfind("1 ", 0) == 0;
              }),
              0)
        << "the writer reset the WAL under the reader";
    EXPECT_EQ(exitCode(reader), 0) << "the reader's snapshot changed";
    EXPECT_EQ(sqliteAnswer(path, "PRAGMA integrity_check"), "ok ");
}

// With every read mark of the shared index held by another process (as while it
// recovers the index) SQLite tries again for about ten seconds; a thread with a
// deadline gives up at it instead, and an inner, later deadline does not extend it.
TEST(RegistryLocks, AReadGivesUpAtItsThreadsDeadline) {
    TempHive hive;
    std::string path = hive.path().string(), held = path + ".held";
    ASSERT_EQ(inChild([] { return setAt(kList, "@a.example") == ERROR_SUCCESS; }), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((path + "-shm").c_str(), O_RDWR);
        struct flock marks {};
        marks.l_type = F_WRLCK;
        marks.l_whence = SEEK_SET;
        marks.l_start = 123;  // after the write, checkpoint and recovery locks at 120
        marks.l_len = 5;
        if (fd < 0 || fcntl(fd, F_SETLK, &marks) != 0) _exit(1);
        touch(held);
        for (;;) pause();
    }
    waitFor(held);
    HKEY key;
    {
        platform::registry::HiveDeadline deadline(std::chrono::milliseconds(100));
        {
            platform::registry::HiveDeadline later(std::chrono::minutes(1));
            EXPECT_NE(openKey(kList, key), ERROR_SUCCESS);
        }
        EXPECT_TRUE(deadline.reached());
    }
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    platform::registry::HiveDeadline deadline(std::chrono::minutes(1));
    ASSERT_EQ(openKey(kList, key), ERROR_SUCCESS);
    EXPECT_EQ(count(key), "1");
    RegCloseKey(key);
    EXPECT_FALSE(deadline.reached());
}

}  // namespace
