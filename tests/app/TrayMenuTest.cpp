#include "AppFixture.h"
#include "TrayMenu.h"
#include "EditorTool.h"
#include "Symbols.h"
#include "SettingsModel.h"
#include "Translations.h"
#include "TrayMenuModel.h"
#include "ShortcutList.h"
#include "KeyboardLayout.h"

#include <QLocale>
#include <QMenu>
#include <QPointer>
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

// A started controller on the in-memory desktop, for the drawn menu.
struct MenuFixture : test::AppFixture {
    MenuFixture() { controller->start(); }
    std::unique_ptr<AppController> controller = makeController();
};

} // namespace

// The entries in their order: "Close All Pins" while there are pins, "Apps" with app bindings,
// "Grant Permissions…" only while something is missing, between the apps and "Settings…".
TEST(TrayMenuModel, EntriesInTheirOrderAndWhatTheyCarry)
{
    const QuandrelSettings defaults;
    QuandrelSettings settings;
    settings.windowShortcuts[WindowAction::center] = Shortcut{96, 0}; // F5
    settings.appBindings.push_back({"org.gnome.TextEditor", "Text Editor", Shortcut{17, 0x1800}, FrontmostBehavior::hide});
    settings.appBindings.push_back({"xterm", "XTerm", std::nullopt, FrontmostBehavior::cycleWindows});
    const std::set<Command> none, taken{WindowCommand{WindowAction::rightHalf}, AppCommand{"org.gnome.TextEditor"}};
    const QStringList head{"Window", "—", "Capture Area", "Capture Full Screen", "Capture Screen in 5 s", "Capture Window",
                           "Copy Text from Area (OCR)", "Repeat Last Area", "Capture All Displays"};
    const QStringList tail{"Settings…", "Check for Updates…", "—", "Quit Quandrel"};
    EXPECT_EQ(titles(trayMenuModel({defaults, none, false})), head + QStringList{"—"} + tail);
    EXPECT_EQ(titles(trayMenuModel({settings, taken, true})), (head + QStringList{"Close All Pins", "—", "Apps", "—"} + tail));
    const auto menu = trayMenuModel({settings, taken, false, false});
    EXPECT_EQ(titles(menu), (head + QStringList{"—", "Apps", "—", "Grant Permissions…"} + tail));

    const auto& window = menu.front().children;
    EXPECT_EQ(std::count_if(window.begin(), window.end(), [](const auto& e) { return e.kind == TrayMenuEntry::Kind::divider; }), 4);
    EXPECT_EQ(window.size(), 22u + 4u);
    EXPECT_EQ(find(window, "Left Half").shortcut, defaults.windowShortcuts.at(WindowAction::leftHalf));
    EXPECT_EQ(find(window, "Left Half").command, Command{WindowCommand{WindowAction::leftHalf}});
    EXPECT_EQ(find(window, "Left Half").delay, windowCommandDelay);
    EXPECT_EQ(find(window, "Center").shortcut, (Shortcut{96, 0}));
    EXPECT_FALSE(find(window, "Almost Maximize").shortcut);
    EXPECT_TRUE(find(window, "Right Half").shortcutTaken);
    EXPECT_FALSE(find(window, "Left Half").shortcutTaken);
    const auto& apps = find(menu, "Apps").children;
    EXPECT_EQ(titles(apps), (QStringList{"Text Editor", "XTerm"}));
    EXPECT_TRUE(find(apps, "Text Editor").shortcutTaken);
    EXPECT_FALSE(find(apps, "XTerm").shortcutTaken);
    EXPECT_FALSE(find(apps, "XTerm").shortcut);
    EXPECT_EQ(commandTitle(AppCommand{"xterm"}, settings), QStringLiteral("XTerm"));
    EXPECT_EQ(commandTitle(AppCommand{"unbound"}, settings), QStringLiteral("unbound"));
    EXPECT_EQ(find(menu, "Grant Permissions…").action, TrayMenuEntry::Action::grantPermissions);
    EXPECT_FALSE(find(menu, "Grant Permissions…").command);

    EXPECT_EQ(find(menu, "Capture Area").symbol, QStringLiteral("rectangle.dashed"));
    EXPECT_EQ(find(menu, "Capture Area").delay, captureCommandDelay);
    EXPECT_TRUE(find(menu, "Capture Area").shortcut);
    EXPECT_FALSE(find(menu, "Repeat Last Area").shortcut);
    // Quandrel's own commands use Ctrl (the Super key belongs to global shortcuts).
    EXPECT_EQ(find(menu, "Settings…").ownKeys, QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    EXPECT_EQ(find(menu, "Quit Quandrel").ownKeys, QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    EXPECT_EQ(find(menu, "Quit Quandrel").action, TrayMenuEntry::Action::quit);
    // Shown, but only the updater makes it work; where the package manager updates Quandrel,
    // the item says so and does nothing.
    EXPECT_EQ(find(menu, "Check for Updates…").action, TrayMenuEntry::Action::checkForUpdates);
    EXPECT_FALSE(find(menu, "Check for Updates…").enabled);
    EXPECT_TRUE(trayMenuModel({defaults, none, false, true, true}).at(11).enabled);
    const auto packaged = trayMenuModel({defaults, none, false, true, true, QStringLiteral("Updated by your package manager")}).at(11);
    EXPECT_EQ(packaged.title, QStringLiteral("Updated by your package manager"));
    EXPECT_FALSE(packaged.enabled);
}

// The drawn menu: the same entries, their shown keys, and "Grant Permissions…" coming and
// going as the desktop changes.
TEST(TrayMenu, DrawsTheModelAndFollowsPermissions)
{
    MenuFixture f;
    FakeDesktop& desktop = f.desktop;
    AppController& controller = *f.controller;
    bool pins = false;
    TrayMenu tray(controller, [&] { return pins; });
    const auto shown = [&] {
        QStringList list;
        for (const QAction* a : tray.menu()->actions())
            list << (a->isSeparator() ? QStringLiteral("—") : a->text());
        return list;
    };
    const auto titles = [&] {
        QStringList list = shown();
        for (QString& title : list)
            title = title.section(QLatin1Char('\t'), 0, 0);
        return list;
    };
    EXPECT_EQ(titles(), ::titles(trayMenuModel({controller.store().settings(), {}, false})));
    EXPECT_EQ(tray.menu()->actions().at(10)->shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    const QMenu* window = tray.menu()->actions().at(0)->menu();
    ASSERT_TRUE(window);
    // Global shortcuts in the shortcut column (after the tab), named as everywhere else.
    EXPECT_EQ(window->actions().at(0)->text(), QStringLiteral("Left Half\tCtrl+Alt+←"));
    EXPECT_TRUE(window->actions().at(0)->shortcut().isEmpty());
    EXPECT_EQ(window->actions().at(16)->text(), QStringLiteral("Maximize\tCtrl+Alt+Return"));
    EXPECT_EQ(window->actions().at(17)->text(), QStringLiteral("Almost Maximize"));
    EXPECT_EQ(tray.menu()->actions().at(2)->text(), QStringLiteral("Capture Area\tShift+Super+Key 19")); // no layout in the fake
    EXPECT_FALSE(tray.menu()->actions().at(11)->isEnabled());
    int checks = 0;
    tray.setCheckForUpdates([&] { ++checks; });
    ASSERT_EQ(tray.menu()->actions().at(11)->text(), QStringLiteral("Check for Updates…"));
    tray.menu()->actions().at(11)->trigger();
    EXPECT_EQ(checks, 1);
    desktop.setTrusted(false);
    controller.permissions().refresh();
    EXPECT_TRUE(shown().contains(QStringLiteral("Grant Permissions…")));
    pins = true;
    Q_EMIT tray.menu()->aboutToShow();
    EXPECT_TRUE(shown().contains(QStringLiteral("Close All Pins")));
    desktop.setTrusted(true);
    controller.permissions().refresh();
    EXPECT_FALSE(shown().contains(QStringLiteral("Grant Permissions…")));
}

// Opening the menu and changing settings rebuild it each time; nothing may pile up.
TEST(TrayMenu, RebuildingLeavesNothingBehind)
{
    MenuFixture f;
    AppController& controller = *f.controller;
    QuandrelSettings withApps = controller.store().settings();
    withApps.appBindings.push_back({"xterm", "XTerm", Shortcut{7, 0x1800}, FrontmostBehavior::hide});
    controller.store().setSettings(withApps);

    TrayMenu tray(controller);
    const auto objects = [&] { return tray.menu()->findChildren<QObject*>().size(); };
    tray.rebuild();
    const auto after = objects();
    for (int i = 0; i < 20; ++i)
        tray.rebuild();
    EXPECT_EQ(objects(), after);

    for (int i = 0; i < 20; ++i) {
        QuandrelSettings next = controller.store().settings();
        next.appBindings.front().name = i % 2 ? "XTerm" : "Terminal";
        controller.store().setSettings(next);
    }
    EXPECT_EQ(objects(), after);
}

// A download's progress, or a setting the menu does not show, leaves the menu as it is: an
// open submenu stays under the pointer. What it shows rebuilds it.
TEST(TrayMenu, RebuiltOnlyWhenWhatItShowsChanges)
{
    MenuFixture f;
    AppController& controller = *f.controller;
    TrayMenu tray(controller);
    const QPointer<QMenu> window = tray.menu()->actions().at(0)->menu();
    ASSERT_TRUE(window);
    for (int i = 0; i < 50; ++i)
        Q_EMIT controller.updater().stateChanged();
    QuandrelSettings next = controller.store().settings();
    next.gap = 14;
    controller.store().setSettings(next);
    Q_EMIT tray.menu()->aboutToShow();
    EXPECT_TRUE(window);

    next.windowShortcuts.erase(WindowAction::leftHalf);
    controller.store().setSettings(next);
    EXPECT_FALSE(window);
    ASSERT_TRUE(tray.menu()->actions().at(0)->menu());
    EXPECT_EQ(tray.menu()->actions().at(0)->menu()->actions().at(0)->text(), QStringLiteral("Left Half"));
}

// `quandrel --help` lists the shortcuts in the menu's order, named as everywhere else.
TEST(ShortcutList, NamesEveryShortcutInTheMenusOrder)
{
    const auto us = XkbKeyboardLayout::fromNames("us");
    QuandrelSettings settings;
    settings.appBindings.push_back({"xterm", "XTerm", Shortcut{linuxKeyBase + 99, 0}, FrontmostBehavior::hide});
    const QStringList lines = shortcutListText(settings, us.get()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 21 + 4 + 1);
    EXPECT_EQ(lines[1], QStringLiteral("  Ctrl+Alt+←          Left Half"));
    EXPECT_EQ(lines[19], QStringLiteral("  Ctrl+Alt+Backspace  Restore"));
    EXPECT_EQ(lines[22], QStringLiteral("  Shift+Super+2       Capture Area"));
    EXPECT_EQ(lines[26], QStringLiteral("  Print               XTerm"));
    settings = {};
    settings.windowShortcuts.clear();
    settings.captureShortcuts.clear();
    EXPECT_EQ(shortcutListText(settings, us.get()), QStringLiteral("Shortcuts: none (Quandrel's settings give them).\n"));
}

// Every symbol a menu, toolbar or panel names is drawn in the set, at scale 1 and 2, in the
// colour asked for.
TEST(Symbols, EveryNamedSymbolIsDrawn)
{
    QStringList names{"rectangle.split.2x1", "exclamationmark.triangle", "exclamationmark.triangle.fill", "checkmark.circle.fill",
                      "doc.on.doc", "pin", "square.and.arrow.down", "square.and.arrow.down.fill", "xmark.circle.fill",
                      "pencil.tip.crop.circle", "text.viewfinder", "arrow.uturn.backward", "arrow.uturn.forward"};
    for (const CaptureMode m : allCaptureModes)
        names << QString::fromUtf8(symbolName(m).data(), qsizetype(symbolName(m).size()));
    for (const EditorTool t : allEditorTools)
        names << QString::fromUtf8(symbolName(t).data(), qsizetype(symbolName(t).size()));
    for (const QString& name : names) {
        EXPECT_TRUE(ui::hasSymbol(name)) << name.toStdString();
        for (const qreal scale : {1.0, 2.0}) {
            const QImage image = ui::symbolPixmap(name, QSize(16, 16), QColor(200, 30, 30), scale).toImage();
            ASSERT_EQ(image.size(), QSize(16, 16) * scale) << name.toStdString();
            bool inked = false;
            for (int y = 0; y < image.height() && !inked; ++y)
                for (int x = 0; x < image.width() && !inked; ++x)
                    inked = qAlpha(image.pixel(x, y)) > 200 && qRed(image.pixel(x, y)) > 150 && qGreen(image.pixel(x, y)) < 80;
            EXPECT_TRUE(inked) << name.toStdString() << " is not drawn in the colour asked for";
        }
    }
    EXPECT_FALSE(ui::hasSymbol(QStringLiteral("macwindow")));
    EXPECT_TRUE(ui::symbolPixmap(QStringLiteral("no.such.symbol"), QSize(16, 16), Qt::black).isNull());
}

TEST(TrayIcon, TheDrawingStandsOutOnTheTray)
{
    using ui::TrayIconVariant;
    const struct {
        std::optional<QColor> trayForeground;
        QColor paletteText;
        TrayIconVariant expected;
    } cases[] = {
        {std::nullopt, QColor(0x20, 0x20, 0x20), TrayIconVariant::dark},  // light theme, light panels
        {std::nullopt, QColor(0xee, 0xee, 0xee), TrayIconVariant::light}, // dark theme, dark panels
        {QColor(0xf0, 0xf0, 0xf0), QColor(0x20, 0x20, 0x20), TrayIconVariant::light}, // the tray's colour wins
        {QColor(0x30, 0x30, 0x30), QColor(0xee, 0xee, 0xee), TrayIconVariant::dark},
        {QColor(0x40, 0xe0, 0x40), QColor(0x20, 0x20, 0x20), TrayIconVariant::light}, // bright green reads as light
        {QColor(0x00, 0x00, 0xff), QColor(0xee, 0xee, 0xee), TrayIconVariant::dark},  // pure blue reads as dark
    };
    for (const auto& c : cases)
        EXPECT_EQ(ui::trayIconVariant(c.trayForeground, c.paletteText), c.expected)
            << (c.trayForeground ? c.trayForeground->name().toStdString() : "palette " + c.paletteText.name().toStdString());
    EXPECT_GT(ui::trayIconColor(TrayIconVariant::light).lightness(), 200);
    EXPECT_LT(ui::trayIconColor(TrayIconVariant::dark).lightness(), 80);
    EXPECT_FALSE(ui::trayIcon(TrayIconVariant::light).pixmap(22, 22).isNull());
}

// Runs under a German locale (ctest's app_tests_german); elsewhere the menu stays English.
TEST(TrayMenuTranslation, GermanLocaleTranslatesTheMenu)
{
    if (QLocale().language() != QLocale::German)
        GTEST_SKIP() << "needs LANG=de_DE.UTF-8";
    installTranslations(*QCoreApplication::instance());
    const QuandrelSettings settings;
    const auto menu = trayMenuModel({settings, {}, false});
    EXPECT_EQ(menu.back().title, QStringLiteral("Quandrel beenden"));
    EXPECT_EQ(menu.front().title, QStringLiteral("Fenster"));
    EXPECT_EQ(menu.front().children.front().title, QStringLiteral("Linke Hälfte"));
    EXPECT_EQ(menu[2].title, QStringLiteral("Bereich aufnehmen"));
}
