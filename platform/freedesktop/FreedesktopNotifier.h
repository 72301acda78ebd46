#pragma once

#include "DesktopNotifier.h"

#include <QHash>
#include <QObject>

namespace quandrel {

// org.freedesktop.Notifications on the session bus. Without a bus or a notification service
// nothing is shown and nothing fails; a question then answers 0 and is never confirmed.
class FreedesktopNotifier final : public QObject, public DesktopNotifier {
    Q_OBJECT
public:
    std::uint32_t notify(const QString& summary, const QString& body, std::uint32_t replaces = 0) override;
    std::uint32_t ask(const QString& summary, const QString& body, const QString& actionLabel,
                      std::function<void()> onConfirm) override;

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    std::uint32_t show(const QString& summary, const QString& body, const QStringList& actions, std::uint32_t replaces);

    bool m_listening = false;
    QHash<uint, std::function<void()>> m_questions; // by notification id, until answered or closed
};

} // namespace quandrel
