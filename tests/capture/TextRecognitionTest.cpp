// Text recognition with the real Tesseract engine on screen text drawn for the purpose: themes,
// small text, columns and code; images with nothing to read; the engine's data missing; the
// engine freed after a minute unused on a clock the test advances; and the preparation of a
// screenshot for the engine on its own.

#include "TesseractRecognizer.h"
#include "TextImagePreparation.h"

#include "ManualClock.h"
#include "EngineWait.h"
#include "ScreenText.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quandrel;
using namespace quandrel::test;

namespace {

QString textOf(const TextRecognitionResult& result)
{
    if (const auto* error = std::get_if<TextRecognitionError>(&result)) {
        ADD_FAILURE() << "recognition failed: " << error->message.toStdString();
        return {};
    }
    return std::get<QString>(result);
}

QString read(TesseractRecognizer& recognizer, const QImage& image) { return textOf(QCoro::waitFor(recognizer.recognizeText(image))); }

const QString fox = QStringLiteral("The quick brown fox jumps over the lazy dog.");
const QString invoice = QStringLiteral("Invoice 2024-117 is due on 15 March, total $1,284.50.");

class TextRecognition : public ::testing::Test {
protected:
    static void SetUpTestSuite() { recognizer = new TesseractRecognizer; }
    static void TearDownTestSuite()
    {
        delete recognizer;
        recognizer = nullptr;
    }
    static TesseractRecognizer* recognizer;
};
TesseractRecognizer* TextRecognition::recognizer = nullptr;

} // namespace

TEST_F(TextRecognition, ReadsScreenTextOfEveryKind)
{
    // A dark sidebar and a light page in one selection; the larger background is the dark one.
    const ScreenText dark = drawLines({fox, invoice}, {QStringLiteral("DejaVu Sans"), 13, lightOnDark});
    const ScreenText light = drawLines({QStringLiteral("Open the Settings window."), QStringLiteral("Choose Appearance.")});
    QImage both(dark.image.width() + light.image.width() + 40, dark.image.height() + 60, QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter painter(&both);
    painter.fillRect(0, 0, dark.image.width() + 20, both.height(), lightOnDark.background);
    painter.drawImage(10, 30, dark.image);
    painter.drawImage(dark.image.width() + 30, 30, light.image);
    painter.end();
    const ScreenText code = drawLines({QStringLiteral("def parse(line):"), QStringLiteral("    if not line:"), QStringLiteral("        return None"),
                                       QStringLiteral("    return line.strip()")},
                                      {QStringLiteral("DejaVu Sans Mono"), 13, lightOnDark, 1.4});
    const struct {
        const char* what;
        QImage image;
        QString expected;
        double errorRate; // 0: exactly the expected text
    } rows[] = {
        {"light theme", drawLines({fox, invoice}).image, fox + '\n' + invoice, 0},
        {"dark theme", dark.image, fox + '\n' + invoice, 0},
        {"white on blue, as a selected row", drawLines({fox}, {QStringLiteral("Nimbus Sans"), 13, {Qt::white, QColor(0x2a, 0x6f, 0xd6)}}).image, fox, 0},
        {"small", drawLines({fox, invoice, QStringLiteral("Path: /home/alex/Documents/report-final_v2.pdf")}, {QStringLiteral("DejaVu Sans"), 11}).image,
         fox + '\n' + invoice + QStringLiteral("\nPath: /home/alex/Documents/report-final_v2.pdf"), 0.02},
        {"tiny", drawLines({fox, invoice}, {QStringLiteral("Nimbus Sans"), 9, lightOnDark}).image, fox + '\n' + invoice, 0.03},
        {"a dark panel beside a light one", both, fox + QStringLiteral(" Open the Settings window.\n") + invoice + QStringLiteral(" Choose Appearance."), 0},
        {"columns kept apart", drawColumns({QStringLiteral("Name"), QStringLiteral("Kitchen timer"), QStringLiteral("Photo backup")},
                                           {QStringLiteral("Modified"), QStringLiteral("Yesterday 18:02"), QStringLiteral("3 May 2024")}).image,
         QStringLiteral("Name Modified\nKitchen timer Yesterday 18:02\nPhoto backup 3 May 2024"), 0},
        {"indented code, line by line", code.image, code.expected, 0.05},
        {"a line in an 8000 x 8000 area", placedOn(drawLines({fox}).image, QSize(8000, 8000), QPoint(5100, 6900), Qt::white), fox, 0},
    };
    for (const auto& row : rows) {
        const QString text = read(*recognizer, row.image);
        if (row.errorRate == 0) {
            EXPECT_EQ(text, row.expected) << row.what;
        } else {
            EXPECT_LE(characterErrorRate(text, row.expected), row.errorRate) << row.what << ": " << text.toStdString();
        }
        if (row.expected == code.expected) {
            EXPECT_EQ(text.count('\n'), 3) << text.toStdString();
        }
    }
}

TEST_F(TextRecognition, NothingToReadGivesTheEmptyText)
{
    EXPECT_EQ(read(*recognizer, QImage(1, 1, QImage::Format_RGB32)), QString());
    QImage white(800, 600, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(read(*recognizer, white), QString());
    QImage huge(8000, 8000, QImage::Format_RGB32);
    huge.fill(QColor(0x1e, 0x1e, 0x1e));
    EXPECT_EQ(read(*recognizer, huge), QString());

    const auto empty = QCoro::waitFor(recognizer->recognizeText(QImage()));
    ASSERT_TRUE(std::holds_alternative<TextRecognitionError>(empty));
    EXPECT_FALSE(std::get<TextRecognitionError>(empty).message.isEmpty());
}

TEST(TextRecognitionEngine, MissingLanguageDataIsAnError)
{
    QTemporaryDir emptyFolder;
    TesseractRecognizer::Options options;
    options.dataPath = emptyFolder.path();
    TesseractRecognizer noData(options);
    noData.prepare();
    const auto result = QCoro::waitFor(noData.recognizeText(drawLines({fox}).image));
    ASSERT_TRUE(std::holds_alternative<TextRecognitionError>(result));
    EXPECT_TRUE(std::get<TextRecognitionError>(result).message.contains(emptyFolder.path()));
    EXPECT_FALSE(noData.isEngineLoaded());
}

TEST(TextRecognitionEngine, LocaleLanguageJoinsEnglishWhenItsDataIsThere)
{
    for (const auto& [locale, language] : {std::pair{"de_DE", "deu"}, {"fr_CA", "fra"}, {"nl_NL", "nld"}, {"zh_TW", "chi_tra"}, {"zh_CN", "chi_sim"},
                                           {"nb_NO", "nor"}, {"sr_Latn_RS", "srp_latn"}, {"en_GB", ""}})
        EXPECT_EQ(tesseractLanguage(QLocale(QString::fromLatin1(locale))), QString::fromLatin1(language)) << locale;

    // A data folder with English, and German data (a copy of the English, which loads all the
    // same) only for the second recognizer.
    QTemporaryDir folder;
    const QString english = tesseractDataPath() + QStringLiteral("/eng.traineddata");
    ASSERT_TRUE(QFile::copy(english, folder.filePath(QStringLiteral("eng.traineddata"))));
    const QLocale before;
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    TesseractRecognizer::Options options;
    options.dataPath = folder.path();
    EXPECT_EQ(TesseractRecognizer(options).languages(), QStringLiteral("eng"));
    ASSERT_TRUE(QFile::copy(english, folder.filePath(QStringLiteral("deu.traineddata"))));
    TesseractRecognizer withGerman(options);
    QLocale::setDefault(before);
    EXPECT_EQ(withGerman.languages(), QStringLiteral("eng+deu"));
    EXPECT_EQ(read(withGerman, drawLines({fox}).image), fox);
}

TEST(TextRecognitionEngine, DataIsTheUsersThenTheProgramsOwnThenTheSystems)
{
    const QString system = tesseractDataPath({}, {});
    ASSERT_FALSE(system.isEmpty());
    QTemporaryDir root;
    const QDir dir(root.path());
    for (const char* sub : {"usr/bin", "usr/share/tessdata", "mine/tessdata"})
        ASSERT_TRUE(dir.mkpath(QLatin1String(sub)));
    const QString program = dir.filePath(QStringLiteral("usr/bin"));
    EXPECT_EQ(tesseractDataPath({}, program), system);

    // An application folder's own data, beside its bin folder.
    ASSERT_TRUE(QFile::copy(system + QStringLiteral("/eng.traineddata"), dir.filePath(QStringLiteral("usr/share/tessdata/eng.traineddata"))));
    EXPECT_EQ(tesseractDataPath({}, program), dir.filePath(QStringLiteral("usr/share/tessdata")));
    // A prefix the user names wins once it holds English data.
    EXPECT_EQ(tesseractDataPath(dir.filePath(QStringLiteral("mine")), program), dir.filePath(QStringLiteral("usr/share/tessdata")));
    ASSERT_TRUE(QFile::copy(system + QStringLiteral("/eng.traineddata"), dir.filePath(QStringLiteral("mine/tessdata/eng.traineddata"))));
    EXPECT_EQ(tesseractDataPath(dir.filePath(QStringLiteral("mine")), program), dir.filePath(QStringLiteral("mine/tessdata")));
}

TEST(TextRecognitionEngine, IsFreedAfterAMinuteUnused)
{
    ManualClock clock;
    TesseractRecognizer::Options options;
    options.schedule = clock.scheduler();
    TesseractRecognizer recognizer(options);
    const QImage image = drawLines({fox}).image;

    EXPECT_EQ(read(recognizer, image), fox);
    waitForEngine(recognizer, true);
    clock.advance(50'000);
    // A second recognition starts the minute again.
    EXPECT_EQ(read(recognizer, image), fox);
    clock.advance(10'000);
    EXPECT_TRUE(recognizer.isEngineLoaded());
    clock.advance(49'999);
    EXPECT_TRUE(recognizer.isEngineLoaded());
    clock.advance(1);
    waitForEngine(recognizer, false);

    // Loaded again on the next request, which waits for the load.
    EXPECT_EQ(read(recognizer, image), fox);
    EXPECT_TRUE(recognizer.isEngineLoaded());

    // Loaded ahead of a request, and freed a minute later when none came.
    clock.advance(60'000);
    waitForEngine(recognizer, false);
    recognizer.prepare();
    waitForEngine(recognizer, true);
    clock.advance(60'000);
    waitForEngine(recognizer, false);
}

TEST(TextRecognitionEngine, GoingAwayEndsWaitingRequests)
{
    auto recognizer = std::make_unique<TesseractRecognizer>();
    recognizer->prepare();
    waitForEngine(*recognizer, true);
    // The first is most likely being read when the recognizer goes, the second still waits.
    const QImage image = drawLines({fox, invoice, fox, invoice, fox, invoice}).image;
    auto first = recognizer->recognizeText(image);
    auto second = recognizer->recognizeText(image);
    recognizer.reset();
    // Each ends, with its text or with an error, and touches nothing of the recognizer.
    for (auto* task : {&first, &second}) {
        const TextRecognitionResult result = QCoro::waitFor(*task);
        if (const auto* text = std::get_if<QString>(&result)) {
            EXPECT_TRUE(text->startsWith(fox + QLatin1Char('\n') + invoice));
        }
    }
}

TEST(TextImagePreparation, TurnsAnyThemeIntoDarkOnWhite)
{
    for (const TextColours& colours : {darkOnLight, lightOnDark, TextColours{Qt::white, QColor(0x2a, 0x6f, 0xd6)}}) {
        const PreparedTextImage prepared = prepareForTextRecognition(drawLines({fox}, {QStringLiteral("DejaVu Sans"), 13, colours}).image);
        ASSERT_FALSE(prepared.image.isNull());
        ASSERT_EQ(prepared.image.format(), QImage::Format_Grayscale8);
        int darkest = 255, corners = 0;
        for (int y = 0; y < prepared.image.height(); ++y)
            for (int x = 0; x < prepared.image.width(); ++x)
                darkest = std::min(darkest, int(prepared.image.pixelColor(x, y).red()));
        for (const QPoint p : {QPoint(0, 0), QPoint(prepared.image.width() - 1, prepared.image.height() - 1)})
            corners += prepared.image.pixelColor(p).red();
        EXPECT_EQ(darkest, 0);
        EXPECT_EQ(corners, 2 * 255);
    }
}

TEST(TextImagePreparation, CutsToTheTextAndScalesSmallTextUp)
{
    const ScreenText line = drawLines({fox}, {QStringLiteral("DejaVu Sans"), 11});
    const QPoint at(5100, 6900);
    const PreparedTextImage prepared = prepareForTextRecognition(placedOn(line.image, QSize(8000, 8000), at, Qt::white));
    ASSERT_FALSE(prepared.image.isNull());
    EXPECT_GT(prepared.scale, 2.0);
    EXPECT_LT(qint64(prepared.image.width()) * prepared.image.height(), 2'000'000);
    // The prepared picture maps back onto the text's place in the area.
    const QRectF shown = prepared.toSource.mapRect(QRectF(prepared.image.rect()));
    EXPECT_TRUE(shown.contains(QRectF(at + QPoint(12, 12), line.image.size() - QSize(24, 24))));
    EXPECT_TRUE(QRectF(at - QPoint(60, 60), line.image.size() + QSize(120, 120)).contains(shown));

    // Large text stays as it is; a tight pixel budget holds the scale down (never below 1).
    EXPECT_DOUBLE_EQ(prepareForTextRecognition(drawLines({fox}, {QStringLiteral("DejaVu Sans"), 72}).image).scale, 1.0);
    TextImageLimits limits;
    limits.maxPixels = 100'000;
    const PreparedTextImage budget = prepareForTextRecognition(line.image, limits);
    EXPECT_LE(qint64(budget.image.width()) * budget.image.height(), 110'000);
    EXPECT_GE(budget.scale, 1.0);
}
