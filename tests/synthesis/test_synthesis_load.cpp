#include "Mp3Duration.h"
#include "PageHarness.h"
#include "RealService.h"
#include "TTSText.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QMediaPlaylist>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <sys/resource.h>

namespace {

const int segmentCount = 500;

struct Cue {
    double start = 0;
    double end = 0;
    QString text;
};

double srtSeconds(const QString &stamp)
{
    // hh:mm:ss,mmm
    const QStringList parts = QString(stamp).replace(',', ':').split(':');
    return parts.value(0).toInt() * 3600 + parts.value(1).toInt() * 60 + parts.value(2).toInt()
        + parts.value(3).toInt() / 1000.0;
}

QList<Cue> readCues(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList blocks = QString::fromUtf8(file.readAll()).replace("\r\n", "\n").split("\n\n", Qt::SkipEmptyParts);
    static const QRegularExpression timing("^(\\d+:\\d+:\\d+,\\d+) --> (\\d+:\\d+:\\d+,\\d+)$");
    QList<Cue> cues;
    for (const QString &block : blocks) {
        const QStringList lines = block.trimmed().split('\n');
        const auto match = timing.match(lines.value(1));
        if (lines.size() < 3 || !match.hasMatch())
            continue;
        cues.append({srtSeconds(match.captured(1)), srtSeconds(match.captured(2)), lines.mid(2).join(' ')});
    }
    return cues;
}

int countEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
}

QString script(const QString &voice, const QStringList &texts)
{
    QString text;
    for (const QString &line : texts)
        text += QStringLiteral("「%1」%2「」\n").arg(voice, line);
    return text;
}

int procThreads(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return 0;
}

} // namespace

// A long script against the real service, with one worker per segment as the
// program runs it: every segment must arrive, in order, in output.mp3 and
// output.srt.
class TestSynthesisLoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fiveHundredSegmentsRenderCompletely();
    void jobBeyondTheHardLimitIsRefused();

private:
    ttsMain *newPage();

    rlimit m_limit{};
    QString m_voice;
    RealService m_service;
    PageHarness m_harness;
};

void TestSynthesisLoad::initTestCase()
{
    // A build with the service has it in place: a missing one is a failure.
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));
    TestSupport::clearWorkingFolder();
    QString why;
    QVERIFY2(m_service.start(&why), qPrintable(why));
    QVERIFY(m_service.writeVoiceCache());
    m_harness.catchBoxesAndFolders();

    for (const QJsonValue &value : m_service.voices()) {
        if (value.toObject().value("locale").toString().startsWith("en")) {
            m_voice = value.toObject().value("name").toString();
            break;
        }
    }
    QVERIFY(!m_voice.isEmpty());

    // Start as a desktop session does, with a soft limit of 1024 descriptors.
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &m_limit), 0);
    if (m_limit.rlim_cur > 1024) {
        rlimit desktop = m_limit;
        desktop.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &desktop), 0);
    }
}

void TestSynthesisLoad::cleanupTestCase()
{
    // Raising the hard limit back needs privileges; without them it stays lowered.
    setrlimit(RLIMIT_NOFILE, &m_limit);
}

ttsMain *TestSynthesisLoad::newPage()
{
    ttsMain *page = m_harness.newPage(m_service.urls());
    if (page && page->findChild<QComboBox *>("voicesSelect")->count() == 0) {
        delete page;
        return nullptr;
    }
    return page;
}

void TestSynthesisLoad::fiveHundredSegmentsRenderCompletely()
{
    QScopedPointer<ttsMain> owner(newPage());
    QVERIFY(owner);
    ttsMain &page = *owner;

    QStringList texts;
    for (int i = 1; i <= segmentCount; ++i)
        texts.append(QStringLiteral("Line %1 of the load test.").arg(i));
    page.findChild<TTSText *>("textEdit")->setPlainText(script(m_voice, texts));

    int peakThreads = 0, peakFds = 0, peakServiceThreads = 0, peakServiceFds = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        peakThreads = qMax(peakThreads, procThreads(QCoreApplication::applicationPid()));
        peakFds = qMax(peakFds, countEntries("/proc/self/fd"));
        peakServiceThreads = qMax(peakServiceThreads, procThreads(m_service.pid()));
        peakServiceFds = qMax(peakServiceFds, countEntries(QStringLiteral("/proc/%1/fd").arg(m_service.pid())));
    });
    sampler.start(20);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(page.findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page.isJobRunning(), 600000);
    sampler.stop();
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    qInfo("%d segments in %.1f s; program: peak %d threads, %d open files (limit %llu); service: peak %d threads, %d open files",
          segmentCount, clock.elapsed() / 1000.0, peakThreads, peakFds, (unsigned long long)limit.rlim_cur,
          peakServiceThreads, peakServiceFds);

    QCOMPARE(m_harness.newBoxes(), Boxes{});
    const QString folder = page.jobFolderPath();
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QCOMPARE(QDir(folder).entryList({"*.mp3"}, QDir::Files), QStringList{"output.mp3"});
    QCOMPARE(QDir(folder).entryList({"*.srt"}, QDir::Files).size(), segmentCount + 1);

    const QList<Cue> cues = readCues(folder + "output.srt");
    QCOMPARE(cues.size(), segmentCount);
    double previousEnd = 0;
    for (int i = 0; i < cues.size(); ++i) {
        QCOMPARE(cues[i].text, texts[i]);
        QVERIFY2(cues[i].start >= previousEnd && cues[i].end > cues[i].start, qPrintable(texts[i]));
        previousEnd = cues[i].end;
    }
    const double seconds = mp3Seconds(folder + "output.mp3");
    QVERIFY2(previousEnd <= seconds && previousEnd > seconds - 1.0,
             qPrintable(QString("last cue ends at %1 s, output lasts %2 s").arg(previousEnd).arg(seconds)));
}

// Where even the hard limit cannot hold every worker, the job is refused
// before it starts anything, instead of the program being aborted midway.
void TestSynthesisLoad::jobBeyondTheHardLimitIsRefused()
{
    QScopedPointer<ttsMain> page(newPage());
    QVERIFY(page);
    QStringList texts;
    for (int i = 1; i <= 300; ++i)
        texts.append(QStringLiteral("Refused line %1.").arg(i));
    page->findChild<TTSText *>("textEdit")->setPlainText(script(m_voice, texts));
    const QStringList foldersBefore = QDir("audio").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    m_harness.opened.urls.clear();

    // 1000 descriptors hold (1000 - 128) / 4 = 218 segments.
    rlimit low{1000, 1000};
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
    QTest::mouseClick(page->findChild<QPushButton *>("tryPlay"), Qt::LeftButton);
    QTRY_VERIFY(!page->isJobRunning());
    setrlimit(RLIMIT_NOFILE, &m_limit);

    QCOMPARE(m_harness.newBoxes(),
             (Boxes{{"合成异常", "配音段落过多（300 段），本机最多可同时合成 218 段，请分批合成"}}));
    QVERIFY(!page->busyOverlay());
    QCOMPARE(QDir("audio").entryList(QDir::Dirs | QDir::NoDotAndDotDot), foldersBefore);
    QVERIFY(m_harness.opened.urls.isEmpty());
    QCOMPARE(page->mediaPlaylist()->mediaCount(), 0);
}

QTEST_MAIN(TestSynthesisLoad)
#include "test_synthesis_load.moc"
