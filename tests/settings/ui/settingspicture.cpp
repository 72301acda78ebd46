// Puts the settings window on one tab, or the welcome window, on the screen for a person (or
// a screenshot) to look at, in the light palette or, with --dark, a dark one. The settings
// hold two app bindings (one of an application that is not installed), a shared shortcut and
// a chosen gap; the desktop tiles its edges itself. It prints READY once shown and runs
// until killed.
//
// With --save-failed the last change could not be written, so the window says so; with
// --taken another program holds Ctrl+Alt+← and Ctrl+Alt+→, as GNOME's workspace keys do; with
// --kwin the desktop is Plasma on Wayland, where KWin alone tiles dragged windows.
//
// With --setup the session offers to set up window control (GNOME without the extension), and
// with --ask as well the question before it is done is open.
//
//   quandrel-settings-picture [--dark] [--missing] [--save-failed] [--taken] [--setup [--ask]] [--kwin] (--tab N | --onboarding)

#include "DarkPalette.h"
#include "FileSizeLimit.h"
#include "OnboardingWindow.h"
#include "SettingsUiSupport.h"
#include "SettingsWindow.h"
#include "Translations.h"
#include "X11Desktop.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <cstdio>

using namespace quandrel;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    installTranslations(app); // LANG=de_DE.UTF-8 shows the German window
    const QStringList args = QApplication::arguments();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    if (args.contains(QStringLiteral("--dark"))) {
        QApplication::setPalette(quandrel::test::darkPalette());
    }

    QuandrelSettings settings;
    settings.hasCompletedOnboarding = true;
    settings.gap = 12;
    settings.captureShortcuts[CaptureMode::repeatArea] = settings.windowShortcuts.at(WindowAction::maximize);
    settings.appBindings = {{"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::hide},
                            {"org.example.Removed", "Removed App", std::nullopt, FrontmostBehavior::cycleWindows}};
    // The keys are named as this display's keyboard layout names them.
    auto x11 = x11::X11Desktop::open();
    test::ControllerFixture fixture(settings, x11 ? x11->services().keyboardLayout : nullptr);
    fixture.catalog.apps = {{"xterm", "XTerm", "utilities-terminal"}};
    fixture.desktop.setSystemTiling(args.contains(QStringLiteral("--kwin")) ? SystemTiling{true, true, "KWin"} : SystemTiling{true, false});
    fixture.desktop.setScreenRecordingAllowed(!args.contains(QStringLiteral("--missing")));
    if (args.contains(QStringLiteral("--setup"))) {
        // As on GNOME without Quandrel's Shell extension.
        fixture.desktop.setTrusted(false);
        fixture.desktop.setScreenRecordingAllowed(false);
        fixture.desktop.setOwnsDragSnapping(true);
        fixture.desktop.offerSetup(AccessTrust::Setup{"Needs the Quandrel GNOME Shell extension.", "Install GNOME Shell Extension",
                                                      "Quandrel installs its own extension into your home folder (~/.local/share/gnome-shell/"
                                                      "extensions) and enables it. GNOME Shell loads it the next time you log in.\n\n"
                                                      "Without the extension, Quandrel can instead add its shortcuts to GNOME's own keyboard "
                                                      "shortcuts; window commands then still need the extension.",
                                                      "Use GNOME Shortcuts Only"},
                                   "The Quandrel GNOME Shell extension is installed and enabled. It is active after you log out and back in.");
    }
    fixture.controller->permissions().refresh();
    if (args.contains(QStringLiteral("--taken"))) {
        fixture.desktop.takeByOtherProgram({123, 0x1800});
        fixture.desktop.takeByOtherProgram({124, 0x1800});
        fixture.controller->suspendHotKeys();
        fixture.controller->resumeHotKeys();
    }
    if (args.contains(QStringLiteral("--save-failed"))) {
        test::FileSizeLimit full;
        fixture.change([](QuandrelSettings& s) { s.gap = 14; });
    }

    std::unique_ptr<QWidget> window;
    if (args.contains(QStringLiteral("--onboarding"))) {
        window = std::make_unique<OnboardingWindow>(fixture.controller->settingsContext());
    } else {
        auto settingsWindow = std::make_unique<SettingsWindow>(fixture.controller->settingsContext(), fixture.catalog, [](QWidget* parent) {
            return new QLabel(QStringLiteral("(the updater's settings)"), parent);
        });
        const int tab = args.indexOf(QStringLiteral("--tab"));
        test::SettingsWindowParts{settingsWindow.get()}.tabs()->setCurrentIndex(tab >= 0 ? args.value(tab + 1).toInt() : 0);
        window = std::move(settingsWindow);
        window->resize(window->width(), 760);
        if (args.contains(QStringLiteral("--bottom"))) {
            QTimer::singleShot(100, [w = window.get()] {
                for (QScrollBar* bar : w->findChildren<QScrollBar*>())
                    bar->setValue(bar->maximum());
            });
        }
    }
    window->move(20, 20);
    window->show();
    if (args.contains(QStringLiteral("--ask"))) {
        QTimer::singleShot(100, [w = window.get()] {
            if (auto* button = w->findChild<QPushButton*>(QStringLiteral("setupButton")))
                button->click();
        });
    }
    QTimer::singleShot(300, [] {
        std::printf("READY\n");
        std::fflush(stdout);
    });
    return app.exec();
}
