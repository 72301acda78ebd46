#pragma once

// "Welcome to Quandrel": what Quandrel needs from this desktop, with the state of each, and
// the shortcuts to try: those that work, and those another program holds with a link to the
// tab where they are changed. Its one button ("Done" when everything is there, else "Later")
// finishes onboarding.

#include "SettingsContext.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace quandrel {

namespace settingsui {
class PermissionRow;
}

class OnboardingWindow : public QWidget {
    Q_OBJECT
public:
    explicit OnboardingWindow(SettingsContext context, QWidget* parent = nullptr);

    QPushButton* finishButton() const { return m_finish; }
    settingsui::PermissionRow* windowControlRow() const { return m_windowControl; }
    settingsui::PermissionRow* screenReadingRow() const { return m_screenReading; }
    // Shows the permissions as they were last read, and the shortcuts as they work now.
    void refresh();
    // The "Try it" lines, in order (object names "tryIt0", "tryIt1", …).
    QList<QLabel*> tryItLabels() const { return m_tryIt; }

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateSymbols();

    SettingsContext m_context;
    QLabel* m_symbol;
    settingsui::PermissionRow* m_windowControl;
    settingsui::PermissionRow* m_screenReading;
    QPushButton* m_finish;
    QList<QLabel*> m_tryIt;
};

} // namespace quandrel
