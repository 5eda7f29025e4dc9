#include "CueFit.h"
#include "CueMarker.h"
#include "ServiceContract.h"
#include "SynthesisJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>

// A timeline job against a scripted client whose passages speak for a
// length that depends on the rate: which cues are rendered again faster,
// what is asked of the placement, and what the user is told.
namespace {

struct Voice {
    qint64 speechMs = 1000; // at +0%
    qint64 leadMs = 100;
    // 1: the length scales as 100 / (100 + rate); below 1 the voice speeds
    // up less than that.
    double yield = 1.0;
    bool fail = false;           // every rendering fails
    bool failFaster = false;     // renderings faster than the plan fail
    bool silentFaster = false;   // renderings faster than the plan never report
};

int rateOf(const QString &rates)
{
    return contract::parsePercent(rates.toStdString(), contract::rateMin, contract::rateMax).value_or(0);
}

class VoiceTask : public PassageTask
{
public:
    VoiceTask(const PassageRequest &request, const Voice &voice, int planRate)
        : m_request(request), m_voice(voice), m_faster(rateOf(request.rates) > planRate)
    {
    }

    bool start() override
    {
        if (m_faster && m_voice.silentFaster)
            return true;
        QTimer::singleShot(10, this, [this] {
            if (m_voice.fail || (m_faster && m_voice.failFaster)) {
                emit failed("refused", "合成异常", false);
                return;
            }
            const double scale = std::pow(100.0 / (100.0 + rateOf(m_request.rates)), m_voice.yield);
            const qint64 end = m_voice.leadMs + qint64(std::llround(double(m_voice.speechMs) * scale));
            QFile media(m_request.media);
            if (media.open(QIODevice::WriteOnly))
                media.write("mp3 at " + m_request.rates.toUtf8());
            QFile subtitles(m_request.subtitles);
            if (subtitles.open(QIODevice::WriteOnly))
                subtitles.write(QStringLiteral("1\n%1 --> %2\n%3\n")
                                    .arg(CueMarker::formatTime(m_voice.leadMs), CueMarker::formatTime(end),
                                         m_request.text)
                                    .toUtf8());
            emit succeeded();
        });
        return true;
    }
    void finish() override {}

private:
    PassageRequest m_request;
    Voice m_voice;
    bool m_faster;
};

class TimelineClient : public SpeechClient
{
public:
    int passageLimit() override { return 1000; }
    PassageTask *renderPassage(const PassageRequest &request) override
    {
        renders.append(request);
        return new VoiceTask(request, voices.value(request.text), planRate);
    }
    SpeechAnswer join(const JoinRequest &request) override
    {
        joins.append(request);
        return {true, QString(), QString()};
    }
    SpeechAnswer place(const TimelineRequest &request, QVector<TimelineMove> &moves) override
    {
        places.append(request);
        // What each placed file held when it was placed.
        for (const QString &file : request.media) {
            QFile in(file);
            placedContents.append(in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString());
        }
        moves = answerMoves;
        QFile output(request.folder + "output.mp3");
        if (output.open(QIODevice::WriteOnly))
            output.write("placed");
        return {true, QString(), QString()};
    }

    // The rates a passage was rendered at, in order.
    QStringList ratesOf(const QString &text) const
    {
        QStringList rates;
        for (const PassageRequest &r : renders)
            if (r.text == text)
                rates.append(r.rates);
        return rates;
    }

    int planRate = 0;
    QHash<QString, Voice> voices;
    QVector<TimelineMove> answerMoves;
    QList<PassageRequest> renders;
    QList<JoinRequest> joins;
    QList<TimelineRequest> places;
    QStringList placedContents;
};

Passage cue(int number, int cueNumber, qint64 startMs, qint64 endMs, const QString &text)
{
    Passage p{number, text, QStringLiteral("zh-CN-XiaoxiaoNeural"), QString()};
    p.cue = cueNumber;
    p.startMs = startMs;
    p.endMs = endMs;
    return p;
}

} // namespace

class TestTimelineJob : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void cuesThatFitArePlacedAtTheirTimes();
    void overlongCue_data();
    void overlongCue();
    void cuesArePlacedByTimeNotByLine();
    void failedPassagesAreNotSpedUp();
    void skippedLinesAreTold();
    void cancelWhileFitting();

private:
    JobPlan plan(const QVector<Passage> &passages);
    bool run(SynthesisJob &job);

    std::unique_ptr<QTemporaryDir> m_audio;
};

void TestTimelineJob::init()
{
    m_audio = std::make_unique<QTemporaryDir>();
    QVERIFY(m_audio->isValid());
}

JobPlan TestTimelineJob::plan(const QVector<Passage> &passages)
{
    JobPlan plan;
    plan.rates = "+0%";
    plan.volumes = "+0%";
    plan.pauseMs = 700;
    plan.folder = m_audio->path() + "/100/";
    plan.passages = passages;
    plan.timeline = true;
    return plan;
}

bool TestTimelineJob::run(SynthesisJob &job)
{
    if (!job.start())
        return false;
    return QTest::qWaitFor([&job] { return !job.isRunning(); }, 10000);
}

void TestTimelineJob::cuesThatFitArePlacedAtTheirTimes()
{
    TimelineClient client;
    JobPlan timeline = plan({cue(1, 1, 0, 2000, "一"), cue(2, 2, 3000, 4500, "二"), cue(3, 3, 6000, 6800, "三")});
    timeline.writeWav = true;
    SynthesisJob job(timeline, client);
    QSignalSpy adjusted(&job, &SynthesisJob::adjusted);
    QSignalSpy delivered(&job, &SynthesisJob::delivered);
    QVERIFY(run(job));

    QCOMPARE(delivered.size(), 1);
    QCOMPARE(adjusted.size(), 0);
    QCOMPARE(client.renders.size(), 3);
    QVERIFY(client.joins.isEmpty());
    QCOMPARE(client.places.size(), 1);
    const TimelineRequest &place = client.places.first();
    const QString folder = timeline.folder;
    QCOMPARE(place.media, (QStringList{folder + "1.mp3", folder + "2.mp3", folder + "3.mp3"}));
    QCOMPARE(place.startsMs, (QVector<qint64>{0, 3000, 6000}));
    QCOMPARE(place.endsMs, (QVector<qint64>{2000, 4500, 6800}));
    QCOMPARE(place.endMs, qint64(6800));
    QCOMPARE(place.folder, folder);
    QVERIFY(place.writeWav);
    QVERIFY(place.timeoutMs > 0);
    QVERIFY(job.adjustments().isEmpty());
    // The passages' MP3 files are gone; their subtitles stay.
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"1.srt", "2.srt", "3.srt", "output.mp3"}));
}

void TestTimelineJob::overlongCue_data()
{
    QTest::addColumn<qint64>("speechMs"); // of the first cue, at +0%
    QTest::addColumn<double>("yield");
    QTest::addColumn<bool>("failFaster");
    QTest::addColumn<QStringList>("rates");  // the first cue's renderings
    QTest::addColumn<QString>("placed");     // what its placed file holds
    QTest::addColumn<QString>("message");    // empty: no message

    // The second cue starts at 3000 and its lead is 100 ms: the first may
    // speak 3000 - tail - 100 ms.
    const qint64 slot = 3000 - CueFit::kTailMs - 100;
    QTest::newRow("fits: said once") << slot << 1.0 << false << QStringList{"+0%"} << "mp3 at +0%" << QString();
    // A fifth too long: +20%, and a little more.
    QTest::newRow("a fifth too long: once more, faster")
        << qint64(slot * 6 / 5) << 1.0 << false << QStringList{"+0%", "+23%"} << "mp3 at +23%"
        << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 1 条字幕：语速加快到 +23%");
    QTest::newRow("a voice that speeds up less: a second try at the fastest")
        << qint64(slot * 6 / 5) << 0.5 << false << QStringList{"+0%", "+23%", "+50%"} << "mp3 at +50%"
        << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 1 条字幕：语速加快到 +50%");
    QTest::newRow("too long even at the fastest: once at the fastest, then it runs over")
        << qint64(slot * 3) << 1.0 << false << QStringList{"+0%", "+50%"} << "mp3 at +50%"
        << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 1 条字幕：语速加快到 +50%\n"
                          "第 2 条字幕：推后 1.30 秒");
    QTest::newRow("a faster rendering that fails keeps the first")
        << qint64(slot * 6 / 5) << 1.0 << true << QStringList{"+0%", "+23%"} << "mp3 at +0%"
        << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 2 条字幕：推后 1.30 秒");
}

void TestTimelineJob::overlongCue()
{
    QFETCH(qint64, speechMs);
    QFETCH(double, yield);
    QFETCH(bool, failFaster);
    QFETCH(QStringList, rates);
    QFETCH(QString, placed);
    QFETCH(QString, message);

    TimelineClient client;
    client.voices["一"] = Voice{speechMs, 100, yield, false, failFaster, false};
    client.voices["二"] = Voice{1000, 100};
    // Whatever did not fit pushes the next cue on; the service says by how much.
    if (!message.contains(QStringLiteral("推后")))
        client.answerMoves.clear();
    else
        client.answerMoves = {TimelineMove{2, 1300}};
    SynthesisJob job(plan({cue(1, 1, 0, 2500, "一"), cue(2, 2, 3000, 4500, "二")}), client);
    QSignalSpy adjusted(&job, &SynthesisJob::adjusted);
    QSignalSpy delivered(&job, &SynthesisJob::delivered);
    QVERIFY(run(job));

    QCOMPARE(delivered.size(), 1);
    QCOMPARE(client.ratesOf("一"), rates);
    QCOMPARE(client.ratesOf("二"), QStringList{"+0%"});
    QCOMPARE(client.places.size(), 1);
    QCOMPARE(client.places.first().media.first(), job.plan().folder + "1.mp3");
    QCOMPARE(client.placedContents.first(), placed);
    if (message.isEmpty()) {
        QCOMPARE(adjusted.size(), 0);
    } else {
        QCOMPARE(adjusted.size(), 1);
        QCOMPARE(adjusted.first().at(0).toString(), QStringLiteral("字幕对齐"));
        QCOMPARE(adjusted.first().at(1).toString(), message);
    }
    // Only the placed passages' subtitles are left: no faster attempt lingers.
    QCOMPARE(QDir(job.plan().folder).entryList(QDir::Files, QDir::Name),
             (QStringList{"1.srt", "2.srt", "output.mp3"}));
    // The subtitles beside it are those of the rendering that was placed.
    QFile srt(job.plan().folder + "1.srt");
    QVERIFY(srt.open(QIODevice::ReadOnly));
    const qint64 placedRate = rateOf(placed.mid(7));
    const qint64 end = 100 + qint64(std::llround(double(speechMs) * std::pow(100.0 / (100.0 + placedRate), yield)));
    QVERIFY2(QString::fromUtf8(srt.readAll()).contains(CueMarker::formatTime(end)), qPrintable(placed));
}

void TestTimelineJob::cuesArePlacedByTimeNotByLine()
{
    TimelineClient client;
    client.answerMoves = {TimelineMove{2, 300}};
    // Script order: cue 1 at 5 s, cue 2 at 0 s.
    SynthesisJob job(plan({cue(1, 1, 5000, 6000, "后"), cue(2, 2, 0, 1000, "先")}), client);
    QSignalSpy adjusted(&job, &SynthesisJob::adjusted);
    QVERIFY(run(job));

    const QString folder = job.plan().folder;
    QCOMPARE(client.places.first().media, (QStringList{folder + "2.mp3", folder + "1.mp3"}));
    QCOMPARE(client.places.first().startsMs, (QVector<qint64>{0, 5000}));
    // The service's second placed passage is the script's first cue.
    QCOMPARE(adjusted.size(), 1);
    QCOMPARE(adjusted.first().at(1).toString(),
             QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 1 条字幕：推后 0.30 秒"));
    QCOMPARE(job.adjustments().size(), 1);
    QCOMPARE(job.adjustments().first().cue, 1);
    QCOMPARE(job.adjustments().first().shiftMs, qint64(300));
    QVERIFY(!job.adjustments().first().spedUp);
}

void TestTimelineJob::failedPassagesAreNotSpedUp()
{
    TimelineClient client;
    client.voices["坏"] = Voice{99000, 100, 1.0, true};
    SynthesisJob job(plan({cue(1, 1, 0, 1000, "坏"), cue(2, 2, 1000, 2000, "好")}), client);
    QSignalSpy warning(&job, &SynthesisJob::warning);
    QSignalSpy delivered(&job, &SynthesisJob::delivered);
    QVERIFY(run(job));

    QCOMPARE(client.ratesOf("坏"), QStringList{"+0%"});
    QCOMPARE(warning.size(), 1);
    QCOMPARE(delivered.size(), 1);
    // Its file is asked for all the same: the service leaves out what is missing.
    QCOMPARE(client.places.first().media.size(), 2);
    QCOMPARE(client.placedContents.first(), QString());
}

void TestTimelineJob::skippedLinesAreTold()
{
    TimelineClient client;
    JobPlan timeline = plan({cue(1, 1, 0, 1000, "一")});
    timeline.skipped = QStringList{"第 2 行：字幕时间无法识别或结束早于开始，未配音"};
    SynthesisJob job(timeline, client);
    QSignalSpy adjusted(&job, &SynthesisJob::adjusted);
    QVERIFY(run(job));
    QCOMPARE(adjusted.size(), 1);
    QCOMPARE(adjusted.first().at(1).toString(),
             QStringLiteral("以下行没有配音：\n第 2 行：字幕时间无法识别或结束早于开始，未配音"));
}

void TestTimelineJob::cancelWhileFitting()
{
    TimelineClient client;
    client.voices["一"] = Voice{9000, 100, 1.0, false, false, true};
    SynthesisJob job(plan({cue(1, 1, 0, 1000, "一"), cue(2, 2, 2000, 3000, "二")}), client);
    QSignalSpy cancelled(&job, &SynthesisJob::cancelled);
    QVERIFY(job.start());
    // The faster rendering is on its way and never comes back.
    QVERIFY(QTest::qWaitFor([&client] { return client.renders.size() == 3; }, 10000));
    QVERIFY(job.isRunning());
    QVERIFY(job.cancel());
    QCOMPARE(cancelled.size(), 1);
    QVERIFY(!job.isRunning());
    QVERIFY(client.places.isEmpty());
    QVERIFY(!QFileInfo::exists(job.plan().folder));
}

QTEST_GUILESS_MAIN(TestTimelineJob)
#include "test_timelinejob.moc"
