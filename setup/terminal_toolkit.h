// The window toolkit over ncurses: the configuration window in a terminal, for a
// server without a desktop. A character grid cannot hold the twip arrangement, so
// the controls flow instead: each list box with the caption created before it, a
// row of the buttons that stand beside it, and a last row for what lies below the
// lists. Keys: Tab and Shift-Tab move through the controls in creation order,
// arrows and Page keys move in a list, Enter and Space press, Escape cancels a box.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "window_toolkit.h"

class TerminalToolkit : public WindowToolkit {
public:
    struct Control;

    // Starts curses on the process's terminal; throws std::runtime_error, saying
    // why, when there is none it can drive.
    TerminalToolkit();
    ~TerminalToolkit() override;

    std::unique_ptr<ListBox> CreateListBox(const TwipRect& rect) override;
    std::unique_ptr<Button> CreateButton(const TwipRect& rect, const std::string& caption) override;
    std::unique_ptr<Label> CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) override;
    std::unique_ptr<FileDialog> CreateFileDialog() override;

    void SetClientSize(int, int) override {}
    void SetTitle(const std::string& title) override { title_ = title; }
    void Close() override { closed_ = true; }

    MsgBoxResult MsgBox(const std::string& prompt, unsigned style, const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
    // The terminal's input box always opens with the caret after its text.
    void SendRightArrow() override {}
    void ShellOpen(const std::string& address) override;
    void OnReload(std::function<void()> handler) override { reload_ = std::move(handler); }

    // Runs the window until it is closed.
    void Run();

    // Used by the controls and the file dialog.
    void Draw();
    std::string AskPath(const std::string& title, const std::string& filter);

private:
    Control& Add(int kind, const TwipRect& rect, const std::string& caption, LabelStyle style);
    void Arrange();
    void MoveFocus(int step);
    void HandleKey(int key, bool isChar);
    void HandleMouse();
    void ListKey(Control& list, int key, bool isChar);
    Control* Focused();

    struct screen* screen_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    size_t focus_ = 0;
    std::string title_;
    std::string status_;
    bool closed_ = false;
    std::function<void()> reload_;
};
