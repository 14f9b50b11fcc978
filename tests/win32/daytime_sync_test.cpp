// A synchronisation under Wine, from the click to the labels: the real window and client against
// daytime servers that the test runs on loopback addresses, with the fake clock and tick count.
#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_win32.h"
#include "app/ui_text_win32.h"
#include "sync/daytime_sync_win32.h"
#include "tests/fakes/fake_local_clock.h"
#include "tests/fakes/fake_tick_count.h"
#include "tests/gbk.h"
#include "tests/win32/pump_win32.h"

namespace {

// A daytime server on one loopback address: it sends `reply` to every connection it accepts,
// then waits for the client to close, and counts the connections and the bytes it received.
class DaytimeServer {
public:
    DaytimeServer(const char* address, int port, std::string reply) : reply_(std::move(reply)) {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = inet_addr(address);
        where.sin_port = htons(static_cast<u_short>(port));
        const BOOL reuse = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof reuse);
        if (bind(listener_, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
            listen(listener_, 4) != 0) {
            ADD_FAILURE() << "cannot listen on " << address << ':' << port;
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~DaytimeServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        closesocket(listener_);
    }
    int accepted() const { return accepted_; }
    int closedByClient() const { return closedByClient_; }
    int bytesReceived() const { return bytesReceived_; }

private:
    static bool Readable(SOCKET s, int milliseconds) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{0, milliseconds * 1000};
        return select(0, &set, nullptr, nullptr, &wait) == 1;
    }
    void Serve() {
        while (!stop_) {
            if (!Readable(listener_, 50)) continue;
            const SOCKET connection = accept(listener_, nullptr, nullptr);
            if (connection == INVALID_SOCKET) continue;
            ++accepted_;
            send(connection, reply_.data(), static_cast<int>(reply_.size()), 0);
            char buffer[256];
            while (!stop_) {
                if (!Readable(connection, 50)) continue;
                const int got = recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    closedByClient_ += got == 0;
                    break;
                }
                bytesReceived_ += got;
            }
            closesocket(connection);
        }
    }

    std::string reply_;
    SOCKET listener_ = INVALID_SOCKET;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0}, closedByClient_{0}, bytesReceived_{0};
};

// Five loopback hosts, as the program's five servers; a test starts servers on some of them.
const char* const kHosts[] = {"127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14", "127.0.0.15"};

int FreePort() {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, reinterpret_cast<const sockaddr*>(&where), sizeof where);
    int length = sizeof where;
    getsockname(s, reinterpret_cast<sockaddr*>(&where), &length);
    closesocket(s);
    return ntohs(where.sin_port);
}

std::string NistLine(const char* dateAndTime, char health = '0') {
    return std::string("\n56182 ") + dateAndTime + " 50 0 " + health + " 0.0 UTC(NIST) *\n";
}

class DaytimeSyncTest : public testing::Test {
protected:
    void SetUp() override {
        WSADATA details;
        WSAStartup(MAKEWORD(2, 2), &details);
        fake_clock::Reset(MakeDateTime(2012, 9, 12, 12, 20, 0));
        fake_ticks::Set(1'000'000);
        window_ = CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window_, nullptr);
        port_ = FreePort();
    }
    void TearDown() override {
        if (IsWindow(window_)) DestroyWindow(window_);
        WSACleanup();
    }

    void Click(int hostCount = 5) { SyncWithServers({kHosts, kHosts + hostCount}, port_); }

    std::string Text(int id) const { return GetWindowTextGbk(GetDlgItem(window_, id)); }

    // Runs messages until the label after a synchronisation shows `text`.
    bool AfterLabelShows(const std::string& text) {
        return PumpUntil([&] { return Text(k透明标签3网络时间Id) == text; }, 5000);
    }

    HWND window_ = nullptr;
    int port_ = 0;
};

TEST_F(DaytimeSyncTest, AGoodReplySetsTheClockAndShowsBothTimes) {
    DaytimeServer server(kHosts[0], port_, NistLine("12-09-12 04:26:27"));
    Click();
    EXPECT_EQ(Text(k按钮同步时间Id), Gbk("再次同步"));
    ASSERT_TRUE(AfterLabelShows(Gbk("同步后时间：2012年9月12日12时26分27秒")));
    EXPECT_EQ(Text(k透明标签3系统时间Id), Gbk("同步前时间：2012年9月12日12时20分"));
    EXPECT_EQ(Text(k透明标签1Id), Gbk("当前时间：2012年09月12日12时26分27秒"));
    ASSERT_EQ(fake_clock::Settings().size(), 1u);
    const LocalTimeFields set{2012, 9, 3, 12, 12, 26, 27, 0};
    EXPECT_EQ(fake_clock::Settings()[0], set);
    EXPECT_EQ(server.accepted(), 1);
}

TEST_F(DaytimeSyncTest, TriesTheHostsInOrderUntilOneAccepts) {
    // Nothing listens on the first two: they refuse.
    DaytimeServer third(kHosts[2], port_, NistLine("12-12-31 16:00:00"));
    DaytimeServer fourth(kHosts[3], port_, NistLine("12-12-31 16:00:00"));
    DaytimeServer fifth(kHosts[4], port_, NistLine("12-12-31 16:00:00"));
    Click();
    ASSERT_TRUE(AfterLabelShows(Gbk("同步后时间：2013年1月1日")));
    EXPECT_EQ(third.accepted(), 1);
    EXPECT_EQ(fourth.accepted(), 0);
    EXPECT_EQ(fifth.accepted(), 0);
}

struct FailureCase {
    const char* name;
    std::string reply;
    const char* afterLabel;  // UTF-8
};

TEST_F(DaytimeSyncTest, AReplyThatCannotBeUsedIsReportedAndSetsNothing) {
    const FailureCase cases[] = {
        {"unhealthy", NistLine("12-09-12 04:26:27", '2'), "同步失败：服务器时间不可靠"},
        {"month 13", NistLine("12-13-12 04:26:27"), "同步失败：无法识别服务器时间"},
        {"second 60", NistLine("12-09-12 04:26:60"), "同步失败：无法识别服务器时间"},
        {"three-digit year", NistLine("123-09-12 04:26:27"), "同步失败：无法识别服务器时间"},
    };
    for (const FailureCase& c : cases) {
        SetWindowTextGbk(GetDlgItem(window_, k透明标签3系统时间Id), "old");
        SetWindowTextGbk(GetDlgItem(window_, k透明标签3网络时间Id), "old");
        fake_ticks::Advance(kMinimumQueryIntervalMs);
        DaytimeServer server(kHosts[0], port_, c.reply);
        Click(1);
        EXPECT_TRUE(AfterLabelShows(Gbk(c.afterLabel))) << c.name;
        EXPECT_EQ(Text(k透明标签3系统时间Id), "") << c.name;
    }
    EXPECT_TRUE(fake_clock::Settings().empty());
}

TEST_F(DaytimeSyncTest, TooLittleOfAReplyChangesNothingVisible) {
    SetWindowTextGbk(GetDlgItem(window_, k透明标签3系统时间Id), "before");
    SetWindowTextGbk(GetDlgItem(window_, k透明标签3网络时间Id), "after");
    const std::string replies[] = {"\n56182 12-09-12", std::string("\0 12-09-12 04:26:27", 18),
                                   "\n56182  12-09-12 04:26:27\n", "\n56182 12-09 04:26:27\n"};
    for (const std::string& reply : replies) {
        fake_ticks::Advance(kMinimumQueryIntervalMs);
        DaytimeServer server(kHosts[0], port_, reply);
        Click(1);
        PumpUntil([&] { return server.accepted() == 1; }, 2000);
        PumpFor(300);
    }
    EXPECT_EQ(Text(k透明标签3系统时间Id), "before");
    EXPECT_EQ(Text(k透明标签3网络时间Id), "after");
    EXPECT_TRUE(fake_clock::Settings().empty());
}

TEST_F(DaytimeSyncTest, ARefusedSettingIsReportedInsteadOfATimeAfter) {
    fake_clock::RefuseSettings(true);
    DaytimeServer server(kHosts[0], port_, NistLine("12-09-12 04:26:27"));
    Click();
    ASSERT_TRUE(AfterLabelShows(Gbk("设置失败，请以管理员身份运行")));
    EXPECT_EQ(Text(k透明标签3系统时间Id), "");
    EXPECT_EQ(Text(k透明标签1Id), Gbk("当前时间：2012年09月12日12时20分00秒"));
    EXPECT_EQ(fake_clock::Settings().size(), 1u);
}

TEST_F(DaytimeSyncTest, TwoRepliesInARowSetTheClockTwice) {
    {
        DaytimeServer server(kHosts[0], port_, NistLine("12-09-12 04:26:27"));
        Click(1);
        ASSERT_TRUE(AfterLabelShows(Gbk("同步后时间：2012年9月12日12时26分27秒")));
    }
    fake_clock::Reset(MakeDateTime(2012, 9, 12, 12, 30, 5));
    fake_ticks::Advance(kMinimumQueryIntervalMs);
    DaytimeServer server(kHosts[0], port_, NistLine("12-09-12 04:31:00"));
    Click(1);
    ASSERT_TRUE(AfterLabelShows(Gbk("同步后时间：2012年9月12日12时31分")));
    EXPECT_EQ(Text(k透明标签3系统时间Id), Gbk("同步前时间：2012年9月12日12时30分5秒"));
    EXPECT_EQ(fake_clock::Settings().size(), 1u);  // the Reset above forgot the first
}

TEST_F(DaytimeSyncTest, AClickWithinFourSecondsOfAnAcceptDoesNothing) {
    // The server never answers, so the first connection stays open.
    DaytimeServer silent(kHosts[0], port_, "");
    Click(1);
    ASSERT_TRUE(PumpUntil([&] { return silent.accepted() == 1; }, 2000));

    SetWindowTextGbk(GetDlgItem(window_, k按钮同步时间Id), "marker");
    fake_clock::Reset(MakeDateTime(2020, 1, 1, 0, 0, 0));
    fake_ticks::Advance(kMinimumQueryIntervalMs - 1);
    Click(1);
    PumpFor(300);
    EXPECT_EQ(silent.accepted(), 1) << "no new attempt";
    EXPECT_EQ(Text(k按钮同步时间Id), "marker") << "no caption change";
    EXPECT_EQ(Text(k透明标签1Id).find(Gbk("2020年")), std::string::npos) << "no reload";

    // Four seconds on, the click closes the open connection and starts again from the first.
    fake_ticks::Advance(1);
    Click(1);
    EXPECT_TRUE(PumpUntil([&] { return silent.accepted() == 2; }, 2000));
    EXPECT_TRUE(PumpUntil([&] { return silent.closedByClient() == 1; }, 2000));
    EXPECT_EQ(Text(k按钮同步时间Id), Gbk("再次同步"));
    EXPECT_EQ(silent.bytesReceived(), 0) << "the client sends nothing";
}

// Reads the message box from another thread while the click waits in it, then closes it.
struct MessageBoxSeen {
    std::string text, caption, buttonCaption, clockLabel;
};

// The box's text is its one static control with a text (its identifier differs between systems).
std::string MessageBoxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16];
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextLengthW(child) > 0) {
            return GetWindowTextGbk(child);
        }
    }
    return {};
}

TEST_F(DaytimeSyncTest, WhenNoHostAcceptsAMessageBoxSaysSoBeforeTheCaptionChanges) {
    fake_clock::Reset(MakeDateTime(2012, 9, 12, 12, 25, 0));  // the clock moved meanwhile
    MessageBoxSeen seen;
    const DWORD processId = GetCurrentProcessId();
    HWND button = GetDlgItem(window_, k按钮同步时间Id);
    HWND clock = GetDlgItem(window_, k透明标签1Id);
    std::thread watcher([&] {
        for (int i = 0; i < 200; ++i) {
            HWND box = FindWindowW(L"#32770", nullptr);
            DWORD owner = 0;
            if (box) GetWindowThreadProcessId(box, &owner);
            if (box && owner == processId) {
                seen.text = MessageBoxText(box);
                seen.caption = GetWindowTextGbk(box);
                seen.buttonCaption = GetWindowTextGbk(button);
                seen.clockLabel = GetWindowTextGbk(clock);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(50);
        }
    });
    Click();  // all five refuse
    watcher.join();
    EXPECT_EQ(seen.text, Gbk("请检查网络"));
    EXPECT_EQ(seen.caption, Gbk("严重错误"));
    EXPECT_EQ(seen.buttonCaption, Gbk("同步时间")) << "the caption changes after the box";
    EXPECT_EQ(seen.clockLabel, Gbk("当前时间：2012年09月12日12时25分00秒")) << "reloaded first";
    EXPECT_EQ(Text(k按钮同步时间Id), Gbk("再次同步"));
}

}  // namespace
