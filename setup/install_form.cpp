#include "install_form.h"

#include <algorithm>
#include <exception>
#include <set>
#include <vector>

#include <windows.h>
#include <ktmw32.h>

#include "clsRegistry.h"
#include "entry_text.h"
#include "install_form_layout.h"
#include "rule_list_file.h"

namespace text = install_form_text;
namespace layout = install_form_layout;

namespace {

const std::string kMakerKey = "SOFTWARE\\Orlenby";
const std::string kProductKey = "SOFTWARE\\Orlenby\\Pellicor";
const std::array<std::string, 3> kListKeys = {
    kProductKey + "\\ExtOOFdisabledDomains",
    kProductKey + "\\ExtOOFEnabledRecipientDomains",
    kProductKey + "\\ExtOOFEnabledSenderAddresses",
};
const std::array<const char*, 3> kCaptions = {text::kCaption0, text::kCaption1, text::kCaption2};

int32_t MachineHive() { return PredefinedKeyArgument(HKEY_LOCAL_MACHINE); }

size_t At(int16_t Index) { return static_cast<size_t>(Index); }

std::string RegistryError(int32_t status) {
    std::string why = "registry error " + std::to_string(status);
    switch (status) {
    case ERROR_ACCESS_DENIED: return why + " (access is denied)";
    case ERROR_FILE_NOT_FOUND: return why + " (the key is missing)";
    case ERROR_INVALID_PARAMETER: return why + " (a name is too long or not valid)";
    case ERROR_CANTWRITE:
    case ERROR_REGISTRY_IO_FAILED: return why + " (the registry cannot be written)";
    case ERROR_LOCK_VIOLATION: return why + " (another program holds the registry locked)";
    default: return why;
    }
}

// An entry as a message quotes it: a very long one is cut short.
std::string Quoted(const std::string& entry) {
    constexpr size_t kShown = 60;
    if (entry.size() <= kShown) return "\"" + entry + "\"";
    return "\"" + entry.substr(0, kShown) + "...\" (" + std::to_string(entry.size()) + " characters)";
}

// The names the registry holds in each list, sorted.
std::array<std::vector<std::string>, 3> ReadLists(clsRegistry& registry) {
    std::array<std::vector<std::string>, 3> lists;
    for (size_t k = 0; k < lists.size(); ++k) {
        registry.EnumValues(MachineHive(), kListKeys[k], lists[k], "*");
        std::sort(lists[k].begin(), lists[k].end());
    }
    return lists;
}

// The writes of one save, in the order the sink's readers expect. Returns why it
// stopped, or an empty text when every write succeeded.
std::string WriteLists(clsRegistry& registry, bool makerKeyExists,
                       const std::array<std::vector<std::string>, 3>& lists) {
    const int32_t hive = MachineHive();
    if (makerKeyExists && registry.CheckKey(hive, kProductKey) != 0) registry.CreateNewKey(hive, kProductKey);
    for (size_t k = 0; k < lists.size(); ++k) {
        registry.DeleteKey(hive, kListKeys[k]);
        int32_t status = registry.CreateNewKey(hive, kListKeys[k]);
        if (status != 0) return "the key " + kListKeys[k] + " could not be created: " + RegistryError(status) + ".";
        for (const std::string& item : lists[k]) {
            std::string name = (k == 0 && item.starts_with('*')) ? "*" : item;
            status = registry.SetKeyValue(hive, kListKeys[k], name, REG_SZ, std::string());
            if (status != 0)
                return "the entry " + Quoted(name) + " could not be written to " + kListKeys[k] + ": " +
                       RegistryError(status) + ".";
        }
    }
    return {};
}

struct SaveOutcome {
    bool changedElsewhere = false;  // nothing was written
    std::string failure;            // why nothing was written, or empty
};

// Saves the lists as one registry transaction: every write lands, or none does.
// Nothing is written when the stored lists are no longer the ones loaded: another
// program changed them since. They are read back inside the transaction, which
// holds the hive's write lock from its first use (the maker key's check, or its
// creation in a new hive), so no change can land between the check and the save.
SaveOutcome SaveLists(const std::array<std::vector<std::string>, 3>& lists,
                      const std::array<std::vector<std::string>, 3>& loaded) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    if (transaction == INVALID_HANDLE_VALUE || transaction == nullptr)
        return {false, "the registry could not start a transaction."};
    SaveOutcome outcome;
    try {
        clsRegistry registry(transaction);
        const int32_t hive = MachineHive();
        bool makerKeyExists = registry.CheckKey(hive, kMakerKey) == 0 || registry.CreateNewKey(hive, kMakerKey) == 0;
        if (ReadLists(registry) != loaded) outcome.changedElsewhere = true;
        else outcome.failure = WriteLists(registry, makerKeyExists, lists);
    } catch (const std::exception& error) {
        outcome.failure = error.what();
    }
    bool written = outcome.failure.empty() && !outcome.changedElsewhere;
    if (written && !CommitTransaction(transaction)) outcome.failure = "the registry could not commit the change.";
    if (!written || !outcome.failure.empty()) RollbackTransaction(transaction);
    CloseHandle(transaction);
    return outcome;
}

// Case-blind set, for telling new entries from ones already met.
struct EntryLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareEntries(a, b) < 0; }
};
using EntrySet = std::set<std::string, EntryLess>;

}  // namespace

InstallForm::InstallForm(WindowToolkit& toolkit) : toolkit_(toolkit) {
    CreateControls();
    ConnectEvents();
}

void InstallForm::CreateControls() {
    toolkit_.SetClientSize(layout::kClientWidth, layout::kClientHeight);
    for (size_t k = 0; k < 3; ++k) {
        const layout::ListPlace& place = layout::kLists[k];
        int list = static_cast<int>(k);
        Label1[k] = toolkit_.CreateLabel(layout::Caption(list), kCaptions[k], LabelStyle::Plain);
        List1[k] = toolkit_.CreateListBox(layout::ListBoxRect(list));
        Command1[k] = toolkit_.CreateButton(layout::ButtonAt(place.add), "Add");
        Command2[k] = toolkit_.CreateButton(layout::ButtonAt(place.edit), "Edit");
        Command3[k] = toolkit_.CreateButton(layout::ButtonAt(place.remove), "Delete");
        Command4[k] = toolkit_.CreateButton(layout::ButtonAt(place.removeAll), "Delete All");
        if (k == 0) Command5 = toolkit_.CreateButton(layout::ButtonAt(place.anyDomain), "Add * (any domain)");
        Command7[k] = toolkit_.CreateButton(layout::ButtonAt(place.import), "Import");
        Command8[k] = toolkit_.CreateButton(layout::ButtonAt(place.exportTop), "Export");
        Command2[k]->SetEnabled(false);
        Command3[k]->SetEnabled(false);
        Command8[k]->SetEnabled(false);
    }
    Command1[0]->SetEnabled(false);
    Command5->SetEnabled(false);
    Command6 = toolkit_.CreateButton(layout::kExitButton, "Exit");
    Label5 = toolkit_.CreateLabel(layout::kMakerLabel, text::kMakerLabel, LabelStyle::Plain);
    Label6 = toolkit_.CreateLabel(layout::kWebLabel, text::kWebAddressText, LabelStyle::Link);
    CommonDialog1 = toolkit_.CreateFileDialog();
}

void InstallForm::ConnectEvents() {
    for (int16_t k = 0; k < 3; ++k) {
        List1[At(k)]->OnClick([this, k] { List1_Click(k); });
        Command1[At(k)]->OnClick([this, k] { Command1_Click(k); });
        Command2[At(k)]->OnClick([this, k] { Command2_Click(k); });
        Command3[At(k)]->OnClick([this, k] { Command3_Click(k); });
        Command4[At(k)]->OnClick([this, k] { Command4_Click(k); });
        Command7[At(k)]->OnClick([this, k] { Command7_Click(k); });
        Command8[At(k)]->OnClick([this, k] { Command8_Click(k); });
    }
    Command5->OnClick([this] { Command5_Click(); });
    Command6->OnClick([this] { Command6_Click(); });
    Label6->OnClick([this] { Label6_Click(); });
    toolkit_.OnReload([this] { RefreshLists(); });
}

void InstallForm::Form_Load() {
    toolkit_.SetTitle(text::kTitle);
    RefreshLists();
}

void InstallForm::RefreshLists() {
    clsRegistry registry;
    loaded_ = ReadLists(registry);
    for (int16_t k = 0; k < 3; ++k) {
        ListBox& list = *List1[At(k)];
        list.Clear();
        overfull_[At(k)] = false;
        const std::vector<std::string>& names = loaded_[At(k)];
        for (const std::string& name : names) {
            std::string_view entry = TrimSpaces(name);
            bool added = true;
            if (k == 0 && entry == "*") added = list.AddItem(text::kAnyDomainItem);
            else if (!entry.empty()) added = list.AddItem(std::string(entry));
            if (!added) overfull_[At(k)] = true;
        }
        ResetButtons(k);
    }
}

void InstallForm::RefreshRegistry() {
    // A list written by other means may hold more entries than its list box shows;
    // a save would replace it by what is shown and lose the rest.
    for (size_t k = 0; k < 3; ++k) {
        if (!overfull_[k]) continue;
        ShowError("The change was not saved: the registry holds more entries in list " + std::to_string(k + 1) +
                  " than the window can show (" + std::to_string(kListBoxCapacity) +
                  "), and saving would lose the rest.\rShorten that list with the registry tool first.");
        RefreshLists();
        return;
    }
    std::array<std::vector<std::string>, 3> lists;
    for (size_t k = 0; k < 3; ++k) {
        for (int16_t i = 0; i < List1[k]->ListCount(); ++i) lists[k].push_back(List1[k]->List(i));
    }
    SaveOutcome saved = SaveLists(lists, loaded_);
    RefreshLists();
    // Saving over a change another program made since the load would have undone it.
    if (saved.changedElsewhere)
        ShowError(
            "The rule lists were changed by another program. The window now shows them; make your change "
            "again.");
    else if (!saved.failure.empty())
        ShowError("The change was not saved: " + saved.failure + "\r\rThe lists show what the registry holds.");
}

void InstallForm::ResetButtons(int16_t Index) {
    if (Index == 0) {
        int16_t count = List1[0]->ListCount();
        bool anyDomain = count == 1 && List1[0]->List(0).starts_with('*');
        Command1[0]->SetEnabled(!anyDomain);
        Command5->SetEnabled(!anyDomain);
        List1[0]->SetEnabled(!anyDomain);
        Label1[0]->SetCaption(anyDomain ? text::kCaption0AnyDomain : text::kCaption0);
        Command7[0]->SetEnabled(!anyDomain);
        if (count == 1) Command8[0]->SetEnabled(!anyDomain);
    }
    for (int16_t other = 0; other < 3; ++other) {
        if (other == Index) continue;
        if (List1[At(other)]->SelCount() > 0) List1[At(other)]->SetListIndex(-1);
        Command2[At(other)]->SetEnabled(false);
        Command3[At(other)]->SetEnabled(false);
    }
    ListBox& list = *List1[At(Index)];
    bool selected = list.SelCount() > 0;
    Command2[At(Index)]->SetEnabled(selected);
    Command3[At(Index)]->SetEnabled(selected);
    if (list.ListCount() == 0) {
        Command4[At(Index)]->SetEnabled(false);
        Command8[At(Index)]->SetEnabled(false);
        return;
    }
    Command4[At(Index)]->SetEnabled(true);
    // A list led by the any-domain entry keeps its Export as it was.
    if (!list.List(0).starts_with('*')) Command8[At(Index)]->SetEnabled(true);
}

void InstallForm::AddOrEdit(int16_t Index, std::string& def, const std::string& mode) {
    ResetButtons(Index);
    const bool addresses = Index == 2;
    const std::string kind = addresses ? "address" : "domain";
    // Positions of the first "@", counted from 1: domains begin with it; an address
    // has 1 to 200 characters before it.
    const size_t firstAllowed = addresses ? 2 : 1;
    const size_t lastAllowed = addresses ? 201 : 1;
    const std::string example = addresses ? "someone@example.com" : "@example.com";
    const std::string prompt =
        mode == "edit" ? "Edit this e-mail " + kind + ":" : "Add new e-mail " + kind + ":\r\r  Example:\r" + example;
    std::string cleaned;
    for (;;) {
        toolkit_.SendRightArrow();
        cleaned = RemoveCharacters(toolkit_.InputBox(prompt, text::kTitle, def), kRemovedCharacters);
        size_t at = cleaned.find('@');
        size_t position = at == std::string::npos ? 0 : at + 1;
        def = cleaned;
        if (cleaned.empty()) return;
        if (position >= firstAllowed && position <= lastAllowed) break;
    }
    ListBox& list = *List1[At(Index)];
    if (mode == "edit") {
        if (list.ListIndex() < 0) return;
        list.SetList(list.ListIndex(), cleaned);
    } else if (!list.AddItem(cleaned)) {
        ShowError("The list already holds " + std::to_string(kListBoxCapacity) +
                  " entries, the most it can hold.\rThe entry was not added.");
        return;
    }
    RefreshRegistry();
    SelectEntry(Index, cleaned);
}

void InstallForm::SelectEntry(int16_t Index, const std::string& entry) {
    ListBox& list = *List1[At(Index)];
    for (int16_t i = 0; i < list.ListCount(); ++i) {
        if (SameEntry(list.List(i), entry)) {
            list.SetListIndex(i);
            List1_Click(Index);
            return;
        }
    }
}

bool InstallForm::ExistsInList(const std::string& s, int16_t Index) {
    const ListBox& list = *List1[At(Index)];
    const int16_t count = list.ListCount();
    for (int16_t i = 0; i < count; ++i) {
        if (SameEntry(list.List(i), s)) return true;
    }
    return false;
}

bool InstallForm::Confirm(const std::string& prompt) {
    return toolkit_.MsgBox(prompt, vbYesNo | vbExclamation | vbDefaultButton2, text::kTitle) == vbYes;
}

void InstallForm::ShowError(const std::string& message) {
    toolkit_.MsgBox(message, vbOKOnly | vbExclamation, text::kTitle);
}

void InstallForm::List1_Click(int16_t Index) { ResetButtons(Index); }

void InstallForm::Command1_Click(int16_t Index) {
    std::string def = "@";
    AddOrEdit(Index, def, "add");
}

void InstallForm::Command2_Click(int16_t Index) {
    ListBox& list = *List1[At(Index)];
    if (list.ListIndex() < 0) return;
    std::string def = list.List(list.ListIndex());
    AddOrEdit(Index, def, "edit");
}

void InstallForm::Command3_Click(int16_t Index) {
    ResetButtons(Index);
    ListBox& list = *List1[At(Index)];
    if (list.SelCount() == 0) return;
    if (!Confirm("Are you sure you want to delete the selected item from the list?")) return;
    list.RemoveItem(list.ListIndex());
    RefreshRegistry();
}

void InstallForm::Command4_Click(int16_t Index) {
    ResetButtons(Index);
    if (!Confirm("Are you sure you want to delete all items from the list?")) return;
    List1[At(Index)]->Clear();
    RefreshRegistry();
}

void InstallForm::Command5_Click() {
    ResetButtons(0);
    if (!Confirm("You are about to disable any OOF reply, regardless of its originator e-mail address domain.\r"
                 "Only OOF reply addressed to a recipient whose e-mail domain matches any item placed in the "
                 "exception list, will be delivered.\r\r"
                 "All items from the topmost list will be deleted.\r\r"
                 "Continue?"))
        return;
    List1[0]->Clear();
    List1[0]->AddItem(text::kAnyDomainItem);
    RefreshRegistry();
}

void InstallForm::Command6_Click() { toolkit_.Close(); }

void InstallForm::Command7_Click(int16_t Index) {
    CommonDialog1->SetFilter(text::kFileFilter);
    CommonDialog1->SetDialogTitle(text::kImportTitle);
    CommonDialog1->ShowOpen();
    const std::string path = CommonDialog1->FileName();
    if (path.empty()) return;
    std::string content;
    std::string error;
    if (IsRegistryFile(path)) {
        ShowError("Nothing was imported from " + path + ": it is the registry's own file.");
        return;
    }
    if (!ReadWholeFile(path, content, error)) {
        ShowError("Nothing was imported from " + path + ": " + error + ".");
        return;
    }
    // The set answers what ExistsInList would, without walking the list box for
    // every line of a long file.
    ListBox& list = *List1[At(Index)];
    EntrySet held;
    for (int16_t i = 0; i < list.ListCount(); ++i) held.insert(list.List(i));
    EntrySet leftOut;
    int added = 0;
    for (std::string& entry : ParseRuleListFile(content, Index)) {
        if (held.contains(entry) || leftOut.contains(entry)) continue;
        if (!list.AddItem(entry)) {
            leftOut.insert(std::move(entry));
            continue;
        }
        held.insert(std::move(entry));
        ++added;
    }
    if (added > 0) RefreshRegistry();
    if (!leftOut.empty())
        ShowError("The list holds at most " + std::to_string(kListBoxCapacity) + " entries.\r" +
                  std::to_string(leftOut.size()) + " entries of " + path + " were left out.");
}

void InstallForm::Command8_Click(int16_t Index) {
    CommonDialog1->SetFilter(text::kFileFilter);
    CommonDialog1->SetDialogTitle(text::kExportTitle);
    CommonDialog1->ShowOpen();
    const std::string path = CommonDialog1->FileName();
    if (path.empty()) return;
    const ListBox& list = *List1[At(Index)];
    std::vector<std::string> items;
    for (int16_t i = 0; i < list.ListCount(); ++i) items.push_back(list.List(i));
    std::string error;
    if (IsRegistryFile(path)) {
        ShowError("The list was not exported to " + path + ": it is the registry's own file.");
        return;
    }
    if (!ReplaceFileWhole(path, FormatRuleListFile(items), error))
        ShowError("The list was not exported to " + path + ": " + error + ".");
}

void InstallForm::Label6_Click() { toolkit_.ShellOpen(text::kWebAddress); }
