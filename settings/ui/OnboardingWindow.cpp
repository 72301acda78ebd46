#include "OnboardingWindow.h"

#include "FrontmostApplication.h"
#include "SettingsModel.h"
#include "SettingsWidgets.h"
#include "Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace quandrel {

OnboardingWindow::OnboardingWindow(SettingsContext context, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_context(std::move(context))
    , m_symbol(new QLabel(this))
{
    setWindowTitle(tr("Welcome to Quandrel"));
    setWindowIcon(ui::applicationIcon());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 20);
    layout->setSpacing(10);

    m_symbol->setFixedSize(56, 56);
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
    auto* title = new QLabel(tr("Welcome to Quandrel"), this);
    QFont large = title->font();
    large.setPointSizeF(large.pointSizeF() * 1.7);
    large.setBold(true);
    title->setFont(large);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    auto* tagline = settingsui::secondaryLabel(tr("Window snapping, app shortcuts and screenshots in one tray app."), this);
    tagline->setAlignment(Qt::AlignHCenter);
    layout->addWidget(tagline);

    auto* box = new QFrame(this);
    box->setFrameShape(QFrame::StyledPanel);
    box->setAutoFillBackground(true);
    box->setBackgroundRole(QPalette::AlternateBase);
    auto* inner = new QVBoxLayout(box);
    inner->setContentsMargins(14, 12, 14, 12);
    auto* intro = new QLabel(box);
    intro->setWordWrap(true);
    inner->addWidget(intro);
    const auto checkAgain = [this] { m_context.permissions.refresh(); };
    const PermissionText control = windowControlText();
    const PermissionText screen = screenReadingText();
    AccessTrust* trust = m_context.platform.trust;
    const auto setup = trust ? trust->setup() : std::nullopt;
    m_windowControl = new settingsui::PermissionRow(control.title, control.onboardingDetail,
                                                    setup ? QString::fromStdString(setup->missing) : control.missing, checkAgain, box);
    m_screenReading = new settingsui::PermissionRow(screen.title, screen.onboardingDetail,
                                                    setup ? QString::fromStdString(setup->missing) : screen.missing, checkAgain, box);
    intro->setText(setup ? tr("Quandrel needs two things from your desktop session.")
                         : tr("Quandrel needs two things from your desktop session. There is nothing to switch on: "
                              "both come with an X11 session and its window manager."));
    inner->addWidget(m_windowControl);
    if (setup) {
        // What the session can set up: done only once the person has agreed to it.
        auto* row = new QHBoxLayout;
        auto* outcome = settingsui::secondaryLabel(QString(), box);
        outcome->setObjectName(QStringLiteral("setupOutcome"));
        outcome->setWordWrap(true);
        outcome->hide();
        auto* button = new QPushButton(QString::fromStdString(setup->action), box);
        button->setObjectName(QStringLiteral("setupButton"));
        connect(button, &QPushButton::clicked, this, [this, trust, outcome, button, setup = *setup] {
            // Asked without a loop of its own; the answer continues here.
            auto* ask = new QMessageBox(QMessageBox::Question, QString::fromStdString(setup.action),
                                        QString::fromStdString(setup.explanation), QMessageBox::Cancel, this);
            ask->setAttribute(Qt::WA_DeleteOnClose);
            QPushButton* install = ask->addButton(tr("Install"), QMessageBox::AcceptRole);
            QPushButton* alternative = setup.alternative.empty()
                                           ? nullptr
                                           : ask->addButton(QString::fromStdString(setup.alternative), QMessageBox::ActionRole);
            if (alternative)
                alternative->setObjectName(QStringLiteral("setupAlternative"));
            ask->setDefaultButton(QMessageBox::Cancel);
            connect(ask, &QMessageBox::finished, this, [this, ask, install, alternative, trust, outcome, button] {
                const QAbstractButton* clicked = ask->clickedButton();
                if (clicked != install && (!alternative || clicked != alternative))
                    return;
                outcome->setText(QString::fromStdString(clicked == install ? trust->performSetup() : trust->performAlternative()));
                outcome->show();
                // Shortcuts only leave the extension to install later.
                button->setEnabled(clicked != install);
                m_context.permissions.refresh();
            });
            ask->open();
        });
        row->addWidget(outcome, 1);
        row->addWidget(button, 0, Qt::AlignTop | Qt::AlignRight);
        inner->addLayout(row);
    }
    auto* divider = new QFrame(box);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    inner->addWidget(divider);
    inner->addWidget(m_screenReading);
    layout->addWidget(box);

    auto* tryIt = new QLabel(tr("Try it"), this);
    QFont heading = tryIt->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.15);
    tryIt->setFont(heading);
    layout->addWidget(tryIt);
    for (int i = 0; i < 3; ++i) {
        // The bullet beside the text, so that a wrapped line starts under the text.
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        row->addWidget(new QLabel(QStringLiteral("•"), this), 0, Qt::AlignTop);
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("tryIt%1").arg(i));
        label->setWordWrap(true);
        label->setTextFormat(Qt::RichText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        connect(label, &QLabel::linkActivated, this, [this](const QString& link) {
            if (m_context.openSettings)
                m_context.openSettings(SettingsTab(link.section(QLatin1Char(':'), 1).toInt()));
        });
        row->addWidget(label, 1, Qt::AlignTop);
        layout->addLayout(row);
        m_tryIt << label;
    }

    m_finish = new QPushButton(this);
    m_finish->setDefault(true);
    m_finish->setAutoDefault(true);
    m_finish->setMinimumWidth(90);
    connect(m_finish, &QPushButton::clicked, this, [this] { m_context.completeOnboarding(); });
    layout->addSpacing(6);
    layout->addWidget(m_finish, 0, Qt::AlignRight);

    connect(&m_context.permissions, &PermissionMonitor::changed, this, &OnboardingWindow::refresh);
    connect(&m_context.failed, &FailedShortcuts::changed, this, &OnboardingWindow::refresh);
    connect(&m_context.store, &SettingsStore::settingsChanged, this, &OnboardingWindow::refresh);
    updateSymbols();
    refresh();
    setFixedWidth(520);
}

void OnboardingWindow::refresh()
{
    const PermissionMonitor& p = m_context.permissions;
    m_windowControl->setGranted(p.windowControlAllowed());
    m_screenReading->setGranted(p.screenReadingAllowed());
    m_finish->setText(onboardingButtonTitle(p.allGranted()));
    m_finish->setAccessibleName(m_finish->text());

    const auto lines = tryItLines(m_context.store.settings(), m_context.failed.commands(), m_context.platform.keyboardLayout);
    for (qsizetype i = 0; i < m_tryIt.size() && i < qsizetype(lines.size()); ++i) {
        const TryItLine& line = lines[std::size_t(i)];
        QString html = line.text.toHtmlEscaped();
        if (!line.link.isEmpty()) {
            const QString link = line.link.toHtmlEscaped();
            html.replace(link, QStringLiteral("<a href=\"settings:%1\">%2</a>").arg(int(line.tab)).arg(link));
        }
        m_tryIt[i]->setText(html);
        m_tryIt[i]->setAccessibleName(line.text);
    }
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event)
{
    // Return is the default button's key, wherever the focus is.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_finish->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OnboardingWindow::updateSymbols()
{
    m_symbol->setPixmap(ui::symbolPixmap(QStringLiteral("rectangle.split.2x1.fill"), QSize(56, 56), palette().color(QPalette::Highlight),
                                         devicePixelRatioF()));
}

void OnboardingWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        updateSymbols();
    QWidget::changeEvent(event);
}

} // namespace quandrel
