#pragma once

// The application's symbol set: small SVG drawings in ui/icons, one file per symbol name
// ("pin", "doc.on.doc", …). Each drawing strokes and fills with `currentColor`, which is
// replaced by the colour the caller asks for, so symbols follow the palette.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace quandrel::ui {

// Whether a symbol of that name exists in the set.
bool hasSymbol(const QString& name);

// The symbol drawn at `size` (logical pixels) for a device pixel ratio, in `color`. An
// unknown name gives a null pixmap.
QPixmap symbolPixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);

// An icon that draws the symbol crisply at any size and scale, in `color`.
QIcon symbolIcon(const QString& name, const QColor& color);

// The application's own icon (the tray and window icon).
QIcon applicationIcon();

} // namespace quandrel::ui
