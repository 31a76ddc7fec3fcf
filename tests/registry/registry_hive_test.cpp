// The hive file: creation, missing and damaged files, switching hives, several
// connections reading while another writes, and locks: other code in a process opening
// and closing the hive's files must not drop the process's locks on them (a writer
// elsewhere would then reset the WAL under a reader that still reads from it).
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <set>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registry_hold.h"
#include "registry_read_scope.h"
#include "registry_test_util.h"
#include "temp_hive.h"

namespace {

const char* const kList = "SOFTWARE\\Orlenby\\Pellicor\\ExtOOFdisabledDomains";

TEST(RegistryHive, FirstWriteCreatesFolderAndFileReadableByAll) {
    TempHive hive;
    std::string nested = (hive.folder() / "lib" / "pellicor" / "registry.sqlite").string();
    setenv("PELLICOR_REGISTRY", nested.c_str(), 1);
    mode_t old = umask(077);
    HKEY key = createKey("SOFTWARE\\Orlenby");
    umask(old);
    ASSERT_NE(key, nullptr);
    RegCloseKey(key);
    struct stat st;
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat((hive.folder() / "lib" / "pellicor").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST(RegistryHive, EachRootOpenReadsTheHiveNamedNow) {
    TempHive first;
    HKEY key = createKey("SOFTWARE\\First");
    ASSERT_NE(key, nullptr);
    {
        TempHive second;
        HKEY other;
        EXPECT_EQ(openKey("SOFTWARE\\First", other), ERROR_FILE_NOT_FOUND);
        // A handle keeps the hive it was opened in.
        EXPECT_EQ(setString(key, "still", ""), ERROR_SUCCESS);
    }
    setenv("PELLICOR_REGISTRY", first.path().c_str(), 1);
    EXPECT_EQ(valueNames(key), std::vector<std::string>{"still"});
    RegCloseKey(key);
}

// A hive file that is not one: every call fails and the file is left as it was; the
// system's reason (for a host to word) is given only when the system refused the file.
// A missing one reads as empty and is not made by reading.
TEST(RegistryHive, FilesThatAreNoHiveGiveAnErrorAndAreLeftAlone) {
    TempHive hive;
    HKEY key = createKey("SOFTWARE\\Orlenby\\Pellicor\\List");
    for (int i = 0; i < 500; ++i) setString(key, ("@domain" + std::to_string(i) + ".example").c_str(), "");
    RegCloseKey(key);
    // Everything in the main file, whose copy is damaged beyond the header page.
    ASSERT_EQ(sqliteAnswer(hive.path(), "PRAGMA wal_checkpoint(TRUNCATE)"), "0 0 0 ");
    std::string real = ReadWholeFile(hive.path());
    ASSERT_GT(real.size(), 8192u);
    const std::string intact = real;
    for (size_t i = 4096; i < real.size(); ++i) real[i] = static_cast<char>(0xA5 ^ i);
    std::string garbage(8192, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7919 % 251);
    auto write = [](const std::string& bytes) {
        return [&bytes](const std::string& path) { std::ofstream(path, std::ios::binary) << bytes; };
    };
    const struct {
        const char* file;
        std::function<void(const std::string&)> make;
        LSTATUS status;
        int systemError;
    } cases[] = {
        {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, ERROR_CANTOPEN, EISDIR},
        {"missing.sqlite", [](const std::string&) {}, ERROR_FILE_NOT_FOUND, 0},
        {"garbage.sqlite", write(garbage), ERROR_BADDB, 0},
        {"damaged.sqlite", write(real), ERROR_BADDB, 0},
        // Another program's database, even one with the same tables, is left alone.
        {"foreign.sqlite",
         [&](const std::string& path) {
             write(intact)(path);
             ASSERT_EQ(sqliteAnswer(path, "PRAGMA application_id = 1"), "");
         },
         ERROR_BADDB, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = (hive.folder() / c.file).string();
        c.make(path);
        std::string before = ReadWholeFile(path);
        setenv("PELLICOR_REGISTRY", path.c_str(), 1);
        EXPECT_EQ(openKey("SOFTWARE\\Orlenby\\Pellicor\\List", key), c.status);
        EXPECT_EQ(platform::registry::HiveSystemError(), c.systemError);
        if (c.status == ERROR_FILE_NOT_FOUND) {  // a hive not yet written: empty roots, and no file made
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
            EXPECT_EQ(subkeyNames(key), std::vector<std::string>{});
            RegCloseKey(key);
            ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &key), ERROR_SUCCESS);
            EXPECT_EQ(valueNames(key), std::vector<std::string>{});
            RegCloseKey(key);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
        if (c.status != ERROR_BADDB) continue;
        LSTATUS rc;
        EXPECT_EQ(createKey("SOFTWARE\\New", &rc), nullptr);
        EXPECT_EQ(rc, ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_BADDB);
        EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, nullptr, 0), ERROR_BADDB);
        EXPECT_EQ(valueCount(HKEY_LOCAL_MACHINE), ERROR_BADDB);
        EXPECT_EQ(ReadWholeFile(path), before);
    }
}

// The connections this process holds open to the hive file.
int connectionsTo(const std::filesystem::path& hive) {
    int count = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error) == hive) ++count;
    }
    return count;
}

// libmilter, for one, starts a thread for every MTA connection: each new thread
// takes up the connection an ended one left, rather than opening the hive anew.
TEST(RegistryHive, ThreadsOneAfterAnotherShareOneConnection) {
    TempHive hive;
    RegCloseKey(createKey("SOFTWARE\\Shared"));
    for (int i = 0; i < 10; ++i) {
        std::thread([] {
            HKEY key;
            if (openKey("SOFTWARE\\Shared", key) == ERROR_SUCCESS) RegCloseKey(key);
        }).join();
    }
    // This thread's, the one the threads passed on, and the description holding the locks.
    EXPECT_EQ(connectionsTo(hive.path()), 3);
}

// Each thread has its own connection and key cache: a key another thread of the
// process deleted is gone at the next open, however recently this thread opened it.
TEST(RegistryHive, KeyDeletedOnAnotherThreadIsGoneAtTheNextOpen) {
    TempHive hive;
    RegCloseKey(createKey("SOFTWARE\\Doomed"));
    HKEY key;
    ASSERT_EQ(openKey("SOFTWARE\\Doomed", key), ERROR_SUCCESS);
    RegCloseKey(key);
    std::thread([] { RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"); }).join();
    EXPECT_EQ(openKey("SOFTWARE\\Doomed", key), ERROR_FILE_NOT_FOUND);
}

// The sink may run under a user of its own that can read the hive but not write it
// or its folder. Both sides run in children, each on a thread of its own as the sink
// does: no SQLite connection crosses fork().
TEST(RegistryHive, UserWhoMayNotWriteStillReads) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to read as another user";
    TempHive hive;
    chmod(hive.folder().c_str(), 0755);
    ASSERT_EQ(inChild([&] { return onOtherThread([&] { return setAt(kList, "@example.com") == ERROR_SUCCESS; }); }), 0);
    EXPECT_EQ(inChild([&] {
                  return becomeNobody() && onOtherThread([&] {
                             HKEY key;
                             if (openKey(kList, key, KEY_ALL_ACCESS) != ERROR_SUCCESS) return false;
                             bool ok = valueNames(key) == std::vector<std::string>{"@example.com"} &&
                                       setString(key, "x", "") == ERROR_ACCESS_DENIED;
                             RegCloseKey(key);
                             return ok;
                         });
              }),
              0);
}

// The child goes on on the forking thread, whose connection to the hive it inherits:
// it leaves that one alone and opens its own.
TEST(RegistryHive, ChildProcessOfAUserOfTheHiveUsesItToo) {
    TempHive hive;
    HKEY key = createKey("SOFTWARE\\Forked");
    ASSERT_EQ(setString(key, "parent", ""), ERROR_SUCCESS);
    EXPECT_EQ(inChild([] {
                  return setAt("SOFTWARE\\Forked", "child") == ERROR_SUCCESS &&
                         valuesAt("SOFTWARE\\Forked") == std::vector<std::string>{"parent", "child"} &&
                         connectionsTo(getenv("PELLICOR_REGISTRY")) == 2;
              }),
              0);
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"parent", "child"}));
    ASSERT_EQ(setString(key, "after", ""), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(RegistryHive, WalkSeesOneStateWhileAnotherConnectionWrites) {
    TempHive hive;
    HKEY key = createKey("SOFTWARE\\Busy");
    for (int i = 0; i < 100; ++i) setString(key, ("first" + std::to_string(i)).c_str(), "");
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {  // its own thread, so its own connection
        HKEY other = createKey("SOFTWARE\\Busy");
        for (int i = 0; !stop; ++i) {
            setString(other, ("later" + std::to_string(i)).c_str(), "");
            if (i % 3 == 0) RegDeleteValueA(other, ("later" + std::to_string(i - 1)).c_str());
            ++written;
        }
        RegCloseKey(other);
    });
    while (written < 10) std::this_thread::yield();
    for (int walk = 0; walk < 50; ++walk) {
        DWORD count = 0;
        ASSERT_EQ(valueCount(key, &count), ERROR_SUCCESS);
        std::set<std::u16string> seen;
        for (DWORD i = 0; i < count; ++i) {
            WCHAR name[64];
            DWORD chars = 64;
            ASSERT_EQ(RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
                << "walk " << walk << " index " << i << " of " << count;
            seen.insert(std::u16string(name, chars));
        }
        WCHAR name[64];
        DWORD chars = 64;
        EXPECT_EQ(RegEnumValueW(key, count, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
        EXPECT_EQ(seen.size(), count);  // no value twice
        EXPECT_GE(count, 100u);
    }
    stop = true;
    writer.join();
    // A new walk sees what the writer left.
    DWORD count = 0;
    ASSERT_EQ(valueCount(key, &count), ERROR_SUCCESS);
    EXPECT_EQ(count, valueNames(key).size());
    EXPECT_GT(count, 100u);
    RegCloseKey(key);
}

TEST(RegistryHive, ManyThreadsLookUpAtOnce) {
    TempHive hive;
    HKEY key = createKey("SOFTWARE\\Shared");
    for (int i = 0; i < 50; ++i) setString(key, ("@d" + std::to_string(i) + ".example").c_str(), "");
    RegCloseKey(key);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                HKEY own;
                if (openKey("Software\\shared", own) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                if (valueNames(own).size() != 50) ++failures;
                RegCloseKey(own);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
}

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
    EXPECT_EQ(ExitCodeOf(reader), 0) << "the reader's snapshot changed";
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
