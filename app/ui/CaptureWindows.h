#pragma once

// The windows, toasts and clipboard a capture ends in, made of the capture and editor
// widgets: the one thumbnail, editors, pins and toasts on the display under the pointer.

#include "CaptureCoordinator.h"
#include "PanelScreens.h"
#include "ThumbnailController.h"

#include <QPointer>

namespace quandrel {

class CaptureWindows final : public CaptureViews {
public:
    explicit CaptureWindows(PanelScreens screens);
    ~CaptureWindows() override;

    void showToast(const QString& message, const QString& symbol) override;
    void showThumbnail(const CapturedImage& image, ThumbnailActions actions) override;
    void dismissThumbnail() override;
    void showCountdown(int secondsLeft) override;
    std::unique_ptr<CaptureWindow> openEditor(const CapturedImage& image, Folder folder, ImageAction pin, ImageAction readText,
                                              Closed onClose) override;
    std::unique_ptr<CaptureWindow> pinImage(const CapturedImage& image, Folder folder, ImageAction edit, ImageAction readText,
                                            Closed onClose) override;
    void copyImage(const CapturedImage& image) override;
    void copyText(const QString& text) override;
    void explainScreenAccess() override;
    bool modalDialogShown() const override;

    ThumbnailController& thumbnail() { return m_thumbnail; }

private:
    PanelScreens m_screens;
    ThumbnailController m_thumbnail;
};

} // namespace quandrel
