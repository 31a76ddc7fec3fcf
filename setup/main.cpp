// PellicorSetup: the window in which the administrator edits the three rule lists
// of the machine registry. It takes no arguments and ends when the window closes.
#include <QApplication>
#include <cstdio>

#include "install_form.h"
#include "qt_toolkit.h"

int main(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "PellicorSetup: takes no arguments (the hive is PELLICOR_REGISTRY or the default)\n");
        return 2;
    }
    QApplication application(argc, argv);
    QtToolkit toolkit;
    InstallForm form(toolkit);
    form.Form_Load();
    toolkit.Show();
    return QApplication::exec();
}
