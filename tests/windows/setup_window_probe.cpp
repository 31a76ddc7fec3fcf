// Looks at a running PellicorSetup.exe from outside, as a user would see it:
// waits for the window "Pellicor setup" on the given desktop, prints the items
// of its three list boxes and the buttons it shows disabled, then, when asked,
// clicks Exit and waits for the window to go; or drives the commands through the
// input box, the message box and the file dialog; or presses the window's keys.
// setup_window_probe DESKTOP [--exit | --commands EXPORT-FILE | --keys];
// exits 1 when no window came or it did not close.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& text) {
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
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

// WM_GETTEXT, which reaches a control of another process (GetWindowText does not).
std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    SendMessageW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return text;
}

BOOL CALLBACK Collect(HWND child, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
    return TRUE;
}

// A dialog of the program's (input box, message box, file dialog) by its title,
// or null after saying which did not come (when told what it is).
HWND Dialog(const wchar_t* title, const char* what = nullptr) {
    for (int tries = 0; tries < 100; ++tries) {
        if (HWND dialog = FindWindowW(L"#32770", title)) return dialog;
        Sleep(100);
    }
    if (what) std::printf("no %s\n", what);
    return nullptr;
}

// The control of that class (and text, unless null) after skipping as many such.
HWND Child(HWND parent, const wchar_t* kind, const wchar_t* text, int skip = 0) {
    std::vector<HWND> children;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        if (_wcsicmp(ClassOf(child).c_str(), kind) == 0 && (!text || TextOf(child) == text) && skip-- == 0)
            return child;
    }
    return nullptr;
}

std::string Items(HWND box) {
    std::string items;
    LRESULT count = SendMessageW(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[512] = {};
        SendMessageW(box, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items += " " + Narrow(item);
    }
    return items;
}

// Selects an item as a click does: the list box's selection and its notification.
void ClickItem(HWND window, HWND box, int position) {
    SendMessageW(box, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), LBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// Presses a dialog's button and waits for the dialog to go and the window to settle.
void Close(HWND dialog, HWND button) {
    Press(button);
    for (int tries = 0; tries < 50 && IsWindow(dialog); ++tries) Sleep(100);
    Sleep(300);
}

// What the input box's text field shows: its text, where the caret stands once
// the Right-arrow key press has arrived, and whether text is selected.
void DescribeInputBox(HWND input) {
    HWND field = Child(input, L"Edit", nullptr);
    DWORD start = 0, end = 1;
    for (int tries = 0; tries < 30; ++tries) {
        Sleep(100);
        SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        if (start == end && end == TextOf(field).size()) break;
    }
    std::wstring shown = TextOf(field);
    std::printf("input box: \"%s\", caret at %lu of %zu, %s; buttons %s %s\n", Narrow(shown).c_str(),
                static_cast<unsigned long>(end), shown.size(), start == end ? "nothing selected" : "text selected",
                Child(input, L"Button", L"OK") ? "OK" : "-", Child(input, L"Button", L"Cancel") ? "Cancel" : "-");
}

// Edit list 1's first entry and cancel; add an entry to list 1; answer No to the
// deletion of list 2's first entry; export list 1 to `exportPath`.
int RunCommands(HWND window, const std::wstring& exportPath) {
    HWND list1 = Child(window, L"ListBox", nullptr, 1);
    HWND list2 = Child(window, L"ListBox", nullptr, 2);
    ClickItem(window, list1, 0);
    Press(Child(window, L"Button", L"Edit", 1));
    HWND input = Dialog(L"Pellicor setup", "input box");
    if (!input) return 1;
    DescribeInputBox(input);
    Close(input, Child(input, L"Button", L"Cancel"));
    std::printf("list 1 after Cancel:%s\n", Items(list1).c_str());

    Press(Child(window, L"Button", L"Add", 1));
    if (!(input = Dialog(L"Pellicor setup", "input box"))) return 1;
    DescribeInputBox(input);
    SendMessageW(Child(input, L"Edit", nullptr), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"@branch.example"));
    Close(input, Child(input, L"Button", L"OK"));
    // Where the platform cannot keep a save whole, the window says so instead.
    if (HWND refused = Dialog(L"Pellicor setup")) {
        std::printf("save refused with a message box\n");
        Close(refused, GetDlgItem(refused, IDOK));
    }
    std::printf("list 1 after Add:%s\n", Items(list1).c_str());

    ClickItem(window, list2, 0);
    Press(Child(window, L"Button", L"Delete", 2));
    HWND box = Dialog(L"Pellicor setup", "message box");
    if (!box) return 1;
    bool noIsDefault = (GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        icon = icon || (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
    std::printf(
        "message box: %s, default %s, %s\n",
        GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDOK) ? "Yes and No" : "other buttons",
        noIsDefault ? "No" : "not No", icon ? "with an icon" : "without an icon");
    Close(box, GetDlgItem(box, IDNO));
    std::printf("list 2 after No:%s\n", Items(list2).c_str());

    Press(Child(window, L"Button", L"Export", 1));
    HWND files = Dialog(L"Pellicor - Select/Create a file to export to", "file dialog");
    if (!files) return 1;
    wchar_t types[128] = {};
    HWND typeBox = GetDlgItem(files, 0x470);  // the file type box
    LRESULT typeCount = SendMessageW(typeBox, CB_GETCOUNT, 0, 0);
    if (typeCount > 0 && SendMessageW(typeBox, CB_GETLBTEXTLEN, 0, 0) < 128)
        SendMessageW(typeBox, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(types));
    std::printf("file dialog: titled for export, %ld type \"%s\"\n", static_cast<long>(typeCount),
                Narrow(types).c_str());
    HWND name = GetDlgItem(files, 0x47C);  // the file name box
    if (!name) name = GetDlgItem(files, 0x480);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(exportPath.c_str()));
    Close(files, GetDlgItem(files, IDOK));
    return 0;
}

// F5 (after another program changed list 1), then typing and the Delete key in
// list 1, answering its confirmation No.
int RunKeys(HWND window) {
    HWND list1 = Child(window, L"ListBox", nullptr, 1);
    PostMessageW(window, WM_KEYDOWN, VK_F5, 0);
    Sleep(500);
    std::printf("list 1 after F5:%s\n", Items(list1).c_str());
    for (wchar_t letter : std::wstring(L"@pa")) PostMessageW(list1, WM_CHAR, letter, 0);
    Sleep(300);
    wchar_t selected[512] = {};
    SendMessageW(list1, LB_GETTEXT, static_cast<WPARAM>(SendMessageW(list1, LB_GETCURSEL, 0, 0)),
                 reinterpret_cast<LPARAM>(selected));
    std::printf("typed @pa: %s selected\n", Narrow(selected).c_str());
    PostMessageW(list1, WM_KEYDOWN, VK_DELETE, 0);
    HWND box = Dialog(L"Pellicor setup", "message box");
    if (!box) return 1;
    wchar_t asked[256] = {};
    GetDlgItemTextW(box, 0xFFFF, asked, 256);  // the message box's text
    std::printf("Delete key asks: %s\n", Narrow(asked).c_str());
    Close(box, GetDlgItem(box, IDNO));
    std::printf("list 1 after No:%s\n", Items(list1).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: setup_window_probe DESKTOP [--exit]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
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
        if (!window) Sleep(100);
    }
    if (!window) {
        std::printf("no window \"Pellicor setup\"\n");
        return 1;
    }
    Sleep(500);  // let it finish loading its lists

    std::vector<HWND> children;
    EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&children));
    int list = 0;
    for (HWND child : children) {
        std::wstring kind = ClassOf(child);
        if (_wcsicmp(kind.c_str(), L"ListBox") == 0) std::printf("list %d:%s\n", list++, Items(child).c_str());
        if (_wcsicmp(kind.c_str(), L"Button") == 0 && !IsWindowEnabled(child))
            std::printf("disabled: %s\n", Narrow(TextOf(child)).c_str());
    }
    std::fflush(stdout);
    if (argc > 3 && std::strcmp(argv[2], "--commands") == 0)
        return RunCommands(window, std::wstring(argv[3], argv[3] + std::strlen(argv[3])));
    if (argc > 2 && std::strcmp(argv[2], "--keys") == 0) return RunKeys(window);
    if (argc < 3 || std::strcmp(argv[2], "--exit") != 0) return 0;
    HWND exitButton = Child(window, L"Button", L"Exit");
    if (!exitButton) {
        std::printf("no Exit button\n");
        return 1;
    }
    PostMessageW(exitButton, BM_CLICK, 0, 0);
    for (int tries = 0; tries < 100 && IsWindow(window); ++tries) Sleep(100);
    if (IsWindow(window)) {
        std::printf("the window is still open after Exit\n");
        return 1;
    }
    std::printf("closed by Exit\n");
    return 0;
}
