// The window toolkit over Qt 6 Widgets: the real window of the configuration
// tool. Controls stand where their twip rectangles say, at 15 twips to a pixel,
// scaled for the screen's resolution and, where the font is wider than the one the
// arrangement was drawn for, enough for every caption to fit.
#pragma once
#include <QWidget>
#include <memory>
#include <vector>

#include "window_toolkit.h"

class QtToolkit : public WindowToolkit {
public:
    // Needs a QApplication. The window stays hidden until Show.
    QtToolkit();
    ~QtToolkit() override;

    std::unique_ptr<ListBox> CreateListBox(const TwipRect& rect) override;
    std::unique_ptr<Button> CreateButton(const TwipRect& rect, const std::string& caption) override;
    std::unique_ptr<Label> CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) override;
    std::unique_ptr<FileDialog> CreateFileDialog() override;

    void SetClientSize(int widthTwips, int heightTwips) override;
    void SetTitle(const std::string& title) override;
    void Close() override;

    MsgBoxResult MsgBox(const std::string& prompt, unsigned style, const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) override;
    void SendRightArrow() override { rightArrowQueued_ = true; }
    void ShellOpen(const std::string& address) override;
    void OnReload(std::function<void()> handler) override;

    // Lays the controls out for the screen and shows the window.
    void Show();
    QWidget& window() { return *window_; }
    // Pixels per twip after scaling.
    double scale() const { return pixelsPerTwip_; }

private:
    struct Placed {
        QWidget* widget;
        TwipRect rect;
        bool fitsText;  // the arrangement is scaled up until its text fits
    };
    void Place(QWidget* widget, const TwipRect& rect, bool fitsText);
    void ChooseScale();
    void ApplyLayout();

    std::unique_ptr<QWidget> window_;
    std::vector<Placed> placed_;
    QWidget* lastList_ = nullptr;  // the list box the next buttons stand beside
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    double pixelsPerTwip_ = 1.0 / 15.0;
    bool rightArrowQueued_ = false;
};

// The Qt widget behind a control made by QtToolkit, or nullptr for another toolkit's.
QWidget* QtWidgetOf(const ListBox& control);
QWidget* QtWidgetOf(const Button& control);
QWidget* QtWidgetOf(const Label& control);
