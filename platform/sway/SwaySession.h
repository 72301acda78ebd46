#pragma once

// The sway session around Quandrel: window control is possible while sway answers on its IPC
// socket; the screen can be read where the compositor offers screencopy; there is no bell. Global hot keys belong to sway: the
// user binds them in sway's configuration to `quandrel quandrel://…` (quandrel
// --sway-bindings prints those lines), so registering one only notes that sway delivers it.

#include "GlobalHotKeys.h"
#include "FrontmostApplication.h"

#include <optional>

namespace quandrel::sway {

class SwayIpc;

class SwaySession final : public AccessTrust, public SystemSound {
public:
    explicit SwaySession(SwayIpc& ipc) : m_ipc(ipc) {}

    bool canControlWindows() override;
    void showTrustPrompt() override;
    // Asked once: the compositor offers screencopy for as long as it runs.
    bool screenRecordingAllowed() override;
    void beep() override {}

private:
    SwayIpc& m_ipc;
    std::optional<bool> m_screencopy;
};

class SwayConfigHotKeys final : public GlobalHotKeys {
public:
    // Every shortcut is bound by the user in sway's configuration (`quandrel --sway-bindings`).
    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;

private:
    bool m_told = false;
};

} // namespace quandrel::sway
