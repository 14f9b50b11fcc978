// Client against servers that the test runs itself on loopback: what arrives, when, and what not.
// Winsock 2 first: <windows.h> would otherwise bring in the older winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sync/client_win32.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// How long anything that should happen at once may take before the test calls it a failure.
constexpr Milliseconds kPatience = 10s;

constexpr char kNistLine[] = "\n60966 25-10-18 06:49:19 16 0 0 724.2 UTC(NIST) *\n";

// What the client raised, in order.
struct Event {
    enum Kind { kData, kClosed } kind;
    std::string bytes;
    friend bool operator==(const Event&, const Event&) = default;
};

void PrintTo(const Event& event, std::ostream* out) {
    if (event.kind == Event::kClosed) {
        *out << "ConnectionClosed";
    } else if (event.bytes.size() > 80) {
        *out << "DataArrived(" << event.bytes.size() << " bytes)";
    } else {
        *out << "DataArrived(\"" << event.bytes << "\")";
    }
}

Event Data(std::string bytes) {
    return {Event::kData, std::move(bytes)};
}
const Event kClosed = {Event::kClosed, {}};

SOCKET ListenOnLoopback(u_short port, int backlog) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (s == INVALID_SOCKET ||
        bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (backlog >= 0 && listen(s, backlog) != 0)) {
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

int PortOf(SOCKET s) {
    sockaddr_in address = {};
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// True when `s` has something to read (or a connection to accept) within `limit`.
bool ReadableWithin(SOCKET s, Milliseconds limit) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    const long ms = static_cast<long>(limit.count());
    timeval wait = {ms / 1000, ms % 1000 * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

void SendAll(SOCKET s, std::string_view bytes) {
    while (!bytes.empty()) {
        const int sent = send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent <= 0) return;
        bytes.remove_prefix(sent);
    }
}

// What a server read from its connection until the client closed it (or kPatience ran out).
struct Drained {
    bool sawEnd = false;
    std::size_t bytes = 0;
};

Drained ReadUntilEnd(SOCKET s) {
    Drained drained;
    const auto deadline = Clock::now() + kPatience;
    char buffer[4096];
    while (Clock::now() < deadline) {
        if (!ReadableWithin(s, 100ms)) continue;
        const int got = recv(s, buffer, sizeof buffer, 0);
        if (got <= 0) {
            drained.sawEnd = got == 0;
            break;
        }
        drained.bytes += got;
    }
    return drained;
}

// A server on an ephemeral loopback port: it accepts one connection and runs `serve` with it on a
// thread of its own, then closes it. Every wait in it is bounded, so joining never hangs.
class LoopbackServer {
public:
    explicit LoopbackServer(std::function<void(SOCKET)> serve)
        : listener_(ListenOnLoopback(0, SOMAXCONN)) {
        if (listener_ == INVALID_SOCKET) {
            ADD_FAILURE() << "cannot listen on loopback: " << WSAGetLastError();
            return;
        }
        port_ = PortOf(listener_);
        thread_ = std::thread([this, serve = std::move(serve)] {
            if (!ReadableWithin(listener_, kPatience)) return;
            const SOCKET connection = accept(listener_, nullptr, nullptr);
            if (connection == INVALID_SOCKET) return;
            serve(connection);
            closesocket(connection);
        });
    }
    ~LoopbackServer() {
        Join();
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }

private:
    SOCKET listener_;
    int port_ = 0;
    std::thread thread_;
};

// Runs the thread's messages until `done` holds or `limit` has passed; true when `done` held.
bool PumpUntil(const std::function<bool()>& done, Milliseconds limit = kPatience) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (done()) return true;
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (left <= 0ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
    }
}

// Waits, dispatching nothing, until `window` has `message` in its queue; `removal` as for
// PeekMessage. True when it came within `limit`.
bool WaitForMessage(HWND window, UINT message, UINT removal, Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    MSG found;
    while (!PeekMessageW(&found, window, message, message, removal)) {
        if (Clock::now() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
    }
    return true;
}

void PumpFor(Milliseconds time) {
    PumpUntil([] { return false; }, time);
}

std::chrono::microseconds TimeOf(const std::function<void()>& action) {
    const auto start = Clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

// A plain hidden top-level window as the parent, the client on it, and what the client raises.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA details;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &details), 0);  // for the test's own servers
        current_ = this;
        parent_ = CreateWindowExW(0, L"STATIC", L"client test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        ASSERT_TRUE(CreateClient(client_, parent_, &OnDataArrived, &OnConnectionClosed));
    }

    void TearDown() override {
        // The client's socket goes with its window, which lets servers waiting for the end finish.
        DestroyParent();
        servers_.clear();
        current_ = nullptr;
        WSACleanup();
    }

    LoopbackServer& Serve(std::function<void(SOCKET)> serve) {
        return *servers_.emplace_back(std::make_unique<LoopbackServer>(std::move(serve)));
    }

    void DestroyParent() {
        if (parent_ != nullptr) DestroyWindow(parent_);
        parent_ = nullptr;
    }

    bool Closed() const { return !events_.empty() && events_.back() == kClosed; }

    std::size_t BytesArrived() const {
        std::size_t total = 0;
        for (const Event& event : events_) total += event.bytes.size();
        return total;
    }

    static void OnDataArrived() {
        const std::string bytes = GetReceivedData(current_->client_);
        EXPECT_EQ(GetReceivedData(current_->client_), bytes) << "a second read in one event";
        current_->events_.push_back(Data(bytes));
    }

    static void OnConnectionClosed() { current_->events_.push_back(kClosed); }

    static inline ClientTest* current_ = nullptr;
    HWND parent_ = nullptr;
    Client client_;
    std::vector<Event> events_;
    std::vector<std::unique_ptr<LoopbackServer>> servers_;
};

TEST_F(ClientTest, DeliversAReplyOnceOutsideConnectThenReportsTheClose) {
    const LoopbackServer& server = Serve([](SOCKET s) { SendAll(s, kNistLine); });

    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    EXPECT_TRUE(events_.empty()) << "raised inside Connect";
    ASSERT_TRUE(PumpUntil([this] { return Closed(); }));
    PumpFor(200ms);

    EXPECT_EQ(events_, (std::vector<Event>{Data(kNistLine), kClosed}));
    EXPECT_EQ(GetReceivedData(client_), "") << "outside DataArrived";
}

TEST_F(ClientTest, ReplyInTwoPiecesArrivesAsTwoEventsEachWithItsOwnBytes) {
    const std::string first = "\n60966 25-10-18 06:4";
    const std::string second = "9:19 16 0 0 724.2 UTC(NIST) *\n";
    const HANDLE firstSeen = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const LoopbackServer& server = Serve([&](SOCKET s) {
        SendAll(s, first);
        WaitForSingleObject(firstSeen, static_cast<DWORD>(kPatience.count()));
        SendAll(s, second);
    });

    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    EXPECT_TRUE(PumpUntil([this] { return !events_.empty(); }));
    SetEvent(firstSeen);
    EXPECT_TRUE(PumpUntil([this] { return Closed(); }));
    CloseHandle(firstSeen);  // the server is done with it once the connection has closed

    EXPECT_EQ(events_, (std::vector<Event>{Data(first), Data(second), kClosed}));
}

TEST_F(ClientTest, ServerThatClosesWithoutSendingRaisesOnlyTheClose) {
    const LoopbackServer& server = Serve([](SOCKET) {});

    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    ASSERT_TRUE(PumpUntil([this] { return Closed(); }));
    PumpFor(200ms);

    EXPECT_EQ(events_, std::vector<Event>{kClosed});
}

// What was queued for the first connection (its unread reply, or the notice that its server closed)
// is handled only after a second Connect has closed it, and raises nothing.
TEST_F(ClientTest, SecondConnectDropsTheFirstConnectionAndWhatWasQueuedForIt) {
    for (const std::string oldReply : {"old reply", ""}) {
        SCOPED_TRACE(oldReply.empty() ? "the first server closed" : "the first server replied");
        events_.clear();
        Drained first;
        const HANDLE firstDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        LoopbackServer& firstServer = Serve([&](SOCKET s) {
            if (oldReply.empty()) shutdown(s, SD_SEND);
            SendAll(s, oldReply);
            SetEvent(firstDone);
            first = ReadUntilEnd(s);
        });
        const LoopbackServer& secondServer = Serve([](SOCKET s) {
            SendAll(s, "new reply");
            ReadUntilEnd(s);
        });

        ASSERT_EQ(Connect(client_, "127.0.0.1", firstServer.port()), 1);
        ASSERT_EQ(WaitForSingleObject(firstDone, static_cast<DWORD>(kPatience.count())),
                  WAIT_OBJECT_0);
        ASSERT_TRUE(WaitForMessage(client_.window, kClientSocketMessage, PM_NOREMOVE, kPatience));
        ASSERT_EQ(Connect(client_, "127.0.0.1", secondServer.port()), 1);
        firstServer.Join();
        CloseHandle(firstDone);
        EXPECT_TRUE(first.sawEnd) << "the first connection was not closed";
        EXPECT_EQ(first.bytes, 0u);
        ASSERT_TRUE(PumpUntil([this] { return !events_.empty(); }));
        PumpFor(200ms);

        EXPECT_EQ(events_, std::vector<Event>{Data("new reply")});
    }
}

TEST_F(ClientTest, FloodArrivesWholeAndInOrderInBoundedPieces) {
    std::string flood(1 << 20, '\0');
    std::uint32_t state = 12345;  // a sequence that does not repeat within a piece
    for (char& byte : flood) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    const LoopbackServer& server = Serve([&](SOCKET s) {
        SendAll(s, flood);
        ReadUntilEnd(s);  // stays open, so only the bytes themselves end the test
    });

    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    // Let bytes pile up beyond what one notification reads.
    Sleep(300);
    EXPECT_TRUE(PumpUntil([&] { return BytesArrived() >= flood.size(); }, 30s));

    std::string joined;
    std::size_t largest = 0;
    for (const Event& event : events_) {
        ASSERT_EQ(event.kind, Event::kData);
        largest = std::max(largest, event.bytes.size());
        joined += event.bytes;
    }
    EXPECT_EQ(largest, static_cast<std::size_t>(kMaxBytesPerNotification));
    EXPECT_EQ(joined.size(), flood.size());
    EXPECT_TRUE(joined == flood) << "bytes differ or are out of order";
}

TEST_F(ClientTest, SendsNothingAndClosesWhenItsParentIsDestroyed) {
    Drained drained;
    LoopbackServer& server = Serve([&](SOCKET s) { drained = ReadUntilEnd(s); });

    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    PumpFor(200ms);
    DestroyParent();
    server.Join();

    EXPECT_TRUE(drained.sawEnd) << "the socket outlived the window";
    EXPECT_EQ(drained.bytes, 0u);
    EXPECT_EQ(client_.window, nullptr);
    EXPECT_EQ(Connect(client_, "127.0.0.1", server.port()), 0) << "connected after the end";
}

// The main window's WM_DESTROY posts the quit before its children go; the client, destroyed after
// it with a connection held, must leave that quit to the message loop, or the program outlives
// its window.
TEST_F(ClientTest, LeavesTheQuitToTheLoopWhenDestroyedWithAConnectionHeld) {
    LoopbackServer& server = Serve([](SOCKET s) { ReadUntilEnd(s); });
    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    PostQuitMessage(7);
    DestroyParent();

    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit was lost";
    EXPECT_EQ(quit.wParam, 7u);
}

TEST_F(ClientTest, RefusedConnectionFailsWithoutWaitingForTheTimeOut) {
    // Bound but not listening: the port is ours, and the system refuses connections to it.
    const SOCKET bound = ListenOnLoopback(0, -1);
    ASSERT_NE(bound, INVALID_SOCKET);

    int result = -1;
    const auto took = TimeOf([&] { result = Connect(client_, "127.0.0.1", PortOf(bound)); });
    closesocket(bound);

    EXPECT_EQ(result, 0);
    EXPECT_LT(took, Milliseconds(kConnectTimeoutMs) - 500ms);
    RecordProperty("refused_us", static_cast<int>(took.count()));
}

TEST_F(ClientTest, ServerThatNeverAcceptsCostsTheTimeOut) {
    // A listener whose queue is full drops further handshakes, so the attempt gets no answer.
    const SOCKET listener = ListenOnLoopback(0, 0);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(PortOf(listener)));
    std::vector<SOCKET> fillers;
    bool full = false;
    while (!full && fillers.size() < 16) {
        const SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        ioctlsocket(filler, FIONBIO, &nonBlocking);
        connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        fd_set connected;
        FD_ZERO(&connected);
        FD_SET(filler, &connected);
        timeval wait = {0, 500 * 1000};
        full = select(0, nullptr, &connected, nullptr, &wait) != 1;
        fillers.push_back(filler);
    }
    ASSERT_TRUE(full) << "the listener's queue never filled";
    ASSERT_GT(fillers.size(), 1u) << "the listener admitted nobody";

    int result = -1;
    const auto took = TimeOf([&] { result = Connect(client_, "127.0.0.1", PortOf(listener)); });
    for (SOCKET filler : fillers) closesocket(filler);
    closesocket(listener);

    EXPECT_EQ(result, 0);
    EXPECT_GE(took, 2500ms);
    EXPECT_LE(took, 5000ms);
    RecordProperty("admitted_before_full", static_cast<int>(fillers.size() - 1));
    RecordProperty("never_accepting_us", static_cast<int>(took.count()));
}

TEST_F(ClientTest, HostThatNamesNothingFailsAndTheNextConnectStillWorks) {
    // A label of 64 characters cannot be put in a DNS query, so the lookup fails without ever
    // reaching a name server; .invalid is reserved besides.
    const std::string unsendable = std::string(64, 'a') + ".invalid";
    const LoopbackServer& server = Serve([](SOCKET s) { SendAll(s, "after"); });

    for (const std::string& host : {std::string(), unsendable, std::string("127.0.0.1\0", 10)}) {
        EXPECT_EQ(Connect(client_, host, server.port()), 0) << '"' << host << '"';
    }
    ASSERT_EQ(Connect(client_, "127.0.0.1", server.port()), 1);
    ASSERT_TRUE(PumpUntil([this] { return Closed(); }));

    EXPECT_EQ(events_, (std::vector<Event>{Data("after"), kClosed}));
}

TEST_F(ClientTest, PortBelowOneMeansPortOne) {
    const SOCKET listener = ListenOnLoopback(1, SOMAXCONN);
    if (listener == INVALID_SOCKET) {
        GTEST_SKIP() << "cannot listen on port 1 here (error " << WSAGetLastError() << ")";
    }
    for (int port : {0, -1, INT_MIN}) EXPECT_EQ(Connect(client_, "127.0.0.1", port), 1) << port;
    closesocket(listener);
}

// The client reads at most kMaxBytesPerNotification in one notification and counts on Winsock
// to post another while bytes remain, even when nothing new arrives. This holds it to that.
TEST(WinsockUnderTheClient, PostsAnotherReadNotificationWhileBytesRemain) {
    WSADATA details;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &details), 0);
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    const SOCKET listener = ListenOnLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(PortOf(listener)));
    const SOCKET reader = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(reader, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const SOCKET writer = accept(listener, nullptr, nullptr);
    ASSERT_NE(writer, INVALID_SOCKET);

    constexpr int kSize = 3000;
    constexpr int kReadSize = 1000;
    SendAll(writer, std::string(kSize, 'x'));
    u_long waiting = 0;
    ASSERT_TRUE(PumpUntil([&] {
        return ioctlsocket(reader, FIONREAD, &waiting) == 0 && waiting == kSize;
    })) << "only "
        << waiting << " bytes arrived";

    ASSERT_EQ(WSAAsyncSelect(reader, window, kClientSocketMessage, FD_READ), 0);
    int read = 0;
    // Each notification reads part of what waits; nothing more is sent meanwhile.
    while (read < kSize && WaitForMessage(window, kClientSocketMessage, PM_REMOVE, 2s)) {
        char buffer[kReadSize];
        const int got = recv(reader, buffer, kReadSize, 0);
        if (got > 0) read += got;
    }

    EXPECT_EQ(read, kSize);
    closesocket(writer);
    closesocket(reader);
    closesocket(listener);
    DestroyWindow(window);
    WSACleanup();
}

}  // namespace
