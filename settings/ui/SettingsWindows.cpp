#include "SettingsWindows.h"

#include "OnboardingWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace quandrel {

namespace {

void centre(QWidget* window)
{
    window->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void bringToFront(QWidget* window)
{
    window->show();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

} // namespace

SettingsWindows::SettingsWindows(ApplicationCatalog& catalog, QObject* parent)
    : QObject(parent)
    , m_catalog(catalog)
{
}

SettingsWindows::~SettingsWindows() = default;

void SettingsWindows::showSettings()
{
    if (!m_context)
        return;
    if (!m_settings) {
        m_settings = std::make_unique<SettingsWindow>(*m_context, m_catalog, m_updates);
        m_settings->resize(640, 620);
        QRect frame(QPoint(), m_settings->size());
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            frame.moveCenter(screen->availableGeometry().center());
            m_settings->move(frame.topLeft());
        }
    }
    bringToFront(m_settings.get());
}

void SettingsWindows::showSettingsTab(SettingsTab tab)
{
    showSettings();
    if (m_settings)
        m_settings->showTab(tab);
}

void SettingsWindows::showOnboarding()
{
    if (!m_context)
        return;
    if (!m_onboarding) {
        m_onboarding = std::make_unique<OnboardingWindow>(*m_context);
        centre(m_onboarding.get());
    }
    m_onboarding->refresh();
    bringToFront(m_onboarding.get());
}

void SettingsWindows::closeOnboarding()
{
    if (m_onboarding)
        m_onboarding->close();
}

void SettingsWindows::destroyWindows()
{
    // A recorder that records gives the hot keys back to the controller as it goes.
    m_settings.reset();
    m_onboarding.reset();
    m_context.reset();
}

} // namespace quandrel
