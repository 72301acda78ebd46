#include "Toast.h"

#include "FloatingPanel.h"
#include "Symbols.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

namespace quandrel::ui {

namespace {

constexpr int symbolSize = 16;
constexpr int symbolSpacing = 7;

QFont toastFont()
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(ToastPresenter::fontPixelSize);
    font.setWeight(QFont::Medium);
    return font;
}

class ToastPanel final : public FloatingPanel {
public:
    ToastPanel(const QString& text, const QString& symbol, const QRect& frame)
        : FloatingPanel(frame, Focus::never, Input::clickThrough)
        , m_text(text)
        , m_symbol(symbol)
    {
        setWindowTitle(QStringLiteral("Quandrel toast"));
        setFont(toastFont());
        applyRoundedOutline(frame.height() / 2.0);
    }

    static QSize fittingSize(const QString& text, const QString& symbol)
    {
        const QFontMetrics metrics(toastFont());
        const int symbolWidth = hasSymbol(symbol) ? symbolSize + symbolSpacing : 0;
        const int width = ToastPresenter::paddingX * 2 + symbolWidth + metrics.horizontalAdvance(text);
        const int height = ToastPresenter::paddingY * 2 + std::max(metrics.height(), symbolSize);
        return {width, height};
    }

    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const qreal radius = box.height() / 2;
        QColor fill = palette().color(QPalette::Window);
        // The translucent material where a compositor blends it, else solid.
        fill.setAlphaF(compositing() ? 0.88f : 1.0f);
        QColor edge = palette().color(QPalette::WindowText);
        edge.setAlphaF(0.15f);
        p.setPen(QPen(edge, 1));
        p.setBrush(fill);
        p.drawRoundedRect(box, radius, radius);

        const QColor ink = palette().color(QPalette::WindowText);
        int x = ToastPresenter::paddingX;
        if (hasSymbol(m_symbol)) {
            const QPixmap symbol = symbolPixmap(m_symbol, QSize(symbolSize, symbolSize), ink, devicePixelRatioF());
            p.drawPixmap(QPoint(x, (height() - symbolSize) / 2), symbol);
            x += symbolSize + symbolSpacing;
        }
        p.setPen(ink);
        p.setFont(font());
        p.drawText(QRect(x, 0, width() - x - ToastPresenter::paddingX + 2, height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
    }

private:
    QString m_text;
    QString m_symbol;
};

QRect usableFrame(const QRect& requested)
{
    if (!requested.isEmpty())
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->geometry().intersects(requested))
                return requested;
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->availableGeometry() : QRect();
}

} // namespace

ToastPresenter::ToastPresenter(Scheduler schedule)
    : m_schedule(schedule ? std::move(schedule) : [](int ms, std::function<void()> run) { QTimer::singleShot(ms, std::move(run)); })
{
}

ToastPresenter::~ToastPresenter()
{
    ++m_generation;
    delete m_current;
}

QString ToastPresenter::currentText() const
{
    return m_current ? static_cast<ToastPanel*>(m_current)->text() : QString();
}

void ToastPresenter::dismiss()
{
    if (!m_current)
        return;
    m_current->hide();
    m_current->deleteLater();
    m_current = nullptr;
}

void ToastPresenter::show(const QString& text, const QString& symbol, const QRect& visibleFrame)
{
    ++m_generation; // the replaced toast's pending dismissal does nothing now
    dismiss();
    const QSize size = ToastPanel::fittingSize(text, symbol);
    const QRect area = usableFrame(visibleFrame);
    QRect frame(QPoint(0, 0), size);
    if (!area.isEmpty())
        frame.moveTopLeft(QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + area.height() - bottomOffset - size.height()));
    auto* panel = new ToastPanel(text, symbol, frame);
    panel->showPanel();
    m_current = panel;
    const unsigned generation = m_generation;
    m_schedule(durationMs, [this, generation, alive = std::weak_ptr<int>(m_alive)] {
        if (alive.expired() || generation != m_generation)
            return;
        dismiss();
    });
}

ToastPresenter& ToastPresenter::shared()
{
    // Never destroyed: its toast goes when the application quits, before widgets may not exist.
    static ToastPresenter* presenter = [] {
        auto* p = new ToastPresenter;
        if (QCoreApplication::instance())
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [p] { p->dismiss(); });
        return p;
    }();
    return *presenter;
}

void showToast(const QString& text, const QString& symbol, const QRect& visibleFrame)
{
    ToastPresenter::shared().show(text, symbol, visibleFrame);
}

void dismissToast() { ToastPresenter::shared().dismiss(); }

} // namespace quandrel::ui
