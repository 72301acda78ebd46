// A drop target in a process of its own for drag tests: a normal window at the given
// geometry that accepts any drop, asks for "image/png" and "text/uri-list", writes them to
// OUT/image.png and OUT/uri-list, and prints "ENTER" when a drag enters and "DROPPED" once
// it has the data, then exits.
//
//   quandrel-droptarget WxH+X+Y OUT

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>
#include <QWidget>

#include <cstdio>

namespace {

class Target final : public QWidget {
public:
    explicit Target(QString out) : m_out(std::move(out))
    {
        setAcceptDrops(true);
        setWindowTitle(QStringLiteral("drop target"));
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        event->acceptProposedAction();
        if (!m_entered) {
            m_entered = true;
            std::printf("ENTER\n");
            std::fflush(stdout);
        }
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        const QMimeData* data = event->mimeData();
        write(QStringLiteral("image.png"), data->data(QStringLiteral("image/png")));
        write(QStringLiteral("uri-list"), data->data(QStringLiteral("text/uri-list")));
        event->acceptProposedAction();
        std::printf("DROPPED\n");
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

private:
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(QDir(m_out).filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    QString m_out;
    bool m_entered = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const auto m = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)\\+(\\d+)\\+(\\d+)$")).match(QString::fromLocal8Bit(argv[1]));
    if (!m.hasMatch())
        return 2;
    Target target(QString::fromLocal8Bit(argv[2]));
    target.setGeometry(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    target.show();
    std::printf("READY %llu\n", static_cast<unsigned long long>(target.winId()));
    std::fflush(stdout);
    return app.exec();
}
