#pragma once

// The updater's widgets: the "Software Update" window with its update view, the two message
// boxes, and the "ready" desktop notification.
//
// Release notes come from the network: they are shown as Markdown with raw HTML taken as
// text, nothing is ever loaded for them (no images, local or remote), and a link opens in
// the browser only when clicked, and only for http and https.

#include "Updater.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;


namespace quandrel {
class DesktopNotifier;
}

namespace ostry {

// A QTextBrowser that loads nothing: images and style sheets named by the text stay empty.
class ReleaseNotesView : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReleaseNotesView(QWidget* parent = nullptr);
    void setNotes(const QString& markdown);
    QVariant loadResource(int type, const QUrl& name) override;
    int resourceRequests() const { return m_resourceRequests; }

private:
    int m_resourceRequests = 0;
};

// A small turning arc: work is under way.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_angle = 0;
    int m_timer = 0;
};

// The window's content, following the updater's state.
class UpdateView : public QWidget {
    Q_OBJECT
public:
    explicit UpdateView(Updater& updater, QWidget* parent = nullptr);

    QString headline() const;
    QString versionLine() const;
    ReleaseNotesView* notes() const { return m_notes; }
    QPushButton* installButton() const { return m_install; }
    QPushButton* skipButton() const { return m_skip; }
    QPushButton* remindButton() const { return m_remind; }
    QPushButton* laterButton() const { return m_later; }
    QProgressBar* progressBar() const { return m_progress; }
    QCheckBox* automaticInstalls() const { return m_automatic; }

private:
    void refresh();

    Updater& m_updater;
    QLabel* m_headline;
    QLabel* m_version;
    ReleaseNotesView* m_notes;
    QLabel* m_status;
    Spinner* m_spinner;
    QProgressBar* m_progress;
    QPushButton* m_skip;
    QPushButton* m_remind;
    QPushButton* m_later;
    QPushButton* m_install;
    QCheckBox* m_automatic;
    QString m_shownNotes;
};

class WindowPresenter : public UpdatePresenting {
    Q_DECLARE_TR_FUNCTIONS(ostry::WindowPresenter)

public:
    // Without a notifier, "ready" is not announced.
    explicit WindowPresenter(quandrel::DesktopNotifier* notifier = nullptr);
    ~WindowPresenter() override;

    void show(Updater& updater) override;
    void close() override;
    void showUpToDate(const QString& appName, const QString& version) override;
    void showError(const QString& message) override;
    void notifyReady(const QString& appName, const UpdateCandidate& candidate) override;

    QWidget* window() const { return m_window; }
    UpdateView* view() const { return m_view; }
    QMessageBox* message() const { return m_message; }

    static constexpr int windowWidth = 560;
    static constexpr int windowHeight = 420;

private:
    void showMessage(int icon, const QString& title, const QString& text, const QString& detail);

    quandrel::DesktopNotifier* m_notifier;
    QPointer<QWidget> m_window;
    QPointer<UpdateView> m_view;
    QPointer<QMessageBox> m_message;
    std::uint32_t m_notification = 0;
};

} // namespace ostry
