#pragma once

// The receiving end of the extension's ShortcutPressed signal (QtDBus delivers signals to
// slots), and the (us) pair SetShortcuts takes.

#include <QDBusArgument>
#include <QObject>
#include <QString>

namespace quandrel::gnome {

class GnomeShell;

struct ShortcutEntry {
    uint id = 0;
    QString accelerator;
};

struct ShellArea {
    int x = 0, y = 0, width = 0, height = 0;
};

inline QDBusArgument& operator<<(QDBusArgument& out, const ShellArea& area)
{
    out.beginStructure();
    out << area.x << area.y << area.width << area.height;
    out.endStructure();
    return out;
}

inline const QDBusArgument& operator>>(const QDBusArgument& in, ShellArea& area)
{
    in.beginStructure();
    in >> area.x >> area.y >> area.width >> area.height;
    in.endStructure();
    return in;
}

inline QDBusArgument& operator<<(QDBusArgument& out, const ShortcutEntry& entry)
{
    out.beginStructure();
    out << entry.id << entry.accelerator;
    out.endStructure();
    return out;
}

inline const QDBusArgument& operator>>(const QDBusArgument& in, ShortcutEntry& entry)
{
    in.beginStructure();
    in >> entry.id >> entry.accelerator;
    in.endStructure();
    return in;
}

class ShortcutSignal final : public QObject {
    Q_OBJECT
public:
    explicit ShortcutSignal(GnomeShell& shell);

public Q_SLOTS:
    void pressed(uint id);

private:
    GnomeShell& m_shell;
};

} // namespace quandrel::gnome

Q_DECLARE_METATYPE(quandrel::gnome::ShortcutEntry)
Q_DECLARE_METATYPE(quandrel::gnome::ShellArea)
