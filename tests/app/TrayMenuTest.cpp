#include "AppController.h"
#include "FakeDesktop.h"
#include "TrayMenu.h"
#include "TrayMenuModel.h"

#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quandrel;

namespace {

QStringList titles(const std::vector<TrayMenuEntry>& entries)
{
    QStringList list;
    for (const TrayMenuEntry& e : entries)
        list << (e.kind == TrayMenuEntry::Kind::divider ? QStringLiteral("—") : e.title);
    return list;
}

const TrayMenuEntry& find(const std::vector<TrayMenuEntry>& entries, const QString& title)
{
    for (const TrayMenuEntry& e : entries) {
        if (e.title == title)
            return e;
    }
    static const TrayMenuEntry none;
    ADD_FAILURE() << "no entry " << title.toStdString();
    return none;
}

struct NoCapture final : CaptureService {
    void startCapture(CaptureMode, std::optional<AfterCapture>) override {}
    void closeAllPins() override {}
};
struct NoSettingsWindow final : SettingsPresenter {
    void showSettings() override {}
};

} // namespace

TEST(TrayMenuModel, DefaultSettingsInTheirOrder)
{
    const QuandrelSettings settings;
    const std::set<Command> taken;
    const auto menu = trayMenuModel({settings, taken, false});
    EXPECT_EQ(titles(menu), (QStringList{"Window", "—", "Capture Area", "Capture Full Screen", "Capture Window", "Copy Text from Area (OCR)",
                                         "Repeat Last Area", "—", "Settings…", "—", "Quit Quandrel"}));
    const auto& window = menu.front().children;
    EXPECT_EQ(std::count_if(window.begin(), window.end(), [](const auto& e) { return e.kind == TrayMenuEntry::Kind::divider; }), 4);
    EXPECT_EQ(window.size(), 22u + 4u);
    EXPECT_EQ(find(window, "Left Half").shortcut, settings.windowShortcuts.at(WindowAction::leftHalf));
    EXPECT_EQ(find(window, "Left Half").command, Command{WindowCommand{WindowAction::leftHalf}});
    EXPECT_EQ(find(window, "Left Half").delay, windowCommandDelay);
    EXPECT_FALSE(find(window, "Almost Maximize").shortcut);

    EXPECT_EQ(find(menu, "Capture Area").symbol, QStringLiteral("rectangle.dashed"));
    EXPECT_EQ(find(menu, "Capture Area").delay, captureCommandDelay);
    EXPECT_TRUE(find(menu, "Capture Area").shortcut);
    EXPECT_FALSE(find(menu, "Repeat Last Area").shortcut);
    // Quandrel's own commands use Ctrl (the Super key belongs to global shortcuts).
    EXPECT_EQ(find(menu, "Settings…").ownKeys, QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    EXPECT_EQ(find(menu, "Quit Quandrel").ownKeys, QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    EXPECT_EQ(find(menu, "Quit Quandrel").action, TrayMenuEntry::Action::quit);
}

TEST(TrayMenuModel, ConditionalEntriesAndTakenShortcuts)
{
    QuandrelSettings settings;
    settings.appBindings.push_back({"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x1800}, FrontmostBehavior::hide});
    settings.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::cycleWindows});
    const std::set<Command> taken{WindowCommand{WindowAction::rightHalf}, AppCommand{"org.gnome.TextEditor"}};
    const auto menu = trayMenuModel({settings, taken, true});
    EXPECT_EQ(titles(menu), (QStringList{"Window", "—", "Capture Area", "Capture Full Screen", "Capture Window", "Copy Text from Area (OCR)",
                                         "Repeat Last Area", "Close All Pins", "—", "Apps", "—", "Settings…", "—", "Quit Quandrel"}));
    EXPECT_EQ(titles(find(menu, "Apps").children), (QStringList{"Text Editor", "XTerm"}));
    EXPECT_TRUE(find(find(menu, "Apps").children, "Text Editor").shortcutTaken);
    EXPECT_FALSE(find(find(menu, "Apps").children, "XTerm").shortcutTaken);
    EXPECT_TRUE(find(menu.front().children, "Right Half").shortcutTaken);
    EXPECT_FALSE(find(menu.front().children, "Left Half").shortcutTaken);
    EXPECT_EQ(commandTitle(AppCommand{"xterm"}, settings), QStringLiteral("XTerm"));
    EXPECT_EQ(commandTitle(AppCommand{"unbound"}, settings), QStringLiteral("unbound"));
}

// Opening the menu and changing settings rebuild it each time; nothing may pile up.
TEST(TrayMenu, RebuildingLeavesNothingBehind)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    desktop.addDisplay({0, 0, 1440, 900}, {0, 0, 1440, 875});
    NoCapture capture;
    NoSettingsWindow settingsWindow;
    AppController controller(desktop.services(), std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json"))),
                             AppServices{capture, settingsWindow, nullptr}, [](int, std::function<void()>) {});
    controller.start();
    QuandrelSettings withApps = controller.store().settings();
    withApps.appBindings.push_back({"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::hide});
    controller.store().setSettings(withApps);

    TrayMenu tray(controller);
    const auto objects = [&] { return tray.menu()->findChildren<QObject*>().size(); };
    tray.rebuild();
    const auto after = objects();
    for (int i = 0; i < 600; ++i)
        tray.rebuild();
    EXPECT_EQ(objects(), after);

    for (int i = 0; i < 300; ++i) {
        QuandrelSettings next = controller.store().settings();
        next.gap = i % 2 ? 4 : 6;
        controller.store().setSettings(next);
    }
    EXPECT_EQ(objects(), after);
}
