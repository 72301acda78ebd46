#pragma once

// The control that records a global shortcut: a button showing the shortcut ("Record
// Shortcut" without one, "Type shortcut…" while recording), a clear button, and a warning
// symbol when the shortcut is shared with another command or another program holds it.
//
// While it records, every global hot key of Quandrel is released and the window takes the
// keyboard, so that a combination Quandrel or another program holds arrives here instead of
// doing its work. Every way out of recording gives both back: a recorded combination, Delete
// or Backspace alone (clears), Escape alone (unchanged), the button, a click elsewhere, and
// the control or its window going away.

#include "SettingsContext.h"
#include "Shortcut.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QToolButton;

namespace quandrel {

class ShortcutRecorder : public QWidget {
    Q_OBJECT
public:
    // `title` names what the shortcut is for, for screen readers ("Left Half").
    ShortcutRecorder(SettingsContext context, const QString& title, QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    // The shortcut shown, as the settings hold it; setting it does not emit.
    void setShortcut(const std::optional<Shortcut>& shortcut);
    const std::optional<Shortcut>& shortcut() const { return m_shortcut; }
    // The sharing warning ("Also used for …"); empty for none.
    void setConflict(const QString& text);
    // Another program holds the shortcut.
    void setFailed(bool failed, const QString& holder = {});

    bool isRecording() const { return m_recording; }
    void startRecording();
    void stopRecording();

    // The help text of the button and the warning symbol.
    QString helpText() const;
    QPushButton* button() const { return m_button; }
    QToolButton* clearButton() const { return m_clear; }
    QLabel* warning() const { return m_warning; }

    static inline const QString failedText = QStringLiteral("This shortcut is taken by another app or by the desktop.");
    // Where the desktop names who holds it.
    static QString takenByText(const QString& holder) { return QStringLiteral("This shortcut is taken by %1.").arg(holder); }

Q_SIGNALS:
    // The person recorded a shortcut, or cleared it (none).
    void shortcutEdited(const std::optional<Shortcut>& shortcut);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void keyPressed(const class QKeyEvent& event);
    void finish(const std::optional<std::optional<Shortcut>>& edit);
    void updateLook();

    SettingsContext m_context;
    QString m_title;
    std::optional<Shortcut> m_shortcut;
    QString m_conflict;
    bool m_failed = false;
    QString m_holder; // who holds the failed shortcut, where the desktop says
    bool m_recording = false;
    QPushButton* m_button;
    QToolButton* m_clear;
    QLabel* m_warning;
};

} // namespace quandrel
