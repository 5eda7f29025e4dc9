#include "CommandLineRun.h"

#include "AppSettings.h"
#include "CommandLine.h"
#include "JobLimits.h"
#include "Qajax.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "ServiceContract.h"
#include "ServiceOwnership.h"
#include "ServiceProbe.h"
#include "ServiceProcess.h"
#include "ServiceReply.h"
#include "ServiceUrls.h"
#include "ServiceWatchdog.h"
#include "SynthesisJob.h"
#include "VoiceCatalogue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace CommandLine {

namespace {

QByteArray encoded(const QString &text)
{
#ifdef Q_OS_WIN
    return text.toLocal8Bit();
#else
    return text.toUtf8();
#endif
}

void writeLine(FILE *stream, const QString &line)
{
    std::fputs(encoded(line + QLatin1Char('\n')).constData(), stream);
    std::fflush(stream);
}

void say(const QString &line)
{
    writeLine(stderr, line);
}

void sayAnswer(const QString &title, const QString &text)
{
    say(title.isEmpty() ? text : title + QStringLiteral("：") + text);
}

// Set by Ctrl+C (SIGINT, SIGTERM; the console's control events on Windows);
// the job looks at it between events and cancels itself.
std::atomic<bool> g_interrupted{false};

#ifdef Q_OS_WIN
BOOL WINAPI onConsoleControl(DWORD)
{
    g_interrupted = true;
    return TRUE;
}
#else
void onSignal(int)
{
    g_interrupted = true;
}
#endif

void catchInterrupts()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

// The service of the working folder, started here and stopped when this
// goes: only the process started here, so that a window's service or a
// neighbour's is left alone.
class Service
{
public:
    Service(const QString &program, const QStringList &arguments)
        : m_watchdog(program, arguments)
    {
        // What the service prints is for the user, on stderr: stdout carries
        // only the result, for scripts that read it.
        QProcess *process = m_watchdog.process();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                         [process] { std::fputs(process->readAllStandardOutput().constData(), stderr); });
        QObject::connect(&m_watchdog, &ServiceWatchdog::gaveUp, &m_watchdog, [this] { m_gaveUp = true; });
        QObject::connect(&m_watchdog, &ServiceWatchdog::portTaken, &m_watchdog, [this](quint16 port) {
            m_portTaken = ServiceOwnership::portTakenMessage(port, ServiceOwnership::portHolder(port));
        });
        m_watchdog.start();
    }

    // Ends it now, without a restart.
    void stop() { m_watchdog.stop(); }

    // Ended for good: it could not be started, kept ending, or found its port held.
    bool isDown() const
    {
        const QProcess *process = m_watchdog.process();
        return m_gaveUp || !m_portTaken.isEmpty() ||
               (process->state() == QProcess::NotRunning && process->error() == QProcess::FailedToStart);
    }
    // Why it could not listen, when another process holds its port.
    QString portTakenMessage() const { return m_portTaken; }

private:
    ServiceWatchdog m_watchdog;
    bool m_gaveUp = false;
    QString m_portTaken;
};

struct Outcome {
    bool interrupted = false;
    bool refused = false;
    bool warned = false;
    bool delivered = false;
    bool adjusted = false; // told what the timeline changed, and the lines it skipped
};

Outcome render(const JobPlan &plan, ServiceClient &client)
{
    Outcome outcome;
    SynthesisJob job(plan, client);
    QEventLoop loop;
    int lastDone = -1;
    QObject::connect(&job, &SynthesisJob::refused, &loop, [&](const QString &title, const QString &text) {
        outcome.refused = true;
        sayAnswer(title, text);
    });
    QObject::connect(&job, &SynthesisJob::progress, &loop, [&](int done, int total) {
        if (done == lastDone)
            return;
        lastDone = done;
        say(QStringLiteral("%1/%2").arg(done).arg(total));
    });
    QObject::connect(&job, &SynthesisJob::warning, &loop, [&](const QString &title, const QString &text) {
        outcome.warned = true;
        sayAnswer(title, text);
    });
    QObject::connect(&job, &SynthesisJob::joining, &loop, [] { say(QStringLiteral("正在组合配音文件")); });
    QObject::connect(&job, &SynthesisJob::adjusted, &loop, [&](const QString &title, const QString &text) {
        outcome.adjusted = true;
        sayAnswer(title, text);
    });
    QObject::connect(&job, &SynthesisJob::delivered, &loop, [&] { outcome.delivered = true; });
    QObject::connect(&job, &SynthesisJob::cancelled, &loop, [&] { outcome.interrupted = true; });
    QObject::connect(&job, &SynthesisJob::finished, &loop, &QEventLoop::quit);
    QTimer interrupts;
    QObject::connect(&interrupts, &QTimer::timeout, &loop, [&job] {
        if (g_interrupted)
            job.cancel();
    });
    interrupts.start(100);
    job.start();
    if (job.isRunning())
        loop.exec();
    return outcome;
}

int deliver(const JobPlan &plan, const Options &options)
{
    if (options.output.isEmpty()) {
        writeLine(stdout, QDir::toNativeSeparators(plan.outputPath()));
        return exitOk;
    }
    const QVector<Move> moves = outputMoves(plan.folder, options.output, options.wav);
    for (const Move &move : moves) {
        if (!QFileInfo::exists(move.from)) {
            say(QStringLiteral("语音服务没有写出 %1").arg(QDir::toNativeSeparators(move.from)));
            return exitFailed;
        }
    }
    for (const Move &move : moves) {
        QString error;
        if (!moveSafely(move, &error)) {
            say(error);
            return exitFailed;
        }
    }
    // What is left are the passages' own subtitles, of no use beside the output.
    QDir(plan.folder).removeRecursively();
    writeLine(stdout, QDir::toNativeSeparators(options.output));
    return exitOk;
}

} // namespace

int run(const QStringList &arguments)
{
#ifdef Q_OS_WIN
    // The program is a window program: to be heard in a console it must join it.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
    const Parsed parsed = parse(arguments);
    if (parsed.exitCode != exitOk) {
        say(parsed.message);
        return parsed.exitCode;
    }
    const Options &options = parsed.options;
    if (options.action == Action::Help) {
        std::fputs(encoded(helpText()).constData(), stdout);
        return exitOk;
    }

    // Everything that can be checked without the service is, before it starts.
    Script script;
    if (options.action == Action::Render) {
        script = loadScript(options.script);
        if (!script.ok) {
            say(script.error);
            return exitUsage;
        }
        if (!options.output.isEmpty()) {
            const QString problem = checkOutput(options.output, options.wav);
            if (!problem.isEmpty()) {
                say(problem);
                return exitUsage;
            }
        }
    }

    const QString program = workDir + QStringLiteral("server/") + ServiceProcess::executableName();
    if (!QFileInfo(program).isExecutable()) {
        say(QStringLiteral("找不到语音服务：%1（请在软件所在的文件夹中运行）").arg(QDir::toNativeSeparators(program)));
        return exitFailed;
    }
    const int port = servicePort();
    const ServiceUrls urls =
        port == contract::process::defaultPort ? ServiceUrls::program()
                                               : ServiceUrls::at(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    const QStringList serviceArguments =
        port == contract::process::defaultPort ? QStringList() : QStringList{QStringLiteral("--port"), QString::number(port)};
    catchInterrupts();
    Service service(program, serviceArguments);

    // The same bound as the window's voice list, for the start and the answer.
    const bool listening = ServiceProbe::waitUntilListening(urls.getVoices, JobLimits::catalogueTimeoutMs(), [&] {
        QCoreApplication::processEvents();
        return service.isDown() || g_interrupted;
    });
    if (g_interrupted) {
        say(QStringLiteral("已取消"));
        return exitInterrupted;
    }
    if (!listening) {
        if (!service.portTakenMessage().isEmpty())
            say(service.portTakenMessage());
        else
            say(service.isDown() ? QStringLiteral("语音服务无法启动：%1").arg(QDir::toNativeSeparators(program))
                                 : QStringLiteral("语音服务无响应：%1 没有在限定时间内开始监听").arg(urls.getVoices));
        return exitFailed;
    }
    Qajax voices;
    voices.setTimeoutMs(JobLimits::catalogueTimeoutMs());
    // Whatever listens may not be our service: when ours finds its port held
    // by another program, waiting for that program's answer is pointless.
    voices.setCancelCheck([&] { return !service.portTakenMessage().isEmpty(); });
    voices.get(Qajax::Pairs(), urls.getVoices);
    if (!service.portTakenMessage().isEmpty()) {
        say(service.portTakenMessage());
        return exitFailed;
    }
    const SpeechAnswer answer = ServiceReply::judgeBounded(voices, QStringLiteral("配音员接口"), QStringLiteral("获取结果"));
    if (!answer.succeeded) {
        sayAnswer(answer.title, answer.text);
        return exitFailed;
    }
    const QJsonArray records = voices.data();

    if (options.action == Action::ListVoices) {
        for (const QString &line : voiceLines(records))
            writeLine(stdout, line);
        // Then the model folders that gave no voices; a service without
        // neural voices has none to name, and an older one no such endpoint.
        const QString getVoicesName = QLatin1String(contract::endpoint::getVoices);
        Qajax folders;
        folders.setTimeoutMs(JobLimits::catalogueTimeoutMs());
        folders.get(Qajax::Pairs(), urls.getVoices.left(urls.getVoices.size() - getVoicesName.size()) +
                                        QLatin1String(contract::endpoint::modelFolders));
        if (ServiceReply::judgeBounded(folders, QStringLiteral("模型文件夹接口"), QStringLiteral("获取结果")).succeeded) {
            for (const QString &line : skippedFolderLines(folders.data()))
                writeLine(stdout, line);
        }
        return exitOk;
    }

    if (!hasVoice(records, options.voice)) {
        say(unknownVoiceMessage(options.voice));
        return exitUsage;
    }
    for (const QString &note : qAsConst(script.notes))
        say(note);

    // Tags name neural voices as the window's choosers do: by the names the
    // catalogue gives them.
    VoiceCatalogue::instance().groupVoices(records);
    Segmentation::Input input;
    input.script = script.text;
    input.rate = options.rate;
    input.volume = options.volume;
    input.pauseMs = options.pauseMs;
    input.chooserVoice = options.voice;
    input.audioDir = audioDir;
    input.startMsecs = QDateTime::currentMSecsSinceEpoch();
    input.mode = JobMode::Result;
    input.writeWav = options.wav;
    const JobPlan plan = Segmentation::plan(input);

    ServiceClient client(urls);
    const Outcome outcome = render(plan, client);
    if (outcome.interrupted) {
        // The service may still be writing a passage it had taken: once it
        // has stopped, nothing more can land in the folder.
        service.stop();
        SynthesisJob::clearFolder(plan.folder);
        say(QStringLiteral("已取消"));
        return exitInterrupted;
    }
    // A delivered timeline job tells the skipped lines with what it adjusted;
    // otherwise they are told here.
    if (!outcome.adjusted) {
        for (const QString &line : plan.skipped)
            say(line);
    }
    if (!outcome.delivered)
        return exitFailed;
    if (outcome.warned) {
        // Some passages are missing from it: not what was asked for, so the
        // target is left alone.
        say(QStringLiteral("结果不完整，留在：%1").arg(QDir::toNativeSeparators(plan.outputPath())));
        return exitFailed;
    }
    return deliver(plan, options);
}

} // namespace CommandLine
