#include "SettingsWidgets.h"

#include "Symbols.h"

#include <QDir>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quandrel::settingsui {

QColor secondaryColor(const QPalette& palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

QIcon applicationIcon(const std::string& icon)
{
    if (icon.empty())
        return {};
    const QString name = QString::fromStdString(icon);
    if (QDir::isAbsolutePath(name))
        return QIcon(name);
    return QIcon::fromTheme(name);
}

QGroupBox* section(const QString& title, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    box->setAccessibleName(title);
    return box;
}

QWidget* scrolling(QWidget* content, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

PermissionRow::PermissionRow(const QString& title, const QString& detail, const QString& missing, std::function<void()> checkAgain,
                             QWidget* parent)
    : QWidget(parent)
    , m_symbol(new QLabel(this))
    , m_state(new QLabel(this))
    , m_missing(secondaryLabel(missing, this))
    , m_check(new QPushButton(tr("Check Again"), this))
{
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* titleLabel = new QLabel(title, this);
    QFont bold = titleLabel->font();
    bold.setBold(true);
    titleLabel->setFont(bold);
    text->addWidget(titleLabel);
    text->addWidget(secondaryLabel(detail, this));
    text->addWidget(m_missing);
    row->addLayout(text, 1);
    m_symbol->setFixedSize(18, 18);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addWidget(m_state, 0, Qt::AlignTop);
    row->addWidget(m_check, 0, Qt::AlignTop);
    m_check->setAccessibleName(tr("Check %1 again").arg(title));
    connect(m_check, &QPushButton::clicked, this, [checkAgain = std::move(checkAgain)] {
        if (checkAgain)
            checkAgain();
    });
    updateLook();
}

void PermissionRow::setGranted(bool granted)
{
    if (m_granted == granted)
        return;
    m_granted = granted;
    updateLook();
}

void PermissionRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        updateLook();
    QWidget::changeEvent(event);
}

void PermissionRow::updateLook()
{
    m_symbol->setPixmap(ui::symbolPixmap(m_granted ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.circle.fill"),
                                         QSize(18, 18), m_granted ? green : orange, devicePixelRatioF()));
    m_state->setText(m_granted ? tr("Allowed") : QString());
    m_state->setVisible(m_granted);
    m_missing->setVisible(!m_granted);
    m_check->setVisible(!m_granted);
    setAccessibleDescription(m_granted ? tr("Allowed") : m_missing->text());
}

ElidedLabel::ElidedLabel(QWidget* parent)
    : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void ElidedLabel::setFullText(const QString& text)
{
    m_full = text;
    setToolTip(text);
    setAccessibleDescription(text);
    elide();
}

QSize ElidedLabel::minimumSizeHint() const { return {40, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, std::max(40, width()))); }

} // namespace quandrel::settingsui
