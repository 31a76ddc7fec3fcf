// The real window over Qt Widgets, on the offscreen platform: what only Qt does,
// its focus, layout, boxes, keys and file dialog.
#include <QApplication>
#include <QAbstractFileIconProvider>
#include <QAbstractProxyModel>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <cstdlib>
#include <fstream>

#include "qt_toolkit.h"
#include "window_fixture.h"

namespace {

class QtWindowTest : public WindowFixture<QtToolkit> {
protected:
    // Opens the window, shown, on the hive as seeded so far.
    InstallForm& Show() {
        Open();
        toolkit.Show();
        QApplication::processEvents();
        return *form;
    }
};

}  // namespace

// What it shows is the table of window states' (rule_list_window_test.cpp).
TEST_F(QtWindowTest, ShowsTheTitledWindowWithItsButtonsAndExitClosesIt) {
    InstallForm& form = Show();
    QWidget& window = toolkit.window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), "Pellicor setup");
    EXPECT_EQ(window.findChildren<QPushButton*>().size(), 20);
    qobject_cast<QPushButton*>(QtWidgetOf(*form.Command6))->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(QtWindowTest, AButtonThatLosesTheFocusByBeingDisabledHandsItToAListNeverToAnotherButton) {
    StoreRuleList(0, {"@a.example"});
    StoreRuleList(1, {"@b.example"});
    InstallForm& form = Show();
    QApplication::setActiveWindow(&toolkit.window());
    struct Case {
        Button* button;
        ListBox* list;
    };
    const Case cases[] = {
        {form.Command2[1].get(), form.List1[1].get()},  // Edit, as a save does it
        {form.Command5.get(), form.List1[0].get()},     // Add * (any domain)
    };
    for (const Case& c : cases) {
        QWidget* widget = QtWidgetOf(*c.button);
        c.button->SetEnabled(true);
        widget->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(widget->hasFocus());
        c.button->SetEnabled(false);
        EXPECT_EQ(QApplication::focusWidget(), QtWidgetOf(*c.list)) << c.button->Caption();
    }
}

TEST_F(QtWindowTest, ALargerWindowGivesItsRoomToTheListsAndNeverShrinksBelowTheArrangement) {
    InstallForm& form = Show();
    QWidget& window = toolkit.window();
    const QSize smallest = window.size();
    EXPECT_EQ(window.minimumSize(), smallest);
    EXPECT_GT(window.maximumHeight(), smallest.height());
    QWidget* lists[] = {QtWidgetOf(*form.List1[0]), QtWidgetOf(*form.List1[1]), QtWidgetOf(*form.List1[2])};
    const int before[] = {lists[0]->height(), lists[1]->height(), lists[2]->height()};
    QWidget* exit = QtWidgetOf(*form.Command6);
    const QPoint exitBefore = exit->pos();
    window.resize(smallest.width() + 200, smallest.height() + 300);
    QApplication::processEvents();
    for (int k = 0; k < 3; ++k) EXPECT_GT(lists[k]->height(), before[k] + 50) << k;
    EXPECT_LE(lists[0]->geometry().bottom(), lists[1]->geometry().top());
    EXPECT_LE(lists[1]->geometry().bottom(), lists[2]->geometry().top());
    // The lists' shares of the extra height, rounded down, move the Exit button.
    EXPECT_EQ(exit->x(), exitBefore.x() + 200);
    EXPECT_NEAR(exit->y(), exitBefore.y() + 300, 3);
    EXPECT_LE(exit->geometry().bottom(), window.height());
}

// Answers the modal box that opens next, once it is up, with what check returns.
template <typename Check>
void WhenModalOpens(Check check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        check(*modal);
    });
}

TEST_F(QtWindowTest, InputBoxOpensWithTheCaretAfterTheDefaultAndNothingSelectedAndCancelGivesNothing) {
    toolkit.Show();
    int caret = -1;
    bool selected = true;
    QString prompt;
    WhenModalOpens([&](QWidget& box) {
        QTimer::singleShot(0, [&caret, &selected, &box] {
            auto* edit = box.findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            caret = edit->cursorPosition();
            selected = edit->hasSelectedText();
            edit->insert("ample.com");
            qobject_cast<QDialog*>(&box)->accept();
        });
        prompt = box.findChild<QLabel*>()->text();
    });
    toolkit.SendRightArrow();
    std::string answer =
        toolkit.InputBox("Add new e-mail domain:\r\r  Example:\r@example.com", "Pellicor setup", "@ex");
    EXPECT_EQ(caret, 3);
    EXPECT_FALSE(selected);
    EXPECT_EQ(answer, "@example.com");
    EXPECT_EQ(prompt, "Add new e-mail domain:\n\n  Example:\n@example.com");

    WhenModalOpens([](QWidget& box) { qobject_cast<QDialog*>(&box)->reject(); });
    EXPECT_EQ(toolkit.InputBox("Edit this e-mail address:", "Pellicor setup", "a@example.com"), "") << "Cancel";
}

// The confirmation: Yes and No, No the default, a warning icon.
TEST_F(QtWindowTest, TheDeleteKeyInAListAsksToDeleteItsSelectedEntry) {
    StoreRuleList(1, {"@a.example", "@b.example"});
    InstallForm& form = Show();
    auto* list = qobject_cast<QListWidget*>(QtWidgetOf(*form.List1[1]));
    for (QMessageBox::StandardButton answer : {QMessageBox::NoButton, QMessageBox::Yes}) {
        QApplication::setActiveWindow(&toolkit.window());
        list->setFocus();
        list->setCurrentRow(1);
        QString asked, defaultButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        WhenModalOpens([&](QWidget& widget) {
            auto& box = *qobject_cast<QMessageBox*>(&widget);
            asked = box.text();
            icon = box.icon();
            buttons = static_cast<int>(box.buttons().size());
            defaultButton = box.defaultButton() ? box.defaultButton()->text().remove('&') : QString();
            (answer == QMessageBox::Yes ? box.button(answer) : box.defaultButton())->click();
        });
        QTest::keyClick(list, Qt::Key_Delete);
        EXPECT_EQ(asked, "Are you sure you want to delete the selected item from the list?");
        EXPECT_EQ(icon, QMessageBox::Warning);
        EXPECT_EQ(buttons, 2);
        EXPECT_EQ(defaultButton, "No");
        EXPECT_EQ(StoredRuleList(1),
                  answer == QMessageBox::Yes ? Names({"@a.example"}) : Names({"@a.example", "@b.example"}));
    }
}

TEST_F(QtWindowTest, TypingInAListSelectsTheFirstEntryThatBeginsWithWhatWasTyped) {
    StoreRuleList(1, {"@alpha.example", "@pa.example", "@Partner.example", "@pb.example"});
    InstallForm& form = Show();
    QApplication::setActiveWindow(&toolkit.window());
    auto* list = qobject_cast<QListWidget*>(QtWidgetOf(*form.List1[1]));
    list->setFocus();
    QTest::keyClicks(list, "@par");
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text().toStdString(), "@Partner.example");
    EXPECT_EQ(EnabledButtons(1), "Add, Edit, Delete, Delete All, Import, Export") << "the user's selection";
    // Begun anew after a pause, from the top each time: never on to a later match.
    for (int again = 0; again < 2; ++again) {
        QTest::qWait(QApplication::keyboardInputInterval() + 100);
        QTest::keyClicks(list, "@pa");
        EXPECT_EQ(list->currentItem()->text().toStdString(), "@pa.example") << again;
    }
}

TEST_F(QtWindowTest, FileDialogHidesAndRefusesTheRegistrysOwnFilesAndOpensNoFileToTellItsType) {
    StoreRuleList(0, {"@a.example"});  // the hive, with its -wal and -shm files while open
    const QString folder = QString::fromStdString(hive.folder().string());
    const QStringList registryFiles = {"registry.sqlite", "registry.sqlite-wal", "registry.sqlite-shm"};
    for (const QString& name : registryFiles) ASSERT_TRUE(QFileInfo::exists(folder + "/" + name)) << name.toStdString();
    // A name that says nothing, with a PDF's content: told by content, its type would be a PDF's.
    std::ofstream(hive.folder() / "notes") << "%PDF-1.4\n";
    std::ofstream(hive.folder() / "list.txt") << "@b.example\r\n";

    QStringList listed, refused;
    QString notesType;
    int stayedOpen = 0;
    WhenModalOpens([&](QWidget& widget) {
        auto& dialog = *qobject_cast<QFileDialog*>(&widget);
        dialog.setNameFilter("All (*)");
        dialog.setDirectory(folder);
        QAbstractProxyModel* shown = dialog.proxyModel();
        ASSERT_NE(shown, nullptr);
        auto* files = qobject_cast<QFileSystemModel*>(shown->sourceModel());
        QPersistentModelIndex root = shown->mapFromSource(files->index(folder));
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown->rowCount(root) >= 2; }));
        QTest::qWait(200);  // the rest of the folder's rows, had they been let through
        for (int row = 0; row < shown->rowCount(root); ++row) listed << shown->index(row, 0, root).data().toString();
        notesType = dialog.iconProvider()->type(QFileInfo(folder + "/notes"));
        // Typed into the name field, as the listing does not offer them.
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        for (const QString& file : registryFiles) {
            QTimer::singleShot(0, [&refused] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    refused << box->text();
                    box->accept();
                }
            });
            name->setText(folder + "/" + file);
            QMetaObject::invokeMethod(&dialog, "accept");
            stayedOpen += dialog.isVisible() ? 1 : 0;
        }
        name->setText(folder + "/list.txt");
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    std::unique_ptr<FileDialog> chooser = toolkit.CreateFileDialog();
    chooser->ShowOpen();
    listed.sort();
    EXPECT_EQ(listed.join(", ").toStdString(), "list.txt, notes");
    EXPECT_FALSE(notesType.contains("PDF")) << notesType.toStdString();
    EXPECT_EQ(stayedOpen, 3);
    ASSERT_EQ(refused.size(), 3);
    EXPECT_EQ(refused[1], folder + "/registry.sqlite-wal is the registry's own file.\nChoose another file.");
    EXPECT_EQ(chooser->FileName(), (folder + "/list.txt").toStdString());
}

// The main of every window test: the Qt ones need the application.
int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
