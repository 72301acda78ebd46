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
#include <utility>

namespace {

void say(const char* what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}

class Target final : public QWidget {
public:
    explicit Target(QString out) : m_out(std::move(out)) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        event->acceptProposedAction();
        if (!std::exchange(m_entered, true))
            say("ENTER");
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        for (const auto& [name, format] : {std::pair{"image.png", "image/png"}, {"uri-list", "text/uri-list"}}) {
            QFile file(QDir(m_out).filePath(QString::fromLatin1(name)));
            if (file.open(QIODevice::WriteOnly))
                file.write(event->mimeData()->data(QString::fromLatin1(format)));
        }
        event->acceptProposedAction();
        say("DROPPED");
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

private:
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
