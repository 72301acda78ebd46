#include "Symbols.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

namespace quandrel::ui {
namespace {

QString resourcePath(const QString& name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

QByteArray coloredSvg(const QString& name, const QColor& color)
{
    QFile file(resourcePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (color.alpha() < 255) {
        // SVG colours carry no alpha; an opacity on the root group does.
        const QByteArray opacity = " opacity=\"" + QByteArray::number(color.alphaF(), 'f', 3) + "\"";
        const qsizetype tagEnd = svg.indexOf("<svg") >= 0 ? svg.indexOf('>', svg.indexOf("<svg")) : -1;
        if (tagEnd > 0)
            svg.insert(tagEnd, opacity);
    }
    return svg;
}

// Renders the SVG afresh for every size the icon is asked for, so it stays crisp at scale 1
// and 2 alike.
class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, QColor color, QString themeName = {})
        : m_name(std::move(name)), m_color(color), m_themeName(std::move(themeName))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.35);
        QSvgRenderer renderer(coloredSvg(m_name, color));
        if (renderer.isValid())
            renderer.render(painter, rect);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pm(size * scale);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, QRect(QPoint(0, 0), pm.size()), mode, state);
        }
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_name, m_color, m_themeName); }
    QString key() const override { return QStringLiteral("quandrel-symbol"); }
    // A tray that draws icons itself (a StatusNotifier host) looks this name up in the theme.
    QString iconName() override { return m_themeName; }

private:
    QString m_name;
    QColor m_color;
    QString m_themeName;
};

} // namespace

bool hasSymbol(const QString& name)
{
    return QFile::exists(resourcePath(name));
}

QPixmap symbolPixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio)
{
    if (!hasSymbol(name) || size.isEmpty() || devicePixelRatio <= 0)
        return {};
    QSvgRenderer renderer(coloredSvg(name, color));
    if (!renderer.isValid())
        return {};
    QPixmap pm(size * devicePixelRatio);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(pm.size())));
    }
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QIcon symbolIcon(const QString& name, const QColor& color)
{
    if (!hasSymbol(name))
        return {};
    return QIcon(new SymbolEngine(name, color));
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : applicationIconSizes)
        icon.addFile(QStringLiteral(":/app/%1/quandrel.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("quandrel"), icon);
}

QColor trayIconColor(TrayIconVariant variant)
{
    return variant == TrayIconVariant::light ? QColor(0xf4, 0xf4, 0xf4) : QColor(0x2e, 0x34, 0x36);
}

QIcon trayIcon(TrayIconVariant variant)
{
    const QString themeName = QStringLiteral("quandrel-symbolic");
    return QIcon(new SymbolEngine(themeName, trayIconColor(variant), QIcon::hasThemeIcon(themeName) ? themeName : QString()));
}

TrayIconVariant trayIconVariant(const std::optional<QColor>& trayForeground, const QColor& paletteText)
{
    const QColor& ink = trayForeground ? *trayForeground : paletteText;
    // Perceived lightness (Rec. 601 weights).
    const double lightness = 0.299 * ink.redF() + 0.587 * ink.greenF() + 0.114 * ink.blueF();
    return lightness >= 0.5 ? TrayIconVariant::light : TrayIconVariant::dark;
}

} // namespace quandrel::ui
