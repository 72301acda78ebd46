// Text recognition with the Tesseract engine, no display needed:
// - reading a 900 x 300 area with two lines of screen text, the engine already loaded
//   (median and 95th percentile), and the same with the engine's load included;
// - the character error rate on drawn screen texts (fonts and sizes from 9 to 16 pixels,
//   light and dark themes, coloured backgrounds, columns, code), beside the `tesseract`
//   command-line tool's on the very same crops with its default settings;
// - the threads the process runs while it reads (the engine's OpenMP threads are kept off);
// - resident memory before the engine, with it loaded, and after it was freed.
//
//   build/bench/capture/text_recognition_bench [runs]

#include "BenchStats.h"
#include "EngineWait.h"
#include "ScreenText.h"
#include "TesseractRecognizer.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <unistd.h>

using namespace quandrel;
using namespace quandrel::bench;

namespace {

struct Resident {
    double total = 0;     // MiB, all resident pages
    double anonymous = 0; // MiB, the process's own memory, without mapped files such as libraries
};

Resident resident()
{
    Resident result;
    std::ifstream status("/proc/self/status");
    std::string key;
    double kib = 0;
    std::string unit;
    while (status >> key) {
        if (key == "VmRSS:" && status >> kib >> unit)
            result.total = kib / 1024;
        else if (key == "RssAnon:" && status >> kib >> unit)
            result.anonymous = kib / 1024;
    }
    return result;
}

// Processor time of the whole process, all threads, in milliseconds.
double processorMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

int threadCount() { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

QString textOf(const TextRecognitionResult& result)
{
    if (const auto* error = std::get_if<TextRecognitionError>(&result)) {
        std::fprintf(stderr, "recognition failed: %s\n", qPrintable(error->message));
        return {};
    }
    return std::get<QString>(result);
}

// Runs the recognition, noting the most threads seen while it runs.
QString timedRead(TesseractRecognizer& recognizer, const QImage& image, double* elapsed, int* mostThreads = nullptr, double* processor = nullptr)
{
    QTimer sampler;
    if (mostThreads) {
        QObject::connect(&sampler, &QTimer::timeout, [&] { *mostThreads = std::max(*mostThreads, threadCount()); });
        sampler.start(2);
    }
    const double processorStart = processorMs();
    const auto start = Clock::now();
    const QString text = textOf(QCoro::waitFor(recognizer.recognizeText(image)));
    *elapsed = ms(Clock::now() - start);
    if (processor)
        *processor = processorMs() - processorStart;
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    // The two-line area: screen text in the top-left of a 900 x 300 selection.
    const test::ScreenText lines = test::drawLines({QStringLiteral("Build finished in 4.2 s with 0 warnings and 2 notes."),
                                                    QStringLiteral("Open the report in /tmp/build/report.html to see the details.")},
                                                   {QStringLiteral("DejaVu Sans"), 13});
    const QImage area = test::placedOn(lines.image, QSize(900, 300), QPoint(20, 30), Qt::white);

    const std::vector<test::ScreenText> corpus = test::screenTextCorpus();

    // A scheduler the benchmark fires itself, so that the engine is freed when it says.
    std::vector<std::function<void()>> due;
    const auto unloadNow = [&] {
        for (std::size_t i = 0; i < due.size(); ++i)
            if (due[i])
                std::exchange(due[i], nullptr)();
    };
    TesseractRecognizer::Options options;
    options.schedule = [&](int, std::function<void()> run) { due.push_back(std::move(run)); };
    TesseractRecognizer recognizer(options);
    std::printf("# languages %s\n", qPrintable(recognizer.languages()));

    // Memory: before the engine, loaded after a recognition, and freed again.
    const Resident residentBefore = resident();
    double elapsed = 0;
    timedRead(recognizer, area, &elapsed);
    const Resident residentLoaded = resident();
    unloadNow();
    test::waitForEngine(recognizer, false);
    const Resident residentFreed = resident();

    // The first recognition, engine load included, with the engine freed before each.
    std::vector<double> firstSamples;
    for (int i = 0; i < 5; ++i) {
        timedRead(recognizer, area, &elapsed);
        firstSamples.push_back(elapsed);
        unloadNow();
        test::waitForEngine(recognizer, false);
    }

    // The engine loaded while the person selects, as a text capture does.
    recognizer.prepare();
    test::waitForEngine(recognizer, true);
    std::vector<double> samples, processorSamples;
    QString read;
    for (int i = 0; i < runs; ++i) {
        double processor = 0;
        read = timedRead(recognizer, area, &elapsed, nullptr, &processor);
        samples.push_back(elapsed);
        processorSamples.push_back(processor);
    }
    int mostThreads = 0;
    timedRead(recognizer, area, &elapsed, &mostThreads);
    if (read != lines.expected)
        std::fprintf(stderr, "two-line area read as:\n%s\n", qPrintable(read));
    printStats("recognize_900x300_two_lines", samples);
    // The same in processor time, which other work on a shared machine does not inflate.
    printStats("recognize_900x300_two_lines_cpu", processorSamples);
    printStats("first_recognize_with_engine_load", firstSamples);
    print("threads_while_recognizing_at_most", mostThreads, "threads", 0);
    print("threads_idle", threadCount(), "threads", 0);
    print("resident_before_engine", residentBefore.total, "MiB");
    print("resident_engine_loaded", residentLoaded.total, "MiB");
    print("resident_engine_freed", residentFreed.total, "MiB");
    print("resident_anonymous_before_engine", residentBefore.anonymous, "MiB");
    print("resident_anonymous_engine_loaded", residentLoaded.anonymous, "MiB");
    print("resident_anonymous_engine_freed", residentFreed.anonymous, "MiB");

    // Accuracy, ours beside the command-line tool's on the same crops.
    QTemporaryDir folder;
    const bool haveCli = !QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty();
    std::map<QString, std::pair<double, double>> edits; // category: ours, command line
    std::map<QString, double> characters;
    double ours = 0, cli = 0, total = 0, oursMs = 0, cliMs = 0;
    for (const test::ScreenText& sample : corpus) {
        const QString mine = timedRead(recognizer, sample.image, &elapsed);
        oursMs += elapsed;
        const double length = test::normalisedText(sample.expected).size();
        const double mineEdits = test::characterErrorRate(mine, sample.expected) * length;
        double cliEdits = 0;
        if (haveCli) {
            const QString crop = folder.filePath(QStringLiteral("crop.png"));
            sample.image.save(crop);
            QProcess tesseract;
            const auto start = Clock::now();
            tesseract.start(QStringLiteral("tesseract"), {crop, QStringLiteral("-")});
            tesseract.waitForFinished(-1);
            cliMs += ms(Clock::now() - start);
            const QString theirs = QString::fromUtf8(tesseract.readAllStandardOutput());
            cliEdits = test::characterErrorRate(theirs, sample.expected) * length;
            if (qEnvironmentVariableIsSet("QUANDREL_BENCH_VERBOSE"))
                std::printf("# %s: ours %.3f cli %.3f\n#   ours: %s\n#   cli:  %s\n", qPrintable(sample.name), mineEdits / length, cliEdits / length,
                            qPrintable(test::normalisedText(mine).replace(QLatin1Char('\n'), QStringLiteral(" | "))),
                            qPrintable(test::normalisedText(theirs).replace(QLatin1Char('\n'), QStringLiteral(" | "))));
        }
        const QString category = sample.name.startsWith(QStringLiteral("columns")) ? QStringLiteral("columns")
            : sample.name.startsWith(QStringLiteral("code"))                      ? QStringLiteral("code")
            : sample.name.contains(QStringLiteral(" 9px")) || sample.name.contains(QStringLiteral(" 10px")) || sample.name.contains(QStringLiteral(" 11px"))
            ? QStringLiteral("small_lines")
            : QStringLiteral("lines");
        edits[category].first += mineEdits;
        edits[category].second += cliEdits;
        characters[category] += length;
        ours += mineEdits;
        cli += cliEdits;
        total += length;
    }
    print("corpus_samples", double(corpus.size()), "crops", 0);
    print("cer_quandrel", 100 * ours / total, "%");
    if (haveCli)
        print("cer_tesseract_cli", 100 * cli / total, "%");
    for (const auto& [category, counts] : edits) {
        print("cer_quandrel_" + category.toStdString(), 100 * counts.first / characters[category], "%");
        if (haveCli)
            print("cer_tesseract_cli_" + category.toStdString(), 100 * counts.second / characters[category], "%");
    }
    print("corpus_time_quandrel", oursMs, "ms", 0);
    if (haveCli)
        print("corpus_time_tesseract_cli", cliMs, "ms", 0);

    return 0;
}
