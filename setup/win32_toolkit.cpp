#include "win32_toolkit.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "stretch_layout.h"

namespace {

constexpr wchar_t kWindowClass[] = L"PellicorSetupWindow";
constexpr int kTwipsPerInch = 1440;

// The system's texts break lines with a lone carriage return; Win32 controls
// want CR LF.
std::wstring ScreenText(const std::string& text) {
    std::wstring wide = WideText(text);
    std::wstring shown;
    shown.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        shown += wide[i];
        if (wide[i] == L'\r' && (i + 1 == wide.size() || wide[i + 1] != L'\n')) shown += L'\n';
    }
    return shown;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

bool IsListBox(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return _wcsicmp(name, L"ListBox") == 0;
}

// A button disabled while it has the focus leaves the keyboard nowhere, and the
// next Tab goes on to the control after it, which may be Delete All. The focus
// goes back to the nearest enabled list before it instead.
void FocusNearestList(HWND control) {
    for (HWND back = GetWindow(control, GW_HWNDPREV); back; back = GetWindow(back, GW_HWNDPREV)) {
        if (IsListBox(back) && IsWindowEnabled(back)) {
            SetFocus(back);
            return;
        }
    }
    SetFocus(GetParent(control));
}

// Every control reports its notifications to the toolkit by its identifier.
class Control {
public:
    Control(std::map<int, std::function<void(WORD)>>& commands, HWND window)
        : commands_(commands), window_(window), id_(GetDlgCtrlID(window)) {}
    ~Control() { commands_.erase(id_); }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

protected:
    // A disabled control reports nothing, even to a BM_CLICK sent by a program.
    void Notify(WORD code, std::function<void()> handler) {
        commands_[id_] = [code, window = window_, handler = std::move(handler)](WORD sent) {
            if (sent == code && handler && IsWindowEnabled(window)) handler();
        };
    }
    std::map<int, std::function<void(WORD)>>& commands_;
    HWND window_;
    int id_;
};

class Win32ListBox final : public ListBox, Control {
public:
    using Control::Control;
    void Clear() override { SendMessageW(window_, LB_RESETCONTENT, 0, 0); }
    bool AddItem(const std::string& text) override {
        if (ListCount() >= kListBoxCapacity) return false;
        std::wstring wide = WideText(text);
        LRESULT added = SendMessageW(window_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        return added != LB_ERR && added != LB_ERRSPACE;
    }
    int16_t ListCount() const override { return static_cast<int16_t>(SendMessageW(window_, LB_GETCOUNT, 0, 0)); }
    std::string List(int16_t position) const override {
        LRESULT length = SendMessageW(window_, LB_GETTEXTLEN, static_cast<WPARAM>(position), 0);
        if (length == LB_ERR) return {};
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        length =
            SendMessageW(window_, LB_GETTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(text.data()));
        text.resize(length == LB_ERR ? 0 : static_cast<size_t>(length));
        return Utf8Text(text);
    }
    void SetList(int16_t position, const std::string& text) override {
        if (position < 0 || position >= ListCount()) return;
        bool selected = ListIndex() == position;
        std::wstring wide = WideText(text);
        SendMessageW(window_, LB_DELETESTRING, static_cast<WPARAM>(position), 0);
        SendMessageW(window_, LB_INSERTSTRING, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(wide.c_str()));
        if (selected) SetListIndex(position);
    }
    void RemoveItem(int16_t position) override {
        SendMessageW(window_, LB_DELETESTRING, static_cast<WPARAM>(position), 0);
    }
    int16_t ListIndex() const override {
        LRESULT position = SendMessageW(window_, LB_GETCURSEL, 0, 0);
        return position == LB_ERR ? int16_t{-1} : static_cast<int16_t>(position);
    }
    int16_t SelCount() const override { return ListIndex() < 0 ? 0 : 1; }
    // LB_SETCURSEL sends no LBN_SELCHANGE, so no click reaches the window.
    void SetListIndex(int16_t position) override {
        SendMessageW(window_, LB_SETCURSEL, static_cast<WPARAM>(position < 0 ? -1 : position), 0);
    }
    bool Enabled() const override { return IsWindowEnabled(window_) != FALSE; }
    void SetEnabled(bool enabled) override { EnableWindow(window_, enabled); }
    void OnClick(std::function<void()> handler) override { Notify(LBN_SELCHANGE, std::move(handler)); }
};

class Win32Button final : public Button, Control {
public:
    using Control::Control;
    std::string Caption() const override { return Utf8Text(WindowText(window_)); }
    void SetCaption(const std::string& caption) override { SetWindowTextW(window_, ScreenText(caption).c_str()); }
    bool Enabled() const override { return IsWindowEnabled(window_) != FALSE; }
    void SetEnabled(bool enabled) override {
        if (!enabled && GetFocus() == window_) FocusNearestList(window_);
        EnableWindow(window_, enabled);
    }
    void OnClick(std::function<void()> handler) override { Notify(BN_CLICKED, std::move(handler)); }
};

class Win32Label final : public Label, Control {
public:
    using Control::Control;
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override {
        caption_ = caption;
        SetWindowTextW(window_, ScreenText(caption).c_str());
    }
    void OnClick(std::function<void()> handler) override { Notify(STN_CLICKED, std::move(handler)); }

private:
    std::string caption_;
};

// "Description|pattern|..." as the dialog wants it: pieces ended by NUL, the
// whole ended by a second NUL; spaces around the pieces are not part of them.
std::string DialogFilter(const std::string& filter) {
    std::string result;
    size_t start = 0;
    while (start <= filter.size()) {
        size_t end = filter.find('|', start);
        if (end == std::string::npos) end = filter.size();
        std::string piece = filter.substr(start, end - start);
        size_t first = piece.find_first_not_of(' ');
        size_t last = piece.find_last_not_of(' ');
        result += first == std::string::npos ? std::string() : piece.substr(first, last - first + 1);
        result += '\0';
        start = end + 1;
    }
    result += '\0';
    return result;
}

class Win32FileDialog final : public FileDialog {
public:
    explicit Win32FileDialog(HWND owner) : owner_(owner) {}
    void SetFilter(const std::string& filter) override { filter_ = filter; }
    void SetDialogTitle(const std::string& title) override { title_ = title; }
    // No option flags: the file need not exist and no replacement is asked about.
    void ShowOpen() override {
        std::vector<char> file(MAX_PATH * 4, '\0');
        std::string filter = DialogFilter(filter_);
        OPENFILENAMEA dialog = {};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner_;
        dialog.lpstrFilter = filter_.empty() ? nullptr : filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
        fileName_ = GetOpenFileNameA(&dialog) ? std::string(file.data()) : std::string();
    }
    std::string FileName() const override { return fileName_; }

private:
    HWND owner_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
};

// The input box: a dialog template built in memory (prompt, text field, OK and
// Cancel), sized in dialog units.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy, const std::wstring& title) {
        Align();
        Append(DLGTEMPLATE{style, 0, 0, 0, 0, cx, cy});
        countAt_ = bytes_.size() - sizeof(DLGTEMPLATE) + offsetof(DLGTEMPLATE, cdit);
        AppendWord(0);  // no menu
        AppendWord(0);  // the standard dialog class
        AppendString(title);
    }
    void AddItem(WORD classAtom, WORD id, DWORD style, short x, short y, short cx, short cy, const std::wstring& text) {
        Align();
        Append(DLGITEMTEMPLATE{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id});
        AppendWord(0xFFFF);
        AppendWord(classAtom);
        AppendString(text);
        AppendWord(0);  // no creation data
        ++*reinterpret_cast<WORD*>(bytes_.data() + countAt_);
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    template <typename T>
    void Append(const T& value) {
        const auto* raw = reinterpret_cast<const unsigned char*>(&value);
        bytes_.insert(bytes_.end(), raw, raw + sizeof value);
    }
    void AppendWord(WORD word) { Append(word); }
    void AppendString(const std::wstring& text) {
        for (wchar_t c : text) AppendWord(static_cast<WORD>(c));
        AppendWord(0);
    }
    void Align() {
        while (bytes_.size() % sizeof(DWORD) != 0) bytes_.push_back(0);
    }
    std::vector<unsigned char> bytes_;
    size_t countAt_ = 0;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kPromptId = 100;
constexpr WORD kTextId = 101;

struct InputBoxState {
    std::wstring prompt;
    std::wstring text;
    HFONT font;
    bool accepted = false;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<InputBoxState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
        SetDlgItemTextW(dialog, kPromptId, state->prompt.c_str());
        SetDlgItemTextW(dialog, kTextId, state->text.c_str());
        return TRUE;  // the text field, first in tab order, takes the focus with its text selected
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            HWND field = GetDlgItem(dialog, kTextId);
            state->text = WindowText(field);
            state->accepted = true;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

std::wstring WideText(const std::string& text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8Text(const std::wstring& text) {
    if (text.empty()) return {};
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

Win32Toolkit::Win32Toolkit(HINSTANCE instance) : instance_(instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);

    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
        metrics.lfMessageFont.lfUnderline = TRUE;
        linkFont_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    HDC screen = GetDC(nullptr);
    dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    window_ = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                              nullptr, nullptr, instance, this);
}

Win32Toolkit::~Win32Toolkit() {
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
    if (linkFont_) DeleteObject(linkFont_);
}

int Win32Toolkit::Pixels(int twips, bool horizontal) const {
    return MulDiv(twips, horizontal ? dpiX_ : dpiY_, kTwipsPerInch);
}

HWND Win32Toolkit::CreateChild(const wchar_t* windowClass, const std::string& text, DWORD style, const TwipRect& rect,
                               bool list) {
    int id = nextId_++;
    HWND child = CreateWindowExW(0, windowClass, ScreenText(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                                 Pixels(rect.left, true), Pixels(rect.top, false), Pixels(rect.width, true),
                                 Pixels(rect.height, false), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 instance_, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    placed_.push_back({child, rect, list});
    return child;
}

std::unique_ptr<ListBox> Win32Toolkit::CreateListBox(const TwipRect& rect) {
    HWND box =
        CreateChild(L"LISTBOX", "",
                    WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,
                    rect, true);
    lastList_ = box;
    return std::make_unique<Win32ListBox>(commands_, box);
}

std::unique_ptr<Button> Win32Toolkit::CreateButton(const TwipRect& rect, const std::string& caption) {
    HWND button = CreateChild(L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, rect);
    if (caption == "Delete" && lastList_) deleteButtons_[lastList_] = button;
    return std::make_unique<Win32Button>(commands_, button);
}

std::unique_ptr<Label> Win32Toolkit::CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) {
    HWND label = CreateChild(L"STATIC", caption, SS_LEFT | SS_NOTIFY | SS_NOPREFIX, rect);
    if (style == LabelStyle::Link) {
        linkLabels_[label] = true;
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), FALSE);
    }
    auto control = std::make_unique<Win32Label>(commands_, label);
    control->SetCaption(caption);
    return control;
}

std::unique_ptr<FileDialog> Win32Toolkit::CreateFileDialog() { return std::make_unique<Win32FileDialog>(window_); }

void Win32Toolkit::SetClientSize(int widthTwips, int heightTwips) {
    clientWidth_ = widthTwips;
    clientHeight_ = heightTwips;
    RECT frame = {0, 0, Pixels(widthTwips, true), Pixels(heightTwips, false)};
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Toolkit::SetTitle(const std::string& title) { SetWindowTextW(window_, WideText(title).c_str()); }

void Win32Toolkit::Close() { PostMessageW(window_, WM_CLOSE, 0, 0); }

// The style numbers are the platform's own: Yes/No, the warning icon and the
// second button as the default pass through unchanged, and so do the answers.
MsgBoxResult Win32Toolkit::MsgBox(const std::string& prompt, unsigned style, const std::string& title) {
    int answer = MessageBoxW(window_, ScreenText(prompt).c_str(), WideText(title).c_str(), style);
    if (answer == IDYES) return vbYes;
    if (answer == IDNO) return vbNo;
    return vbOK;
}

std::string Win32Toolkit::InputBox(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) {
    DialogTemplate dialog(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 240, 84, WideText(title));
    dialog.AddItem(kEditAtom, kTextId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 6, 64, 228, 13, L"");
    dialog.AddItem(kButtonAtom, IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 184, 6, 50, 14, L"OK");
    dialog.AddItem(kButtonAtom, IDCANCEL, WS_TABSTOP | BS_PUSHBUTTON, 184, 24, 50, 14, L"Cancel");
    dialog.AddItem(kStaticAtom, kPromptId, SS_LEFT | SS_NOPREFIX, 6, 6, 170, 52, L"");
    InputBoxState state{ScreenText(prompt), WideText(defaultText), font_};
    DialogBoxIndirectParamW(instance_, dialog.get(), window_, InputBoxProc, reinterpret_cast<LPARAM>(&state));
    return state.accepted ? Utf8Text(state.text) : std::string();
}

void Win32Toolkit::SendRightArrow() {
    INPUT keys[2] = {};
    keys[0].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = VK_RIGHT;
    keys[1] = keys[0];
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

void Win32Toolkit::ShellOpen(const std::string& address) {
    ShellExecuteA(nullptr, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// The arrangement is the smallest size; a larger window gives its extra room to
// the list boxes.
void Win32Toolkit::ApplyLayout() {
    if (clientWidth_ <= 0) return;
    RECT client;
    GetClientRect(window_, &client);
    int extraWidth = std::max(0, static_cast<int>(client.right) - Pixels(clientWidth_, true));
    int extraHeight = std::max(0, static_cast<int>(client.bottom) - Pixels(clientHeight_, false));
    std::vector<PlacedRect> rects;
    for (const Placed& place : placed_) rects.push_back({place.rect, place.list});
    std::vector<Stretch> stretches = StretchToFit(rects, extraWidth, extraHeight);
    for (size_t i = 0; i < placed_.size(); ++i) {
        const TwipRect& rect = placed_[i].rect;
        const Stretch& stretch = stretches[i];
        MoveWindow(placed_[i].window, Pixels(rect.left, true) + stretch.right, Pixels(rect.top, false) + stretch.down,
                   Pixels(rect.width, true) + stretch.wider, Pixels(rect.height, false) + stretch.taller, TRUE);
    }
}

// As the user's click or selection arrives: a disabled control reports nothing.
void Win32Toolkit::Press(HWND control, WORD code) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

bool Win32Toolkit::HandleKey(const MSG& message) {
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_F5 && reload_) {
        reload_();
        return true;
    }
    HWND list = message.hwnd;
    if (!IsListBox(list)) return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_DELETE) {
        auto deleteButton = deleteButtons_.find(list);
        if (deleteButton != deleteButtons_.end()) Press(deleteButton->second, BN_CLICKED);
        return true;
    }
    if (message.message != WM_CHAR || message.wParam < L' ') return false;
    // The list box alone looks at the typed letter only; what was typed within a
    // second counts as one beginning.
    if (typedIn_ != list || message.time - typedAt_ > 1000) typed_.clear();
    typedIn_ = list;
    typedAt_ = message.time;
    typed_ += static_cast<wchar_t>(message.wParam);
    LRESULT found =
        SendMessageW(list, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(typed_.c_str()));
    if (found != LB_ERR && found != SendMessageW(list, LB_GETCURSEL, 0, 0)) {
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
        Press(list, LBN_SELCHANGE);
    }
    return true;
}

int Win32Toolkit::Run(int show) {
    ShowWindow(window_, show);
    UpdateWindow(window_);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (HandleKey(message) || IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

LRESULT CALLBACK Win32Toolkit::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!toolkit || toolkit->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return toolkit->Handle(message, wParam, lParam);
}

LRESULT Win32Toolkit::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        auto handler = commands_.find(LOWORD(wParam));
        if (handler != commands_.end() && lParam != 0) {
            auto run = handler->second;  // the handler may replace itself
            run(HIWORD(wParam));
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        HDC context = reinterpret_cast<HDC>(wParam);
        bool link = linkLabels_.count(reinterpret_cast<HWND>(lParam)) != 0;
        SetTextColor(context, GetSysColor(link ? COLOR_HIGHLIGHT : COLOR_BTNTEXT));
        SetBkColor(context, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SIZE: ApplyLayout(); return 0;
    case WM_GETMINMAXINFO: {
        if (clientWidth_ <= 0) return DefWindowProcW(window_, message, wParam, lParam);
        RECT frame = {0, 0, Pixels(clientWidth_, true), Pixels(clientHeight_, false)};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE, 0);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    case WM_CLOSE: DestroyWindow(window_); return 0;
    case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(window_, message, wParam, lParam);
    }
}
