// The synchronisation handlers: connecting on a click, and carrying out what a reply decides.
#include "sync/daytime_sync_win32.h"

#include "app/main_window_win32.h"
#include "app/texts.h"
#include "app/transparent_label_win32.h"
#include "app/ui_text_win32.h"
#include "datetime/local_clock.h"
#include "sync/daytime_reply.h"
#include "sync/tick_count.h"

namespace {

bool everConnected = false;
std::uint64_t lastConnectedAt = 0;

// An old success must not stand beside a new failure.
void ShowSyncFailure(const char* reason) {
    SetLabelText(mainWindow.透明标签3系统时间, "");
    SetLabelText(mainWindow.透明标签3网络时间, reason);
}

}  // namespace

void ResetSyncState() {
    everConnected = false;
    lastConnectedAt = 0;
}

void SyncWithServers(std::span<const char* const> hosts, int port) {
    // A second click too soon would also drop the first connection before its reply was read.
    if (everConnected && MonotonicMilliseconds() - lastConnectedAt < kMinimumQueryIntervalMs) {
        return;
    }
    bool connected = false;
    for (const char* host : hosts) {
        if (Connect(mainWindow.客户1, host, port) == 1) {
            connected = true;
            everConnected = true;
            lastConnectedAt = MonotonicMilliseconds();
            break;
        }
    }
    // The attempts held the thread, and the counted clock lost the periods they took.
    ReloadCurrentTime();
    if (!connected) {
        MessageBoxGbk(nullptr, texts::kCheckNetwork, texts::kSevereError, MB_OK | MB_TASKMODAL);
    }
    SetWindowTextGbk(mainWindow.按钮同步时间, texts::kSyncAgain);
}

void OnSyncButtonClicked() {
    SyncWithServers(DaytimeServerList, DaytimePort);
}

// No message box here: its modal loop would dispatch further socket notifications into this
// handler while it runs.
void OnClientDataArrived() {
    const ReplyDecision decision = DecideDaytimeReply(GetReceivedData(mainWindow.客户1));
    switch (decision.verdict) {
        case ReplyVerdict::NotUsed: return;
        case ReplyVerdict::Unhealthy: ShowSyncFailure(texts::kServerUnhealthy); return;
        case ReplyVerdict::Unreadable: ShowSyncFailure(texts::kServerTimeUnreadable); return;
        case ReplyVerdict::SetClock: break;
    }
    const DateTime before = ReadLocalClock();
    const bool set = SetLocalClock(decision.synchronisedTime);
    ReloadCurrentTime();
    if (!set) {
        ShowSyncFailure(texts::kSetClockRefused);
        return;
    }
    SetLabelText(mainWindow.透明标签3系统时间, texts::kTimeBeforeSync + FormatDateTime(before));
    SetLabelText(mainWindow.透明标签3网络时间,
                 texts::kTimeAfterSync + FormatDateTime(decision.synchronisedTime));
}
