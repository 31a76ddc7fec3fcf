// A window toolkit without a screen, for driving the window from tests: input
// boxes, message boxes and file dialogs take their answers from queues filled
// beforehand, and everything shown is recorded. A box with no answer queued throws
// std::logic_error, so a test that did not expect a prompt fails instead of hanging.
#pragma once
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "window_toolkit.h"

struct ShownInputBox {
    std::string prompt;
    std::string title;
    std::string defaultText;
    bool caretAfterDefault = false;  // a Right-arrow press was queued for it
};

struct ShownMessageBox {
    std::string prompt;
    unsigned style = 0;
    std::string title;
};

struct ShownFileDialog {
    std::string filter;
    std::string title;
};

class ScriptedToolkit : public WindowToolkit {
public:
    std::unique_ptr<ListBox> CreateListBox(const TwipRect& rect) override;
    std::unique_ptr<Button> CreateButton(const TwipRect& rect, const std::string& caption) override;
    std::unique_ptr<Label> CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) override;
    std::unique_ptr<FileDialog> CreateFileDialog() override;

    void SetClientSize(int widthTwips, int heightTwips) override {}
    void SetTitle(const std::string& title) override { title_ = title; }
    void Close() override { closed_ = true; }

    MsgBoxResult MsgBox(const std::string& prompt, unsigned style, const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
    void SendRightArrow() override { rightArrowQueued_ = true; }
    void ShellOpen(const std::string& address) override { opened.push_back(address); }

    // Answers, taken in order. An empty input answer is Cancel; an empty file name
    // is a cancelled dialog.
    std::deque<std::string> inputAnswers;
    std::deque<MsgBoxResult> messageAnswers;
    std::deque<std::string> fileNames;

    // What was shown, in order.
    std::vector<ShownInputBox> inputBoxes;
    std::vector<ShownMessageBox> messageBoxes;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<std::string> opened;

    const std::string& title() const { return title_; }
    bool closed() const { return closed_; }

private:
    friend class ScriptedFileDialog;
    std::string NextFileName(const std::string& filter, const std::string& title);

    std::string title_;
    bool closed_ = false;
    bool rightArrowQueued_ = false;
};

// A user's click: nothing happens when the control is disabled, as on screen.
void Click(Button& button);
void Click(Label& label);
// Selects the position in the list box and sends its click.
void Click(ListBox& list, int16_t position);
