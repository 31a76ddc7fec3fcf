// Renders the rule list window, with entries in all three lists, to a PNG file:
// setup_screenshot OUTPUT.png. Runs on the offscreen platform unless told otherwise.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "install_form.h"
#include "qt_toolkit.h"
#include "rule_store.h"
#include "temp_hive.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: setup_screenshot OUTPUT.png\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TempHive hive;
    StoreRuleList(0, {"@competitor.example", "@newsletters.example", "@lists.example.org"});
    StoreRuleList(1, {"@partner.example", "@headoffice.example"});
    StoreRuleList(2, {"help-desk@example.com", "boss@example.com"});
    QApplication application(argc, argv);
    QtToolkit toolkit;
    InstallForm form(toolkit);
    form.Form_Load();
    toolkit.Show();
    form.List1[1]->SetListIndex(0);
    form.List1_Click(1);
    QApplication::processEvents();
    if (!toolkit.window().grab().save(argv[1], "PNG")) {
        std::fprintf(stderr, "setup_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
