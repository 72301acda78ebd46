#include "Errors.h"
#include "GitHubReleaseFeed.h"
#include "AwaitTask.h"
#include "TestHttpServer.h"
#include "UpdaterFixtures.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostry;
using ostry::test::Response;
using ostry::test::TestHttpServer;

namespace {

QJsonObject asset(const QString& name, qint64 size = 1000)
{
    return {{"name", name}, {"size", size},
            {"browser_download_url", QStringLiteral("https://example.invalid/download/") + name}};
}

QJsonObject release(const QString& tag, QJsonArray assets, bool draft = false, bool prerelease = false,
                    QJsonValue name = QJsonValue::Null)
{
    return {{"tag_name", tag}, {"name", name}, {"body", "Notes for " + tag}, {"draft", draft},
            {"prerelease", prerelease}, {"html_url", "https://example.invalid/releases/" + tag},
            {"published_at", "2024-03-01T12:30:00Z"}, {"assets", assets}};
}

QByteArray page(std::initializer_list<QJsonObject> releases)
{
    QJsonArray array;
    for (const QJsonObject& r : releases)
        array.append(r);
    return QJsonDocument(array).toJson();
}

std::vector<Asset> assets(std::initializer_list<const char*> names)
{
    std::vector<Asset> result;
    for (const char* name : names)
        result.push_back({QString::fromLatin1(name), 1, QUrl(QStringLiteral("https://example.invalid/") + QLatin1String(name))});
    return result;
}

std::optional<QString> chosen(std::initializer_list<const char*> names, const char* version = "2.0")
{
    const auto result = chooseAsset(assets(names), QStringLiteral("Quandrel"), *AppVersion::parse(QString::fromLatin1(version)));
    return result ? std::optional(result->name) : std::nullopt;
}

TEST(AssetChoice, PrefersNamedArchivesThenTheOnlyZip)
{
    EXPECT_EQ(chosen({"Quandrel-2.0.zip", "Quandrel-2.0.dSYM.zip"}), QStringLiteral("Quandrel-2.0.zip"));
    EXPECT_EQ(chosen({"Quandrel-2.0.dSYM.zip", "quandrel-V2.0.ZIP"}), QStringLiteral("quandrel-V2.0.ZIP"));
    EXPECT_EQ(chosen({"notes.txt", "Quandrel.zip", "Quandrel-2.0.zip"}), QStringLiteral("Quandrel.zip"));
    EXPECT_EQ(chosen({"build.zip", "symbols-dsym.zip"}), QStringLiteral("build.zip"));
    EXPECT_EQ(chosen({"a.zip", "b.zip"}), std::nullopt);
    EXPECT_EQ(chosen({"Quandrel-2.0.tar.gz", "Quandrel-2.0.dSYM.zip"}), std::nullopt);
    EXPECT_EQ(chosen({}), std::nullopt);
    EXPECT_EQ(chosen({"Quandrel-2.0.0-beta.1.zip"}, "2.0.0-beta.1"), QStringLiteral("Quandrel-2.0.0-beta.1.zip"));
}

TEST(ReleaseDecoding, ReadsTheServiceFields)
{
    const auto releases = decodeReleases(page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip", 4242)}, false, false, "Two")}));
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].tagName, QStringLiteral("Quandrel/2.0"));
    EXPECT_EQ(releases[0].name, QStringLiteral("Two"));
    EXPECT_EQ(releases[0].publishedAt, QDateTime(QDate(2024, 3, 1), QTime(12, 30), Qt::UTC));
    ASSERT_EQ(releases[0].assets.size(), 1u);
    EXPECT_EQ(releases[0].assets[0].size, 4242);
}

TEST(ReleaseDecoding, RejectsMalformedPages)
{
    QJsonObject noTag = release("Quandrel/2.0", {});
    noTag.remove("tag_name");
    QJsonObject badDate = release("Quandrel/2.0", {});
    badDate["published_at"] = "yesterday";
    QJsonObject badSize = release("Quandrel/2.0", {QJsonObject{{"name", "a.zip"}, {"size", -1}, {"browser_download_url", "https://x.invalid/a"}}});
    for (const QByteArray& json : {QByteArray("{\"tag_name\": 1}"), QByteArray("[1"), QByteArray("not json"),
                                   page({noTag}), page({badDate}), page({badSize})}) {
        try {
            decodeReleases(json);
            ADD_FAILURE() << json.left(60).constData();
        } catch (const FeedError& error) {
            EXPECT_EQ(error.kind(), FeedError::Kind::malformed);
        }
    }
    EXPECT_TRUE(decodeReleases("[]").empty());
}

TEST(CandidateSelection, SkipsDraftsPrereleasesAndForeignTags)
{
    const auto releases = decodeReleases(page({
        release("Quandrel/9.0", {asset("Quandrel-9.0.zip")}, /*draft*/ true),
        release("Quandrel/8.0", {asset("Quandrel-8.0.zip")}, false, /*prerelease*/ true),
        release("Quandrel/7.0-beta.1", {asset("Quandrel-7.0-beta.1.zip")}),
        release("Other/6.0", {asset("Quandrel-6.0.zip")}),
        release("Quandrel/nonsense", {asset("Quandrel.zip")}),
        release("Quandrel/5.0", {asset("a.zip"), asset("b.zip")}),
        release("Quandrel/2.0", {asset("Quandrel-2.0.zip"), asset("Quandrel-2.0.zip.minisig", 300)}),
        release("Quandrel/3.0", {asset("Quandrel-3.0.zip")}, false, false, "Three"),
    }));
    const auto stable = latestCandidate(releases, QStringLiteral("Quandrel"), false);
    ASSERT_TRUE(stable);
    EXPECT_EQ(stable->version.text(), QStringLiteral("3.0"));
    EXPECT_EQ(stable->title, QStringLiteral("Three"));
    EXPECT_EQ(stable->notes, QStringLiteral("Notes for Quandrel/3.0"));
    EXPECT_EQ(stable->downloadURL, QUrl("https://example.invalid/download/Quandrel-3.0.zip"));
    EXPECT_EQ(stable->releasePageURL, QUrl("https://example.invalid/releases/Quandrel/3.0"));
    EXPECT_TRUE(stable->signatureURL.isEmpty());

    const auto withPrereleases = latestCandidate(releases, QStringLiteral("Quandrel"), true);
    ASSERT_TRUE(withPrereleases);
    EXPECT_EQ(withPrereleases->version.text(), QStringLiteral("8.0"));

    const auto two = latestCandidate(decodeReleases(page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip"), asset("Quandrel-2.0.zip.minisig", 300)})})),
                                     QStringLiteral("Quandrel"), false);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->title, QStringLiteral("Quandrel 2.0"));
    EXPECT_EQ(two->signatureURL, QUrl("https://example.invalid/download/Quandrel-2.0.zip.minisig"));
    EXPECT_EQ(two->downloadSize, 1000);
}

TEST(CandidateSelection, EqualVersionsKeepTheEarlierRelease)
{
    const auto releases = decodeReleases(page({
        release("Quandrel/2.0", {asset("Quandrel-2.0.zip")}, false, false, "First"),
        release("Quandrel/2.0.0", {asset("Quandrel-2.0.0.zip")}, false, false, "Second"),
        release("Quandrel/1.9", {asset("Quandrel-1.9.zip")}),
    }));
    const auto candidate = latestCandidate(releases, QStringLiteral("Quandrel"), false);
    ASSERT_TRUE(candidate);
    EXPECT_EQ(candidate->title, QStringLiteral("First"));
    EXPECT_FALSE(latestCandidate({}, QStringLiteral("Quandrel"), false));
}

// Feed requests against a server on 127.0.0.1.
class FeedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configuration.feedRepository = QStringLiteral("quandrel/quandrel");
        configuration.apiBaseURL = server.url("");
        test::writeFile(bundleDir.filePath(QStringLiteral("Quandrel.AppDir/Bundle/Info.json")),
                        R"({"identifier": "org.quandrel.Quandrel.test", "version": "1.5"})");
        configuration.bundle = AppBundle(bundleDir.filePath(QStringLiteral("Quandrel.AppDir")));
        feed = std::make_unique<GitHubReleaseFeed>(configuration, &network);
    }

    std::optional<UpdateCandidate> fetch() { return test::await(feed->latestCandidate()); }

    FeedError fetchError()
    {
        try {
            fetch();
        } catch (const FeedError& error) {
            return error;
        }
        ADD_FAILURE() << "the request did not fail";
        return FeedError::badStatus(-1);
    }

    const QByteArray path = "/repos/quandrel/quandrel/releases?per_page=100";
    QTemporaryDir bundleDir;
    TestHttpServer server;
    UpdaterConfiguration configuration;
    QNetworkAccessManager network;
    std::unique_ptr<GitHubReleaseFeed> feed;
};

TEST_F(FeedTest, SendsTheServiceHeadersAndReusesTheCachedPageWhenNotModified)
{
    const QByteArray body = page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip")})});
    server.setResponses(path, {Response{200, {{"ETag", "\"abc\""}}, body}, Response{304, {}, {}}});
    const auto first = fetch();
    const auto second = fetch();
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);
    ASSERT_EQ(server.requests().size(), 2);
    const test::Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, path);
    EXPECT_EQ(request.headers.value("accept"), "application/vnd.github+json");
    EXPECT_EQ(request.headers.value("x-github-api-version"), "2022-11-28");
    EXPECT_EQ(request.headers.value("user-agent"), "Quandrel/1.5 OstryUpdater");
    EXPECT_FALSE(request.headers.contains("if-none-match"));
    EXPECT_EQ(server.requests()[1].headers.value("if-none-match"), "\"abc\"");
}

TEST_F(FeedTest, RefusedAnswersSayWhy)
{
    const qint64 reset = 1893456000; // 2030-01-01T00:00:00Z
    const QString time = QLocale().toString(QDateTime::fromSecsSinceEpoch(reset).toLocalTime().time(), QLocale::ShortFormat);
    const struct {
        Response response;
        FeedError::Kind kind;
        QString message;
    } rows[] = {
        // Not modified, with nothing cached to reuse.
        {Response{304, {}, {}}, FeedError::Kind::badStatus, QStringLiteral("The update server responded with status 304.")},
        {Response{429, {{"X-RateLimit-Reset", QByteArray::number(reset)}}, "slow down"}, FeedError::Kind::rateLimited,
         QStringLiteral("Too many update checks. Try again after ") + time + QLatin1Char('.')},
        {Response{429, {{"X-RateLimit-Reset", "soon"}}, {}}, FeedError::Kind::rateLimited, QStringLiteral("Too many update checks. Try again later.")},
        {Response{403, {{"X-RateLimit-Reset", "soon"}}, {}}, FeedError::Kind::rateLimited, QStringLiteral("Too many update checks. Try again later.")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.response.status);
        server.setResponse(path, row.response);
        const FeedError error = fetchError();
        EXPECT_EQ(error.kind(), row.kind);
        EXPECT_EQ(error.message(), row.message);
    }
}

TEST_F(FeedTest, ServerErrorAndMalformedPageKeepTheCache)
{
    const QByteArray body = page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip")})});
    server.setResponses(path, {Response{200, {{"ETag", "\"v1\""}}, body}, Response{500, {}, "oops"},
                               Response{200, {{"ETag", "\"v2\""}}, "[{\"broken\": "}, Response{304, {}, {}}});
    ASSERT_TRUE(fetch());
    EXPECT_EQ(fetchError().message(), QStringLiteral("The update server responded with status 500."));
    EXPECT_EQ(fetchError().kind(), FeedError::Kind::malformed);
    ASSERT_TRUE(feed->cache().entry());
    EXPECT_EQ(feed->cache().entry()->etag, "\"v1\"");
    const auto afterwards = fetch();
    ASSERT_TRUE(afterwards);
    EXPECT_EQ(afterwards->version.text(), QStringLiteral("2.0"));
    EXPECT_EQ(server.requests().last().headers.value("if-none-match"), "\"v1\"");
}

TEST_F(FeedTest, AnOversizedAnswerIsCutOff)
{
    feed->setMaxAnswerSize(64 * 1024);
    const QByteArray good = page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip")})});
    // A page that never ends as far as the cap goes, streamed without a length, then
    // announced with one.
    const QByteArray endless = "[" + QByteArray(4 * 1024 * 1024, ' ');
    server.setResponses(path, {Response{200, {{"ETag", "\"v1\""}}, good}, Response{200, {}, endless, -1, -1, /*omitLength*/ true},
                               Response{200, {}, endless}});
    ASSERT_TRUE(fetch());
    for (int i = 0; i < 2; ++i) {
        const FeedError error = fetchError();
        EXPECT_EQ(error.kind(), FeedError::Kind::tooLarge);
        EXPECT_EQ(error.message().toStdString(), "The update server's answer was larger than 64 kB and was stopped.");
    }
    EXPECT_EQ(feed->cache().entry()->etag, "\"v1\"") << "the cut-off answer isn't cached";
}

TEST_F(FeedTest, ASlowFeedEndsWithinItsLimits)
{
    const QByteArray body = page({release("Quandrel/2.0", {asset("Quandrel-2.0.zip")})});
    struct Row {
        const char* name;
        PaceLimits pace;
        Response response;
    };
    const Row rows[] = {
        // A drip of a few bytes now and then: below the minimum rate in the first window.
        {"drip", {4000, 300, 60000}, Response{200, {}, body, -1, -1, false, /*dripBytes*/ 4, /*every ms*/ 50}},
        // Steady enough for every window, but never done: the deadline ends it.
        {"endless", {10, 300, 700}, Response{200, {}, body + QByteArray(1 << 20, ' '), -1, -1, false, 200, 20}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.setResponse(path, row.response);
        feed->setPace(row.pace);
        QElapsedTimer took;
        took.start();
        const FeedError error = fetchError();
        EXPECT_EQ(error.kind(), FeedError::Kind::tooSlow);
        EXPECT_LT(took.elapsed(), 20000);
    }
    // A quick answer passes.
    server.setResponse(path, Response{200, {}, body});
    EXPECT_TRUE(fetch());
}

TEST_F(FeedTest, TransportErrorPassesThrough)
{
    // A port that was just open and is now closed refuses the connection.
    quint16 port = 0;
    {
        QTcpServer closed;
        closed.listen(QHostAddress(QHostAddress::LocalHost), 0);
        port = closed.serverPort();
    }
    configuration.apiBaseURL = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    GitHubReleaseFeed refused(configuration, &network);
    try {
        test::await(refused.latestCandidate());
        ADD_FAILURE() << "no error";
    } catch (const FeedError& error) {
        EXPECT_EQ(error.kind(), FeedError::Kind::network);
        EXPECT_FALSE(error.message().isEmpty());
    }
}

} // namespace
