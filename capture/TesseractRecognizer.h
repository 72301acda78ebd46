#pragma once

// Text recognition with the Tesseract engine. The engine runs on a thread of its own, one
// request after another; it is loaded in the background when a text capture begins and freed
// again after a minute without use, so the idle process stays small.

#include "DismissTimer.h"
#include "TextRecognizer.h"

#include <QLocale>
#include <QObject>
#include <QStringList>

#include <memory>

namespace quandrel {

// The Tesseract name of the data for a locale's language ("deu" for German, "chi_tra" for
// Chinese in traditional script); empty for English, which is always read, and for languages
// Tesseract has no data for.
QString tesseractLanguage(const QLocale& locale);

// Where Tesseract's language data lives: the prefix the user named ($TESSDATA_PREFIX), the
// data installed beside the program (share/tessdata next to its bin folder, as in the
// application folder), then the folders distributions install it to; the first that holds
// English data. Empty when none does.
QString tesseractDataPath(const QString& prefix, const QString& programFolder);
QString tesseractDataPath();

class TesseractRecognizer final : public QObject, public TextRecognizer {
    Q_OBJECT
public:
    struct Options {
        // The folder with the *.traineddata files; empty: tesseractDataPath().
        QString dataPath;
        // Tesseract language names; empty: English and the language of the default locale
        // (the system's unless the application set another) when its data is installed.
        QStringList languages;
        // How long the loaded engine is kept without use, on the given scheduler (a
        // single-shot QTimer when none is given).
        int keepLoadedMilliseconds = 60'000;
        Scheduler schedule;
    };

    TesseractRecognizer();
    explicit TesseractRecognizer(Options options);
    // Stops a recognition in progress; requests still waiting end with an error.
    ~TesseractRecognizer() override;

    void prepare() override;
    QCoro::Task<TextRecognitionResult> recognizeText(QImage image) override;

    // Whether the engine is loaded, as last reported by its thread.
    bool isEngineLoaded() const { return m_engineLoaded; }
    // The languages the engine loads, joined as Tesseract wants them ("eng+deu").
    QString languages() const { return m_languages; }

Q_SIGNALS:
    void engineLoadedChanged(bool loaded);

private:
    class Worker;
    void setEngineLoaded(bool loaded);

    QString m_languages;
    std::unique_ptr<Worker> m_worker;
    DismissTimer m_unload;
    bool m_engineLoaded = false;
    int m_running = 0;
};

} // namespace quandrel
