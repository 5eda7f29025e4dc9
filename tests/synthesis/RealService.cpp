#include "RealService.h"

#include "AppSettings.h"
#include "Qajax.h"
#include "TestSupport.h"
#include "VoiceFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

RealService::~RealService()
{
    stop();
}

bool RealService::isBuilt()
{
    return QFileInfo(TestSupport::serverExecutable()).isExecutable();
}

bool RealService::answers()
{
    Qajax ajax;
    ajax.get({}, m_urls.getVoices);
    if (ajax.networkError() != 0 || ajax.code() != 1)
        return false;
    m_voices = ajax.data();
    return true;
}

bool RealService::start(QString *why)
{
    const auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    // The first start takes a free port (0: the service says which on its
    // first line); a restart comes back at the same address, as the
    // program's service would.
    const QString port = m_urls.getVoices.isEmpty() ? QStringLiteral("0") : QString::number(QUrl(m_urls.getVoices).port());
    m_process.setProgram(TestSupport::serverExecutable());
    m_process.setArguments({QStringLiteral("--port"), port});
    m_process.setWorkingDirectory(QDir::currentPath());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted())
        return fail(m_process.errorString());
    const QRegularExpression listening(QStringLiteral("^listening on ([0-9.]+):([0-9]+)"));
    QRegularExpressionMatch match;
    while (!match.hasMatch()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(30000))
            return fail(QStringLiteral("the service stopped before it listened"));
        while (m_process.canReadLine() && !match.hasMatch())
            match = listening.match(QString::fromLocal8Bit(m_process.readLine()));
    }
    m_urls = ServiceUrls::at(QStringLiteral("http://%1:%2/").arg(match.captured(1), match.captured(2)));
    if (!QTest::qWaitFor([this] { return answers() || !isRunning(); }, 30000) || !isRunning())
        return fail(QStringLiteral("the service stopped or never answered"));
    return true;
}

void RealService::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

void RealService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
}

bool RealService::writeVoiceCache() const
{
    return VoiceFixtures::writeCache(m_voices);
}

QString RealService::otherVoice(const QString &than) const
{
    for (const QJsonValue &voice : m_voices) {
        const QString name = voice.toObject().value("name").toString();
        if (name != than)
            return name;
    }
    return QString();
}

QString RealService::referencePath(const QString &name)
{
    return audioDir + "reference/" + name + ".mp3";
}

bool RealService::renderReference(const QString &text, const QString &voice, const QString &name,
                                  const QString &reading, QString *why) const
{
    const QString folder = audioDir + "reference/";
    QDir().mkpath(folder);
    Qajax::Pairs fields{{"text", text},
                        {"voice", voice},
                        {"rates", "+0%"},
                        {"volumes", "+0%"},
                        {"write_media", folder + name + ".mp3"},
                        {"write_subtitles", folder + name + ".srt"}};
    if (!reading.isEmpty())
        fields.append({"reading", reading});
    Qajax ajax;
    ajax.post(fields, m_urls.ttsCommunicate);
    if (ajax.networkError() == 0 && ajax.code() == 1)
        return true;
    if (why)
        *why = ajax.networkError() != 0 ? QStringLiteral("network error %1").arg(ajax.networkError()) : ajax.msg();
    return false;
}
