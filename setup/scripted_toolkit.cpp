#include "scripted_toolkit.h"

#include <algorithm>
#include <functional>

#include "entry_text.h"

namespace {

class ScriptedListBox : public ListBox {
public:
    void Clear() override {
        items_.clear();
        selected_ = -1;
    }
    bool AddItem(const std::string& text) override {
        if (items_.size() >= static_cast<size_t>(kListBoxCapacity)) return false;
        int position = SortedPosition(
            static_cast<int>(items_.size()),
            [this](int i) -> const std::string& { return items_[static_cast<size_t>(i)]; }, text);
        items_.insert(items_.begin() + position, text);
        if (selected_ >= position) ++selected_;
        return true;
    }
    int16_t ListCount() const override { return static_cast<int16_t>(items_.size()); }
    std::string List(int16_t position) const override { return Valid(position) ? items_[Slot(position)] : ""; }
    void SetList(int16_t position, const std::string& text) override {
        if (Valid(position)) items_[Slot(position)] = text;
    }
    void RemoveItem(int16_t position) override {
        if (!Valid(position)) return;
        items_.erase(items_.begin() + position);
        if (selected_ == position) selected_ = -1;
        else if (selected_ > position) --selected_;
    }
    int16_t ListIndex() const override { return selected_; }
    int16_t SelCount() const override { return selected_ >= 0 ? 1 : 0; }
    void SetListIndex(int16_t position) override { selected_ = Valid(position) ? position : -1; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }

    void UserClick(int16_t position) {
        if (!enabled_ || !Valid(position)) return;
        selected_ = position;
        if (click_) click_();
    }

private:
    bool Valid(int16_t position) const { return position >= 0 && static_cast<size_t>(position) < items_.size(); }
    static size_t Slot(int16_t position) { return static_cast<size_t>(position); }

    std::vector<std::string> items_;
    int16_t selected_ = -1;
    bool enabled_ = true;
    std::function<void()> click_;
};

class ScriptedButton : public Button {
public:
    explicit ScriptedButton(const std::string& caption) : caption_(caption) {}
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }

    void UserClick() {
        if (enabled_ && click_) click_();
    }

private:
    std::string caption_;
    bool enabled_ = true;
    std::function<void()> click_;
};

class ScriptedLabel : public Label {
public:
    explicit ScriptedLabel(const std::string& caption) : caption_(caption) {}
    std::string Caption() const override { return caption_; }
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }

    void UserClick() {
        if (click_) click_();
    }

private:
    std::string caption_;
    std::function<void()> click_;
};

template <typename Scripted, typename Control>
Scripted& AsScripted(Control& control) {
    auto* scripted = dynamic_cast<Scripted*>(&control);
    if (!scripted) throw std::logic_error("the control was not made by the scripted toolkit");
    return *scripted;
}

}  // namespace

class ScriptedFileDialog : public FileDialog {
public:
    explicit ScriptedFileDialog(ScriptedToolkit& toolkit) : toolkit_(toolkit) {}
    void SetFilter(const std::string& filter) override { filter_ = filter; }
    void SetDialogTitle(const std::string& title) override { title_ = title; }
    void ShowOpen() override { fileName_ = toolkit_.NextFileName(filter_, title_); }
    std::string FileName() const override { return fileName_; }

private:
    ScriptedToolkit& toolkit_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
};

std::unique_ptr<ListBox> ScriptedToolkit::CreateListBox(const TwipRect&) { return std::make_unique<ScriptedListBox>(); }

std::unique_ptr<Button> ScriptedToolkit::CreateButton(const TwipRect&, const std::string& caption) {
    return std::make_unique<ScriptedButton>(caption);
}

std::unique_ptr<Label> ScriptedToolkit::CreateLabel(const TwipRect&, const std::string& caption, LabelStyle) {
    return std::make_unique<ScriptedLabel>(caption);
}

std::unique_ptr<FileDialog> ScriptedToolkit::CreateFileDialog() { return std::make_unique<ScriptedFileDialog>(*this); }

MsgBoxResult ScriptedToolkit::MsgBox(const std::string& prompt, unsigned style, const std::string& title) {
    messageBoxes.push_back({prompt, style, title});
    if ((style & 7u) != vbYesNo) return vbOK;
    if (messageAnswers.empty()) throw std::logic_error("no answer queued for the message box: " + prompt);
    MsgBoxResult answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::string ScriptedToolkit::InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultText) {
    inputBoxes.push_back({prompt, title, defaultText, rightArrowQueued_});
    rightArrowQueued_ = false;
    if (inputAnswers.empty()) throw std::logic_error("no answer queued for the input box: " + prompt);
    std::string answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

std::string ScriptedToolkit::NextFileName(const std::string& filter, const std::string& title) {
    fileDialogs.push_back({filter, title});
    if (fileNames.empty()) throw std::logic_error("no file name queued for the dialog: " + title);
    std::string name = fileNames.front();
    fileNames.pop_front();
    return name;
}

void Click(Button& button) { AsScripted<ScriptedButton>(button).UserClick(); }
void Click(Label& label) { AsScripted<ScriptedLabel>(label).UserClick(); }
void Click(ListBox& list, int16_t position) { AsScripted<ScriptedListBox>(list).UserClick(position); }
