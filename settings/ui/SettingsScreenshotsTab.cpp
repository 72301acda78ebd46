// The Screenshots tab of the settings window: the capture shortcuts, what follows a capture,
// the screenshots folder, and the keys while selecting.

#include "SettingsWindow.h"

#include "SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quandrel {

using settingsui::scrolling;
using settingsui::secondaryLabel;
using settingsui::section;

QWidget* SettingsWindow::screenshotsTab()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    std::vector<std::pair<QString, Command>> modes;
    for (const CaptureMode m : allCaptureModes)
        modes.emplace_back(displayTitle(m), CaptureCommand{m, std::nullopt});
    layout->addWidget(shortcutSection(modes, page));

    auto* after = section(tr("After Capture"), page);
    auto* form = new QFormLayout(after);
    m_afterCapture = new QComboBox(after);
    m_afterCapture->setObjectName(QStringLiteral("afterCapturePicker"));
    m_afterCapture->setAccessibleName(tr("After taking a screenshot"));
    for (const AfterCapture a : allAfterCaptures)
        m_afterCapture->addItem(displayLabel(a));
    connect(m_afterCapture, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_refreshing && index >= 0)
            edit([index](QuandrelSettings& s) { s.afterCapture = allAfterCaptures[std::size_t(index)]; });
    });
    form->addRow(tr("After taking a screenshot"), m_afterCapture);
    m_includePointer = new QCheckBox(tr("Include the pointer"), after);
    m_includePointer->setObjectName(QStringLiteral("includePointerSwitch"));
    m_includePointer->setAccessibleName(m_includePointer->text());
    connect(m_includePointer, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.includePointer = on; });
    });
    form->addRow(QString(), m_includePointer);

    auto* folderRow = new QHBoxLayout;
    m_folder = new settingsui::ElidedLabel(after);
    m_folder->setObjectName(QStringLiteral("folder"));
    m_folder->setForegroundRole(QPalette::PlaceholderText);
    m_folder->setAccessibleName(tr("Screenshots folder"));
    auto* chooseFolder = new QPushButton(tr("Choose…"), after);
    chooseFolder->setObjectName(QStringLiteral("chooseFolder"));
    chooseFolder->setAccessibleName(tr("Choose the screenshots folder"));
    m_resetFolder = new QPushButton(tr("Reset"), after);
    m_resetFolder->setObjectName(QStringLiteral("resetFolder"));
    m_resetFolder->setAccessibleName(tr("Reset the screenshots folder"));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(chooseFolder);
    folderRow->addWidget(m_resetFolder);
    form->addRow(tr("Screenshots folder"), folderRow);
    connect(chooseFolder, &QPushButton::clicked, this, &SettingsWindow::chooseFolder);
    connect(m_resetFolder, &QPushButton::clicked, this, [this] { edit([](QuandrelSettings& s) { s.saveFolderBookmark.reset(); }); });
    auto* show = new QPushButton(tr("Show Screenshots Folder"), after);
    connect(show, &QPushButton::clicked, this, [this] {
        const QString folder = m_context.store.screenshotsFolder();
        QDir().mkpath(folder); // may fail; opening is tried all the same
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    form->addRow(QString(), show);
    layout->addWidget(after);

    auto* selecting = section(tr("While Selecting"), page);
    auto* selectingLayout = new QVBoxLayout(selecting);
    m_adjustFirst = new QCheckBox(tr("Adjust the area before capturing"), selecting);
    m_adjustFirst->setObjectName(QStringLiteral("adjustFirstSwitch"));
    m_adjustFirst->setAccessibleName(m_adjustFirst->text());
    connect(m_adjustFirst, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            edit([on](QuandrelSettings& s) { s.adjustBeforeCapturing = on; });
    });
    selectingLayout->addWidget(m_adjustFirst);
    selectingLayout->addWidget(secondaryLabel(tr("Drag to select an area. Press Space to switch between area and window, and Esc "
                                                 "to cancel. In the editor, single keys pick tools: A arrow, R rectangle, P pen, "
                                                 "M marker, T text, B pixelate, U blur, C crop, V select."),
                                              selecting));
    layout->addWidget(selecting);
    layout->addStretch(1);
    return scrolling(page, this);
}

void SettingsWindow::refreshScreenshots(const QuandrelSettings& s)
{
    const auto after = std::find(allAfterCaptures.begin(), allAfterCaptures.end(), s.afterCapture);
    m_afterCapture->setCurrentIndex(int(after - allAfterCaptures.begin()));
    m_includePointer->setChecked(s.includePointer);
    m_adjustFirst->setChecked(s.adjustBeforeCapturing);
    m_folder->setFullText(QDir::toNativeSeparators(m_context.store.screenshotsFolder()));
    m_resetFolder->setEnabled(s.saveFolderBookmark.has_value());
}

void SettingsWindow::chooseFolder()
{
    auto* dialog = new QFileDialog(this, tr("Choose Screenshots Folder"), m_context.store.screenshotsFolder());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, tr("Choose"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (folder.isEmpty())
            return;
        const QByteArray path = QDir::cleanPath(QDir(folder).absolutePath()).toUtf8();
        edit([&](QuandrelSettings& s) { s.saveFolderBookmark = path; });
    });
    dialog->open();
}

} // namespace quandrel
