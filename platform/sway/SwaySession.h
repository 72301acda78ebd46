#pragma once

// The sway session around Quandrel: window control is possible while sway answers on its IPC
// socket; the screen cannot be read; there is no bell. Global hot keys belong to sway: the
// user binds them in sway's configuration to `quandrel quandrel://…` (quandrel
// --sway-bindings prints those lines), so registering one only notes that sway delivers it.

#include "GlobalHotKeys.h"
#include "FrontmostApplication.h"

namespace quandrel::sway {

class SwayIpc;

class SwaySession final : public AccessTrust, public SystemSound {
public:
    explicit SwaySession(SwayIpc& ipc) : m_ipc(ipc) {}

    bool canControlWindows() override;
    void showTrustPrompt() override;
    bool screenRecordingAllowed() override { return false; }
    void beep() override {}

private:
    SwayIpc& m_ipc;
};

class SwayConfigHotKeys final : public GlobalHotKeys {
public:
    // Every shortcut is bound by the user in sway's configuration (`quandrel --sway-bindings`).
    void bind(std::vector<HotKeyRequest> set, std::function<void(HotKeyStatuses)> answered) override;

private:
    bool m_told = false;
};

} // namespace quandrel::sway
