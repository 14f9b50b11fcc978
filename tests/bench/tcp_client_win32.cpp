// The benchmarks' plain TCP client: looks up a daytime server, connects, reads its reply to the
// end.
//
// What a synchronisation costs at the least, for comparison with a click of the program against
// the same server: the same name lookup, a blocking connect and reads until the server closes.
// Usage: bench_tcp_client HOST PORT RUNS. One JSON line a run: {"ms":..,"bytes":..,"reply":".."}.
#include <winsock2.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// The reply as JSON text: printable ASCII kept, everything else escaped.
std::string Escaped(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        }
    }
    return out;
}

// One query; an empty reply when any step failed.
std::string Query(const char* host, int port) {
    const hostent* answer = gethostbyname(host);
    if (answer == nullptr || answer->h_addrtype != AF_INET) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    std::memcpy(&address.sin_addr, answer->h_addr_list[0], sizeof(in_addr));
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return {};
    // A server that never sends must not hold the benchmark for ever.
    const DWORD limitMs = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limitMs), sizeof limitMs);
    std::string reply;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        char buffer[1024];
        for (int got; (got = recv(s, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    }
    closesocket(s);
    return reply;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: bench_tcp_client HOST PORT RUNS\n", stderr);
        return 2;
    }
    WSADATA details;
    if (WSAStartup(0x0101, &details) != 0) return 1;
    const int runs = std::atoi(argv[3]);
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const std::string reply = Query(argv[1], std::atoi(argv[2]));
        QueryPerformanceCounter(&end);
        if (reply.empty()) ++failed;
        std::printf("{\"ms\":%.3f,\"bytes\":%zu,\"reply\":\"%s\"}\n", Milliseconds(start, end),
                    reply.size(), Escaped(reply).c_str());
        std::fflush(stdout);
    }
    WSACleanup();
    return failed == 0 ? 0 : 1;
}
