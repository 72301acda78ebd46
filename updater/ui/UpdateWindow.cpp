#include "UpdateWindow.h"

#include "DesktopNotifier.h"
#include "Symbols.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

namespace ostry {

using Kind = UpdateState::Kind;

ReleaseNotesView::ReleaseNotesView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
            QDesktopServices::openUrl(url);
    });
}

void ReleaseNotesView::setNotes(const QString& markdown)
{
    // Raw HTML in the notes is shown as the text it is.
    document()->setMarkdown(markdown, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub
                                                                      | QTextDocument::MarkdownNoHTML));
}

QVariant ReleaseNotesView::loadResource(int, const QUrl&)
{
    ++m_resourceRequests;
    return {};
}

Spinner::Spinner(QWidget* parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().color(QPalette::WindowText), 2.5);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    const QRectF area = QRectF(rect()).adjusted(3, 3, -3, -3);
    painter.drawArc(area, -m_angle * 16, 270 * 16);
}

void Spinner::showEvent(QShowEvent*)
{
    if (!m_timer)
        m_timer = startTimer(40);
}

void Spinner::hideEvent(QHideEvent*)
{
    if (m_timer)
        killTimer(m_timer);
    m_timer = 0;
}

void Spinner::timerEvent(QTimerEvent*)
{
    m_angle = (m_angle + 24) % 360;
    QWidget::update();
}

UpdateView::UpdateView(Updater& updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
    , m_headline(new QLabel)
    , m_version(new QLabel)
    , m_notes(new ReleaseNotesView)
    , m_status(new QLabel)
    , m_spinner(new Spinner)
    , m_progress(new QProgressBar)
    , m_skip(new QPushButton(tr("Skip This Version")))
    , m_remind(new QPushButton(tr("Remind Me Later")))
    , m_later(new QPushButton(tr("Later")))
    , m_install(new QPushButton(tr("Install and Relaunch")))
    , m_automatic(new QCheckBox(tr("Automatically download and install updates")))
{
    auto* icon = new QLabel;
    // The application's symbol in the palette's text colour, so that it reads on dark themes.
    icon->setPixmap(quandrel::ui::symbolPixmap(QStringLiteral("rectangle.split.2x1"), QSize(64, 64),
                                               palette().color(QPalette::WindowText), devicePixelRatioF()));
    icon->setFixedSize(64, 64);
    icon->setAlignment(Qt::AlignTop);

    QFont headlineFont = m_headline->font();
    headlineFont.setBold(true);
    headlineFont.setPointSizeF(headlineFont.pointSizeF() * 1.25);
    m_headline->setFont(headlineFont);
    m_headline->setWordWrap(true);
    m_version->setWordWrap(true);
    m_status->setWordWrap(true);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_install->setDefault(true);
    m_install->setAutoDefault(true);

    auto* text = new QVBoxLayout;
    text->addWidget(m_headline);
    text->addWidget(m_version);
    text->addSpacing(6);
    text->addWidget(m_notes, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* actions = new QHBoxLayout;
    actions->addWidget(m_skip);
    actions->addWidget(m_spinner);
    actions->addWidget(m_status, 1);
    actions->addWidget(m_progress, 1);
    actions->addWidget(m_remind);
    actions->addWidget(m_later);
    actions->addWidget(m_install);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_automatic);
    layout->addLayout(actions);

    connect(m_skip, &QPushButton::clicked, &updater, &Updater::skipThisVersion);
    connect(m_remind, &QPushButton::clicked, &updater, &Updater::remindMeLater);
    connect(m_later, &QPushButton::clicked, &updater, &Updater::remindMeLater);
    connect(m_install, &QPushButton::clicked, &updater, &Updater::installAndRelaunch);
    connect(m_automatic, &QCheckBox::toggled, &updater, [&updater](bool on) {
        if (on != updater.automaticallyInstalls())
            updater.setAutomaticallyInstalls(on);
    });
    connect(&updater, &Updater::stateChanged, this, &UpdateView::refresh);
    connect(&updater, &Updater::automaticallyInstallsChanged, this, &UpdateView::refresh);
    refresh();
}

QString UpdateView::headline() const
{
    const QString app = m_updater.configuration().appName;
    if (m_updater.state().candidate)
        return tr("A new version of %1 is available!").arg(app);
    return tr("%1 is up to date").arg(app);
}

QString UpdateView::versionLine() const
{
    const auto running = m_updater.runningVersion();
    const QString current = running ? running->text() : QStringLiteral("?");
    if (const auto& candidate = m_updater.state().candidate)
        return tr("%1 %2 is available. You have %3.")
            .arg(m_updater.configuration().appName, candidate->version.text(), current);
    return tr("You have version %1.").arg(current);
}

void UpdateView::refresh()
{
    const UpdateState& state = m_updater.state();
    m_headline->setText(headline());
    m_version->setText(versionLine());
    const QString notes = state.candidate ? state.candidate->notes : QString();
    if (notes != m_shownNotes || m_notes->document()->isEmpty()) {
        m_shownNotes = notes;
        m_notes->setNotes(notes);
    }
    m_notes->setVisible(state.candidate.has_value());

    const Kind kind = state.kind;
    m_skip->setVisible(kind == Kind::available);
    m_remind->setVisible(kind == Kind::available);
    m_later->setVisible(kind == Kind::readyToInstall);
    m_install->setVisible(kind == Kind::available || kind == Kind::readyToInstall);
    m_progress->setVisible(kind == Kind::downloading);
    m_progress->setValue(int(state.progress * 1000));
    m_spinner->setVisible(kind == Kind::installing || kind == Kind::checking);
    QString status;
    if (kind == Kind::readyToInstall)
        status = tr("Ready to install. It will also install when you quit.");
    else if (kind == Kind::installing)
        status = tr("Installing…");
    else if (kind == Kind::checking)
        status = tr("Checking for updates…");
    m_status->setText(status);
    m_status->setVisible(!status.isEmpty() || kind != Kind::downloading);
    const QSignalBlocker quiet(m_automatic);
    m_automatic->setChecked(m_updater.automaticallyInstalls());
    // Return presses it, as the window's default action.
    if (!m_install->isHidden())
        m_install->setFocus();
}

WindowPresenter::WindowPresenter(quandrel::DesktopNotifier* notifier) : m_notifier(notifier) {}

WindowPresenter::~WindowPresenter()
{
    delete m_window;
    delete m_message;
}

void WindowPresenter::show(Updater& updater)
{
    if (!m_window) {
        auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                                                | Qt::WindowMinimizeButtonHint);
        window->setWindowTitle(tr("Software Update"));
        window->setWindowIcon(quandrel::ui::applicationIcon());
        window->resize(windowWidth, windowHeight);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(16, 16, 16, 16);
        m_view = new UpdateView(updater, window);
        layout->addWidget(m_view);
        // The view talks to the updater; it goes with it.
        QObject::connect(&updater, &QObject::destroyed, window, &QObject::deleteLater);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            window->move(screen->availableGeometry().center() - window->rect().center());
        m_window = window;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void WindowPresenter::close()
{
    if (m_window) {
        m_window->close();
        m_window->deleteLater();
    }
    m_window = nullptr;
    m_view = nullptr;
}

void WindowPresenter::showMessage(int icon, const QString& title, const QString& text, const QString& detail)
{
    delete m_message;
    auto* box = new QMessageBox(QMessageBox::Icon(icon), title, text, QMessageBox::Ok);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modal, without a nested event loop: the updater's work goes on while it is open.
    box->setWindowModality(Qt::ApplicationModal);
    m_message = box;
    box->show();
    box->raise();
    box->activateWindow();
}

void WindowPresenter::showUpToDate(const QString& appName, const QString& version)
{
    close();
    showMessage(QMessageBox::Information, tr("You're up to date!"), tr("You're up to date!"),
                tr("%1 %2 is the newest version available.").arg(appName, version));
}

void WindowPresenter::showError(const QString& message)
{
    showMessage(QMessageBox::Warning, tr("Couldn't Update"), tr("Couldn't Update"), message);
}

void WindowPresenter::notifyReady(const QString& appName, const UpdateCandidate& candidate)
{
    if (!m_notifier)
        return;
    const std::uint32_t id = m_notifier->notify(tr("%1 %2 is ready").arg(appName, candidate.version.text()),
                                                tr("It will be installed when you quit %1.").arg(appName),
                                                m_notification);
    if (id != 0)
        m_notification = id;
}

} // namespace ostry
