// The Win32 toolkit's controls as the rule list window relies on them: sorted list
// boxes without regard to case, selections the window makes sending no click, a
// disabled button sending none either, and twips placed at the screen's resolution.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_toolkit.h"

namespace {

class Win32ToolkitTest : public ::testing::Test {
protected:
    // The most recently created control of the window.
    HWND LastChild() const {
        HWND last = nullptr;
        for (HWND child = GetWindow(toolkit.window(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            last = child;
        return last;
    }
    void Notify(HWND control, WORD code) {
        SendMessageW(toolkit.window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                     reinterpret_cast<LPARAM>(control));
    }

    Win32Toolkit toolkit{GetModuleHandleW(nullptr)};
};

TEST_F(Win32ToolkitTest, ListBoxKeepsItemsSortedWithoutRegardToCase) {
    auto list = toolkit.CreateListBox({120, 240, 7212, 2160});
    ASSERT_TRUE(list->AddItem("@beta.example"));
    ASSERT_TRUE(list->AddItem("@Alpha.example"));
    ASSERT_TRUE(list->AddItem("@gamma.example"));
    ASSERT_TRUE(list->AddItem("@ALPHA.example.org"));
    ASSERT_EQ(list->ListCount(), 4);
    EXPECT_EQ(list->List(0), "@Alpha.example");
    EXPECT_EQ(list->List(1), "@ALPHA.example.org");
    EXPECT_EQ(list->List(2), "@beta.example");
    EXPECT_EQ(list->List(3), "@gamma.example");
    EXPECT_EQ(list->List(4), "") << "past the end";
    list->RemoveItem(0);
    EXPECT_EQ(list->ListCount(), 3);
    EXPECT_EQ(list->List(0), "@ALPHA.example.org");
    list->Clear();
    EXPECT_EQ(list->ListCount(), 0);
}

TEST_F(Win32ToolkitTest, TextsAreUtf8BothWays) {
    auto list = toolkit.CreateListBox({0, 0, 1000, 1000});
    ASSERT_TRUE(list->AddItem("@b\xC3\xA4r.example"));
    EXPECT_EQ(list->List(0), "@b\xC3\xA4r.example");
    auto label = toolkit.CreateLabel({0, 0, 1000, 300}, "\xC2\xA9 line one\rline two", LabelStyle::Plain);
    EXPECT_EQ(label->Caption(), "\xC2\xA9 line one\rline two");
    wchar_t shown[64] = {};
    GetWindowTextW(LastChild(), shown, 64);
    EXPECT_STREQ(shown, L"\u00A9 line one\r\nline two") << "a lone CR is shown as a line break";
}

TEST_F(Win32ToolkitTest, SelectionsTheWindowMakesSendNoClickButTheUsersDo) {
    auto list = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND box = LastChild();
    int clicks = 0;
    list->OnClick([&] { ++clicks; });
    list->AddItem("@one.example");
    list->AddItem("@two.example");
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_EQ(list->SelCount(), 0);
    list->SetListIndex(1);
    EXPECT_EQ(list->ListIndex(), 1);
    EXPECT_EQ(list->SelCount(), 1);
    list->SetList(1, "@three.example");
    EXPECT_EQ(list->List(1), "@three.example") << "replaced in place, not re-sorted";
    EXPECT_EQ(list->ListIndex(), 1) << "and still selected";
    list->SetListIndex(-1);
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_EQ(clicks, 0);
    Notify(box, LBN_SELCHANGE);
    EXPECT_EQ(clicks, 1);
    list->SetEnabled(false);
    Notify(box, LBN_SELCHANGE);
    EXPECT_EQ(clicks, 1) << "never while disabled";
}

TEST_F(Win32ToolkitTest, DisabledButtonSendsNoClick) {
    auto button = toolkit.CreateButton({7440, 240, 1700, 300}, "Add");
    HWND control = LastChild();
    int clicks = 0;
    button->OnClick([&] { ++clicks; });
    EXPECT_EQ(button->Caption(), "Add");
    button->SetEnabled(false);
    EXPECT_FALSE(button->Enabled());
    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 0);
    button->SetEnabled(true);
    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Win32ToolkitTest, ControlsStandAtTheirTwipsForTheScreensResolution) {
    HDC screen = GetDC(nullptr);
    int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    auto button = toolkit.CreateButton({7440, 2160, 1700, 300}, "Export");
    RECT rect;
    GetWindowRect(LastChild(), &rect);
    MapWindowPoints(nullptr, toolkit.window(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, MulDiv(7440, dpiX, 1440));
    EXPECT_EQ(rect.top, MulDiv(2160, dpiY, 1440));
    EXPECT_EQ(rect.right - rect.left, MulDiv(1700, dpiX, 1440));
    EXPECT_EQ(rect.bottom - rect.top, MulDiv(300, dpiY, 1440));

    toolkit.SetClientSize(9204, 7536);
    RECT client;
    GetClientRect(toolkit.window(), &client);
    EXPECT_EQ(client.right, MulDiv(9204, dpiX, 1440));
    EXPECT_EQ(client.bottom, MulDiv(7536, dpiY, 1440));
}

}  // namespace
