// Looks at a running PellicorSetup.exe from outside, as a user would see it:
// waits for the window "Pellicor setup" on the given desktop, prints the items
// of its three list boxes and the buttons it shows disabled, then, when asked,
// clicks Exit and waits for the window to go. setup_window_probe DESKTOP [--exit];
// exits 1 when no window came or it did not close.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

BOOL CALLBACK Collect(HWND child, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: setup_window_probe DESKTOP [--exit]\n");
        return 2;
    }
    std::wstring desktopName(argv[1], argv[1] + std::strlen(argv[1]));
    // The desktop comes with the program's explorer, which may still be starting.
    bool onDesktop = false;
    HWND window = nullptr;
    for (int tries = 0; tries < 300 && !window; ++tries) {
        if (!onDesktop) {
            HDESK desktop = OpenDesktopW(desktopName.c_str(), 0, FALSE, GENERIC_ALL);
            onDesktop = desktop && SetThreadDesktop(desktop);
        }
        window = onDesktop ? FindWindowW(nullptr, L"Pellicor setup") : nullptr;
        if (!window)
            Sleep(100);
    }
    if (!window) {
        std::printf("no window \"Pellicor setup\"\n");
        return 1;
    }
    Sleep(500);  // let it finish loading its lists

    std::vector<HWND> children;
    EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&children));
    int list = 0;
    HWND exitButton = nullptr;
    for (HWND child : children) {
        std::wstring kind = ClassOf(child);
        if (_wcsicmp(kind.c_str(), L"ListBox") == 0) {
            LRESULT count = SendMessageW(child, LB_GETCOUNT, 0, 0);
            std::printf("list %d:", list++);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t item[512] = {};
                SendMessageW(child, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
                std::printf(" %s", Narrow(item).c_str());
            }
            std::printf("\n");
        } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
            if (TextOf(child) == L"Exit")
                exitButton = child;
            if (!IsWindowEnabled(child))
                std::printf("disabled: %s\n", Narrow(TextOf(child)).c_str());
        }
    }
    std::fflush(stdout);
    if (argc < 3 || std::strcmp(argv[2], "--exit") != 0)
        return 0;
    if (!exitButton) {
        std::printf("no Exit button\n");
        return 1;
    }
    PostMessageW(exitButton, BM_CLICK, 0, 0);
    for (int tries = 0; tries < 100 && IsWindow(window); ++tries)
        Sleep(100);
    if (IsWindow(window)) {
        std::printf("the window is still open after Exit\n");
        return 1;
    }
    std::printf("closed by Exit\n");
    return 0;
}
