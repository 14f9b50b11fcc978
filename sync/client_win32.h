// Client: the TCP client component that reaches a daytime server and hands its bytes to a handler.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The socket notifications arrive as this private message at the component's own window.
// wParam: the socket; low word of lParam: FD_READ or FD_CLOSE; high word: an error code.
inline constexpr UINT kClientSocketMessage = 0x8078;

// A connection attempt that gets no answer within this time counts as failed, so five silent
// servers cost about 15 s of a frozen window instead of five times the system's own 21 s.
inline constexpr DWORD kConnectTimeoutMs = 3000;

// One notification reads at most this much. Winsock posts another read notification while bytes
// remain, so the rest comes in later ones, and a server that floods can neither hold the window
// thread in one notification nor make the buffer grow without bound.
inline constexpr int kMaxBytesPerNotification = 64 * 1024;

// All of its state, reached from its window through GWLP_USERDATA. The object must stay where it
// is (it is neither copied nor moved) for as long as its window exists.
struct Client {
    Client() = default;
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    HWND window = nullptr;
    // A SOCKET, held as the type that SOCKET names, so that this header needs only <windows.h>
    // and leaves the order of the Winsock headers to the one file that uses them.
    UINT_PTR socket = ~UINT_PTR{0};  // INVALID_SOCKET: none held
    bool socketsStarted = false;
    // Bytes of the notification being handled; empty except while DataArrived is raised.
    std::string received;
    void (*dataArrived)() = nullptr;
    void (*connectionClosed)() = nullptr;
};

// Starts Windows Sockets 1.1 and remembers whether that worked (when it did not, every Connect
// yields 0 at once), and creates the component's window: a child of `parent` that is never shown
// and is destroyed with it. Destroying it stops the notifications, closes the socket held and
// ends this component's use of Windows Sockets. Either event may be null. False only when the
// window could not be made (or `client` already has one); nothing is then left started.
bool CreateClient(Client& client, HWND parent, void (*dataArrived)(), void (*connectionClosed)());

// Drops any connection held (with its unread bytes), then connects to `host` (a dotted IPv4
// address or a name to look up) on `port` (below 1 taken as 1), waiting at most kConnectTimeoutMs
// for the answer. 1 when connected; 0 otherwise. Events are raised only later, from the message
// loop, never inside this call.
int Connect(Client& client, std::string_view host, int port);

// A copy of the bytes that the notification being handled read: the same on every call within
// one DataArrived, empty outside it.
std::string GetReceivedData(const Client& client);
