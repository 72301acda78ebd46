#pragma once

// What a screenshot dragged out of Quandrel carries: "image/png" for programs that take the
// picture itself (chat programs, editors), and "text/uri-list" naming a PNG file for file
// managers. The file is written only when a drop target asks for it, into a private folder
// under $XDG_RUNTIME_DIR that is removed when Quandrel quits.

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QMimeData>
#include <QString>

#include <optional>

namespace quandrel {

// The private folder of dragged-out files: $XDG_RUNTIME_DIR/quandrel-drag-<pid>, readable by
// the user alone, made on the first write. Each file gets a subfolder of its own, so two
// drags within the same second keep their quick-save names.
class DragFileStore {
public:
    // `runtimeDir` empty: the store cannot write (the drag then offers only the image).
    explicit DragFileStore(QString runtimeDir);
    ~DragFileStore(); // removes the folder and everything in it
    DragFileStore(const DragFileStore&) = delete;
    DragFileStore& operator=(const DragFileStore&) = delete;

    // Whether the runtime folder exists, so that a file could be offered at all.
    bool isUsable() const;

    // Writes `bytes` as `fileName` in a new subfolder and answers the file's path; none when
    // the runtime folder is missing or full or the name is unsafe. A failed write leaves no
    // file behind.
    std::optional<QString> write(const QByteArray& bytes, const QString& fileName);

    QString folder() const { return m_folder; }

    // The store of this process, on $XDG_RUNTIME_DIR, emptied when the application quits.
    static DragFileStore& shared();

private:
    bool ensureFolder();

    QString m_runtimeDir;
    QString m_folder;
    bool m_created = false;
    int m_counter = 0;
};

// The drag's data. The PNG is encoded on the first request for either format and kept; the
// file is written on the first request for the URI list. `store` must outlive the object.
class ScreenshotDragData final : public QMimeData {
public:
    ScreenshotDragData(const QImage& image, double scale, const QDateTime& when, DragFileStore& store);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;
    QString fileName() const { return m_fileName; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    const QByteArray& png() const;

    QImage m_image;
    double m_scale;
    QString m_fileName;
    DragFileStore& m_store;
    bool m_offersFile;
    mutable std::optional<QByteArray> m_png;
    mutable std::optional<QString> m_path; // empty when writing failed
};

} // namespace quandrel
