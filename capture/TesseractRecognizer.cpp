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

#include <tesseract/capi.h>

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

// The engine is opened the first time text is read rather than linked: with the image
// codecs, archive, network and TLS libraries it needs, it would add some thirty libraries
// to every idle Quandrel. Its C interface is the stable one across versions.
class TesseractLibrary {
public:
    // The library, opened on first use; null when it is not installed (`error` says so).
    static const TesseractLibrary* open(QString& error)
    {
        static const TesseractLibrary* const library = [] {
            auto* candidate = new TesseractLibrary;
            if (candidate->load())
                return static_cast<const TesseractLibrary*>(candidate);
            delete candidate;
            return static_cast<const TesseractLibrary*>(nullptr);
        }();
        if (!library)
            error = QStringLiteral("The Tesseract library (libtesseract5) is not installed");
        return library;
    }

    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPISetVariable) setVariable = nullptr;
    decltype(&TessBaseAPIInit2) init = nullptr;
    decltype(&TessBaseAPISetPageSegMode) setPageSegMode = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setSourceResolution = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIClear) clear = nullptr;
    decltype(&TessBaseAPIEnd) end = nullptr;
    decltype(&TessBaseAPIClearPersistentCache) clearPersistentCache = nullptr;
    decltype(&TessMonitorCreate) monitorCreate = nullptr;
    decltype(&TessMonitorDelete) monitorDelete = nullptr;
    decltype(&TessMonitorSetCancelFunc) monitorSetCancelFunc = nullptr;
    decltype(&TessMonitorSetCancelThis) monitorSetCancelThis = nullptr;
    decltype(&TessBaseAPIGetIterator) iterator = nullptr;
    decltype(&TessResultIteratorDelete) iteratorDelete = nullptr;
    decltype(&TessResultIteratorGetPageIteratorConst) pageIterator = nullptr;
    decltype(&TessResultIteratorNext) next = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) text = nullptr;
    decltype(&TessResultIteratorConfidence) confidence = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;
    decltype(&TessPageIteratorIsAtBeginningOf) isAtBeginningOf = nullptr;
    decltype(&TessPageIteratorBoundingBox) boundingBox = nullptr;

    // Tesseract's OpenMP threads cost far more than they give on machines with few cores, and
    // OMP_THREAD_LIMIT cannot be set safely once threads run; so parallel regions are
    // switched off for the calling thread (the library asks for its thread counts
    // explicitly, which omp_set_num_threads alone would not override).
    void limitOpenMp() const
    {
        void* openMp = ::dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD);
        if (!openMp)
            return;
        using SetInt = void (*)(int);
        if (auto setMaxActiveLevels = reinterpret_cast<SetInt>(::dlsym(openMp, "omp_set_max_active_levels")))
            setMaxActiveLevels(0);
        if (auto setNumThreads = reinterpret_cast<SetInt>(::dlsym(openMp, "omp_set_num_threads")))
            setNumThreads(1);
        ::dlclose(openMp);
    }

private:
    template <typename F>
    bool bind(F& function, const char* name)
    {
        function = reinterpret_cast<F>(::dlsym(m_handle, name));
        return function != nullptr;
    }

    bool load()
    {
        for (const char* name : {"libtesseract.so.5", "libtesseract.so.4"}) {
            if ((m_handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL)))
                break;
        }
        if (!m_handle)
            return false;
        const bool complete = bind(create, "TessBaseAPICreate") && bind(destroy, "TessBaseAPIDelete")
            && bind(setVariable, "TessBaseAPISetVariable") && bind(init, "TessBaseAPIInit2")
            && bind(setPageSegMode, "TessBaseAPISetPageSegMode") && bind(setImage, "TessBaseAPISetImage")
            && bind(setSourceResolution, "TessBaseAPISetSourceResolution") && bind(recognize, "TessBaseAPIRecognize")
            && bind(clear, "TessBaseAPIClear") && bind(end, "TessBaseAPIEnd")
            && bind(clearPersistentCache, "TessBaseAPIClearPersistentCache") && bind(monitorCreate, "TessMonitorCreate")
            && bind(monitorDelete, "TessMonitorDelete") && bind(monitorSetCancelFunc, "TessMonitorSetCancelFunc")
            && bind(monitorSetCancelThis, "TessMonitorSetCancelThis") && bind(iterator, "TessBaseAPIGetIterator")
            && bind(iteratorDelete, "TessResultIteratorDelete") && bind(pageIterator, "TessResultIteratorGetPageIteratorConst")
            && bind(next, "TessResultIteratorNext") && bind(text, "TessResultIteratorGetUTF8Text")
            && bind(confidence, "TessResultIteratorConfidence") && bind(deleteText, "TessDeleteText")
            && bind(isAtBeginningOf, "TessPageIteratorIsAtBeginningOf") && bind(boundingBox, "TessPageIteratorBoundingBox");
        // The library stays loaded once opened: its OpenMP runtime does not survive unloading.
        return complete;
    }

    void* m_handle = nullptr;
};

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
        QString error;
        m_tesseract = TesseractLibrary::open(error);
        if (!m_tesseract)
            return error;
        m_tesseract->limitOpenMp();
        TessBaseAPI* api = m_tesseract->create();
        // The engine's own messages would only go to the terminal.
        m_tesseract->setVariable(api, "debug_file", "/dev/null");
        if (m_tesseract->init(api, QFile::encodeName(m_dataPath).constData(), m_languages.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) != 0) {
            m_tesseract->destroy(api);
            return QStringLiteral("Tesseract could not load the languages %1 from %2").arg(m_languages, m_dataPath);
        }
        // The picture is dark on white around the most common background; text on any other
        // background (a dark sidebar beside a light page) the engine finds inverted, and its
        // own second try on inverted lines reads it (tessedit_do_invert stays on).
        m_tesseract->setPageSegMode(api, tesseract::PSM_AUTO);
        m_api = api;
        m_reportLoaded(true);
        return std::nullopt;
    }

    // On the worker's thread: frees the engine and gives its memory back to the system.
    void unload()
    {
        if (!m_api)
            return;
        m_tesseract->end(m_api);
        // The dictionaries outlive the engine in a cache of the library's own.
        m_tesseract->clearPersistentCache(m_api);
        m_tesseract->destroy(m_api);
        m_api = nullptr;
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

        m_tesseract->setImage(m_api, prepared.image.constBits(), prepared.image.width(), prepared.image.height(), 1,
                              int(prepared.image.bytesPerLine()));
        m_tesseract->setSourceResolution(m_api, 300);
        const std::unique_ptr<ETEXT_DESC, decltype(m_tesseract->monitorDelete)> monitor(m_tesseract->monitorCreate(),
                                                                                        m_tesseract->monitorDelete);
        m_tesseract->monitorSetCancelFunc(monitor.get(), [](void* cancel, int) { return static_cast<std::atomic_bool*>(cancel)->load(); });
        m_tesseract->monitorSetCancelThis(monitor.get(), &m_cancel);
        const int status = m_tesseract->recognize(m_api, monitor.get());
        if (m_cancel)
            return TextRecognitionError{QStringLiteral("Text recognition was stopped")};
        if (status != 0)
            return TextRecognitionError{QStringLiteral("Tesseract could not recognise the image")};

        std::vector<RecognizedPiece> pieces = readPieces(prepared, image.size());
        m_tesseract->clear(m_api);
        return assembleLines(std::move(pieces));
    }

private:
    void end()
    {
        m_tesseract->end(m_api);
        m_tesseract->destroy(m_api);
        m_api = nullptr;
    }

    std::vector<RecognizedPiece> readPieces(const PreparedTextImage& prepared, QSize original)
    {
        std::vector<RecognizedPiece> pieces;
        const auto normalized = [&](const QRect& box) {
            const QRectF source = prepared.toSource.mapRect(QRectF(box));
            return QRectF(source.left() / original.width(), 1.0 - source.bottom() / original.height(), source.width() / original.width(),
                          source.height() / original.height());
        };

        const TesseractLibrary& t = *m_tesseract;
        const std::unique_ptr<TessResultIterator, decltype(t.iteratorDelete)> it(t.iterator(m_api), t.iteratorDelete);
        if (!it)
            return pieces;
        const TessPageIterator* page = t.pageIterator(it.get());
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
            if (t.isAtBeginningOf(page, tesseract::RIL_TEXTLINE)) {
                finishPiece();
                int l, top, r, b;
                lineHeight = t.boundingBox(page, tesseract::RIL_TEXTLINE, &l, &top, &r, &b) ? b - top : 0;
            }
            // No text where the position holds no word.
            char* utf8 = t.text(it.get(), tesseract::RIL_WORD);
            if (!utf8)
                continue;
            const QString word = QString::fromUtf8(utf8).trimmed();
            t.deleteText(utf8);
            int l, top, r, b;
            if (word.isEmpty() || !t.boundingBox(page, tesseract::RIL_WORD, &l, &top, &r, &b))
                continue;
            if (t.confidence(it.get(), tesseract::RIL_WORD) < noiseConfidence && !hasLetterOrDigit(word))
                continue;
            const QRect box(QPoint(l, top), QPoint(r - 1, b - 1));
            if (!words.isEmpty() && box.left() - pieceBox.right() > pieceGap * lineHeight)
                finishPiece();
            words.push_back(word);
            pieceBox = pieceBox.isNull() ? box : pieceBox.united(box);
        } while (t.next(it.get(), tesseract::RIL_WORD));
        finishPiece();
        return pieces;
    }

    void run()
    {
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
        if (m_api)
            end();
    }

    const QString m_dataPath;
    const QString m_languages;
    const std::function<void(bool)> m_reportLoaded;
    const TesseractLibrary* m_tesseract = nullptr;
    TessBaseAPI* m_api = nullptr;
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
