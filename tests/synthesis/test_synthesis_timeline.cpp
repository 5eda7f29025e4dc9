#include "AppSettings.h"
#include "CueFit.h"
#include "CueMarker.h"
#include "Mp3Duration.h"
#include "RealService.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "SubtitleImport.h"
#include "SynthesisJob.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

// A subtitle file dubbed with the real service: each cue's speech heard at
// its time, a cue too long for its slot said faster, one too long even so
// pushing the next, output.srt as spoken, and output.wav on request.
namespace {

constexpr double kOnsetToleranceMs = 40.0;
const QString voice = QStringLiteral("zh-CN-XiaoxiaoNeural");

double nearest(const QVector<double> &onsets, double ms)
{
    double best = 1e12;
    for (double onset : onsets)
        if (qAbs(onset - ms) < qAbs(best - ms))
            best = onset;
    return best;
}

struct Outcome {
    bool delivered = false;
    QString adjusted;
    QStringList warnings;
    QVector<SynthesisJob::CueAdjustment> adjustments;
    JobPlan plan;
};

} // namespace

class TestSynthesisTimeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void cuesAreHeardAtTheirTimes();
    void aCueTooLongIsSaidFaster();
    void aCueTooLongEvenFasterPushesTheNext();

private:
    Outcome render(const QString &srt, bool writeWav = false);
    // How long the text speaks at the plan's rate, from the subtitles the
    // service writes for it.
    qint64 speechLength(const QString &text);

    RealService m_server;
    qint64 m_jobs = 0;
};

void TestSynthesisTimeline::initTestCase()
{
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));
    TestSupport::clearWorkingFolder();
    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
}

void TestSynthesisTimeline::cleanupTestCase()
{
    m_server.stop();
}

Outcome TestSynthesisTimeline::render(const QString &srt, bool writeWav)
{
    const SubtitleImport::Result cues = SubtitleImport::parseSrt(srt);
    Segmentation::Input input;
    input.script = CueMarker::scriptLines(cues.cues).join(QLatin1Char('\n'));
    input.chooserVoice = voice;
    input.audioDir = audioDir;
    input.startMsecs = QDateTime::currentMSecsSinceEpoch() * 10 + ++m_jobs;
    input.writeWav = writeWav;

    Outcome outcome;
    outcome.plan = Segmentation::plan(input);
    ServiceClient client(m_server.urls());
    SynthesisJob job(outcome.plan, client);
    connect(&job, &SynthesisJob::adjusted, this, [&outcome](const QString &, const QString &text) { outcome.adjusted = text; });
    connect(&job, &SynthesisJob::warning, this,
            [&outcome](const QString &title, const QString &text) { outcome.warnings.append(title + ": " + text); });
    if (job.start() && QTest::qWaitFor([&job] { return !job.isRunning(); }, 120000)) {
        outcome.delivered = job.isDelivered();
        outcome.adjustments = job.adjustments();
    }
    return outcome;
}

qint64 TestSynthesisTimeline::speechLength(const QString &text)
{
    const Outcome alone = render("1\n00:00:00,000 --> 00:00:01,000\n" + text + "\n");
    if (!alone.delivered)
        return -1;
    const auto speech = CueFit::speechIn(alone.plan.subtitlePath(alone.plan.passages.first()));
    return speech ? speech->lengthMs() : -1;
}

void TestSynthesisTimeline::cuesAreHeardAtTheirTimes()
{
    // Out of order, without a number for one, CRLF: as files come.
    const QString srt = QStringLiteral("2\r\n00:00:03,200 --> 00:00:05,000\r\n今天天气很好。\r\n\r\n"
                                       "00:00:00,500 --> 00:00:02,000\r\n你好。\r\n\r\n"
                                       "3\r\n00:00:07,000 --> 00:00:09,500\r\n<i>再见</i>。\r\n");
    const Outcome out = render(srt, true);
    QVERIFY2(out.delivered, qPrintable(out.warnings.join('\n')));
    QVERIFY2(out.adjusted.isEmpty(), qPrintable(out.adjusted));

    const QVector<double> onsets = mp3SpeechOnsetsMs(out.plan.outputPath());
    QVERIFY(!onsets.isEmpty());
    for (double at : {500.0, 3200.0, 7000.0})
        QVERIFY2(qAbs(nearest(onsets, at) - at) <= kOnsetToleranceMs,
                 qPrintable(QStringLiteral("cue at %1 ms heard at %2 ms").arg(at).arg(nearest(onsets, at))));
    // Silence between: nothing heard before the first cue.
    QVERIFY(onsets.first() >= 500.0 - kOnsetToleranceMs);
    QVERIFY(mp3Seconds(out.plan.outputPath()) >= 9.5);

    // One cue per imported cue, at the times asked where nothing moved.
    SubtitleImport::Result spoken;
    QString error;
    QVERIFY2(SubtitleImport::readFile(out.plan.outputSubtitlePath(), spoken, error), qPrintable(error));
    QCOMPARE(spoken.cues.size(), 3);
    QCOMPARE(spoken.cues[0].startMs, qint64(500));
    QCOMPARE(spoken.cues[0].endMs, qint64(2000));
    QCOMPARE(spoken.cues[0].text, QStringLiteral("你好。"));
    QCOMPARE(spoken.cues[1].startMs, qint64(3200));
    QCOMPARE(spoken.cues[2].startMs, qint64(7000));
    QCOMPARE(spoken.cues[2].endMs, qint64(9500));
    QCOMPARE(spoken.cues[2].text, QStringLiteral("再见。"));

    QFile wav(out.plan.outputWavPath());
    QVERIFY(wav.open(QIODevice::ReadOnly));
    const QByteArray header = wav.read(44);
    QVERIFY(header.startsWith("RIFF") && header.mid(8, 4) == "WAVE");
    QCOMPARE(int(uchar(header[34])), 16); // bits per sample
}

void TestSynthesisTimeline::aCueTooLongIsSaidFaster()
{
    const QString longText = QStringLiteral("我们今天要讨论的题目是如何在十分钟之内准备一顿简单而营养丰富的晚餐。");
    const qint64 length = speechLength(longText);
    QVERIFY(length > 2000);
    // Room for it at 1.3 times the speed: faster, within the +50% ceiling.
    // It starts at 1 s: a cue at 0 ms cannot have the voice's lead silence
    // before it, and starts that much late.
    const qint64 next = 1000 + length * 10 / 13 + CueFit::kTailMs + 150;
    const QString srt = QStringLiteral("1\n00:00:01,000 --> %1\n%2\n\n2\n%1 --> %3\n好的。\n")
                            .arg(CueMarker::formatTime(next), longText, CueMarker::formatTime(next + 2000));
    const Outcome out = render(srt);
    QVERIFY2(out.delivered, qPrintable(out.warnings.join('\n')));
    QVERIFY2(out.adjusted.contains(QStringLiteral("第 1 条字幕：语速加快到 +")), qPrintable(out.adjusted));
    QVERIFY2(!out.adjusted.contains(QStringLiteral("推后")), qPrintable(out.adjusted));
    QCOMPARE(out.adjustments.size(), 1);
    QVERIFY(out.adjustments.first().spedUp);
    QVERIFY(out.adjustments.first().rate > 20 && out.adjustments.first().rate <= 50);

    const QVector<double> onsets = mp3SpeechOnsetsMs(out.plan.outputPath());
    QVERIFY2(qAbs(nearest(onsets, double(next)) - double(next)) <= kOnsetToleranceMs,
             qPrintable(QString::number(nearest(onsets, double(next)))));
}

void TestSynthesisTimeline::aCueTooLongEvenFasterPushesTheNext()
{
    const QString longText = QStringLiteral("这一段话实在太长了，无论说得多快，都不可能在这么短的时间里说完。");
    const qint64 length = speechLength(longText);
    QVERIFY(length > 2000);
    // Half its length: even 1.5 times the speed overruns.
    const qint64 next = 1000 + length / 2;
    const qint64 third = 1000 + length * 3;
    const QString srt = QStringLiteral("1\n00:00:01,000 --> %1\n%2\n\n2\n%1 --> %3\n好的。\n\n3\n%4 --> %5\n最后一句。\n")
                            .arg(CueMarker::formatTime(next), longText, CueMarker::formatTime(next + 1000),
                                 CueMarker::formatTime(third), CueMarker::formatTime(third + 2000));
    const Outcome out = render(srt);
    QVERIFY2(out.delivered, qPrintable(out.warnings.join('\n')));
    QVERIFY2(out.adjusted.contains(QStringLiteral("第 1 条字幕：语速加快到 +50%")), qPrintable(out.adjusted));
    QVERIFY2(out.adjusted.contains(QStringLiteral("第 2 条字幕：推后 ")), qPrintable(out.adjusted));
    QVERIFY2(!out.adjusted.contains(QStringLiteral("第 3 条")), qPrintable(out.adjusted));

    qint64 shift = 0;
    for (const SynthesisJob::CueAdjustment &a : out.adjustments)
        if (a.cue == 2)
            shift = a.shiftMs;
    QVERIFY(shift > 0);
    // The pushed cue follows the first with only a short pause.
    const QVector<double> onsets = mp3SpeechOnsetsMs(out.plan.outputPath(), 100);
    const double moved = double(next + shift);
    QVERIFY2(qAbs(nearest(onsets, moved) - moved) <= kOnsetToleranceMs,
             qPrintable(QStringLiteral("%1 vs %2").arg(nearest(onsets, moved)).arg(moved)));
    QVERIFY(qAbs(nearest(onsets, double(third)) - double(third)) <= kOnsetToleranceMs);

    // output.srt: the moved cue where it was heard, the last where it was asked.
    SubtitleImport::Result spoken;
    QString error;
    QVERIFY2(SubtitleImport::readFile(out.plan.outputSubtitlePath(), spoken, error), qPrintable(error));
    QCOMPARE(spoken.cues.size(), 3);
    QCOMPARE(spoken.cues[1].startMs, next + shift);
    QCOMPARE(spoken.cues[2].startMs, third);
}

QTEST_GUILESS_MAIN(TestSynthesisTimeline)
#include "test_synthesis_timeline.moc"
