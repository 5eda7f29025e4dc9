// Progress on a large job: SynthesisJob with 10,000 passages that a scripted
// client renders instantly (each reports as soon as its turn in the event
// loop comes, the join answers at once), so that the job is as short as it
// can be and what is measured is its own bookkeeping. The target row: what
// showing progress costs (the page's handler setting the overlay's line, and
// the repaint that causes) as a share of the same job with nothing connected
// to its progress; CPU time of the job's thread, medians of many runs. Also,
// for comparison: the overlay updated on every report instead
// of at most every JobLimits::progressIntervalMs, and the same job with its
// reports spread over two seconds, where the count moves on the way.
#include "BenchCommon.h"
#include "JobLimits.h"
#include "JobReport.h"
#include "Loading.h"
#include "SynthesisJob.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kPassages = 10000;
// Runs of about 70 ms each on a shared machine: many, alternated, and the median taken.
constexpr int kRuns = 21;

class InstantTask : public PassageTask
{
public:
    explicit InstantTask(int delayMs)
        : m_delayMs(delayMs)
    {
    }
    bool start() override
    {
        if (m_delayMs == 0)
            QMetaObject::invokeMethod(this, [this] { emit succeeded(); }, Qt::QueuedConnection);
        else
            QTimer::singleShot(m_delayMs, this, [this] { emit succeeded(); });
        return true;
    }
    void finish() override {}

private:
    int m_delayMs;
};

// Every passage at once, or the reports spread evenly over `spreadMs`.
class InstantClient : public SpeechClient
{
public:
    explicit InstantClient(int spreadMs)
        : m_spreadMs(spreadMs)
    {
    }
    int passageLimit() override { return 1000000; }
    PassageTask *renderPassage(const PassageRequest &) override
    {
        return new InstantTask(m_spreadMs > 0 ? int(qint64(m_made++) * m_spreadMs / kPassages) : 0);
    }
    SpeechAnswer join(const JoinRequest &) override { return SpeechAnswer{true, QString(), QString()}; }

private:
    int m_spreadMs;
    int m_made = 0;
};

enum class Shown { Nothing, Paced, EveryReport };

// The job runs on this thread alone (the client has no threads), so its CPU
// time is what it costs, and other work on a shared machine barely moves it.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Run {
    double jobMs = 0; // CPU time of the job's thread, start to finished()
    double handlerMs = 0;
    int updates = 0;
};

Run runJob(Shown shown, const QString &folder, int spreadMs = 0)
{
    JobPlan plan;
    plan.rates = QStringLiteral("+0%");
    plan.volumes = QStringLiteral("+0%");
    plan.folder = folder;
    for (int i = 1; i <= kPassages; ++i)
        plan.passages.append(Passage{i, QStringLiteral("第%1段，一段普通长度的旁白文字。").arg(i),
                                     QStringLiteral("zh-CN-XiaoxiaoNeural"), QString()});

    // The page and its overlay, as the job's reports reach them.
    QWidget page;
    page.resize(862, 583);
    Loading overlay(&page);
    overlay.setText(QStringLiteral("多线程合成中，请稍等"));
    page.show();
    QApplication::processEvents();

    InstantClient client(spreadMs);
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

    QEventLoop loop;
    QObject::connect(&job, &SynthesisJob::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    const double cpuBefore = threadCpuMs();
    job.start();
    loop.exec();
    run.jobMs = threadCpuMs() - cpuBefore;
    run.handlerMs = handlerNs / 1e6;
    if (!job.isDelivered())
        std::fprintf(stderr, "the job did not deliver\n");
    return run;
}

// What one update of the overlay's line costs once it is painted: the
// handler's own time leaves out the repaint it causes.
double paintedUpdateMs()
{
    QWidget page;
    page.resize(862, 583);
    Loading overlay(&page);
    page.show();
    QApplication::processEvents();
    constexpr int updates = 200;
    const double before = threadCpuMs();
    for (int i = 0; i < updates; ++i) {
        overlay.setText(JobReport::renderingText(i, kPassages));
        QApplication::processEvents();
    }
    const double painted = (threadCpuMs() - before) / updates;
    // The same loop without the update: the animation and the loop itself.
    const double idleBefore = threadCpuMs();
    for (int i = 0; i < updates; ++i)
        QApplication::processEvents();
    const double idle = (threadCpuMs() - idleBefore) / updates;
    return std::max(0.0, painted - idle);
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

    std::vector<double> base, paced, every, handlerShare, updates, handlerMs;
    runJob(Shown::Paced, audio.path() + "/warm/"); // first-run costs out of the way
    for (int i = 0; i < kRuns; ++i) {
        const QString folder = audio.path() + QStringLiteral("/%1/").arg(i);
        // Which of the two goes first alternates, so drift favours neither.
        Run b, p;
        if (i % 2) {
            b = runJob(Shown::Nothing, folder + "b/");
            p = runJob(Shown::Paced, folder + "p/");
        } else {
            p = runJob(Shown::Paced, folder + "p/");
            b = runJob(Shown::Nothing, folder + "b/");
        }
        const Run e = runJob(Shown::EveryReport, folder + "e/");
        base.push_back(b.jobMs);
        paced.push_back(p.jobMs);
        every.push_back(e.jobMs);
        handlerShare.push_back(100.0 * p.handlerMs / p.jobMs);
        handlerMs.push_back(p.handlerMs);
        updates.push_back(p.updates);
    }

    // Reports spread over two seconds, as from a service at work: the count moves on the way.
    const Run spreadBase = runJob(Shown::Nothing, audio.path() + "/spread-b/", 2000);
    const Run spread = runJob(Shown::Paced, audio.path() + "/spread-p/", 2000);

    // The cost of showing progress: the handler's time and the repaints it
    // causes, against the job without it.
    const double paint = paintedUpdateMs();
    const double share = 100.0 * (median(handlerMs) + median(updates) * paint) / median(base);
    std::printf("job progress: %d passages rendered instantly, median of %d runs; overlay line at most every %d ms\n",
                kPassages, kRuns, JobLimits::progressIntervalMs);
    bench::printTable({
        {"10,000-passage job: progress cost (%)", share, 0, "< 5", share < 5, false},
        {"  job with progress (CPU ms)", median(paced), median(base), "(info)", true, true},
        {"  overlay updates", median(updates), 0, "(info)", true, false},
        {"  one update, painted (CPU ms)", paint, 0, "(info)", true, false},
        {"  time in the progress handler (%)", median(handlerShare), 0, "(info)", true, false},
        {"  updated on every report (CPU ms)", median(every), median(base), "(info)", true, true},
        {"  every report: progress cost (%)",
         100.0 * (median(every) - median(base)) / median(base), 0, "(info)", true, false},
        {"reports over 2 s, progress (CPU ms)", spread.jobMs, spreadBase.jobMs, "(info)", true, true},
        {"  overlay updates", double(spread.updates), 0, "(info)", true, false},
        {"  progress cost (%)", 100.0 * (spread.handlerMs + spread.updates * paint) / spreadBase.jobMs, 0, "(info)",
         true, false},
        {"peak memory (MB)", bench::peakRssKb() / 1024.0, 0, "(info)", true, false},
    });
    const bool ok = share < 5;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
