// InstallForm: the configuration tool's one window. It shows the three rule lists
// of the registry, one list box each, and every command that changes a list saves
// all three at once and reloads them, so the list boxes always show what the
// registry holds. The controls are arrays indexed by the list number (0, 1, 2).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "window_toolkit.h"

class InstallForm {
public:
    // Creates the controls on the toolkit's window; Form_Load fills them.
    explicit InstallForm(WindowToolkit& toolkit);

    // The window loads: the title, then the lists from the registry.
    void Form_Load();

    // Reloads the three list boxes from the registry, then the buttons of each.
    void RefreshLists();
    // Writes all three list boxes to the registry as one transaction, then reloads.
    // When the registry refuses part of it nothing stored changes, and a message
    // box says that the change was not saved and why.
    void RefreshRegistry();
    // The buttons of list Index, the selections of the other two lists and, for
    // list 0, the any-domain state.
    void ResetButtons(int16_t Index);
    // Asks for an entry until it is acceptable or the user gives up; def is the
    // input box's default text and afterwards the last cleaned answer.
    void AddOrEdit(int16_t Index, std::string& def, const std::string& mode);
    // True when List1(Index) holds an item equal to s without regard to case.
    bool ExistsInList(const std::string& s, int16_t Index);

    // Event handlers.
    void List1_Click(int16_t Index);
    void Command1_Click(int16_t Index);  // Add
    void Command2_Click(int16_t Index);  // Edit
    void Command3_Click(int16_t Index);  // Delete
    void Command4_Click(int16_t Index);  // Delete All
    void Command5_Click();               // Add * (any domain)
    void Command6_Click();               // Exit
    void Command7_Click(int16_t Index);  // Import
    void Command8_Click(int16_t Index);  // Export
    void Label6_Click();                 // the maker's web address

    std::array<std::unique_ptr<ListBox>, 3> List1;
    std::array<std::unique_ptr<Label>, 3> Label1;
    std::array<std::unique_ptr<Button>, 3> Command1;
    std::array<std::unique_ptr<Button>, 3> Command2;
    std::array<std::unique_ptr<Button>, 3> Command3;
    std::array<std::unique_ptr<Button>, 3> Command4;
    std::unique_ptr<Button> Command5;
    std::unique_ptr<Button> Command6;
    std::array<std::unique_ptr<Button>, 3> Command7;
    std::array<std::unique_ptr<Button>, 3> Command8;
    std::unique_ptr<Label> Label5;
    std::unique_ptr<Label> Label6;
    std::unique_ptr<FileDialog> CommonDialog1;

private:
    void CreateControls();
    void ConnectEvents();
    bool Confirm(const std::string& prompt);
    void ShowError(const std::string& message);
    void SelectEntry(int16_t Index, const std::string& entry);

    WindowToolkit& toolkit_;
    // Lists whose stored entries did not all fit their list box at the last load.
    std::array<bool, 3> overfull_{};
    // What the registry held at the last load, to tell another program's change.
    std::array<std::vector<std::string>, 3> loaded_;
};

// Texts the window shows, for the window and its tests.
namespace install_form_text {
inline constexpr const char* kTitle = "Pellicor setup";
inline constexpr const char* kAnyDomainItem = "* (any domain)";
inline constexpr const char* kCaption0 =
    "OOF reply will be deleted if the sender address domain part matches one in the list:";
inline constexpr const char* kCaption0AnyDomain =
    "Any OOF reply will be deleted, regardless of its originator e-mail address domain,";
inline constexpr const char* kCaption1 = "except if the recipient address domain part matches one in the list:";
inline constexpr const char* kCaption2 = "or if the sender address exact matches one in the list:";
inline constexpr const char* kMakerLabel = "\xC2\xA9 Orlenby 2002-2004";
inline constexpr const char* kWebAddressText = "orlenby.example.com";
inline constexpr const char* kWebAddress = "https://orlenby.example.com/";
inline constexpr const char* kFileFilter = "Text (*.txt) | *.txt";
inline constexpr const char* kImportTitle = "Pellicor - Open a file to import from";
inline constexpr const char* kExportTitle = "Pellicor - Select/Create a file to export to";
}  // namespace install_form_text
