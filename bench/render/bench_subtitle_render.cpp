// Dubbing a one-hour subtitle file: 900 cues, one every four seconds, each
// about three seconds of speech, rendered by the program's job and client
// on the timeline against the real service; baseline: the same 900 texts
// rendered as a plain script of 900 passages and joined, in the same run.
// Each run has a fresh service in a fresh working folder, so that nothing
// is served from a cache; best of three each, taken in turn. The placement
// step is timed inside the run, as the client's call.
#include "BenchCommon.h"
#include "CueMarker.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "SynthesisJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kCues = 900;
constexpr int kSlotMs = 4000;
constexpr int kRounds = 3;
const QString kVoice = QStringLiteral("zh-CN-XiaoxiaoNeural");

// A subtitle's worth of each Chinese passage: its first clause, ten
// characters at most (about three seconds).
QStringList cueTexts()
{
    QStringList texts;
    int n = 0;
    while (texts.size() < kCues) {
        for (const bench::Passage &p : bench::buildPassages(kCues * 2)) {
            if (p.english || texts.size() == kCues)
                continue;
            QString text = QString::fromStdString(p.text);
            const int comma = text.indexOf(QStringLiteral("，"));
            text = text.left(std::min(comma < 0 ? int(text.size()) : comma, 10)) + QStringLiteral("。");
            texts.append(text);
        }
        if (++n > 3)
            break;
    }
    return texts;
}

// The service client, with its join and placement timed.
class TimedClient : public SpeechClient
{
public:
    explicit TimedClient(const ServiceUrls &urls) : m_client(urls) {}
    int passageLimit() override { return m_client.passageLimit(); }
    PassageTask *renderPassage(const PassageRequest &request) override { return m_client.renderPassage(request); }
    SpeechAnswer join(const JoinRequest &request) override
    {
        QElapsedTimer clock;
        clock.start();
        const SpeechAnswer answer = m_client.join(request);
        joinSeconds = clock.nsecsElapsed() / 1e9;
        return answer;
    }
    SpeechAnswer place(const TimelineRequest &request, QVector<TimelineMove> &moves) override
    {
        QElapsedTimer clock;
        clock.start();
        const SpeechAnswer answer = m_client.place(request, moves);
        joinSeconds = clock.nsecsElapsed() / 1e9;
        movedCues = moves.size();
        return answer;
    }

    double joinSeconds = 0;
    int movedCues = 0;

private:
    ServiceClient m_client;
};

struct Run {
    bool ok = false;
    double seconds = 0;     // start of the job to output.mp3
    double joinSeconds = 0; // the join or placement alone
    int moved = 0;
    int spedUp = 0;
};

Run render(const std::string &server, bool timeline, const QStringList &texts, int round)
{
    Run run;
    char tmpl[] = "/tmp/lumo-bench-subtitles-XXXXXX";
    if (!mkdtemp(tmpl))
        return run;
    const fs::path root = tmpl;
    fs::create_directories(root / "audio");
    bench::ServiceProcess service = bench::startService(server, root, {"--port", "0"});
    if (!service.running()) {
        std::fprintf(stderr, "the service did not start\n");
        return run;
    }

    Segmentation::Input input;
    input.chooserVoice = kVoice;
    input.audioDir = QString::fromStdString((root / "audio").string()) + "/";
    input.startMsecs = round;
    JobPlan plan;
    if (timeline) {
        QStringList lines;
        for (int i = 0; i < texts.size(); ++i)
            lines.append(CueMarker::scriptLine(qint64(i) * kSlotMs, qint64(i) * kSlotMs + kSlotMs - 500, texts[i]));
        input.script = lines.join(QLatin1Char('\n'));
        plan = Segmentation::plan(input);
    } else {
        QVector<Passage> passages;
        for (int i = 0; i < texts.size(); ++i)
            passages.append(Passage{i + 1, texts[i], kVoice, QString()});
        plan = Segmentation::plan(input, passages);
    }

    TimedClient client(ServiceUrls::at(QStringLiteral("http://127.0.0.1:%1/").arg(service.port)));
    SynthesisJob job(plan, client);
    QEventLoop loop;
    QObject::connect(&job, &SynthesisJob::finished, &loop, &QEventLoop::quit);
    QObject::connect(&job, &SynthesisJob::warning, [](const QString &title, const QString &text) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text.left(300)));
    });
    QElapsedTimer clock;
    clock.start();
    if (job.start()) {
        QTimer::singleShot(30 * 60 * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.ok = job.isDelivered() && job.failures().isEmpty();
    run.joinSeconds = client.joinSeconds;
    run.moved = client.movedCues;
    for (const SynthesisJob::CueAdjustment &a : job.adjustments())
        run.spedUp += a.spedUp ? 1 : 0;
    bench::stopService(service);
    fs::remove_all(root);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList texts = cueTexts();
    if (texts.size() != kCues) {
        std::fprintf(stderr, "only %d cue texts\n", int(texts.size()));
        return 1;
    }
    Run plain, timed;
    plain.seconds = timed.seconds = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const Run p = render(TAVREL_SERVER_BIN, false, texts, round * 2 + 1);
        const Run t = render(TAVREL_SERVER_BIN, true, texts, round * 2 + 2);
        if (!p.ok || !t.ok) {
            std::fprintf(stderr, "a render failed\n");
            return 1;
        }
        if (p.seconds < plain.seconds)
            plain = p;
        if (t.seconds < timed.seconds)
            timed = t;
    }

    const double share = timed.joinSeconds / timed.seconds;
    std::printf("900 cues over one hour: %d sped up, %d pushed later by the placement\n", timed.spedUp, timed.moved);
    std::printf("plain join %.3f s of %.2f s; placement %.3f s of %.2f s\n", plain.joinSeconds, plain.seconds,
                timed.joinSeconds, timed.seconds);
    std::vector<bench::Row> rows;
    rows.push_back({"1-hour SRT, 900 cues, render on the timeline (s) vs plain script",
                    timed.seconds, plain.seconds, "<= 1.2x", timed.seconds <= 1.2 * plain.seconds, true});
    rows.push_back({"placement share of that render (%)", share * 100.0, 0, "< 5 %", share < 0.05, false});
    bench::printTable(rows);
    return 0;
}
