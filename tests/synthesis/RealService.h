#pragma once

#include "ServiceUrls.h"

#include <QJsonArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QUrl>

// The real speech service, started from the test's working folder on a free
// port of its own, so that such tests run side by side.
class RealService
{
public:
    ~RealService();

    // False when the executable has not been built.
    static bool isBuilt();

    // Starts the service and waits until it lists its voices; a restart keeps
    // the port. False, with the reason, if it stopped or never answered.
    bool start(QString *why = nullptr);
    // Its endpoints, once started.
    ServiceUrls urls() const { return m_urls; }
    // Ends it at once, as a crash or a task manager would.
    void kill();
    // Asks it to stop, then kills it if it does not.
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    // The voice list of the last successful start, in the service's order.
    QJsonArray voices() const { return m_voices; }
    // data.db holding exactly that list, so a page fills its choosers from it
    // and its loader finds nothing to change.
    bool writeVoiceCache() const;
    // One passage rendered on its own at +0% into audioDir + "reference/<name>.mp3"
    // (and .srt), for comparing a job's output with; `reading` as the
    // service's optional field. False, with the service's message, on failure.
    bool renderReference(const QString &text, const QString &voice, const QString &name,
                         const QString &reading = QString(), QString *why = nullptr) const;
    static QString referencePath(const QString &name);

    // A voice of the list other than the given one.
    QString otherVoice(const QString &than) const;

private:
    bool answers();

    QProcess m_process;
    ServiceUrls m_urls;
    QJsonArray m_voices;
};
