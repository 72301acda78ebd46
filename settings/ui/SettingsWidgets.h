#pragma once

// Small pieces the settings and welcome windows share: the row of one thing Quandrel needs
// from the desktop, a label that shortens a path in the middle, and the colours and icons
// both draw with.

#include "SettingsModel.h"

#include <QLabel>
#include <QWidget>

#include <functional>

class QGroupBox;
class QPushButton;

namespace quandrel::settingsui {

// The window text colour, faded for details and hints.
QColor secondaryColor(const QPalette& palette);
inline const QColor orange(0xf0, 0x8c, 0x00);
inline const QColor green(0x2e, 0xa0, 0x43);

// An installed application's icon: a theme name or a file; none when it has none.
QIcon applicationIcon(const std::string& icon);

// A titled group of the settings window's tabs.
QGroupBox* section(const QString& title, QWidget* parent);
// A tab's page in a frameless area that scrolls vertically when the window is small.
QWidget* scrolling(QWidget* content, QWidget* parent);

// A label in the secondary colour that wraps.
QLabel* secondaryLabel(const QString& text, QWidget* parent = nullptr);

// Title and detail on the left; on the right a green check and "Allowed", or an orange mark,
// what is missing, and "Check Again", which reads the desktop again.
class PermissionRow : public QWidget {
    Q_OBJECT
public:
    PermissionRow(const QString& title, const QString& detail, const QString& missing, std::function<void()> checkAgain,
                  QWidget* parent = nullptr);
    void setGranted(bool granted);
    bool isGranted() const { return m_granted; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateLook();
    bool m_granted = false;
    QLabel* m_symbol;
    QLabel* m_state;
    QLabel* m_missing;
    QPushButton* m_check;
};

// A single line that shows the middle of a long text as "…".
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    const QString& fullText() const { return m_full; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString m_full;
};

} // namespace quandrel::settingsui
