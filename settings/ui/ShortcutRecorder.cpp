#include "ShortcutRecorder.h"

#include "OwnWindows.h"
#include "Symbols.h"
#include "FrontmostApplication.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

namespace quandrel {

namespace {

// One recorder records at a time: starting another ends the first.
QPointer<ShortcutRecorder> activeRecorder;

constexpr std::uint32_t backspaceKey = 51; // "Delete" on the stored key table
constexpr std::uint32_t forwardDeleteKey = 117;
constexpr std::uint32_t escapeKey = 53;
constexpr std::uint32_t upKey = 126;
constexpr quint32 xLockMask = 0x2; // Caps Lock in an X key event's state

bool isModifierKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        break;
    }
    // The physical modifier and lock keys (X keycodes), whatever the layout makes of them.
    // Scroll Lock is none: it is a shortcut of its own.
    switch (event.nativeScanCode()) {
    case 37: case 105: case 50: case 62: case 64: case 108: case 133: case 134: case 66: case 77: case 92:
        return true;
    default:
        return false;
    }
}

QColor secondaryText(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.55f);
    return c;
}

const QColor warningOrange(0xf0, 0x8c, 0x00);

} // namespace

ShortcutRecorder::ShortcutRecorder(SettingsContext context, const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_context(std::move(context))
    , m_title(title)
    , m_button(new QPushButton(this))
    , m_clear(new QToolButton(this))
    , m_warning(new QLabel(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    // Wide enough for the usual names and the button's own words in the user's language, so
    // that the rows' buttons line up.
    int widest = 0;
    for (const QString& text : {QString::fromStdString(displayText({backspaceKey, modifier::control | modifier::alt})),
                                QString::fromStdString(displayText({upKey, modifier::control | modifier::alt | modifier::shift})),
                                tr("Record Shortcut"), tr("Type shortcut…")})
        widest = std::max(widest, m_button->fontMetrics().horizontalAdvance(text));
    m_button->setMinimumWidth(std::max(110, widest + 24));
    m_button->setAccessibleName(tr("Shortcut for %1").arg(title));
    m_clear->setAutoRaise(true);
    m_clear->setToolTip(tr("Clear"));
    m_clear->setAccessibleName(tr("Clear the shortcut for %1").arg(title));
    m_clear->setIconSize(QSize(14, 14));
    m_warning->setAccessibleName(tr("Warning"));
    m_warning->setFixedSize(16, 16);
    // The clear button keeps its room while hidden, so that the recorders of rows line up.
    QSizePolicy clearPolicy = m_clear->sizePolicy();
    clearPolicy.setRetainSizeWhenHidden(true);
    m_clear->setSizePolicy(clearPolicy);
    row->addWidget(m_button);
    row->addWidget(m_clear);
    row->addWidget(m_warning);
    row->addStretch(1);

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_recording)
            stopRecording();
        else
            startRecording();
    });
    connect(m_clear, &QToolButton::clicked, this, [this] {
        m_shortcut.reset();
        updateLook();
        Q_EMIT shortcutEdited(std::nullopt);
    });
    updateLook();
}

ShortcutRecorder::~ShortcutRecorder() { stopRecording(); }

void ShortcutRecorder::setShortcut(const std::optional<Shortcut>& shortcut)
{
    if (m_shortcut == shortcut)
        return;
    m_shortcut = shortcut;
    updateLook();
}

void ShortcutRecorder::setConflict(const QString& text)
{
    if (m_conflict == text)
        return;
    m_conflict = text;
    updateLook();
}

void ShortcutRecorder::setFailed(bool failed, const QString& holder)
{
    if (m_failed == failed && m_holder == holder)
        return;
    m_failed = failed;
    m_holder = holder;
    updateLook();
}

QString ShortcutRecorder::helpText() const
{
    if (!m_failed)
        return m_conflict;
    return m_holder.isEmpty() ? failedText : takenByText(m_holder);
}

void ShortcutRecorder::startRecording()
{
    if (m_recording)
        return;
    if (activeRecorder && activeRecorder != this)
        activeRecorder->stopRecording();
    activeRecorder = this;
    m_recording = true;
    m_context.hotKeys.suspendHotKeys();
    // The keyboard comes here even for combinations another program grabs.
    if (QWindow* native = window()->windowHandle(); native && window()->isVisible()) {
        if (const InputGrabError error = m_context.platform.ownWindows->grabInput(*native); error != InputGrabError::none)
            qInfo("The shortcut recorder could not take the keyboard (%s); combinations other programs hold will not arrive.",
                  describe(error));
    }
    qApp->installEventFilter(this);
    m_button->setFocus(Qt::OtherFocusReason);
    updateLook();
}

void ShortcutRecorder::stopRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    qApp->removeEventFilter(this);
    if (activeRecorder == this)
        activeRecorder = nullptr;
    m_context.platform.ownWindows->releaseInput();
    m_context.hotKeys.resumeHotKeys();
    updateLook();
}

void ShortcutRecorder::finish(const std::optional<std::optional<Shortcut>>& edit)
{
    // The new shortcut is written first, so that ending the recording registers it.
    QPointer<ShortcutRecorder> self(this);
    if (edit) {
        m_shortcut = *edit;
        Q_EMIT shortcutEdited(*edit);
    }
    if (self)
        stopRecording();
}

void ShortcutRecorder::keyPressed(const QKeyEvent& event)
{
    if (isModifierKey(event))
        return;
    const auto keyCode = virtualKeyForXKeycode(event.nativeScanCode());
    const std::uint32_t modifiers = modifierMask(event.modifiers());
    const bool capsLock = event.nativeModifiers() & xLockMask;
    if (keyCode && (*keyCode == backspaceKey || *keyCode == forwardDeleteKey) && modifiers == 0) {
        finish(std::optional<Shortcut>());
        return;
    }
    if (keyCode == escapeKey && modifiers == 0 && !capsLock) {
        finish(std::nullopt);
        return;
    }
    if (const auto shortcut = shortcutFromKeyEvent(event.nativeScanCode(), event.modifiers())) {
        finish(std::optional<Shortcut>(*shortcut));
        return;
    }
    m_context.platform.sound->beep();
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_recording)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // No shortcut of any window fires while recording: the key press comes here instead.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!key.isAutoRepeat())
            keyPressed(key);
        return true;
    }
    case QEvent::KeyRelease:
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // A click anywhere but on the button ends the recording (the button toggles it).
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || (widget != m_button && !m_button->isAncestorOf(widget)))
            stopRecording();
        return false;
    }
    default:
        return false;
    }
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    stopRecording();
    QWidget::hideEvent(event);
}

void ShortcutRecorder::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        updateLook();
    QWidget::changeEvent(event);
}

void ShortcutRecorder::updateLook()
{
    QString text;
    QPalette palette = QApplication::palette(m_button);
    if (m_recording) {
        text = tr("Type shortcut…");
        palette.setColor(QPalette::ButtonText, palette.color(QPalette::Highlight));
    } else if (m_shortcut) {
        text = QString::fromStdString(displayText(*m_shortcut, m_context.platform.keyboardLayout));
    } else {
        text = tr("Record Shortcut");
        palette.setColor(QPalette::ButtonText, secondaryText(palette));
    }
    m_button->setText(text);
    m_button->setPalette(palette);
    m_button->setToolTip(helpText());
    m_button->setAccessibleDescription(helpText());

    m_clear->setVisible(m_shortcut && !m_recording);
    m_clear->setIcon(ui::symbolIcon(QStringLiteral("xmark.circle.fill"), secondaryText(this->palette())));

    const bool warn = m_failed || !m_conflict.isEmpty();
    m_warning->setVisible(warn);
    m_warning->setToolTip(helpText());
    m_warning->setAccessibleDescription(helpText());
    if (warn)
        m_warning->setPixmap(ui::symbolPixmap(QStringLiteral("exclamationmark.triangle.fill"), QSize(16, 16), warningOrange, devicePixelRatioF()));
}

} // namespace quandrel
