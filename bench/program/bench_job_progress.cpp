// Progress on a large job: SynthesisJob with 10,000 passages that a scripted
// client renders instantly (each reports as soon as its turn in the event
// loop comes, the join answers at once), so that what is measured is the
// job's own bookkeeping. Ours: the page's progress handler connected, setting
// the overlay's line as the page does. Baseline: the same job with nothing
// connected to its progress. Also: the share of the job spent in the
// handler, and, for comparison, the overlay updated on every report instead
// of at most every JobLimits::progressIntervalMs.
#include "BenchCommon.h"
#include "JobLimits.h"
#include "JobReport.h"
#include "Loading.h"
#include "SynthesisJob.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPassages = 10000;
constexpr int kRuns = 5;

class InstantTask : public PassageTask
{
public:
    bool start() override
    {
        QMetaObject::invokeMethod(this, [this] { emit succeeded(); }, Qt::QueuedConnection);
        return true;
    }
    void finish() override {}
};

class InstantClient : public SpeechClient
{
public:
    int passageLimit() override { return 1000000; }
    PassageTask *renderPassage(const PassageRequest &) override { return new InstantTask; }
    SpeechAnswer join(const JoinRequest &) override { return SpeechAnswer{true, QString(), QString()}; }
};

enum class Shown { Nothing, Paced, EveryReport };

struct Run {
    double jobMs = 0;
    double handlerMs = 0;
    int updates = 0;
};

Run runJob(Shown shown, const QString &folder)
{
    JobPlan plan;
    plan.rates = QStringLiteral("+0%");
    plan.volumes = QStringLiteral("+0%");
    plan.folder = folder;
    for (int i = 1; i <= kPassages; ++i)
        plan.passages.append(Passage{i, QStringLiteral("第%1段，一段普通长度的旁白文字。").arg(i),
                                     QStringLiteral("zh-CN-XiaoxiaoNeural")});

    // The page and its overlay, as the job's reports reach them.
    QWidget page;
    page.resize(862, 583);
    Loading overlay(&page);
    overlay.setText(QStringLiteral("多线程合成中，请稍等"));
    page.show();
    QApplication::processEvents();

    InstantClient client;
    SynthesisJob job(plan, client);
    Run run;
    QElapsedTimer handler;
    qint64 handlerNs = 0;
    const auto show = [&](int done, int total) {
        handler.start();
        overlay.setText(JobReport::renderingText(done, total));
        handlerNs += handler.nsecsElapsed();
        ++run.updates;
    };
    if (shown == Shown::Paced)
        QObject::connect(&job, &SynthesisJob::progress, &overlay, show);
    else if (shown == Shown::EveryReport)
        QObject::connect(&job, &SynthesisJob::passageFinished, &overlay,
                         [&](int, bool) { show(job.passagesDone(), kPassages); });

    bool finished = false;
    QObject::connect(&job, &SynthesisJob::finished, [&] { finished = true; });
    QElapsedTimer clock;
    clock.start();
    job.start();
    while (!finished)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    run.jobMs = clock.nsecsElapsed() / 1e6;
    run.handlerMs = handlerNs / 1e6;
    if (!job.isDelivered())
        std::fprintf(stderr, "the job did not deliver\n");
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir audio;
    if (!audio.isValid())
        return 1;

    std::vector<double> base, paced, every, handlerShare, everyShare, updates;
    runJob(Shown::Paced, audio.path() + "/warm/"); // first-run costs out of the way
    for (int i = 0; i < kRuns; ++i) {
        const QString folder = audio.path() + QStringLiteral("/%1/").arg(i);
        const Run b = runJob(Shown::Nothing, folder + "b/");
        const Run p = runJob(Shown::Paced, folder + "p/");
        const Run e = runJob(Shown::EveryReport, folder + "e/");
        base.push_back(b.jobMs);
        paced.push_back(p.jobMs);
        every.push_back(e.jobMs);
        handlerShare.push_back(100.0 * p.handlerMs / p.jobMs);
        everyShare.push_back(100.0 * e.handlerMs / e.jobMs);
        updates.push_back(p.updates);
    }

    const double ratio = median(paced) / median(base);
    const double share = median(handlerShare);
    std::printf("job progress: %d passages rendered instantly, median of %d runs; overlay line at most every %d ms\n",
                kPassages, kRuns, JobLimits::progressIntervalMs);
    bench::printTable({
        {"10,000-passage job with progress (ms)", median(paced), median(base), "<= 1.05", ratio <= 1.05, true},
        {"  time in the progress handler (%)", share, 0, "< 5", share < 5, false},
        {"  overlay updates", median(updates), 0, "(info)", true, false},
        {"  updated on every report (ms)", median(every), median(base), "(info)", true, true},
        {"  every report: handler time (%)", median(everyShare), 0, "(info)", true, false},
        {"peak memory (MB)", bench::peakRssKb() / 1024.0, 0, "(info)", true, false},
    });
    const bool ok = ratio <= 1.05 && share < 5;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
