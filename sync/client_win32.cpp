// Client on Windows Sockets: the connect with its time-out, and the read and close notifications.
// This is the one file of the program that touches a socket.
// Winsock 2 first: <windows.h> would otherwise bring in the older winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "sync/client_win32.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"LanyuTimeSyncClient";
constexpr WORD kWinsockVersion = 0x0101;
constexpr int kFollowingReadSize = 1024;  // every read after the first of a notification

static_assert(sizeof(SOCKET) == sizeof(UINT_PTR) && INVALID_SOCKET == ~UINT_PTR{0},
              "Client::socket holds a SOCKET");

SOCKET HeldSocket(const Client& client) {
    return static_cast<SOCKET>(client.socket);
}

void StopAndCloseSocket(Client& client) {
    if (HeldSocket(client) == INVALID_SOCKET) return;
    WSAAsyncSelect(HeldSocket(client), client.window, 0, 0);
    closesocket(HeldSocket(client));
    client.socket = INVALID_SOCKET;
    // Notifications already posted stay queued, and the next socket may well get the number of
    // the one just closed, so they could pass for its own: all that are queued now belong to
    // closed sockets, and go with them.
    // PeekMessage hands over a pending WM_QUIT whatever the filter; when the window goes, the
    // main window has just posted one, and the message loop must still get it.
    MSG stale;
    while (PeekMessageW(&stale, client.window, kClientSocketMessage, kClientSocketMessage,
                        PM_REMOVE | PM_NOYIELD)) {
        if (stale.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(stale.wParam));
            break;
        }
    }
}

// False for an empty host and for a name that the resolver cannot turn into an IPv4 address.
bool BuildServerAddress(std::string_view host, int port, sockaddr_in& address) {
    // A NUL inside would silently shorten the name that the C calls see.
    if (host.empty() || host.find('\0') != std::string_view::npos) return false;
    const std::string name(host);
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::max(port, 1)));
    const unsigned long dotted = inet_addr(name.c_str());
    if (dotted != INADDR_NONE) {
        address.sin_addr.s_addr = dotted;
        return true;
    }
    const hostent* answer = gethostbyname(name.c_str());
    // The socket is IPv4, so an answer of any other family cannot be used with it.
    if (answer == nullptr || answer->h_addrtype != AF_INET || answer->h_length != sizeof(in_addr) ||
        answer->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(&address.sin_addr, answer->h_addr_list[0], sizeof(in_addr));
    return true;
}

// A blocking connect would wait as long as the system's own time-out (21 s on Windows) for a
// silent server, so the socket connects without blocking and select bounds the wait.
bool ConnectWithinTimeout(SOCKET s, const sockaddr_in& address) {
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return false;

    fd_set connected;
    fd_set failed;
    FD_ZERO(&connected);
    FD_ZERO(&failed);
    FD_SET(s, &connected);
    FD_SET(s, &failed);
    timeval limit = {static_cast<long>(kConnectTimeoutMs / 1000),
                     static_cast<long>(kConnectTimeoutMs % 1000 * 1000)};
    if (select(0, nullptr, &connected, &failed, &limit) <= 0) return false;  // time-out or error
    // Windows reports a refused attempt in the exception set; other stacks only through SO_ERROR.
    if (FD_ISSET(s, &failed) || !FD_ISSET(s, &connected)) return false;
    int pending = 0;
    int length = sizeof pending;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) ==
        SOCKET_ERROR) {
        return false;
    }
    return pending == 0;
}

// The first read asks for all that is waiting, the rest for kFollowingReadSize each, until a read
// fails (nothing more is waiting: the socket does not block), yields nothing (the server closed
// its side) or the bound is reached (Winsock then posts another read notification for the rest).
std::string ReadWaitingBytes(SOCKET s, u_long waiting) {
    std::string bytes;
    int request = static_cast<int>(std::clamp<u_long>(waiting, 1, kMaxBytesPerNotification));
    while (request > 0) {
        const std::size_t had = bytes.size();
        bytes.resize(had + request);
        const int got = recv(s, bytes.data() + had, request, 0);
        bytes.resize(had + std::max(got, 0));
        if (got <= 0) break;
        request =
            std::min(kFollowingReadSize, kMaxBytesPerNotification - static_cast<int>(bytes.size()));
    }
    return bytes;
}

void OnReadable(Client& client) {
    u_long waiting = 0;
    if (ioctlsocket(HeldSocket(client), FIONREAD, &waiting) == SOCKET_ERROR) return;
    std::string bytes = ReadWaitingBytes(HeldSocket(client), waiting);
    if (bytes.empty()) return;
    // A handler that runs a modal loop lets the next notification in while it runs; that one
    // raises its own event with its own bytes, and these are back for the rest of this handler.
    std::string outer = std::exchange(client.received, std::move(bytes));
    if (client.dataArrived != nullptr) client.dataArrived();
    client.received = std::move(outer);
}

// The error code that a notification may carry is not consulted: a read notification with one
// still reads what it can (the reads fail when nothing is there), and a close notification with
// one (the connection was reset or aborted) is still the end of the connection.
void OnSocketNotification(Client& client, SOCKET s, WORD event) {
    // Not one for a socket closed since: StopAndCloseSocket has already thrown those away.
    if (HeldSocket(client) == INVALID_SOCKET || s != HeldSocket(client)) return;
    switch (event) {
        case FD_READ: OnReadable(client); break;
        case FD_CLOSE:
            // Nothing is read and the socket stays held until the next Connect.
            if (client.connectionClosed != nullptr) client.connectionClosed();
            break;
    }
}

void OnDestroy(Client& client) {
    StopAndCloseSocket(client);
    if (client.socketsStarted) WSACleanup();
    client.socketsStarted = false;
    client.window = nullptr;
}

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* client =
            static_cast<Client*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        client->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client));
    }
    auto* client = reinterpret_cast<Client*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (client == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case kClientSocketMessage:
            OnSocketNotification(*client, static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam));
            return 0;
        case WM_DESTROY:
            OnDestroy(*client);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterClientWindowClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool CreateClient(Client& client, HWND parent, void (*dataArrived)(), void (*connectionClosed)()) {
    if (client.window != nullptr || !RegisterClientWindowClass()) return false;
    client.dataArrived = dataArrived;
    client.connectionClosed = connectionClosed;
    WSADATA details;
    client.socketsStarted = WSAStartup(kWinsockVersion, &details) == 0;
    // Never shown, and no WM_PARENTNOTIFY: the form sees nothing of it.
    const HWND window = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kWindowClassName, L"", WS_CHILD, 0, 0,
                                        0, 0, parent, nullptr, GetModuleHandleW(nullptr), &client);
    if (window == nullptr) {
        if (client.socketsStarted) WSACleanup();
        client.socketsStarted = false;
        client.window = nullptr;
        return false;
    }
    return true;
}

int Connect(Client& client, std::string_view host, int port) {
    if (!client.socketsStarted) return 0;
    StopAndCloseSocket(client);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return 0;
    client.socket = s;
    sockaddr_in address;
    // The new socket stays held, unconnected, until the next Connect or the end: it costs nothing.
    if (!BuildServerAddress(host, port, address)) return 0;
    if (!ConnectWithinTimeout(s, address) || WSAAsyncSelect(s, client.window, kClientSocketMessage,
                                                            FD_READ | FD_CLOSE) == SOCKET_ERROR) {
        StopAndCloseSocket(client);
        return 0;
    }
    return 1;
}

std::string GetReceivedData(const Client& client) {
    return client.received;
}
