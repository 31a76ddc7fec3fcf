// The window toolkit over the Win32 window manager: the configuration tool's
// window on Windows. Controls are child windows of one top-level window, placed
// by their twip rectangles at the screen's resolution (1440 twips to the inch).
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "window_toolkit.h"

class Win32Toolkit : public WindowToolkit {
public:
    // Registers the window class and creates the window, hidden until Show.
    explicit Win32Toolkit(HINSTANCE instance);
    ~Win32Toolkit() override;

    std::unique_ptr<ListBox> CreateListBox(const TwipRect& rect) override;
    std::unique_ptr<Button> CreateButton(const TwipRect& rect, const std::string& caption) override;
    std::unique_ptr<Label> CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) override;
    std::unique_ptr<FileDialog> CreateFileDialog() override;

    void SetClientSize(int widthTwips, int heightTwips) override;
    void SetTitle(const std::string& title) override;
    void Close() override;

    MsgBoxResult MsgBox(const std::string& prompt, unsigned style, const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
    void SendRightArrow() override;
    void ShellOpen(const std::string& address) override;
    void OnReload(std::function<void()> handler) override { reload_ = std::move(handler); }

    // Shows the window and runs its messages until it closes; the exit code.
    int Run(int show);
    // The window's own keys, before the dialog keys: F5 reloads; in a list, Delete
    // presses its Delete button and typing selects the first entry that begins
    // with what was typed. True when the message was taken.
    bool HandleKey(const MSG& message);
    HWND window() const { return window_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateChild(const wchar_t* windowClass, const std::string& text, DWORD style, const TwipRect& rect,
                     bool list = false);
    int Pixels(int twips, bool horizontal) const;
    void ApplyLayout();
    void Press(HWND control, WORD code);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HFONT linkFont_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    int nextId_ = 100;
    // Command handlers of the controls by their identifiers, and the link labels.
    std::map<int, std::function<void(WORD code)>> commands_;
    std::map<HWND, bool> linkLabels_;
    // Every control with its twip rectangle, for laying the window out again.
    struct Placed {
        HWND window;
        TwipRect rect;
        bool list;
    };
    std::vector<Placed> placed_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    // Each list box's Delete button, and what was typed lately in which list.
    HWND lastList_ = nullptr;
    std::map<HWND, HWND> deleteButtons_;
    HWND typedIn_ = nullptr;
    std::wstring typed_;
    DWORD typedAt_ = 0;
    std::function<void()> reload_;
};

// UTF-8 to UTF-16 and back: the toolkit's texts are UTF-8.
std::wstring WideText(const std::string& text);
std::string Utf8Text(const std::wstring& text);
