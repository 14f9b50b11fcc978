// MainWindow under Wine: the real window and its controls, driven with real messages and read
// back from the screen.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/control_theme_win32.h"
#include "app/hyperlink_box_win32.h"
#include "app/main_window_win32.h"
#include "app/timer_win32.h"
#include "app/transparent_label_win32.h"
#include "app/ui_text_win32.h"
#include "tests/fakes/fake_local_clock.h"
#include "tests/fakes/fake_shell_win32.h"
#include "tests/gbk.h"
#include "tests/win32/pump_win32.h"

namespace {

const DateTime kStart = MakeDateTime(2012, 9, 12, 4, 26, 27);

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        fake_clock::Reset(kStart);
        fake_shell::Reset(true);
        window_ = CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window_)) DestroyWindow(window_);
        PumpFor(50);
    }

    // Shown in front and painted, so that the screen holds what the window drew.
    void ShowAndPaint() {
        ShowWindow(window_, SW_SHOW);
        SetForegroundWindow(window_);
        UpdateWindow(window_);
        PumpFor(300);
    }

    HWND Control(int id) const { return GetDlgItem(window_, id); }

    HWND window_ = nullptr;
};

RECT ClientPlace(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// How many pixels of the control's client area, as the screen shows it, are exactly `colour`.
int CountPixels(HWND control, COLORREF colour) {
    RECT area;
    GetClientRect(control, &area);
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) count += ScreenPixel(control, x, y) == colour;
    return count;
}

// Pixels of a horizontal band of the control that are not the window's background.
int InkInColumns(HWND control, int fromX, int toX) {
    RECT area;
    GetClientRect(control, &area);
    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    int ink = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = fromX; x < toX; ++x) ink += ScreenPixel(control, x, y) != background;
    return ink;
}

TEST_F(MainWindowTest, HasItsSizePlaceAndFixedFrame) {
    RECT outer;
    GetWindowRect(window_, &outer);
    EXPECT_EQ(outer.right - outer.left, 353);
    EXPECT_EQ(outer.bottom - outer.top, 227);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 353) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 227) / 2);

    const LONG style = GetWindowLongW(window_, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
    EXPECT_FALSE(GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainWindowTest, PlacesEveryControlOnTheForm) {
    struct Expected {
        int id, left, top, width, height;
    };
    const Expected controls[] = {
        {k透明标签1Id, 48, 14, 250, 16},          {k按钮同步时间Id, 137, 48, 72, 32},
        {k透明标签3系统时间Id, 48, 102, 250, 16}, {k透明标签3网络时间Id, 48, 136, 250, 16},
        {k超级链接框1Id, 277, 166, 64, 24},
    };
    for (const Expected& c : controls) {
        HWND control = Control(c.id);
        ASSERT_NE(control, nullptr) << c.id;
        const RECT r = ClientPlace(control);
        EXPECT_EQ(r.left, c.left) << c.id;
        EXPECT_EQ(r.top, c.top) << c.id;
        EXPECT_EQ(r.right - r.left, c.width) << c.id;
        EXPECT_EQ(r.bottom - r.top, c.height) << c.id;
    }
    EXPECT_TRUE(GetWindowLongW(Control(k超级链接框1Id), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
}

TEST_F(MainWindowTest, TheButtonIsTheOnlyTabStopAndNotTheDefault) {
    int tabStops = 0;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) {
            ++tabStops;
            EXPECT_EQ(child, Control(k按钮同步时间Id));
        }
    }
    EXPECT_EQ(tabStops, 1);
    HWND button = Control(k按钮同步时间Id);
    EXPECT_NE(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)),
              GetStockObject(DEFAULT_GUI_FONT));
}

TEST_F(MainWindowTest, ShowsItsTextsAndTheClockBeforeItIsFirstShown) {
    EXPECT_FALSE(IsWindowVisible(window_));
    EXPECT_EQ(GetWindowTextGbk(window_), Gbk("澜屿时间同步"));
    EXPECT_EQ(GetWindowTextGbk(Control(k按钮同步时间Id)), Gbk("同步时间"));
    EXPECT_EQ(GetWindowTextGbk(Control(k超级链接框1Id)), Gbk("联系作者"));
    EXPECT_EQ(GetWindowTextGbk(Control(k透明标签1Id)), Gbk("当前时间：2012年09月12日04时26分27秒"));
    EXPECT_EQ(GetWindowTextGbk(Control(k透明标签3系统时间Id)), "");
    EXPECT_EQ(GetWindowTextGbk(Control(k透明标签3网络时间Id)), "");
    EXPECT_EQ(mainWindow.时钟1.period, 1000);
}

TEST_F(MainWindowTest, TheClockAdvancesOnceAPeriodWithoutReadingTheLocalClock) {
    const int readings = fake_clock::ReadCount();
    HWND label = Control(k透明标签1Id);
    const std::string next = Gbk("当前时间：2012年09月12日04时26分28秒");
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextGbk(label) == next; }, 2500));
    EXPECT_EQ(fake_clock::ReadCount(), readings);
}

TEST_F(MainWindowTest, ATimeChangeOrAResumeReloadsTheClock) {
    HWND label = Control(k透明标签1Id);
    fake_clock::Reset(MakeDateTime(2013, 1, 1, 0, 0, 0));
    SendMessageW(window_, WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(GetWindowTextGbk(label), Gbk("当前时间：2013年01月01日00时00分00秒"));

    fake_clock::Reset(MakeDateTime(2014, 2, 3, 4, 5, 6));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_EQ(GetWindowTextGbk(label), Gbk("当前时间：2013年01月01日00时00分00秒"));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(GetWindowTextGbk(label), Gbk("当前时间：2014年02月03日04时05分06秒"));
}

// A fallback, so that a window that does not close ends the loop instead of the test run.
void CALLBACK QuitAfterTimeout(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(99);
}

TEST_F(MainWindowTest, EscapeClosesTheWindowAndEndsTheRun) {
    ShowAndPaint();
    HWND button = Control(k按钮同步时间Id);
    EXPECT_EQ(GetFocus(), button);
    PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(button, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    const UINT_PTR fallback = SetTimer(nullptr, 0, 5000, QuitAfterTimeout);
    EXPECT_EQ(RunMessageLoop(window_), 0);
    KillTimer(nullptr, fallback);
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(MainWindowTest, TheButtonFrameIsDrawnInTheBlueScheme) {
    ShowAndPaint();
    HWND button = Control(k按钮同步时间Id);
    RECT r;
    GetClientRect(button, &r);
    EXPECT_EQ(ScreenPixel(button, r.right / 2, 0), kBlueSchemeFrameColor);
    EXPECT_EQ(ScreenPixel(button, r.right / 2, r.bottom - 1), kBlueSchemeFrameColor);
    EXPECT_EQ(ScreenPixel(button, 0, r.bottom / 2), kBlueSchemeFrameColor);

    // Olive green and silver have frames of their own; any other value gives the plain look.
    ApplyControlTheme(2);
    PumpFor(200);
    const COLORREF olive = ScreenPixel(button, r.right / 2, 0);
    ApplyControlTheme(3);
    PumpFor(200);
    const COLORREF silver = ScreenPixel(button, r.right / 2, 0);
    EXPECT_NE(olive, kBlueSchemeFrameColor);
    EXPECT_NE(silver, kBlueSchemeFrameColor);
    EXPECT_NE(olive, silver);

    ApplyControlTheme(0);
    PumpFor(200);
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_NE(ScreenPixel(button, r.right / 2, 0), kBlueSchemeFrameColor);
    ApplyControlTheme(1);
    PumpFor(200);
    EXPECT_EQ(ScreenPixel(button, r.right / 2, 0), kBlueSchemeFrameColor);
}

TEST_F(MainWindowTest, ALabelLeavesNothingOfItsOldTextBehind) {
    ShowAndPaint();
    HWND label = Control(k透明标签3网络时间Id);
    SetLabelText(label, Gbk("同步后时间：2012年12月31日23时59分59秒"));
    PumpFor(100);
    RECT area;
    GetClientRect(label, &area);
    const int edge = area.right / 4;
    ASSERT_GT(InkInColumns(label, 0, edge), 0) << "the long text should reach the edges";
    ASSERT_GT(InkInColumns(label, area.right - edge, area.right), 0);

    SetLabelText(label, "x");
    PumpFor(100);
    EXPECT_EQ(InkInColumns(label, 0, edge), 0);
    EXPECT_EQ(InkInColumns(label, area.right - edge, area.right), 0);
    EXPECT_GT(InkInColumns(label, edge, area.right - edge), 0) << "the new text is drawn";
}

TEST_F(MainWindowTest, TheLinkTakesItsColoursFromTheMouseAndTheShell) {
    ShowAndPaint();
    HWND link = Control(k超级链接框1Id);
    RECT r;
    GetWindowRect(link, &r);
    const POINT inside{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const POINT outside{r.left - 150, r.top - 100};
    auto showsColour = [&](COLORREF colour) {
        return PumpUntil([&] { return CountPixels(link, colour) >= 5; }, 1000);
    };

    SetCursorPos(outside.x, outside.y);
    EXPECT_TRUE(showsColour(kLinkColor)) << "at rest";
    SetCursorPos(inside.x, inside.y);
    EXPECT_TRUE(showsColour(kLinkHoverColor)) << "under the mouse";

    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ASSERT_EQ(fake_shell::Opened().size(), 1u);
    EXPECT_EQ(fake_shell::Opened()[0], L"mailto:support@lanyu.example");
    SetCursorPos(outside.x, outside.y);
    EXPECT_TRUE(showsColour(kLinkVisitedColor)) << "after the link opened";
    EXPECT_EQ(CountPixels(link, kLinkColor), 0);

    fake_shell::Reset(false);  // the next press finds no mail program
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(showsColour(kLinkColor)) << "after the link failed to open";
    EXPECT_EQ(CountPixels(link, kLinkVisitedColor), 0);
}

// The timer component on a window of the test's own.
int ticks = 0;
void CountTick() {
    ++ticks;
}

TEST(Timer, FollowsItsPeriodRules) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    Timer timer;
    ASSERT_TRUE(CreateTimer(timer, owner, CountTick));
    ticks = 0;
    PumpFor(300);
    EXPECT_EQ(ticks, 0) << "a new timer is stopped";

    SetTimerPeriod(timer, 50);
    EXPECT_TRUE(PumpUntil([] { return ticks >= 3; }, 2000));

    SetTimerPeriod(timer, -5);
    EXPECT_EQ(timer.period, 0) << "a negative period counts as 0";
    PumpFor(50);
    ticks = 0;
    PumpFor(300);
    EXPECT_EQ(ticks, 0) << "0 stops it";

    // Setting the period it already has must not restart it: the first tick still comes 1000 ms
    // after the start, not 1000 ms after the second setting.
    SetTimerPeriod(timer, 1000);
    PumpFor(600);
    SetTimerPeriod(timer, 1000);
    PumpFor(800);
    EXPECT_EQ(ticks, 1);

    DestroyWindow(owner);
    EXPECT_EQ(timer.window, nullptr);
    EXPECT_EQ(timer.period, 0);
}

}  // namespace
