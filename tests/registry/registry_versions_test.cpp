// What one connection reads of a committed state of the hive, every connection of
// the process shares: each write must make a new state, every thread must see one
// state whole, and a hive made before states were numbered must still be read.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ktmw32.h"
#include "registry_read_scope.h"
#include "registry_test_util.h"
#include "temp_hive.h"
#include "winbase.h"

namespace {

const char* const kKey = "SOFTWARE\\Seen";

// Values and subkeys of a key as read now, on a thread (and so a connection) of its own.
std::string seenElsewhere(const char* path = kKey) {
    std::string seen;
    std::thread([&] {
        HKEY key;
        if (openKey(path, key) != ERROR_SUCCESS) {
            seen = "<cannot open>";
            return;
        }
        for (const auto& name : valueNames(key)) seen += name + " ";
        for (const auto& name : subkeyNames(key)) seen += "[" + name + "] ";
        RegCloseKey(key);
    }).join();
    return seen;
}

LSTATUS inTransaction(const std::function<LSTATUS(HANDLE)>& body) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    LSTATUS rc = body(transaction);
    if (rc == ERROR_SUCCESS && !CommitTransaction(transaction)) rc = ERROR_TRANSACTION_NOT_ACTIVE;
    CloseHandle(transaction);
    return rc;
}

// Every kind of write, each read back by this thread and another right after: a write
// that did not make a new state would leave both with the copy read before it.
TEST(RegistryVersions, EveryWriteIsSeenByTheNextReadOnEveryThread) {
    TempHive hive;
    HKEY key = createKey(kKey);
    ASSERT_NE(key, nullptr);
    struct Case {
        const char* write;
        std::function<LSTATUS()> body;
        const char* seen;
    };
    const Case cases[] = {
        {"set a value", [&] { return setString(key, "a", ""); }, "a "},
        {"overwrite it", [&] { return setString(key, "A", "x"); }, "a "},
        {"create a subkey",
         [] {
             HKEY k = createKey("SOFTWARE\\Seen\\Sub");
             return k ? RegCloseKey(k) : 1;
         },
         "a [Sub] "},
        {"delete the value", [&] { return RegDeleteValueA(key, "a"); }, "[Sub] "},
        {"delete the subkey", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Seen\\Sub"); }, ""},
        {"commit a transaction",
         [] {
             return inTransaction([](HANDLE transaction) {
                 HKEY k;
                 LSTATUS rc =
                     RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &k, transaction, nullptr);
                 if (rc != ERROR_SUCCESS) return rc;
                 rc = setString(k, "t1", "");
                 if (rc == ERROR_SUCCESS) rc = setString(k, "t2", "");
                 RegCloseKey(k);
                 return rc;
             });
         },
         "t1 t2 "},
    };
    for (const auto& c : cases) {
        // Both readers hold the state before the write, so a stale copy would be at hand.
        (void)seenElsewhere();
        (void)valueNames(key);
        ASSERT_EQ(c.body(), ERROR_SUCCESS) << c.write;
        EXPECT_EQ(seenElsewhere(), c.seen) << c.write;
        std::string values(c.seen), here;
        for (const auto& name : valueNames(key)) here += name + " ";
        EXPECT_EQ(here, values.substr(0, values.find('['))) << c.write;
    }
    RegCloseKey(key);
}

// A reader at a new version keeps what it read of the keys the write left alone and
// reads anew those it changed. Before each write a value is slipped into both keys
// behind the registry's back (no stamp, no new version): a key read anew shows it,
// a key kept does not.
TEST(RegistryVersions, OnlyTheKeysAWriteChangedAreReadAgain) {
    TempHive hive;
    const char* const kOther = "SOFTWARE\\Other";
    HKEY seen = createKey(kKey), other = createKey(kOther);
    ASSERT_TRUE(seen && other);
    auto setIn = [](const char* path, const char* name) {
        HKEY k = createKey(path);
        LSTATUS rc = k ? setString(k, name, "") : ERROR_CANTOPEN;
        if (k) RegCloseKey(k);
        return rc;
    };
    struct Case {
        const char* write;
        std::function<LSTATUS()> body;
        bool seenReadAgain, otherReadAgain;
        const char* seenShows;  // what the write put in kKey
    };
    const Case cases[] = {
        {"a value of the other key", [&] { return setString(other, "o", ""); }, false, true, nullptr},
        {"the other key in a transaction",
         [&] {
             return inTransaction([&](HANDLE transaction) {
                 HKEY k;
                 LSTATUS rc =
                     RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, kOther, 0, KEY_ALL_ACCESS, &k, transaction, nullptr);
                 if (rc == ERROR_SUCCESS) rc = setString(k, "t", "");
                 RegCloseKey(k);
                 return rc;
             });
         },
         false, true, nullptr},
        {"a value of the key", [&] { return setString(seen, "v", ""); }, true, false, "v "},
        {"a subkey made", [&] { return setIn("SOFTWARE\\Seen\\Sub", "s1"); }, true, false, "[Sub]"},
        {"a value of the subkey", [&] { return setIn("SOFTWARE\\Seen\\Sub", "s2"); }, true, false, "[Sub]"},
        {"the subkey deleted", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Seen\\Sub"); }, true,
         false, nullptr},
        // A new key of the same path: its predecessor's copy (with the slipped value) is not it.
        {"the key deleted and made again in a transaction",
         [&] {
             return inTransaction([&](HANDLE transaction) {
                 LSTATUS rc = RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, kKey, 0, 0, transaction, nullptr);
                 HKEY k;
                 if (rc == ERROR_SUCCESS)
                     rc = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                                  nullptr, transaction, nullptr);
                 if (rc != ERROR_SUCCESS) return rc;
                 rc = setString(k, "again", "");
                 RegCloseKey(k);
                 return rc;
             });
         },
         false, false, "again "},
    };
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(hive.path().string().c_str(), &db), SQLITE_OK);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        (void)seenElsewhere(kKey);  // both read at the version before the write
        (void)seenElsewhere(kOther);
        std::string slipped = "slipped" + std::to_string(i);
        std::string sql = "INSERT INTO vals(key, name, folded, type, data) SELECT id, '" + slipped + "', '" + slipped +
                          "', 1, x'' FROM keys WHERE name IN ('Seen', 'Other')";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_EQ(c.body(), ERROR_SUCCESS) << c.write;
        std::string seenNow = seenElsewhere(kKey), otherNow = seenElsewhere(kOther);
        EXPECT_EQ(seenNow.find(slipped) != std::string::npos, c.seenReadAgain) << c.write << ": " << seenNow;
        EXPECT_EQ(otherNow.find(slipped) != std::string::npos, c.otherReadAgain) << c.write << ": " << otherNow;
        if (c.seenShows) {
            EXPECT_NE(seenNow.find(c.seenShows), std::string::npos) << c.write << ": " << seenNow;
        }
    }
    sqlite3_close(db);
    RegCloseKey(seen);
    RegCloseKey(other);
}

// Readers on many threads while another thread replaces two lists together, version
// by version: each judgement reads both lists of one version, never one of each,
// whichever thread read each list's copy first.
TEST(RegistryVersions, ThreadsReadingWhileListsAreReplacedEachSeeOneVersion) {
    TempHive hive;
    const char* const lists[] = {"SOFTWARE\\One", "SOFTWARE\\Two"};
    const std::vector<std::vector<std::string>> versions = {{"a0", "a1", "a2", "a3"}, {"b0", "b1", "b2"}};
    auto write = [&](const std::vector<std::string>& names) {
        return inTransaction([&](HANDLE transaction) {
            LSTATUS rc = ERROR_SUCCESS;
            for (const char* list : lists) {
                RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, list, 0, 0, transaction, nullptr);
                HKEY k;
                rc = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, list, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                             nullptr, transaction, nullptr);
                if (rc != ERROR_SUCCESS) return rc;
                for (size_t i = 0; rc == ERROR_SUCCESS && i < names.size(); ++i)
                    rc = setString(k, names[i].c_str(), "");
                RegCloseKey(k);
            }
            return rc;
        });
    };
    ASSERT_EQ(write(versions[0]), ERROR_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> judgements{0}, wrong{0}, writes{0};
    std::thread writer([&] {
        for (int i = 1; !stop; ++i) {
            if (write(versions[i % 2]) == ERROR_SUCCESS) ++writes;
        }
    });
    std::vector<std::thread> readers;
    for (int t = 0; t < 8; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 1000 || writes < 100; ++round) {
                platform::registry::ReadScope scope;
                std::vector<std::string> seen[2];
                for (int i : {t % 2, 1 - t % 2}) {  // half the threads read the second list first
                    HKEY key;
                    if (openKey(lists[i], key) != ERROR_SUCCESS) continue;
                    seen[i] = valueNames(key);
                    RegCloseKey(key);
                }
                if (seen[0] != seen[1] || (seen[0] != versions[0] && seen[0] != versions[1])) ++wrong;
                ++judgements;
            }
        });
    }
    for (auto& reader : readers) reader.join();
    stop = true;
    writer.join();
    EXPECT_EQ(wrong, 0) << "of " << judgements << " judgements";
    EXPECT_GT(writes, 1);
}

int exitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// A hive as made before its states were numbered, its values listed by an index of
// their own and its keys stamped: a user who may only read it still reads it, and sees
// what is written after; the first writer numbers it, adds the index and the stamps.
TEST(RegistryVersions, HiveOfTheOlderSchemaIsReadAndCompletedByItsFirstWriter) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to read as another user";
    TempHive hive;
    chmod(hive.folder().c_str(), 0755);
    std::string path = hive.path().string();
    int ready[2], written[2];  // the reader has read; the writer has written
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(written), 0);
    char byte = 0;
    pid_t setup = fork();
    if (setup == 0) {
        HKEY key = createKey(kKey);
        bool ok = key && setString(key, "before", "") == ERROR_SUCCESS;
        _exit(ok ? 0 : 1);
    }
    ASSERT_EQ(exitCode(setup), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "DROP TRIGGER keys_stamp_made; DROP TRIGGER keys_stamp_gone; DROP TRIGGER keys_stamp_written;"
                           "ALTER TABLE keys DROP COLUMN changed;"
                           "DROP TABLE hive; DROP INDEX vals_listing; CREATE INDEX vals_in_order ON vals(key)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);

    pid_t reader = fork();
    if (reader == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        HKEY key;
        if (openKey(kKey, key) != ERROR_SUCCESS || valueNames(key) != std::vector<std::string>{"before"}) _exit(3);
        if (write(ready[1], &byte, 1) != 1 || read(written[0], &byte, 1) != 1) _exit(5);
        _exit(valueNames(key) == std::vector<std::string>{"before", "after"} ? 0 : 4);
    }
    close(ready[1]);  // a reader that failed first is then an end of file, not a hang
    close(written[0]);
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the reader that may not write could not read, exit " << exitCode(reader);
    pid_t writer = fork();
    if (writer == 0) {
        HKEY key = createKey(kKey);
        _exit(key && setString(key, "after", "") == ERROR_SUCCESS ? 0 : 1);
    }
    EXPECT_EQ(exitCode(writer), 0);
    EXPECT_EQ(write(written[1], &byte, 1), 1);
    EXPECT_EQ(exitCode(reader), 0) << "the reader that may not write lost the hive or its change";
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT (SELECT count(*) FROM hive WHERE version > 0),"
                                 " (SELECT count(*) FROM sqlite_master WHERE name = 'vals_listing'),"
                                 " (SELECT count(*) FROM sqlite_master WHERE type = 'trigger'),"
                                 " (SELECT count(*) FROM keys WHERE changed > 0) = (SELECT count(*) FROM keys)",
                                 -1, &s, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), 1) << "the writer did not number the hive";
    EXPECT_EQ(sqlite3_column_int(s, 1), 1) << "the writer did not add the listing index";
    EXPECT_EQ(sqlite3_column_int(s, 2), 3) << "the writer did not add the stamps";
    EXPECT_EQ(sqlite3_column_int(s, 3), 1) << "the writer left keys unstamped";
    sqlite3_finalize(s);
    sqlite3_close(db);
}

}  // namespace
