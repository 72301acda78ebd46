#pragma once

// The settings and welcome windows behind the controller's SettingsPresenter: each is made
// on first use, kept when closed, centred on the screen the first time and brought to the
// front each time, and destroyed when the controller whose parts they use goes.

#include "SettingsContext.h"
#include "SettingsWindow.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

namespace quandrel {

class OnboardingWindow;

class SettingsWindows final : public QObject, public SettingsPresenter {
    Q_OBJECT
public:
    explicit SettingsWindows(ApplicationCatalog& catalog, QObject* parent = nullptr);
    ~SettingsWindows() override;

    // The controller exists after the services it is given; its context is set once, before
    // any window.
    void setContext(SettingsContext context) { m_context.emplace(std::move(context)); }
    // The "Updates" section of the General tab; set before the window is first shown.
    void setUpdatesSection(SettingsSectionFactory factory) { m_updates = std::move(factory); }

    void showSettings() override;
    void showSettingsTab(SettingsTab tab) override;
    void showOnboarding() override;
    void closeOnboarding() override;
    void destroyWindows() override;

    // None until first shown.
    SettingsWindow* settingsWindow() const { return m_settings.get(); }
    OnboardingWindow* onboardingWindow() const { return m_onboarding.get(); }

private:
    ApplicationCatalog& m_catalog;
    std::optional<SettingsContext> m_context;
    SettingsSectionFactory m_updates;
    std::unique_ptr<SettingsWindow> m_settings;
    std::unique_ptr<OnboardingWindow> m_onboarding;
};

} // namespace quandrel
