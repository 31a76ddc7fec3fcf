// PellicorSetup.exe: the window in which the administrator edits the three rule
// lists of the machine registry. It takes no arguments and ends when the window
// closes.
#include <windows.h>

#include <cstdio>

#include "install_form.h"
#include "win32_toolkit.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    if (commandLine && *commandLine) {
        std::fprintf(stderr, "PellicorSetup: takes no arguments\n");
        return 2;
    }
    Win32Toolkit toolkit(instance);
    InstallForm form(toolkit);
    form.Form_Load();
    return toolkit.Run(show);
}
