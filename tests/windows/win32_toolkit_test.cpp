// The Win32 toolkit's controls as the rule list window relies on them: sorted list
// boxes without regard to case, selections the window makes sending no click, a
// disabled button sending none either, twips placed at the screen's resolution, a
// larger window's room going to the lists, the focus rule and the window's keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

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

    // Posts the key messages to the controls and takes them as the window's
    // message loop does.
    void Press(const std::vector<MSG>& keys) {
        for (const MSG& key : keys) PostMessageW(key.hwnd, key.message, key.wParam, key.lParam);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!toolkit.HandleKey(message)) DispatchMessageW(&message);
        }
    }
    static MSG Key(HWND control, UINT message, WPARAM key) { return MSG{control, message, key, 0, 0, {}}; }

    Win32Toolkit toolkit{GetModuleHandleW(nullptr)};
};

// Texts are UTF-8 both ways: "\xC3\xBC" sorts after every ASCII letter.
TEST_F(Win32ToolkitTest, ListBoxKeepsItemsSortedWithoutRegardToCaseAndTextsAreUtf8) {
    auto list = toolkit.CreateListBox({120, 240, 7212, 2160});
    for (const char* item : {"@beta.example",
                             "@\xC3\xBC"
                             "ber.example",
                             "@Alpha.example", "@ALPHA.example.org"})
        ASSERT_TRUE(list->AddItem(item));
    ASSERT_EQ(list->ListCount(), 4);
    const char* const sorted[] = {"@Alpha.example", "@ALPHA.example.org", "@beta.example",
                                  "@\xC3\xBC"
                                  "ber.example",
                                  ""};
    for (int16_t i = 0; i < 5; ++i) EXPECT_EQ(list->List(i), sorted[i]) << i << ", the last past the end";
    list->RemoveItem(0);
    EXPECT_EQ(list->ListCount(), 3);
    EXPECT_EQ(list->List(0), "@ALPHA.example.org");
    list->Clear();
    EXPECT_EQ(list->ListCount(), 0);

    auto label = toolkit.CreateLabel({0, 0, 1000, 300}, "\xC2\xA9 line one\rline two", LabelStyle::Plain);
    EXPECT_EQ(label->Caption(), "\xC2\xA9 line one\rline two");
    wchar_t shown[64] = {};
    GetWindowTextW(LastChild(), shown, 64);
    EXPECT_STREQ(shown, L"\u00A9 line one\r\nline two") << "a lone CR is shown as a line break";
}

// Neither sends a click while disabled.
TEST_F(Win32ToolkitTest, SelectionsTheWindowMakesSendNoClickButTheUsersAndButtonsDo) {
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

    auto button = toolkit.CreateButton({7440, 240, 1700, 300}, "Add");
    HWND control = LastChild();
    button->OnClick([&] { ++clicks; });
    EXPECT_EQ(button->Caption(), "Add");
    button->SetEnabled(false);
    EXPECT_FALSE(button->Enabled());
    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    button->SetEnabled(true);
    SendMessageW(control, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
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

TEST_F(Win32ToolkitTest, ALargerWindowGivesItsRoomToTheListsAndNeverShrinksBelowTheArrangement) {
    // A small arrangement, so that the larger window fits even a small desktop.
    toolkit.SetClientSize(4000, 4800);
    auto list = toolkit.CreateListBox({120, 240, 2000, 2160});
    HWND box = LastChild();
    auto lower = toolkit.CreateListBox({120, 2700, 2000, 1584});
    HWND lowerBox = LastChild();
    auto exit = toolkit.CreateButton({2200, 4400, 1500, 300}, "Exit");
    HWND button = LastChild();
    auto rectOf = [this](HWND control) {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, toolkit.window(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    const RECT boxBefore = rectOf(box), lowerBefore = rectOf(lowerBox), buttonBefore = rectOf(button);
    RECT frame, client;
    GetWindowRect(toolkit.window(), &frame);
    GetClientRect(toolkit.window(), &client);
    MINMAXINFO limits = {};
    SendMessageW(toolkit.window(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);
    EXPECT_TRUE(GetWindowLongW(toolkit.window(), GWL_STYLE) & WS_THICKFRAME) << "the frame can be dragged";

    SetWindowPos(toolkit.window(), nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 150,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    RECT grown;
    GetClientRect(toolkit.window(), &grown);
    const int wider = grown.right - client.right, taller = grown.bottom - client.bottom;
    ASSERT_EQ(taller, 150) << "the screen has room for the larger window";
    ASSERT_EQ(wider, 200);
    // The extra height is shared by the lists' heights, 2160 to 1584.
    const int upperShare = taller * 2160 / 3744, lowerShare = taller * 1584 / 3744;
    const RECT boxAfter = rectOf(box), lowerAfter = rectOf(lowerBox), buttonAfter = rectOf(button);
    EXPECT_EQ(boxAfter.right - boxAfter.left, boxBefore.right - boxBefore.left + wider);
    EXPECT_EQ(boxAfter.bottom - boxAfter.top, boxBefore.bottom - boxBefore.top + upperShare);
    EXPECT_EQ(lowerAfter.top, lowerBefore.top + upperShare);
    EXPECT_EQ(lowerAfter.bottom - lowerAfter.top, lowerBefore.bottom - lowerBefore.top + lowerShare);
    EXPECT_EQ(buttonAfter.left, buttonBefore.left + wider);
    EXPECT_EQ(buttonAfter.top, buttonBefore.top + upperShare + lowerShare);
    EXPECT_EQ(buttonAfter.right - buttonAfter.left, buttonBefore.right - buttonBefore.left);
}

TEST_F(Win32ToolkitTest, AButtonThatLosesTheFocusByBeingDisabledHandsItToTheNearestListNeverToAButton) {
    auto upper = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND upperBox = LastChild();
    auto upperDeleteAll = toolkit.CreateButton({0, 0, 1000, 300}, "Delete All");
    auto lower = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND lowerBox = LastChild();
    auto edit = toolkit.CreateButton({0, 0, 1000, 300}, "Edit");
    HWND editButton = LastChild();
    auto deleteAll = toolkit.CreateButton({0, 0, 1000, 300}, "Delete All");
    ShowWindow(toolkit.window(), SW_SHOW);
    SetForegroundWindow(toolkit.window());
    struct Case {
        bool lowerEnabled;
        HWND focused;
    };
    for (const Case& c : {Case{true, lowerBox}, Case{false, upperBox}}) {
        lower->SetEnabled(c.lowerEnabled);
        edit->SetEnabled(true);
        SetFocus(editButton);
        ASSERT_EQ(GetFocus(), editButton);
        edit->SetEnabled(false);
        EXPECT_EQ(GetFocus(), c.focused) << "lower list enabled: " << c.lowerEnabled;
    }
}

TEST_F(Win32ToolkitTest, F5ReloadsAndTheDeleteKeyInAListPressesItsDeleteButton) {
    auto list = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND box = LastChild();
    auto remove = toolkit.CreateButton({0, 0, 1000, 300}, "Delete");
    auto other = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND otherBox = LastChild();
    auto button = toolkit.CreateButton({0, 0, 1000, 300}, "Add");
    HWND add = LastChild();
    int reloads = 0, deletes = 0;
    toolkit.OnReload([&] { ++reloads; });
    remove->OnClick([&] { ++deletes; });
    Press({Key(add, WM_KEYDOWN, VK_F5), Key(box, WM_KEYDOWN, VK_F5), Key(box, WM_KEYDOWN, VK_DELETE),
           Key(otherBox, WM_KEYDOWN, VK_DELETE), Key(add, WM_KEYDOWN, VK_DELETE)});
    EXPECT_EQ(reloads, 2);
    EXPECT_EQ(deletes, 1) << "only in the list beside the button";
}

TEST_F(Win32ToolkitTest, TypingInAListSelectsTheFirstEntryThatBeginsWithWhatWasTyped) {
    auto list = toolkit.CreateListBox({0, 0, 1000, 1000});
    HWND box = LastChild();
    for (const char* entry : {"@alpha.example", "@pa.example", "@Partner.example", "@pb.example", "@zulu.example"})
        list->AddItem(entry);
    int clicks = 0;
    list->OnClick([&] { ++clicks; });
    struct Case {
        int pauseBefore;  // milliseconds
        const wchar_t* typed;
        const char* selected;
    };
    const Case cases[] = {
        {0, L"@par", "@Partner.example"},  // without regard to case, past the shorter "@pa"
        {1100, L"@pb", "@pb.example"},     // begun anew after a pause
        {0, L"x", "@pb.example"},          // nothing begins "@pbx": the selection stays
    };
    for (const Case& c : cases) {
        Sleep(static_cast<DWORD>(c.pauseBefore));
        std::vector<MSG> keys;
        for (const wchar_t* letter = c.typed; *letter; ++letter) keys.push_back(Key(box, WM_CHAR, *letter));
        Press(keys);
        EXPECT_EQ(list->List(list->ListIndex()), c.selected) << c.selected;
    }
    EXPECT_EQ(clicks, 6) << "a click for each selection typing made: it is the user's";
}

}  // namespace
