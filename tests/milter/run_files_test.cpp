// The pid file and the socket file the milter makes as root for its user: links
// and files planted at their paths are replaced or refused, never written or
// given away.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "run_files.h"

namespace {

namespace fs = std::filesystem;

class RunFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pellicor-run-files-XXXXXX";
        folder = mkdtemp(pattern);
        secret = folder / "secret";
        std::ofstream(secret) << "root only";
        chmod(secret.c_str(), 0600);
    }
    void TearDown() override { fs::remove_all(folder); }

    // A root-run test hands files to nobody; otherwise ownership stays ours.
    uid_t user = geteuid() == 0 ? 65534 : uid_t(-1);
    gid_t group = geteuid() == 0 ? 65534 : gid_t(-1);
    uid_t expectedOwner = geteuid() == 0 ? 65534 : geteuid();

    void ExpectSecretUntouched() {
        struct stat info {};
        ASSERT_EQ(stat(secret.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_EQ(fs::file_size(secret), 9u);
    }

    fs::path folder, secret;
};

int BindSocket(const fs::path& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

TEST_F(RunFiles, PidFileReplacesWhatIsPlantedAndWritesOnlyItsOwnFile) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> plants = {
        {"nothing", [](const fs::path&) {}},
        {"link to a root-only file", [&](const fs::path& at) { fs::create_symlink(secret, at); }},
        {"dangling link", [&](const fs::path& at) { fs::create_symlink(folder / "made-by-root", at); }},
        {"stale pid file", [](const fs::path& at) { std::ofstream(at) << "999999999999\n"; }},
    };
    for (const auto& [plant, make] : plants) {
        fs::path pidFile = folder / "milter.pid";
        make(pidFile);
        std::string error;
        ASSERT_TRUE(pellicor::milter::WritePidFile(pidFile, user, group, error)) << plant << ": " << error;
        struct stat info {};
        ASSERT_EQ(lstat(pidFile.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << plant;
        EXPECT_EQ(info.st_uid, expectedOwner) << plant;
        EXPECT_EQ(info.st_mode & 07777, 0644u) << plant;
        std::ifstream in(pidFile);
        std::string pid;
        std::getline(in, pid);
        EXPECT_EQ(pid, std::to_string(getpid())) << plant;
        ExpectSecretUntouched();
        EXPECT_FALSE(fs::exists(folder / "made-by-root")) << plant;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
            << plant;  // no temporary left
        fs::remove(pidFile);
    }
    std::string error;
    EXPECT_FALSE(pellicor::milter::WritePidFile((folder / "missing" / "milter.pid").string(), user, group, error));
    EXPECT_NE(error.find("cannot write pid file"), std::string::npos) << error;
}

TEST_F(RunFiles, SocketIsHandedOnOnlyWhileItIsTheSocketJustMade) {
    const fs::path path = folder / "milter.sock";
    int fd = BindSocket(path);
    std::string error;
    ASSERT_TRUE(pellicor::milter::HandSocketFile(path, user, group, error)) << error;
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, expectedOwner);
    close(fd);
    fs::remove(path);

    const std::vector<std::pair<const char*, std::function<void()>>> plants = {
        {"link to a root-only file", [&] { fs::create_symlink(secret, path); }},
        {"regular file", [&] { std::ofstream(path) << "x"; }},
        {"another user's socket",
         [&] {
             close(BindSocket(path));
             ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0);
         }},
    };
    for (const auto& [plant, make] : plants) {
        if (geteuid() != 0 && std::string(plant) == "another user's socket") continue;  // needs chown
        make();
        EXPECT_FALSE(pellicor::milter::HandSocketFile(path, user, group, error)) << plant;
        EXPECT_NE(error.find("it is no longer the socket this milter made"), std::string::npos) << error;
        ExpectSecretUntouched();
        fs::remove(path);
    }
}

}  // namespace
