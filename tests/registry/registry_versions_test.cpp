// What one connection reads of a committed state of the hive, every connection of
// the process shares: each write must make a new state, every thread must see one
// state whole, and a hive made before states were numbered must still be read.
#include <atomic>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registry_read_scope.h"
#include "registry_test_util.h"

namespace {

const char* const kKey = "SOFTWARE\\Seen";

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += name + " ";
    return text;
}

// Values and subkeys of a key as read now, on a thread (and so a connection) of its own.
std::string seenElsewhere(const char* path) {
    return onOtherThread([&] {
        std::string seen = joined(valuesAt(path));
        for (const auto& name : subkeysAt(path)) seen += "[" + name + "] ";
        return seen;
    });
}

// Every kind of write, each read back right after by this thread, by path and through
// a handle held throughout, and by another thread; all held the state before it. A write
// that made no new state, or a reader keeping its copy of a key the write changed,
// shows the old contents; a key the write left alone must read as it was.
void expectEveryWriteSeenByTheNextReadOnEveryThread() {
    const char *a = "SOFTWARE\\Seen\\A", *b = "SOFTWARE\\Seen\\B", *c = "SOFTWARE\\Seen\\C";
    for (const char* name : {"a1", "a2"}) ASSERT_EQ(setAt(a, name), ERROR_SUCCESS);
    ASSERT_EQ(setAt(b, "b1", "old"), ERROR_SUCCESS);
    HKEY held = createKey(a);
    ASSERT_NE(held, nullptr);
    auto state = [&](bool throughHeld) {
        return joined(throughHeld ? valueNames(held) : valuesAt(a)) + "| " + joined(valuesAt(b)) + "= " +
               readString(b, "b1") + " | " + joined(valuesAt(c)) + "| " + joined(subkeysAt(kKey));
    };
    const struct {
        const char* write;
        std::function<LSTATUS()> body;
        const char* state;
    } steps[] = {
        {"a value set", [&] { return setString(held, "a3", ""); }, "a1 a2 a3 | b1 = old | <cannot open> | A B "},
        {"it overwritten", [&] { return setString(held, "A3", "x"); }, "a1 a2 a3 | b1 = old | <cannot open> | A B "},
        {"a value deleted", [&] { return RegDeleteValueA(held, "a1"); }, "a2 a3 | b1 = old | <cannot open> | A B "},
        {"another key's value overwritten", [&] { return setAt(b, "b1", "new"); },
         "a2 a3 | b1 = new | <cannot open> | A B "},
        {"a key created",
         [&] {
             HKEY k = createKey(c);
             return k ? RegCloseKey(k) : ERROR_CANTOPEN;
         },
         "a2 a3 | b1 = new | | A B C "},
        {"a value in the new key", [&] { return setAt(c, "c1"); }, "a2 a3 | b1 = new | c1 | A B C "},
        {"the new key deleted", [&] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, c); },
         "a2 a3 | b1 = new | <cannot open> | A B "},
        {"a transaction committed",
         [&] {
             return inTransaction([&](HANDLE transaction) -> LSTATUS {
                 HKEY k;
                 LSTATUS rc = RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, a, 0, KEY_ALL_ACCESS, &k, transaction, nullptr);
                 if (rc != ERROR_SUCCESS) return rc;
                 rc = setString(k, "t1", "");
                 if (rc == ERROR_SUCCESS) rc = setString(k, "t2", "");
                 RegCloseKey(k);
                 return rc;
             });
         },
         "a2 a3 t1 t2 | b1 = new | <cannot open> | A B "},
    };
    for (const auto& step : steps) {
        (void)state(true);  // every reader holds the state before the write: a stale copy is at hand
        (void)state(false);
        (void)onOtherThread([&] { return state(false); });
        ASSERT_EQ(step.body(), ERROR_SUCCESS) << step.write;
        EXPECT_EQ(onOtherThread([&] { return state(false); }), step.state) << step.write;
        EXPECT_EQ(state(false), step.state) << step.write;
        EXPECT_EQ(state(true), step.state) << step.write;
    }
    RegCloseKey(held);
}

TEST(RegistryVersions, EveryWriteIsSeenByTheNextReadOnEveryThread) {
    for (HiveStore store : {HiveStore::File, HiveStore::Database}) {
        SCOPED_TRACE(storeName(store));
        StoreHive hive(store);
        ASSERT_EQ(hive.error(), "");
        expectEveryWriteSeenByTheNextReadOnEveryThread();
    }
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
    auto setTransacted = [](const char* path, const char* name, bool deleteFirst = false) {
        return inTransaction([&](HANDLE transaction) -> LSTATUS {
            LSTATUS rc = deleteFirst ? RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, path, 0, 0, transaction, nullptr)
                                     : ERROR_SUCCESS;
            HKEY k = rc == ERROR_SUCCESS ? createTransacted(transaction, path) : nullptr;
            if (!k) return rc == ERROR_SUCCESS ? ERROR_CANTOPEN : rc;
            rc = setString(k, name, "");
            RegCloseKey(k);
            return rc;
        });
    };
    const struct {
        const char* write;
        std::function<LSTATUS()> body;
        bool seenReadAgain, otherReadAgain;
        const char* seenShows;  // what the write put in kKey
    } cases[] = {
        {"a value of the other key", [&] { return setString(other, "o", ""); }, false, true, nullptr},
        {"the other key in a transaction", [&] { return setTransacted(kOther, "t"); }, false, true, nullptr},
        {"a value of the key", [&] { return setString(seen, "v", ""); }, true, false, "v "},
        {"a subkey made", [] { return setAt("SOFTWARE\\Seen\\Sub", "s1"); }, true, false, "[Sub]"},
        {"a value of the subkey", [] { return setAt("SOFTWARE\\Seen\\Sub", "s2"); }, true, false, "[Sub]"},
        {"the subkey deleted", [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Seen\\Sub"); }, true, false,
         nullptr},
        // A new key of the same path: its predecessor's copy (with the slipped value) is not it.
        {"the key deleted and made again in a transaction", [&] { return setTransacted(kKey, "again", true); }, false,
         false, "again "},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        (void)seenElsewhere(kKey);  // both read at the version before the write
        (void)seenElsewhere(kOther);
        std::string slipped = "slipped" + std::to_string(i);
        std::string sql = "INSERT INTO vals(key, name, folded, type, data) SELECT id, '" + slipped + "', '" + slipped +
                          "', 1, x'' FROM keys WHERE name IN ('Seen', 'Other')";
        ASSERT_EQ(sqliteAnswer(hive.path(), sql), "");
        ASSERT_EQ(c.body(), ERROR_SUCCESS) << c.write;
        std::string seenNow = seenElsewhere(kKey), otherNow = seenElsewhere(kOther);
        EXPECT_EQ(seenNow.find(slipped) != std::string::npos, c.seenReadAgain) << c.write << ": " << seenNow;
        EXPECT_EQ(otherNow.find(slipped) != std::string::npos, c.otherReadAgain) << c.write << ": " << otherNow;
        if (c.seenShows) {
            EXPECT_NE(seenNow.find(c.seenShows), std::string::npos) << c.write << ": " << seenNow;
        }
    }
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
        return inTransaction([&](HANDLE transaction) -> LSTATUS {
            LSTATUS rc = ERROR_SUCCESS;
            for (const char* list : lists) {
                RegDeleteKeyTransactedA(HKEY_LOCAL_MACHINE, list, 0, 0, transaction, nullptr);
                HKEY k = createTransacted(transaction, list);
                if (!k) return ERROR_CANTOPEN;
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
    ASSERT_EQ(inChild([] { return setAt(kKey, "before") == ERROR_SUCCESS; }), 0);
    sqlite3* db = nullptr;  // held to the end, so the hive's files are kept as they are
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(
        sqlite3_exec(db,
                     "DROP TRIGGER keys_stamp_made; DROP TRIGGER keys_stamp_gone; DROP TRIGGER keys_stamp_written;"
                     "ALTER TABLE keys DROP COLUMN changed;"
                     "DROP TABLE hive; DROP INDEX vals_listing; CREATE INDEX vals_in_order ON vals(key)",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);

    pid_t reader = fork();
    if (reader == 0) {
        if (!becomeNobody()) _exit(2);
        HKEY key;
        if (openKey(kKey, key) != ERROR_SUCCESS || valueNames(key) != std::vector<std::string>{"before"}) _exit(3);
        if (write(ready[1], &byte, 1) != 1 || read(written[0], &byte, 1) != 1) _exit(5);
        _exit(valueNames(key) == std::vector<std::string>{"before", "after"} ? 0 : 4);
    }
    close(ready[1]);  // a reader that failed first is then an end of file, not a hang
    close(written[0]);
    ASSERT_EQ(read(ready[0], &byte, 1), 1)
        << "the reader that may not write could not read, exit " << ExitCodeOf(reader);
    EXPECT_EQ(inChild([] { return setAt(kKey, "after") == ERROR_SUCCESS; }), 0);
    EXPECT_EQ(write(written[1], &byte, 1), 1);
    EXPECT_EQ(ExitCodeOf(reader), 0) << "the reader that may not write lost the hive or its change";
    EXPECT_EQ(sqliteAnswer(path,
                           "SELECT (SELECT count(*) FROM hive WHERE version > 0),"
                           " (SELECT count(*) FROM sqlite_master WHERE name = 'vals_listing'),"
                           " (SELECT count(*) FROM sqlite_master WHERE type = 'trigger'),"
                           " (SELECT count(*) FROM keys WHERE changed > 0) = (SELECT count(*) FROM keys)"),
              "1 1 3 1 ")
        << "the writer's work: the hive numbered, the listing index, the three stamps, every key stamped";
    sqlite3_close(db);
}

}  // namespace
