// A tiny Wayland client for sway tests: one plain window with the app_id given as the first
// argument. It prints "size W H" each time the compositor has shown it at a new size, so a
// test knows when the client has taken the size the compositor asked for.

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Window final : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(0x30, 0x60, 0x90));
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
    Window window;
    window.resize(700, 500);
    window.show();
    return app.exec();
}
