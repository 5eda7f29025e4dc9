// What a long voice list costs the program: today's list (the real service's
// espeak voices) against 500 voices (the same list and neural models, most
// of them in zh-CN), each figure the median of several runs in this process:
//   - getVoices from the real service (today's list), and the program's
//     request and parse of either list from a stand-in service;
//   - the cache: rewriting it (after a change of size) and the loader's read
//     and grouping at start;
//   - the page: built over the cache until its choosers are filled; a change
//     to the largest locale (voice chooser and strip refilled); the strip
//     shown over a selection; the full list (更多…) opened.
#include "BenchCommon.h"
#include "FakeService.h"
#include "MoreVoices.h"
#include "PageBench.h"
#include "Qajax.h"
#include "ServiceUrls.h"
#include "SqlLite.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceListDialog.h"
#include "VoiceRecords.h"
#include "ttsMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using bench::page::waitFor;

namespace {

constexpr int kTotal = 500;
constexpr int kRuns = 31;
constexpr int kPageRuns = 9;

int fail(const char *what)
{
    std::fprintf(stderr, "bench_catalogue: %s\n", what);
    return 1;
}

double medianMs(int runs, const std::function<void()> &once)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        once();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Today's list and neural models up to `total`: Kokoro's 103 speakers and
// as many of aishell3's 174 as fit in zh-CN, the rest Piper voices of en-US.
QJsonArray withModels(const QJsonArray &today, int total)
{
    QJsonArray list = today;
    int left = qMax(0, total - list.size());
    const struct { const char *locale, *model, *shown; int speakers; } models[] = {
        {"zh-CN", "Kokoro", "Kokoro", 103}, {"zh-CN", "Aishell", "希贝尔", 174}, {"en-US", "Piper", "Piper", 1000}};
    for (const auto &m : models) {
        const int n = qMin(left, m.speakers);
        for (const QJsonValue &v : VoiceFixtures::neuralVoices(m.locale, m.model, m.shown, n))
            list.append(v);
        left -= n;
    }
    return list;
}

double requestMs(const QString &url, int expected)
{
    return medianMs(kRuns, [&] {
        Qajax ajax;
        ajax.get({}, url);
        if (ajax.code() != 1 || ajax.data().size() != expected)
            qFatal("getVoices answered %d voices, not %d", ajax.data().size(), expected);
    });
}

double rewriteMs(const QJsonArray &voices)
{
    return medianMs(kRuns, [&] {
        SqlLite db;
        if (!db.open() || !db.createTable() || !db.replaceVoices(voices))
            qFatal("cannot write data.db");
    });
}

// The loader's work between start and ok(false), without the network.
double loadMs(const QJsonArray &voices)
{
    // A file written once, as a first start writes it, not one rewritten
    // over and over by the figure before.
    QFile::remove(QStringLiteral("data.db"));
    {
        SqlLite db;
        if (!db.open() || !db.createTable() || !db.replaceVoices(voices))
            qFatal("cannot write data.db");
    }
    return medianMs(kRuns, [&] {
        VoiceCatalogue::instance().reset();
        SqlLite db;
        bool ok = db.open();
        ok = ok && db.tableCheck() == 1 && db.rowCount() == voices.size();
        const QJsonArray records = db.readAll(&ok);
        VoiceCatalogue::instance().groupVoices(records);
        if (!ok || records.size() != voices.size())
            qFatal("the cache did not read back");
    });
}

// groupVoices alone, on records already read.
double groupMs(const QJsonArray &voices)
{
    return medianMs(kRuns, [&] {
        VoiceCatalogue::instance().reset();
        VoiceCatalogue::instance().groupVoices(voices);
    });
}

struct PageFigures {
    double filled = 0;     // built until both choosers are filled
    double bigLocale = 0;  // a change to the locale with the most voices
    double strip = 0;      // the strip shown over a selection
    double fullList = 0;   // 更多… opened
    int buttons = 0;
    int largest = 0;
};

PageFigures pageFigures(const QJsonArray &voices, FakeService &service)
{
    service.setResponder([voices](const FakeService::Request &) {
        return FakeService::ok(QJsonDocument(voices).toJson(QJsonDocument::Compact));
    });
    {
        SqlLite db;
        if (!db.open() || !db.createTable() || !db.replaceVoices(voices))
            qFatal("cannot write data.db");
    }
    const ServiceUrls urls = ServiceUrls::at(service.baseUrl());
    PageFigures figures;
    std::vector<double> filled, big, strip, full;
    for (int run = 0; run < kPageRuns; ++run) {
        VoiceCatalogue::instance().reset();
        QElapsedTimer timer;
        timer.start();
        auto *page = new ttsMain(urls);
        page->resize(862, 583);
        page->show();
        auto *locales = page->findChild<QComboBox *>(QStringLiteral("localeSelect"));
        auto *chooser = page->findChild<QComboBox *>(QStringLiteral("voicesSelect"));
        if (!waitFor([&] { return chooser->count() > 0; }, 30000, 0))
            qFatal("the choosers were not filled");
        filled.push_back(double(timer.nsecsElapsed()) / 1e6);
        // Let the loader finish (ok(true)) before measuring the page alone.
        waitFor([] { return QSqlDatabase::connectionNames().isEmpty(); }, 30000, 1);
        QCoreApplication::processEvents();

        int largest = 0;
        const QList<QJsonArray> groups = VoiceCatalogue::instance().voiceGroups();
        for (int i = 1; i < groups.size(); ++i)
            if (groups[i].size() > groups[largest].size())
                largest = i;
        figures.largest = groups[largest].size();
        const int other = largest == 0 ? 1 : 0;
        locales->setCurrentIndex(other);
        timer.restart();
        locales->setCurrentIndex(largest);
        big.push_back(double(timer.nsecsElapsed()) / 1e6);

        auto *editor = page->findChild<TTSText *>(QStringLiteral("textEdit"));
        QString script;
        for (int line = 0; line < 2000; ++line)
            script += QStringLiteral("「Kokoro %1」第%2句「」\n").arg(line % 103, 3, 10, QLatin1Char('0')).arg(line);
        page->setScriptText(script);
        QCoreApplication::processEvents();
        timer.restart();
        emit editor->mouseSelect();
        strip.push_back(double(timer.nsecsElapsed()) / 1e6);
        figures.buttons = page->voicePicker()->findChildren<QPushButton *>().size();

        timer.restart();
        page->voicePicker()->openVoiceList();
        QCoreApplication::processEvents();
        full.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (page->voicePicker()->voiceList())
            page->voicePicker()->voiceList()->reject();
        delete page;
        QCoreApplication::processEvents();
    }
    auto median = [](std::vector<double> &v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    figures.filled = median(filled);
    figures.bigLocale = median(big);
    figures.strip = median(strip);
    figures.fullList = median(full);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFile::remove(QStringLiteral("data.db"));

    // Today's list, from the real service.
    const bench::fs::path work = QDir::currentPath().toStdString();
    bench::ServiceProcess real = bench::startService(TAVREL_SERVER_BIN, work, {"--port", "0"});
    if (!real.running())
        return fail("the speech service did not start");
    const QString realUrl = QStringLiteral("http://127.0.0.1:%1/getVoices").arg(real.port);
    QJsonArray today;
    {
        Qajax ajax;
        ajax.get({}, realUrl);
        if (ajax.networkError() != 0 || ajax.code() != 1)
            return fail("the service gave no voice list");
        today = ajax.data();
    }
    const double realGet = requestMs(realUrl, today.size());
    bench::stopService(real);

    const QJsonArray many = withModels(today, kTotal);
    FakeService fake;
    if (!fake.listen())
        return fail("the stand-in service cannot listen");
    const QString fakeUrl = fake.baseUrl() + QStringLiteral("getVoices");
    fake.setResponder([&](const FakeService::Request &) {
        return FakeService::ok(QJsonDocument(today).toJson(QJsonDocument::Compact));
    });
    const double getToday = requestMs(fakeUrl, today.size());
    fake.setResponder([&](const FakeService::Request &) {
        return FakeService::ok(QJsonDocument(many).toJson(QJsonDocument::Compact));
    });
    const double getMany = requestMs(fakeUrl, many.size());

    const double rewriteToday = rewriteMs(today);
    const double rewriteMany = rewriteMs(many);
    const double loadToday = loadMs(today);
    const double loadMany = loadMs(many);
    const double groupToday = groupMs(today);
    const double groupMany = groupMs(many);

    const PageFigures pageToday = pageFigures(today, fake);
    const PageFigures pageMany = pageFigures(many, fake);
    QFile::remove(QStringLiteral("data.db"));

    std::printf("voices: today %d (largest locale %d), then %d (largest locale %d); milliseconds, medians\n",
                int(today.size()), pageToday.largest, int(many.size()), pageMany.largest);
    std::printf("strip over the 862 px page: %d buttons today, %d with %d voices\n", pageToday.buttons,
                pageMany.buttons, pageMany.largest);
    // Work over the whole list may grow with it, but no voice may cost more
    // than half as much again as one of today's; what answers a click in the
    // page must stay within one frame (16 ms), a window opened within 100 ms.
    const double scale = double(many.size()) / double(today.size());
    auto perVoice = [&](const char *figure, double ours, double baseline) {
        const double allowed = baseline * scale * 1.5;
        char target[32];
        std::snprintf(target, sizeof target, "<= %.1f", allowed);
        return bench::Row{figure, ours, baseline, target, ours <= allowed};
    };
    auto frame = [](const char *figure, double ours, double baseline) {
        return bench::Row{figure, ours, baseline, "<= 16.0", ours <= 16.0};
    };
    std::vector<bench::Row> rows{
        bench::Row{"getVoices, real service, today's list", realGet, 0, "-", true},
        perVoice("getVoices request+parse, 500 vs today", getMany, getToday),
        perVoice("cache rewritten, 500 vs today", rewriteMany, rewriteToday),
        perVoice("cache read + catalogue, 500 vs today", loadMany, loadToday),
        perVoice("  of which grouping, 500 vs today", groupMany, groupToday),
        perVoice("page until choosers filled, 500 vs today", pageMany.filled, pageToday.filled),
        frame("largest locale chosen, 500 vs today", pageMany.bigLocale, pageToday.bigLocale),
        frame("strip shown, 500 vs today", pageMany.strip, pageToday.strip),
        bench::Row{"full list opened, 500 vs today", pageMany.fullList, pageToday.fullList, "<= 100.0",
                   pageMany.fullList <= 100.0},
    };
    bench::printTable(rows);
    std::printf("peak memory: %ld kB\n", bench::peakRssKb());
    return 0;
}
