// A registry hive in a fresh temporary folder, named by PELLICOR_REGISTRY for as
// long as the object lives; the folder is removed afterwards.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

class TempHive {
public:
    TempHive() {
        char pattern[] = "/tmp/pellicor-hive-XXXXXX";
        folder_ = mkdtemp(pattern);
        path_ = folder_ / "registry.sqlite";
        setenv("PELLICOR_REGISTRY", path_.c_str(), 1);
    }
    ~TempHive() {
        unsetenv("PELLICOR_REGISTRY");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempHive(const TempHive&) = delete;
    TempHive& operator=(const TempHive&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};
