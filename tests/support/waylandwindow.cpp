// A tiny Wayland client for sway tests: one plain window with the app_id given as the first
// argument, filled with one colour, or black text on white when a second argument gives it. It prints "size W H" each time the compositor has shown it at a new size, so a
// test knows when the client has taken the size the compositor asked for.

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Window final : public QRasterWindow {
public:
    explicit Window(QString text) : m_text(std::move(text)) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_text.isEmpty()) {
            painter.fillRect(QRect(QPoint(), size()), QColor(0x30, 0x60, 0x90));
        } else {
            painter.fillRect(QRect(QPoint(), size()), Qt::white);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(18);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QRect(QPoint(), size()).adjusted(20, 20, -20, -20), Qt::AlignLeft | Qt::AlignTop, m_text);
        }
        painter.end();
        // Updates wait for the compositor's frame callback: once the next one comes, the
        // compositor has taken the buffer of this size.
        if (size() != m_reported) {
            m_drawn = size();
            requestUpdate();
        }
    }

    bool event(QEvent* event) override
    {
        // Reported without drawing again: a new buffer of the old size must not reach the
        // compositor after the test has asked for another size.
        if (event->type() == QEvent::UpdateRequest && m_drawn == size() && m_reported != size()) {
            m_reported = size();
            std::printf("size %d %d\n", m_reported.width(), m_reported.height());
            std::fflush(stdout);
            return true;
        }
        return QRasterWindow::event(event);
    }

private:
    QString m_text;
    QSize m_drawn;
    QSize m_reported;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
    QGuiApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("quandrel-test"));
    Window window(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    window.resize(700, 500);
    window.show();
    return app.exec();
}
