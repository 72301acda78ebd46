#pragma once

// The application's symbol set: small SVG drawings in ui/icons, one file per symbol name
// ("pin", "doc.on.doc", …). Each drawing strokes and fills with `currentColor`, which is
// replaced by the colour the caller asks for, so symbols follow the palette.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <optional>

namespace quandrel::ui {

// Whether a symbol of that name exists in the set.
bool hasSymbol(const QString& name);

// The symbol drawn at `size` (logical pixels) for a device pixel ratio, in `color`. An
// unknown name gives a null pixmap.
QPixmap symbolPixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);

// An icon that draws the symbol crisply at any size and scale, in `color`.
QIcon symbolIcon(const QString& name, const QColor& color);

// The application's own icon (windows, the About line): the theme's "quandrel", else the
// drawing in packaging/icons at every size it comes in.
QIcon applicationIcon();
inline constexpr int applicationIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The tray icon: a one-colour drawing (the symbol "quandrel-symbolic"), light for dark panels
// and dark for light ones. Where the icon theme has "quandrel-symbolic" (the package installs
// it in hicolor) the icon carries that name, so a tray host that draws icons itself takes the
// theme's, which a theme may replace.
enum class TrayIconVariant { light, dark };
QIcon trayIcon(TrayIconVariant variant);
QColor trayIconColor(TrayIconVariant variant);
// The variant that stands out on the tray: the tray's own foreground colour where it names
// one, else the palette's text colour (light text comes with dark panels).
TrayIconVariant trayIconVariant(const std::optional<QColor>& trayForeground, const QColor& paletteText);

} // namespace quandrel::ui
