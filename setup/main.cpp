// PellicorSetup: the window in which the administrator edits the three rule lists
// of the machine registry. On a desktop it is a Qt window; without one (over SSH)
// the same window is drawn in the terminal. It ends when the window closes.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <fcntl.h>
#include <getopt.h>
#include <sys/wait.h>
#include <unistd.h>

#include "install_form.h"
#include "qt_toolkit.h"
#include "terminal_toolkit.h"
#include "pellicor_version.h"

namespace {

// The version the program reports, generated from the one place it is set.
std::string VersionText() { return PELLICOR_VERSION; }

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: PellicorSetup [--terminal]\n"
                 "Edits the three rule lists of the registry (PELLICOR_REGISTRY, or the default hive).\n"
                 "Opens the desktop window when a display is set and can be opened, the terminal window otherwise.\n"
                 "\n"
                 "  -t, --terminal  draw the window in the terminal even when a display is set\n"
                 "  -h, --help      show this help and exit\n"
                 "  -V, --version   show the version and exit\n");
}

bool DisplaySet() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// Qt ends the process when it cannot open the display, so a child tries first.
bool QtCanOpenDisplay(int argc, char** argv) {
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
        QApplication probe(argc, argv);
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int RunDesktop(int argc, char** argv) {
    QApplication application(argc, argv);
    QtToolkit toolkit;
    InstallForm form(toolkit);
    form.Form_Load();
    toolkit.Show();
    return QApplication::exec();
}

int RunTerminal() {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "PellicorSetup: no display can be opened and no terminal is attached; "
                     "run it in a terminal or with DISPLAY set\n");
        return 1;
    }
    try {
        TerminalToolkit toolkit;
        InstallForm form(toolkit);
        form.Form_Load();
        toolkit.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "PellicorSetup: the terminal window cannot be shown: %s\n", error.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    static const option kOptions[] = {
        {"terminal", no_argument, nullptr, 't'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    bool terminal = false;
    for (int option; (option = getopt_long(argc, argv, "thV", kOptions, nullptr)) != -1;) {
        switch (option) {
        case 't': terminal = true; break;
        case 'h': PrintUsage(stdout); return 0;
        case 'V': std::printf("PellicorSetup %s\n", VersionText().c_str()); return 0;
        default: std::fprintf(stderr, "Try 'PellicorSetup --help'.\n"); return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "PellicorSetup: unexpected argument '%s'; try 'PellicorSetup --help'.\n", argv[optind]);
        return 2;
    }
    // Qt sees only the program's name: the options above are ours.
    int qtArgc = 1;
    if (!terminal && DisplaySet() && QtCanOpenDisplay(qtArgc, argv)) return RunDesktop(qtArgc, argv);
    return RunTerminal();
}
