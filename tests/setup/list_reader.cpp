// A reader of the three rule lists in a process of its own, reading them the way
// the sink does, over and over until its standard input closes. Arguments: the
// number of entries each list must hold. Prints "ready" once it has read them all,
// and at the end "reads=N missing=M partial=P": how often a list key was missing
// or held another number of entries.
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

#include <windows.h>

namespace {

const char16_t* const kLists[] = {
    u"Software\\Orlenby\\Pellicor\\ExtOOFdisabledDomains",
    u"Software\\Orlenby\\Pellicor\\ExtOOFenabledRecipientDomains",
    u"Software\\Orlenby\\Pellicor\\ExtOOFEnabledSenderAddresses",
};

bool InputClosed() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return false;
    char byte;
    return read(STDIN_FILENO, &byte, 1) <= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: setup_list_reader COUNT0 COUNT1 COUNT2\n");
        return 2;
    }
    long reads = 0, missing = 0, partial = 0;
    bool announced = false;
    while (!InputClosed()) {
        for (int k = 0; k < 3; ++k) {
            HKEY key = nullptr;
            ++reads;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(kLists[k]), 0, KEY_READ, &key) != 0) {
                ++missing;
                continue;
            }
            DWORD values = 0;
            WCHAR name[256];
            DWORD seen = 0;
            if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                                 nullptr, nullptr) == 0) {
                for (DWORD i = 0; i < values; ++i) {
                    DWORD chars = 256;
                    if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) == 0) ++seen;
                }
            }
            RegCloseKey(key);
            if (seen != static_cast<DWORD>(std::atol(argv[k + 1]))) ++partial;
        }
        if (!announced) {
            std::printf("ready\n");
            std::fflush(stdout);
            announced = true;
        }
    }
    std::printf("reads=%ld missing=%ld partial=%ld\n", reads, missing, partial);
    return 0;
}
