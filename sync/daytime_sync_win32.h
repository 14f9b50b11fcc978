// A synchronisation: the click that reaches a daytime server, and the handling of its reply.
#pragma once

#include <array>
#include <span>

// Tried in this order until one accepts: NIST's recommended name first, which spreads its
// clients over all its servers, then servers at two sites, so one outage cannot take them all.
inline constexpr std::array<const char*, 5> DaytimeServerList = {
    "time.nist.gov",       "time-a-g.nist.gov",   "time-b-g.nist.gov",
    "time-a-wwv.nist.gov", "time-b-wwv.nist.gov",
};
inline constexpr int DaytimePort = 13;

// NIST refuses clients that ask more often than once in four seconds. Only the soak build, which
// clicks hundreds of times against a loopback server, defines LANYU_SOAK_QUERY_INTERVAL_MS.
#ifdef LANYU_SOAK_QUERY_INTERVAL_MS
inline constexpr unsigned kMinimumQueryIntervalMs = LANYU_SOAK_QUERY_INTERVAL_MS;
#else
inline constexpr unsigned kMinimumQueryIntervalMs = 4000;
#endif

// The click's whole work against a list of hosts; the button passes DaytimeServerList and
// DaytimePort, and the tests hosts of their own on loopback.
void SyncWithServers(std::span<const char* const> hosts, int port);

void OnSyncButtonClicked();
void OnClientDataArrived();

// Forgets the last accepted connection, for a window made anew (and for tests).
void ResetSyncState();
