// The window toolkit as the configuration window sees it: list boxes, buttons,
// labels, the message box, the input box, a key press, the open-file dialog and the
// desktop shell. The window's logic knows nothing else of the screen, so it runs
// the same over the Qt widgets and over the scripted stand-in the tests use.
//
// Texts are 8-bit (UTF-8). A line break inside a prompt or a message is a single
// carriage return; each toolkit shows it as a line break.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A rectangle in twips (15 twips to a pixel at 96 dots per inch).
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The most items a list box holds: its positions are 16-bit signed.
inline constexpr int16_t kListBoxCapacity = 32767;

// Single selection, items kept in ascending order without regard to case; an added
// item takes its sorted place. Positions count from 0; -1 is "none".
class ListBox {
public:
    virtual ~ListBox() = default;
    virtual void Clear() = 0;
    // False, with nothing added, when the list box is full.
    virtual bool AddItem(const std::string& text) = 0;
    virtual int16_t ListCount() const = 0;
    virtual std::string List(int16_t position) const = 0;
    // Replaces the text in place; the item keeps its position until the next Clear.
    virtual void SetList(int16_t position, const std::string& text) = 0;
    virtual void RemoveItem(int16_t position) = 0;
    // The selected position, or -1.
    virtual int16_t ListIndex() const = 0;
    virtual int16_t SelCount() const = 0;
    // Selects the position, or deselects whatever is selected for -1. Sends no click.
    virtual void SetListIndex(int16_t position) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // Called when the user selects an item; never while disabled.
    virtual void OnClick(std::function<void()> handler) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // A disabled button sends no click.
    virtual void OnClick(std::function<void()> handler) = 0;
};

enum class LabelStyle { Plain, Link };

class Label {
public:
    virtual ~Label() = default;
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void OnClick(std::function<void()> handler) = 0;
};

// The platform's standard open-file dialog. A name that does not exist yet may be
// typed; FileName is empty after a cancel.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual void SetFilter(const std::string& filter) = 0;
    virtual void SetDialogTitle(const std::string& title) = 0;
    virtual void ShowOpen() = 0;
    virtual std::string FileName() const = 0;
};

// Message box styles and answers, by the platform's numbers.
enum MsgBoxStyle : unsigned {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
    vbExclamation = 48,
    vbDefaultButton2 = 256,
};
enum MsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };

class WindowToolkit {
public:
    virtual ~WindowToolkit() = default;

    virtual std::unique_ptr<ListBox> CreateListBox(const TwipRect& rect) = 0;
    virtual std::unique_ptr<Button> CreateButton(const TwipRect& rect, const std::string& caption) = 0;
    virtual std::unique_ptr<Label> CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) = 0;
    virtual std::unique_ptr<FileDialog> CreateFileDialog() = 0;

    // The window: its client area in twips, its title, and closing it, which ends
    // the program.
    virtual void SetClientSize(int widthTwips, int heightTwips) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void Close() = 0;

    // Modal. The answer is vbYes or vbNo for vbYesNo, vbOK otherwise.
    virtual MsgBoxResult MsgBox(const std::string& prompt, unsigned style, const std::string& title) = 0;
    // Modal, OK and Cancel. The typed text, or an empty text on Cancel.
    virtual std::string InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    // Queues one Right-arrow key press for the input box that opens next, so that
    // its caret stands after the default text with nothing selected.
    virtual void SendRightArrow() = 0;
    // Opens the address with the desktop's default action; the outcome is not reported.
    virtual void ShellOpen(const std::string& address) = 0;
    // Called when the user asks to reload the lists (F5); toolkits without the key
    // never call it.
    virtual void OnReload(std::function<void()> handler) { (void)handler; }
};
