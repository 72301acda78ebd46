#include "TesseractRecognizer.h"

#include "TextAssembly.h"
#include "TextImagePreparation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QPointer>
#include <QPromise>

#include <qcoro/qcorofuture.h>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quandrel {
namespace {

// A piece of a line ends where the gap to the next word is wider than this many line
// heights: columns side by side, and a comment set apart from code, stay apart.
constexpr double pieceGap = 1.5;

// Words the engine is less sure of than this, made of nothing but punctuation and symbols,
// are taken for the edges of icons, borders and rules rather than text.
constexpr float noiseConfidence = 50;

// Tesseract's OpenMP threads cost far more than they give on machines with few cores. The
// library is loaded with the program, long before OMP_THREAD_LIMIT could be set, so parallel
// regions are switched off at run time instead (the library asks for its thread counts
// explicitly, which omp_set_num_threads would not override).
void limitOpenMp()
{
    using SetInt = void (*)(int);
    if (auto setMaxActiveLevels = reinterpret_cast<SetInt>(::dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
        setMaxActiveLevels(0);
    if (auto setNumThreads = reinterpret_cast<SetInt>(::dlsym(RTLD_DEFAULT, "omp_set_num_threads")))
        setNumThreads(1);
}

bool hasLetterOrDigit(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

} // namespace

QString tesseractLanguage(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::English:
    case QLocale::C:
    case QLocale::AnyLanguage:
        return {};
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalHanScript || locale.territory() == QLocale::Taiwan
                || locale.territory() == QLocale::HongKong || locale.territory() == QLocale::Macao
            ? QStringLiteral("chi_tra")
            : QStringLiteral("chi_sim");
    case QLocale::NorwegianBokmal:
    case QLocale::NorwegianNynorsk:
        return QStringLiteral("nor");
    case QLocale::Serbian:
        return locale.script() == QLocale::LatinScript ? QStringLiteral("srp_latn") : QStringLiteral("srp");
    case QLocale::Azerbaijani:
        return locale.script() == QLocale::CyrillicScript ? QStringLiteral("aze_cyrl") : QStringLiteral("aze");
    case QLocale::Uzbek:
        return locale.script() == QLocale::CyrillicScript ? QStringLiteral("uzb_cyrl") : QStringLiteral("uzb");
    default:
        // Tesseract names its data by the three-letter terminology codes (deu, fra, nld).
        return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
    }
}

QString tesseractDataPath(const QString& prefix, const QString& programFolder)
{
    QStringList candidates;
    if (!prefix.isEmpty())
        candidates << prefix << prefix + QStringLiteral("/tessdata");
    if (!programFolder.isEmpty())
        candidates << programFolder + QStringLiteral("/../share/tessdata");
    candidates << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata")
               << QStringLiteral("/usr/share/tessdata") << QStringLiteral("/usr/local/share/tessdata");
    for (const QString& folder : candidates) {
        if (QFileInfo::exists(folder + QStringLiteral("/eng.traineddata")))
            return QDir::cleanPath(folder);
    }
    return {};
}

QString tesseractDataPath()
{
    return tesseractDataPath(qEnvironmentVariable("TESSDATA_PREFIX"),
                             QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString());
}

// The engine and the thread it runs on. Jobs run one after another in the order posted;
// everything of the engine is touched on that thread alone.
class TesseractRecognizer::Worker {
public:
    // A job learns whether it runs or is being dropped because the worker is going away.
    using Job = std::function<void(bool dropped)>;

    Worker(QString dataPath, QString languages, std::function<void(bool)> reportLoaded)
        : m_dataPath(std::move(dataPath))
        , m_languages(std::move(languages))
        , m_reportLoaded(std::move(reportLoaded))
        , m_thread([this] { run(); })
    {
    }

    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_cancel = true;
        m_wake.notify_one();
        m_thread.join();
    }

    void post(Job job)
    {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

    // On the worker's thread: the engine, loaded if it is not yet. The error says why it
    // could not be.
    std::optional<QString> load()
    {
        if (m_api)
            return std::nullopt;
        if (m_dataPath.isEmpty())
            return QStringLiteral("No Tesseract language data is installed");
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        // The engine's own messages would only go to the terminal.
        api->SetVariable("debug_file", "/dev/null");
        if (api->Init(QFile::encodeName(m_dataPath).constData(), m_languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0)
            return QStringLiteral("Tesseract could not load the languages %1 from %2").arg(m_languages, m_dataPath);
        // The picture is dark on white around the most common background; text on any other
        // background (a dark sidebar beside a light page) the engine finds inverted, and its
        // own second try on inverted lines reads it (tessedit_do_invert stays on).
        api->SetPageSegMode(tesseract::PSM_AUTO);
        m_api = std::move(api);
        m_reportLoaded(true);
        return std::nullopt;
    }

    // On the worker's thread: frees the engine and gives its memory back to the system.
    void unload()
    {
        if (!m_api)
            return;
        m_api->End();
        m_api.reset();
        // The dictionaries outlive the engine in a cache of the library's own.
        tesseract::TessBaseAPI::ClearPersistentCache();
        ::malloc_trim(0);
        m_reportLoaded(false);
    }

    // On the worker's thread.
    TextRecognitionResult recognize(const QImage& image)
    {
        const PreparedTextImage prepared = prepareForTextRecognition(image);
        if (prepared.image.isNull())
            return QString();
        if (auto error = load())
            return TextRecognitionError{*error};

        m_api->SetImage(prepared.image.constBits(), prepared.image.width(), prepared.image.height(), 1, int(prepared.image.bytesPerLine()));
        m_api->SetSourceResolution(300);
        tesseract::ETEXT_DESC monitor;
        monitor.cancel = [](void* cancel, int) { return static_cast<std::atomic_bool*>(cancel)->load(); };
        monitor.cancel_this = &m_cancel;
        const int status = m_api->Recognize(&monitor);
        if (m_cancel)
            return TextRecognitionError{QStringLiteral("Text recognition was stopped")};
        if (status != 0)
            return TextRecognitionError{QStringLiteral("Tesseract could not recognise the image")};

        std::vector<RecognizedPiece> pieces = readPieces(prepared, image.size());
        m_api->Clear();
        return assembleLines(std::move(pieces));
    }

private:
    std::vector<RecognizedPiece> readPieces(const PreparedTextImage& prepared, QSize original)
    {
        std::vector<RecognizedPiece> pieces;
        const auto normalized = [&](const QRect& box) {
            const QRectF source = prepared.toSource.mapRect(QRectF(box));
            return QRectF(source.left() / original.width(), 1.0 - source.bottom() / original.height(), source.width() / original.width(),
                          source.height() / original.height());
        };

        std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
        if (!it)
            return pieces;
        QStringList words;
        QRect pieceBox;
        int lineHeight = 0;
        const auto finishPiece = [&] {
            if (!words.isEmpty())
                pieces.push_back({words.join(QLatin1Char(' ')), normalized(pieceBox)});
            words.clear();
            pieceBox = QRect();
        };
        do {
            // A new line ends the piece even when its first words are dropped below.
            if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                finishPiece();
                int l, t, r, b;
                lineHeight = it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &t, &r, &b) ? b - t : 0;
            }
            if (it->Empty(tesseract::RIL_WORD))
                continue;
            const std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_WORD));
            const QString word = QString::fromUtf8(utf8.get()).trimmed();
            int l, t, r, b;
            if (word.isEmpty() || !it->BoundingBox(tesseract::RIL_WORD, &l, &t, &r, &b))
                continue;
            if (it->Confidence(tesseract::RIL_WORD) < noiseConfidence && !hasLetterOrDigit(word))
                continue;
            const QRect box(QPoint(l, t), QPoint(r - 1, b - 1));
            if (!words.isEmpty() && box.left() - pieceBox.right() > pieceGap * lineHeight)
                finishPiece();
            words.push_back(word);
            pieceBox = pieceBox.isNull() ? box : pieceBox.united(box);
        } while (it->Next(tesseract::RIL_WORD));
        finishPiece();
        return pieces;
    }

    void run()
    {
        limitOpenMp();
        for (;;) {
            Job job;
            bool dropped = false;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_jobs.empty())
                    break;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                dropped = m_stopping;
            }
            job(dropped);
        }
        if (m_api) {
            m_api->End();
            m_api.reset();
        }
    }

    const QString m_dataPath;
    const QString m_languages;
    const std::function<void(bool)> m_reportLoaded;
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    std::atomic_bool m_cancel = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_thread; // last: it starts running once everything above is there
};

TesseractRecognizer::TesseractRecognizer()
    : TesseractRecognizer(Options{})
{
}

TesseractRecognizer::TesseractRecognizer(Options options)
    : m_unload(options.keepLoadedMilliseconds, std::move(options.schedule), [this] {
        m_worker->post([worker = m_worker.get()](bool dropped) {
            if (!dropped)
                worker->unload();
        });
    })
{
    const QString dataPath = options.dataPath.isEmpty() ? tesseractDataPath() : options.dataPath;
    QStringList languages = options.languages;
    if (languages.isEmpty()) {
        languages << QStringLiteral("eng");
        const QString local = tesseractLanguage(QLocale());
        if (!local.isEmpty() && QFileInfo::exists(dataPath + QLatin1Char('/') + local + QStringLiteral(".traineddata")))
            languages << local;
    }
    m_languages = languages.join(QLatin1Char('+'));

    QPointer<TesseractRecognizer> self(this);
    m_worker = std::make_unique<Worker>(dataPath, m_languages, [self](bool loaded) {
        // From the worker's thread to ours; dropped if we are gone by then.
        QMetaObject::invokeMethod(
            self.data(), [self, loaded] {
                if (self)
                    self->setEngineLoaded(loaded);
            },
            Qt::QueuedConnection);
    });
}

TesseractRecognizer::~TesseractRecognizer()
{
    m_unload.cancel();
    m_worker.reset();
}

void TesseractRecognizer::prepare()
{
    m_worker->post([worker = m_worker.get()](bool dropped) {
        if (!dropped)
            worker->load();
    });
    if (m_running == 0)
        m_unload.start();
}

QCoro::Task<TextRecognitionResult> TesseractRecognizer::recognizeText(QImage image)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        co_return TextRecognitionError{QStringLiteral("The image is empty")};

    ++m_running;
    m_unload.cancel();
    auto promise = std::make_shared<QPromise<TextRecognitionResult>>();
    QFuture<TextRecognitionResult> future = promise->future();
    promise->start();
    m_worker->post([worker = m_worker.get(), promise, image = std::move(image)](bool dropped) {
        promise->addResult(dropped ? TextRecognitionResult(TextRecognitionError{QStringLiteral("Text recognition was stopped")})
                                   : worker->recognize(image));
        promise->finish();
    });

    QPointer<TesseractRecognizer> self(this);
    TextRecognitionResult result = co_await future;
    if (self && --self->m_running == 0)
        self->m_unload.start();
    co_return result;
}

void TesseractRecognizer::setEngineLoaded(bool loaded)
{
    if (loaded == m_engineLoaded)
        return;
    m_engineLoaded = loaded;
    Q_EMIT engineLoadedChanged(loaded);
}

} // namespace quandrel
