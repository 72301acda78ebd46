#include "DarkPalette.h"

#include <QApplication>
#include <QStyleFactory>

namespace quandrel::ui {

void useDarkPalette()
{
    // Only over Qt's own light colours: a platform theme that already gave dark ones (or
    // that the person chose with QT_QPA_PLATFORMTHEME) stays as it is.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME") || QApplication::palette().color(QPalette::Window).lightness() < 128)
        return;
    // Fusion draws every control from the palette, so the dark colours reach them all.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}

} // namespace quandrel::ui
