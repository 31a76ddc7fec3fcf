#include "terminal_toolkit.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include <fnmatch.h>
#include <ncursesw/curses.h>

#include "entry_text.h"

namespace {

enum class Kind { List, Button, Label };

std::wstring Wide(const std::string& text) {
    std::mbstate_t state{};
    std::wstring wide;
    const char* at = text.data();
    const char* end = at + text.size();
    while (at < end) {
        wchar_t c;
        size_t used = std::mbrtowc(&c, at, static_cast<size_t>(end - at), &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            c = L'?';
            used = 1;
            state = {};
        } else if (used == 0) {
            used = 1;
        }
        wide.push_back(c);
        at += used;
    }
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    std::string text;
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    for (wchar_t c : wide) {
        size_t used = std::wcrtomb(buffer, c, &state);
        if (used != static_cast<size_t>(-1)) text.append(buffer, used);
    }
    return text;
}

int Cells(wchar_t c) { return std::max(0, ::wcwidth(c)); }

int Cells(const std::wstring& text) {
    int cells = 0;
    for (wchar_t c : text) cells += Cells(c);
    return cells;
}

// The longest head of text that fits in the cells given.
std::wstring Fit(const std::wstring& text, int cells) {
    std::wstring head;
    for (wchar_t c : text) {
        if ((cells -= Cells(c)) < 0) break;
        head.push_back(c);
    }
    return head;
}

void Put(int y, int x, const std::wstring& text, int cells, attr_t attributes = A_NORMAL) {
    if (cells <= 0) return;
    attr_set(attributes, 0, nullptr);
    mvaddwstr(y, x, Fit(text, cells).c_str());
    attr_set(A_NORMAL, 0, nullptr);
}

// Lines of at most width cells, broken at spaces where possible; a carriage return
// breaks a line.
std::vector<std::wstring> Wrap(const std::string& text, int width) {
    std::vector<std::wstring> lines;
    width = std::max(width, 1);
    std::wstring all = Wide(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(L'\r', start);
        std::wstring rest = all.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        do {
            std::wstring line = Fit(rest, width);
            if (line.size() < rest.size()) {
                size_t space = line.rfind(L' ');
                if (space != std::wstring::npos && space > 0) line.resize(space + 1);
            }
            rest.erase(0, line.size());
            while (!line.empty() && line.back() == L' ') line.pop_back();
            lines.push_back(line);
        } while (!rest.empty());
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return lines;
}

bool IsEnter(int key, bool isChar) { return isChar ? (key == L'\n' || key == L'\r') : key == KEY_ENTER; }

bool IsEscape(int key, bool isChar) { return isChar && key == 27; }

// One key press: the character or key code, and which of the two it is.
struct Key {
    int code = 0;
    bool isChar = false;
};

Key ReadKey() {
    wint_t code = 0;
    int kind = get_wch(&code);
    return {static_cast<int>(code), kind == OK};
}

// A one-line text field, as the input box and the file dialog edit it.
struct Field {
    std::wstring text;
    size_t caret = 0;

    // True when the key was the field's.
    bool Edit(const Key& key) {
        if (key.isChar && (key.code == 127 || key.code == 8)) {
            if (caret > 0) text.erase(--caret, 1);
        } else if (key.isChar && std::iswprint(static_cast<wint_t>(key.code))) {
            text.insert(caret++, 1, static_cast<wchar_t>(key.code));
        } else if (key.isChar) {
            return false;
        } else if (key.code == KEY_BACKSPACE) {
            if (caret > 0) text.erase(--caret, 1);
        } else if (key.code == KEY_DC) {
            if (caret < text.size()) text.erase(caret, 1);
        } else if (key.code == KEY_LEFT) {
            caret -= caret > 0 ? 1 : 0;
        } else if (key.code == KEY_RIGHT) {
            caret += caret < text.size() ? 1 : 0;
        } else if (key.code == KEY_HOME) {
            caret = 0;
        } else if (key.code == KEY_END) {
            caret = text.size();
        } else {
            return false;
        }
        return true;
    }

    // Draws the part around the caret and leaves the cursor on it.
    void Draw(int y, int x, int width) const {
        size_t start = 0;
        while (Cells(text.substr(start, caret - start)) >= width) ++start;
        Put(y, x, std::wstring(static_cast<size_t>(width), L' '), width, A_UNDERLINE);
        std::wstring shown = text.substr(start);
        Put(y, x, shown, width, A_UNDERLINE);
        move(y, x + Cells(text.substr(start, caret - start)));
    }
};

// A bordered box in the middle of the screen, cleared, with its title.
struct Box {
    int top, left, height, width;

    Box(const std::string& title, int innerHeight, int innerWidth) {
        width = std::min(COLS, std::max(innerWidth, Cells(Wide(title)) + 2) + 4);
        height = std::min(LINES, innerHeight + 2);
        top = std::max(0, (LINES - height) / 2);
        left = std::max(0, (COLS - width) / 2);
        for (int y = 0; y < height; ++y) Put(top + y, left, std::wstring(static_cast<size_t>(width), L' '), width);
        attr_set(A_NORMAL, 0, nullptr);
        mvhline_set(top, left, WACS_HLINE, width);
        mvhline_set(top + height - 1, left, WACS_HLINE, width);
        mvvline_set(top, left, WACS_VLINE, height);
        mvvline_set(top, left + width - 1, WACS_VLINE, height);
        mvadd_wch(top, left, WACS_ULCORNER);
        mvadd_wch(top, left + width - 1, WACS_URCORNER);
        mvadd_wch(top + height - 1, left, WACS_LLCORNER);
        mvadd_wch(top + height - 1, left + width - 1, WACS_LRCORNER);
        Put(top, left + 2, L" " + Wide(title) + L" ", width - 4, A_BOLD);
    }
    int Inner() const { return width - 4; }
    void Line(int row, const std::wstring& text, attr_t attributes = A_NORMAL) const {
        Put(top + 1 + row, left + 2, text, Inner(), attributes);
    }
};

// The patterns of a "Description | pattern" filter.
std::vector<std::string> FilterPatterns(const std::string& filter) {
    std::vector<std::string> patterns;
    size_t bar = filter.find('|');
    while (bar != std::string::npos) {
        size_t next = filter.find('|', bar + 1);
        std::string pattern = filter.substr(bar + 1, next == std::string::npos ? next : next - bar - 1);
        pattern = std::string(TrimSpaces(pattern));
        if (!pattern.empty()) patterns.push_back(pattern);
        bar = next == std::string::npos ? next : filter.find('|', next + 1);
    }
    return patterns;
}

// The names in the folder of the typed path that begin with its last part:
// folders (ending in "/") and the files the filter lets through. Only the folder
// is opened, never a file in it.
std::vector<std::string> Candidates(const std::string& typed, const std::vector<std::string>& patterns) {
    size_t slash = typed.rfind('/');
    std::string folder = slash == std::string::npos ? "." : typed.substr(0, slash + 1);
    std::string prefix = slash == std::string::npos ? typed : typed.substr(slash + 1);
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || (name.starts_with('.') && !prefix.starts_with('.'))) continue;
        std::error_code statError;
        if (entry.is_directory(statError)) {
            names.push_back(name + "/");
            continue;
        }
        bool wanted = patterns.empty();
        for (const std::string& pattern : patterns) wanted = wanted || ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
        if (wanted) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CommonPrefix(const std::vector<std::string>& names) {
    std::string common = names.empty() ? std::string() : names.front();
    for (const std::string& name : names) {
        size_t same = 0;
        while (same < common.size() && same < name.size() && common[same] == name[same]) ++same;
        common.resize(same);
    }
    return common;
}

}  // namespace

struct TerminalToolkit::Control {
    Kind kind = Kind::Label;
    TwipRect rect;
    std::string caption;
    LabelStyle style = LabelStyle::Plain;
    bool enabled = true;
    std::vector<std::string> items;
    int16_t selected = -1;
    int top = 0;  // the first item shown
    std::function<void()> click;
    // Where Arrange put it.
    int y = 0, x = 0, height = 0, width = 0;
    size_t section = 0;
    // Type-ahead in a list.
    std::wstring typed;
    std::chrono::steady_clock::time_point lastTyped;

    bool Focusable() const { return enabled && (kind != Kind::Label || style == LabelStyle::Link); }
};

namespace {

using Control = TerminalToolkit::Control;

class TerminalListBox : public ListBox {
public:
    explicit TerminalListBox(Control& control) : c_(control) {}
    void Clear() override {
        c_.items.clear();
        c_.selected = -1;
        c_.top = 0;
    }
    bool AddItem(const std::string& text) override {
        if (c_.items.size() >= static_cast<size_t>(kListBoxCapacity)) return false;
        int position = SortedPosition(
            static_cast<int>(c_.items.size()),
            [this](int i) -> const std::string& { return c_.items[static_cast<size_t>(i)]; }, text);
        c_.items.insert(c_.items.begin() + position, text);
        if (c_.selected >= position) ++c_.selected;
        return true;
    }
    int16_t ListCount() const override { return static_cast<int16_t>(c_.items.size()); }
    std::string List(int16_t position) const override { return Valid(position) ? c_.items[Slot(position)] : ""; }
    void SetList(int16_t position, const std::string& text) override {
        if (Valid(position)) c_.items[Slot(position)] = text;
    }
    void RemoveItem(int16_t position) override {
        if (!Valid(position)) return;
        c_.items.erase(c_.items.begin() + position);
        if (c_.selected == position) c_.selected = -1;
        else if (c_.selected > position) --c_.selected;
    }
    int16_t ListIndex() const override { return c_.selected; }
    int16_t SelCount() const override { return c_.selected >= 0 ? 1 : 0; }
    void SetListIndex(int16_t position) override { c_.selected = Valid(position) ? position : -1; }
    bool Enabled() const override { return c_.enabled; }
    void SetEnabled(bool enabled) override { c_.enabled = enabled; }
    void OnClick(std::function<void()> handler) override { c_.click = std::move(handler); }

private:
    bool Valid(int16_t position) const { return position >= 0 && static_cast<size_t>(position) < c_.items.size(); }
    static size_t Slot(int16_t position) { return static_cast<size_t>(position); }
    Control& c_;
};

class TerminalButton : public Button {
public:
    explicit TerminalButton(Control& control) : c_(control) {}
    std::string Caption() const override { return c_.caption; }
    void SetCaption(const std::string& caption) override { c_.caption = caption; }
    bool Enabled() const override { return c_.enabled; }
    void SetEnabled(bool enabled) override { c_.enabled = enabled; }
    void OnClick(std::function<void()> handler) override { c_.click = std::move(handler); }

private:
    Control& c_;
};

class TerminalLabel : public Label {
public:
    explicit TerminalLabel(Control& control) : c_(control) {}
    std::string Caption() const override { return c_.caption; }
    void SetCaption(const std::string& caption) override { c_.caption = caption; }
    void OnClick(std::function<void()> handler) override { c_.click = std::move(handler); }

private:
    Control& c_;
};

class TerminalFileDialog : public FileDialog {
public:
    explicit TerminalFileDialog(TerminalToolkit& toolkit) : toolkit_(toolkit) {}
    void SetFilter(const std::string& filter) override { filter_ = filter; }
    void SetDialogTitle(const std::string& title) override { title_ = title; }
    void ShowOpen() override { fileName_ = toolkit_.AskPath(title_, filter_); }
    std::string FileName() const override { return fileName_; }

private:
    TerminalToolkit& toolkit_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
};

// A button as the window row shows it: brackets while it can be pressed, angle
// brackets while it has the focus, so that both show without colours too.
std::wstring ButtonText(const Control& button, bool hasFocus = false) {
    std::wstring caption = Wide(button.caption);
    if (hasFocus) return L"<" + caption + L">";
    return button.enabled ? L"[" + caption + L"]" : L" " + caption + L" ";
}

// Places controls left to right from column 0, one space apart, wrapping at width;
// returns the rows used.
int Flow(const std::vector<Control*>& row, int y, int width) {
    int x = 0;
    int rows = row.empty() ? 0 : 1;
    for (Control* control : row) {
        int cells = control->kind == Kind::Button ? Cells(ButtonText(*control)) : Cells(Wide(control->caption));
        if (x > 0 && x + cells > width) {
            x = 0;
            ++rows;
        }
        control->y = y + rows - 1;
        control->x = x;
        control->width = std::min(cells, width);
        control->height = 1;
        x += cells + 2;
    }
    return rows;
}

}  // namespace

TerminalToolkit::TerminalToolkit() {
    std::setlocale(LC_ALL, "");
    screen_ = newterm(nullptr, stdout, stdin);
    if (!screen_) throw std::runtime_error("the terminal type (TERM) is unknown or not set");
    raw();
    noecho();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    mousemask(BUTTON1_CLICKED | BUTTON1_PRESSED, nullptr);
    mouseinterval(0);
}

TerminalToolkit::~TerminalToolkit() {
    endwin();
    delscreen(screen_);
}

TerminalToolkit::Control& TerminalToolkit::Add(int kind, const TwipRect& rect, const std::string& caption,
                                               LabelStyle style) {
    auto control = std::make_unique<Control>();
    control->kind = static_cast<Kind>(kind);
    control->rect = rect;
    control->caption = caption;
    control->style = style;
    controls_.push_back(std::move(control));
    return *controls_.back();
}

std::unique_ptr<ListBox> TerminalToolkit::CreateListBox(const TwipRect& rect) {
    return std::make_unique<TerminalListBox>(Add(static_cast<int>(Kind::List), rect, "", LabelStyle::Plain));
}

std::unique_ptr<Button> TerminalToolkit::CreateButton(const TwipRect& rect, const std::string& caption) {
    return std::make_unique<TerminalButton>(Add(static_cast<int>(Kind::Button), rect, caption, LabelStyle::Plain));
}

std::unique_ptr<Label> TerminalToolkit::CreateLabel(const TwipRect& rect, const std::string& caption,
                                                    LabelStyle style) {
    return std::make_unique<TerminalLabel>(Add(static_cast<int>(Kind::Label), rect, caption, style));
}

std::unique_ptr<FileDialog> TerminalToolkit::CreateFileDialog() { return std::make_unique<TerminalFileDialog>(*this); }

// Sections: a list box, the labels created before it (its caption) and the
// buttons that stand beside it. What lies further below goes to the last row.
void TerminalToolkit::Arrange() {
    constexpr int kBesideTwips = 400;
    struct Section {
        Control* list = nullptr;
        std::vector<Control*> captions;
        std::vector<Control*> buttons;
    };
    std::vector<Section> sections;
    std::vector<Control*> pending;
    std::vector<Control*> bottom;
    for (auto& owned : controls_) {
        Control* control = owned.get();
        if (control->kind == Kind::List) {
            sections.push_back({control, std::move(pending), {}});
            pending.clear();
        } else if (control->kind == Kind::Label) {
            pending.push_back(control);
        } else if (!sections.empty() && control->rect.top <= sections.back().list->rect.top +
                                                                 sections.back().list->rect.height + kBesideTwips) {
            sections.back().buttons.push_back(control);
        } else {
            bottom.push_back(control);
        }
    }
    bottom.insert(bottom.end(), pending.begin(), pending.end());

    // Rows left for the lists after the title, captions, button rows, the bottom
    // row and the key line, shared in proportion to the lists' heights.
    int fixed = 2 + Flow(bottom, 0, COLS);
    int twips = 0;
    for (Section& section : sections) {
        for (Control* caption : section.captions) fixed += static_cast<int>(Wrap(caption->caption, COLS).size());
        fixed += Flow(section.buttons, 0, COLS);
        twips += section.list->rect.height;
    }
    int free = std::max(static_cast<int>(sections.size()), LINES - fixed);
    int y = 1;
    int given = 0;
    int twipsSoFar = 0;
    for (size_t s = 0; s < sections.size(); ++s) {
        Section& section = sections[s];
        for (Control* caption : section.captions) {
            caption->y = y;
            caption->x = 0;
            caption->width = COLS;
            caption->height = static_cast<int>(Wrap(caption->caption, COLS).size());
            y += caption->height;
        }
        twipsSoFar += section.list->rect.height;
        int rows = std::max(1, twips > 0 ? free * twipsSoFar / twips - given : 1);
        given += rows;
        Control& list = *section.list;
        list.y = y;
        list.x = 0;
        list.width = COLS;
        list.height = rows;
        list.section = s;
        y += rows;
        y += Flow(section.buttons, y, COLS);
        for (Control* button : section.buttons) button->section = s;
    }
    Flow(bottom, y, COLS);
}

TerminalToolkit::Control* TerminalToolkit::Focused() {
    return focus_ < controls_.size() ? controls_[focus_].get() : nullptr;
}

void TerminalToolkit::Draw() {
    Arrange();
    erase();
    std::wstring title = L" " + Wide(title_) + L" ";
    Put(0, 0, std::wstring(static_cast<size_t>(COLS), L' '), COLS, A_REVERSE);
    Put(0, std::max(0, (COLS - Cells(title)) / 2), title, COLS, A_REVERSE);
    Control* focused = Focused();
    for (auto& owned : controls_) {
        Control& c = *owned;
        bool hasFocus = &c == focused;
        if (c.kind == Kind::Label) {
            std::vector<std::wstring> lines = Wrap(c.caption, c.width);
            attr_t look = c.style == LabelStyle::Link ? A_UNDERLINE : A_NORMAL;
            for (size_t i = 0; i < lines.size() && static_cast<int>(i) < c.height; ++i)
                Put(c.y + static_cast<int>(i), c.x, lines[i], c.width, hasFocus ? look | A_REVERSE : look);
        } else if (c.kind == Kind::Button) {
            attr_t look = !c.enabled ? A_DIM : hasFocus ? A_REVERSE : A_BOLD;
            Put(c.y, c.x, ButtonText(c, hasFocus), c.width, look);
        } else {
            if (c.selected >= 0) {
                c.top = std::min(c.top, static_cast<int>(c.selected));
                c.top = std::max(c.top, c.selected - c.height + 1);
            }
            c.top = std::max(0, std::min(c.top, static_cast<int>(c.items.size()) - c.height));
            for (int row = 0; row < c.height; ++row) {
                size_t item = static_cast<size_t>(c.top + row);
                attr_set(hasFocus ? A_BOLD : A_DIM, 0, nullptr);
                mvadd_wch(c.y + row, 0, WACS_VLINE);
                if (item >= c.items.size()) continue;
                attr_t look = !c.enabled ? A_DIM : static_cast<int>(item) == c.selected ? A_REVERSE : A_NORMAL;
                Put(c.y + row, 2, Wide(c.items[item]), COLS - 4, look);
            }
            attr_set(A_NORMAL, 0, nullptr);
            if (c.top > 0) mvadd_wch(c.y, COLS - 1, WACS_UARROW);
            if (c.top + c.height < static_cast<int>(c.items.size()))
                mvadd_wch(c.y + c.height - 1, COLS - 1, WACS_DARROW);
        }
    }
    std::wstring keys =
        status_.empty() ? L"Tab: next  Enter: press  Del: delete entry  F5: reload  Ctrl-C: quit" : Wide(status_);
    Put(LINES - 1, 0, keys, COLS, A_DIM);
    if (focused && focused->kind == Kind::List) {
        int row = focused->selected >= 0 ? focused->selected - focused->top : 0;
        move(focused->y + row, 2);
    } else if (focused) {
        move(focused->y, focused->x);
    }
    // Shown with the next doupdate, so that a box drawn over the window never
    // flickers away.
    wnoutrefresh(stdscr);
}

void TerminalToolkit::MoveFocus(int step) {
    size_t count = controls_.size();
    for (size_t tries = 0; tries < count; ++tries) {
        focus_ = (focus_ + count + static_cast<size_t>(step)) % count;
        if (controls_[focus_]->Focusable()) return;
    }
}

void TerminalToolkit::ListKey(Control& list, int key, bool isChar) {
    int count = static_cast<int>(list.items.size());
    if (count == 0 || !list.enabled) return;
    int at = list.selected;
    if (!isChar && key == KEY_DC) {
        // The Delete key runs this list's Delete, confirmation and all.
        for (auto& owned : controls_) {
            Control& c = *owned;
            if (c.kind == Kind::Button && c.section == list.section && c.caption == "Delete" && c.enabled && c.click)
                c.click();
        }
        return;
    }
    if (isChar) {
        // Typing jumps to the first entry that begins with what was typed.
        auto now = std::chrono::steady_clock::now();
        if (now - list.lastTyped > std::chrono::seconds(1)) list.typed.clear();
        list.lastTyped = now;
        list.typed.push_back(static_cast<wchar_t>(key));
        std::string typed = Narrow(list.typed);
        for (int i = 0; i < count; ++i) {
            const std::string& item = list.items[static_cast<size_t>(i)];
            if (item.size() >= typed.size() && CompareEntries(item.substr(0, typed.size()), typed) == 0) {
                at = i;
                break;
            }
        }
    } else if (key == KEY_DOWN) {
        at = at + 1;
    } else if (key == KEY_UP) {
        at = at < 0 ? 0 : at - 1;
    } else if (key == KEY_NPAGE) {
        at = std::max(at, 0) + list.height;
    } else if (key == KEY_PPAGE) {
        at = at - list.height;
    } else if (key == KEY_HOME) {
        at = 0;
    } else if (key == KEY_END) {
        at = count - 1;
    } else {
        return;
    }
    at = std::clamp(at, 0, count - 1);
    if (at == list.selected) return;
    list.selected = static_cast<int16_t>(at);
    if (list.click) list.click();
}

void TerminalToolkit::HandleMouse() {
    MEVENT event;
    if (getmouse(&event) != OK) return;
    for (size_t i = 0; i < controls_.size(); ++i) {
        Control& c = *controls_[i];
        if (event.y < c.y || event.y >= c.y + c.height || event.x < c.x || event.x >= c.x + c.width || !c.Focusable())
            continue;
        focus_ = i;
        if (c.kind != Kind::List) {
            if (c.click) c.click();
            return;
        }
        int item = c.top + event.y - c.y;
        if (item < static_cast<int>(c.items.size()) && item != c.selected) {
            c.selected = static_cast<int16_t>(item);
            if (c.click) c.click();
        }
        return;
    }
}

void TerminalToolkit::HandleKey(int key, bool isChar) {
    status_.clear();
    if (isChar && key == 3) {
        closed_ = true;
        return;
    }
    if ((isChar && key == L'\t') || (!isChar && (key == KEY_RIGHT || key == KEY_BTAB || key == KEY_LEFT))) {
        Control* focused = Focused();
        bool back = !isChar && (key == KEY_BTAB || key == KEY_LEFT);
        // Left and Right move between buttons, not out of a list.
        if (!isChar && key != KEY_BTAB && focused && focused->kind == Kind::List) return;
        MoveFocus(back ? -1 : 1);
        return;
    }
    if (!isChar && key == KEY_F(5)) {
        if (reload_) reload_();
        return;
    }
    if (!isChar && key == KEY_MOUSE) {
        HandleMouse();
        return;
    }
    Control* focused = Focused();
    if (!focused || !focused->Focusable()) return;
    if (focused->kind == Kind::List) {
        if (!IsEnter(key, isChar) && !(isChar && key == L' ') && !IsEscape(key, isChar))
            ListKey(*focused, key, isChar && std::iswprint(static_cast<wint_t>(key)));
        return;
    }
    if ((IsEnter(key, isChar) || (isChar && key == L' ')) && focused->click) focused->click();
}

void TerminalToolkit::Run() {
    focus_ = controls_.size() - 1;
    MoveFocus(1);
    while (!closed_) {
        Control* focused = Focused();
        // A control that lost its enabled state keeps the focus until the user
        // moves it: focus never lands on another button by itself.
        curs_set(focused && focused->kind == Kind::List ? 1 : 0);
        Draw();
        doupdate();
        Key key = ReadKey();
        if (!key.isChar && key.code == KEY_RESIZE) continue;
        HandleKey(key.code, key.isChar);
    }
}

MsgBoxResult TerminalToolkit::MsgBox(const std::string& prompt, unsigned style, const std::string& title) {
    const bool yesNo = (style & 7u) == vbYesNo;
    int choice = yesNo && (style & vbDefaultButton2) ? 1 : 0;
    for (;;) {
        Draw();
        int width = std::min(COLS - 6, 72);
        std::vector<std::wstring> lines = Wrap(prompt, width);
        int inner = 0;
        for (const std::wstring& line : lines) inner = std::max(inner, Cells(line));
        Box box(title, static_cast<int>(lines.size()) + 2, std::max(inner, 16));
        for (size_t i = 0; i < lines.size(); ++i) box.Line(static_cast<int>(i), lines[i]);
        int row = static_cast<int>(lines.size()) + 1;
        std::vector<std::wstring> buttons =
            yesNo ? std::vector<std::wstring>{L"[Yes]", L"[No]"} : std::vector<std::wstring>{L"[OK]"};
        int x = box.left + 2;
        for (size_t i = 0; i < buttons.size(); ++i) {
            Put(box.top + 1 + row, x, buttons[i], box.Inner(), static_cast<int>(i) == choice ? A_REVERSE : A_BOLD);
            x += Cells(buttons[i]) + 2;
        }
        curs_set(0);
        refresh();
        Key key = ReadKey();
        if (!yesNo &&
            (IsEnter(key.code, key.isChar) || IsEscape(key.code, key.isChar) || (key.isChar && key.code == L' ')))
            return vbOK;
        if (!yesNo) continue;
        if (IsEnter(key.code, key.isChar) || (key.isChar && key.code == L' ')) return choice == 0 ? vbYes : vbNo;
        if (IsEscape(key.code, key.isChar) || (key.isChar && (key.code == L'n' || key.code == L'N'))) return vbNo;
        if (key.isChar && (key.code == L'y' || key.code == L'Y')) return vbYes;
        if ((key.isChar && key.code == L'\t') ||
            (!key.isChar && (key.code == KEY_LEFT || key.code == KEY_RIGHT || key.code == KEY_BTAB)))
            choice = 1 - choice;
    }
}

std::string TerminalToolkit::InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultText) {
    Field field{Wide(defaultText), Wide(defaultText).size()};
    for (;;) {
        Draw();
        int width = std::min(COLS - 6, 72);
        std::vector<std::wstring> lines = Wrap(prompt, width);
        Box box(title, static_cast<int>(lines.size()) + 4, width);
        for (size_t i = 0; i < lines.size(); ++i) box.Line(static_cast<int>(i), lines[i]);
        int row = box.top + 1 + static_cast<int>(lines.size());
        Put(row + 3, box.left + 2, L"[OK] Enter   [Cancel] Escape", box.Inner(), A_BOLD);
        curs_set(1);
        field.Draw(row + 1, box.left + 2, box.Inner());
        refresh();
        Key key = ReadKey();
        if (IsEnter(key.code, key.isChar)) return Narrow(field.text);
        if (IsEscape(key.code, key.isChar)) return {};
        field.Edit(key);
    }
}

std::string TerminalToolkit::AskPath(const std::string& title, const std::string& filter) {
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    Field field{Wide(folder == "/" ? folder : folder + "/"), 0};
    field.caret = field.text.size();
    const std::vector<std::string> patterns = FilterPatterns(filter);
    for (;;) {
        Draw();
        std::vector<std::string> names = Candidates(Narrow(field.text), patterns);
        int width = std::min(COLS - 6, 72);
        int listed = std::max(1, std::min(LINES - 8, 12));
        Box box(title, listed + 4, width);
        box.Line(0, L"File name (Tab completes, Enter opens a folder or takes the file):");
        for (int i = 0; i < listed && static_cast<size_t>(i) < names.size(); ++i)
            box.Line(3 + i, Wide(names[static_cast<size_t>(i)]));
        if (names.size() > static_cast<size_t>(listed))
            box.Line(2 + listed + 1, L"... " + std::to_wstring(names.size() - static_cast<size_t>(listed)) + L" more");
        curs_set(1);
        field.Draw(box.top + 2, box.left + 2, box.Inner());
        refresh();
        Key key = ReadKey();
        if (IsEscape(key.code, key.isChar)) return {};
        std::string typed = Narrow(field.text);
        if (key.isChar && key.code == L'\t') {
            size_t slash = typed.rfind('/');
            std::string head = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
            std::string common = CommonPrefix(names);
            if (!names.empty() && head.size() + common.size() > typed.size()) {
                field.text = Wide(head + common);
                field.caret = field.text.size();
            }
            continue;
        }
        if (IsEnter(key.code, key.isChar)) {
            if (typed.empty()) continue;
            if (!std::filesystem::is_directory(typed, error)) return typed;
            if (!typed.ends_with('/')) field.text.push_back(L'/');
            field.caret = field.text.size();
            continue;
        }
        field.Edit(key);
    }
}

// A terminal has no desktop to hand the address to: show it, for copying.
void TerminalToolkit::ShellOpen(const std::string& address) { status_ = "Web address: " + address; }
