// The whole program rendering a long multi-voice script: a real synthesis
// page, its segmentation, one worker thread per segment and the combination,
// against the real speech service started from this working folder on port
// 5000. Baseline: the naive single-process "espeak-ng -v cmn … | lame …" on the
// same text in the service's format, in the same run: as one would type it
// (LAME's default quality), and at the service's LAME quality for comparison.
// Then the same script again, unchanged and with one passage edited, and the
// peak memory of both processes.
#include "AppSettings.h"
#include "BenchCommon.h"
#include "PageBench.h"
#include "Loading.h"
#include "Qajax.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <fstream>

using bench::Clock;
using bench::page::chooseVoice;
using bench::page::writeVoiceCache;

namespace {

// The render is long: polling gently keeps the wait from weighing on it.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    return bench::page::waitFor(done, timeoutMs, 5);
}

constexpr int kPassages = 308;
constexpr int kPauseMs = 300;
const char *kVoices[4] = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural"};

// Speaker 0 is the chooser's voice and goes untagged; the others are tagged
// passages, each closed by the end marker.
QString scriptOf(const std::vector<bench::Passage> &passages)
{
    QString script;
    for (const auto &p : passages) {
        const QString text = QString::fromStdString(p.text);
        if (p.speaker == 0)
            script += text;
        else
            script += QStringLiteral("「") + QString::fromLatin1(kVoices[p.speaker]) + QStringLiteral("」") + text +
                      QStringLiteral("「」");
    }
    return script;
}

// Stands in for the system file browser: the moment the job opens its folder
// is the moment it is done.
class FolderOpener : public QObject
{
    Q_OBJECT
public:
    Clock::time_point openedAt;
    int opened = 0;
public slots:
    void open(const QUrl &) { openedAt = Clock::now(); ++opened; }
};

struct Render {
    bool ok = false;
    double total = 0;
    double join = 0;
    int segments = 0;
    QStringList boxes;
};

Render render(ttsMain *page, FolderOpener &opener)
{
    Render r;
    const int openedBefore = opener.opened;
    Clock::time_point joinStart{};
    bool joining = false;
    QEventLoop loop;
    QTimer poll;
    // Polled inside the page's nested loops too: the combination request and
    // any message box run one.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!joining && page->busyOverlay()) {
            auto *tips = page->busyOverlay()->findChild<QLabel *>(QStringLiteral("tips"));
            if (tips && tips->text() == QStringLiteral("正在组合配音文件")) {
                joinStart = Clock::now();
                joining = true;
            }
        }
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            r.boxes << box->windowTitle() + QStringLiteral(": ") + box->text();
            box->done(QMessageBox::Yes);
        }
        if (!page->isJobRunning())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(900000, &loop, &QEventLoop::quit);

    const auto t0 = Clock::now();
    page->findChild<QPushButton *>(QStringLiteral("resultBtn"))->click();
    if (page->isJobRunning())
        loop.exec();
    poll.stop();
    const auto t1 = opener.opened > openedBefore ? opener.openedAt : Clock::now();

    r.ok = opener.opened > openedBefore && r.boxes.isEmpty() && !page->isJobRunning();
    r.total = bench::seconds(t0, t1);
    r.join = joining ? bench::seconds(joinStart, t1) : 0;
    const QDir folder(page->jobFolderPath());
    r.segments = folder.entryList({QStringLiteral("*.srt")}, QDir::Files).size() - 1;  // less output.srt
    if (!QFileInfo(folder.filePath(QStringLiteral("output.mp3"))).size())
        r.ok = false;
    return r;
}

void removeJob(const QString &folder)
{
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench_render: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The working folder is where this was started: audioDir hangs off it,
    // and the service is started from it too.
    const bench::fs::path work = QDir::currentPath().toStdString();
    QDir(audioDir).removeRecursively();
    QFile::remove(QStringLiteral("data.db"));

    auto passages = bench::buildPassages(kPassages);
    const QString script = scriptOf(passages);
    const bench::fs::path naiveDir = work / "naive";
    bench::fs::create_directories(naiveDir);
    {
        std::ofstream out(naiveDir / "script.txt");
        for (const auto &p : passages)
            out << p.text << "\n";
    }
    int english = 0;
    qsizetype textChars = 0;
    for (const auto &p : passages) {
        english += p.english;
        textChars += QString::fromStdString(p.text).size();
    }
    std::printf("script: %lld characters of text (%d passages, %d of them English) over 4 voices, pause %d ms\n",
                static_cast<long long>(textChars), kPassages, english, kPauseMs);

    // Baseline once before our run and once after; the better of the two.
    const int quality = bench::serviceLameQuality();
    bench::NaiveRun typed = bench::runNaive(naiveDir / "script.txt", naiveDir / "typed.mp3", -1);
    bench::NaiveRun matched = bench::runNaive(naiveDir / "script.txt", naiveDir / "matched.mp3", quality);
    if (!typed.ok || !matched.ok)
        return fail("the naive pipeline failed (are espeak-ng and lame installed? tools/install-deps.sh)");

    bench::ServiceProcess service;
    for (int attempt = 0; attempt < 30 && !service.running(); ++attempt) {
        service = bench::startService(TAVREL_SERVER_BIN, work);
        if (!service.running())
            QThread::sleep(2);  // port 5000 busy for a moment (a test holding it)
    }
    if (!service.running())
        return fail("the speech service did not start on port 5000");

    QJsonArray voices;
    {
        Qajax ajax;
        ajax.get({}, getVoicesUrl);
        if (ajax.networkError() != 0 || ajax.code() != 1)
            return fail("the service gave no voice list");
        voices = ajax.data();
    }
    if (!writeVoiceCache(voices))
        return fail("cannot write data.db");

    FolderOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    auto *page = new ttsMain;
    page->resize(1000, 700);
    page->show();
    auto *chooser = page->findChild<QComboBox *>(QStringLiteral("voicesSelect"));
    if (!waitFor([&] { return chooser->count() > 0 && !page->busyOverlay(); }, 30000))
        return fail("the choosers were not filled");
    // The loader still compares the cache with the service's list; when it
    // ends it closes the page's overlay, which must not happen mid-render.
    const auto settle = Clock::now() + std::chrono::seconds(3);
    waitFor([&] { return Clock::now() > settle; }, 5000);
    if (!chooseVoice(page, QString::fromLatin1(kVoices[0])))
        return fail("the chooser voice is not on offer");
    page->findChild<QSpinBox *>(QStringLiteral("spinBox"))->setValue(kPauseMs);
    auto *editor = page->findChild<TTSText *>(QStringLiteral("textEdit"));
    editor->setPlainText(script);

    const double programCpu0 = bench::cpuSeconds();
    Render first = render(page, opener);
    const double programCpu = bench::cpuSeconds() - programCpu0;
    const long serviceFirstKb = bench::peakRssKb(service.pid);
    const long programFirstKb = bench::peakRssKb();
    const double serviceCpu = bench::cpuSeconds(service.pid);
    const int segments = first.segments;
    removeJob(page->jobFolderPath());
    if (!first.ok) {
        for (const QString &b : qAsConst(first.boxes))
            std::fprintf(stderr, "  %s\n", qPrintable(b));
        return fail("the first render failed");
    }

    Render again = render(page, opener);
    removeJob(page->jobFolderPath());
    // One passage edited: a few words added in the middle of the script.
    passages[kPassages / 2].text += "这一段刚刚改过。";
    editor->setPlainText(scriptOf(passages));
    Render edited = render(page, opener);
    removeJob(page->jobFolderPath());
    const long serviceAllKb = bench::peakRssKb(service.pid);
    delete page;
    bench::stopService(service);

    for (auto [run, lameQuality] : {std::pair{&typed, -1}, std::pair{&matched, quality}}) {
        const bench::NaiveRun again = bench::runNaive(naiveDir / "script.txt", naiveDir / "again.mp3", lameQuality);
        if (again.ok && again.wall < run->wall)
            *run = again;
    }
    std::error_code ec;
    const double audioMinutes = double(bench::fs::file_size(naiveDir / "matched.mp3", ec)) * 8 / 48000.0 / 60;
    bench::fs::remove_all(naiveDir, ec);
    QDir(audioDir).removeRecursively();

    if (!again.ok || !edited.ok)
        return fail("a repeated render failed");

    std::printf("segments rendered: %d (first), %d (again), %d (edited); about %.0f min of speech\n", segments,
                again.segments, edited.segments, audioMinutes);
    std::printf("first render: %.2f s, of which joining %.2f s; service CPU %.2f s, program CPU %.2f s; "
                "naive CPU %.2f s as typed, %.2f s at the service's quality\n",
                first.total, first.join, serviceCpu, programCpu, typed.cpu, matched.cpu);
    std::printf("repeat: unchanged %.2f s (joining %.2f s), one passage edited %.2f s (joining %.2f s)\n",
                again.total, again.join, edited.total, edited.join);

    const double ratio = first.total / typed.wall;
    const double share = first.join / first.total;
    const double serviceMb = serviceFirstKb / 1024.0, programMb = programFirstKb / 1024.0;
    std::vector<bench::Row> rows = {
        {"render, wall (s)", first.total, typed.wall, "<= 0.70", ratio <= 0.70},
        {"  baseline at the service's LAME quality", first.total, matched.wall, "(info)", true},
        {"  joining share of the render (%)", share * 100, 0, "(info)", true},
        {"segments", double(segments), 0, ">= 300", segments >= 300},
        {"repeat, unchanged (s)", again.total, first.total, "<= 0.20", again.total <= 0.2 * first.total},
        {"repeat, one passage edited (s)", edited.total, first.total, "<= 0.20", edited.total <= 0.2 * first.total},
        {"program peak memory (MB)", programMb, 0, "<= 250", programMb <= 250},
        {"service peak memory, render (MB)", serviceMb, 0, "<= 150", serviceMb <= 150},
        {"service peak memory, all renders (MB)", serviceAllKb / 1024.0, 0, "(info)", true},
    };
    bench::printTable(rows);
    bool all = true;
    for (const auto &r : rows)
        all = all && r.met;
    std::printf("%s\n", all ? "all targets met" : "TARGET MISSED");
    return all ? 0 : 1;
}

#include "bench_render.moc"
