#include "RealService.h"

#include "AppSettings.h"
#include "Qajax.h"
#include "TestSupport.h"
#include "VoiceFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
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
    ajax.get({}, getVoicesUrl);
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
    m_process.setProgram(TestSupport::serverExecutable());
    m_process.setWorkingDirectory(QDir::currentPath());
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start();
    if (!m_process.waitForStarted())
        return fail(m_process.errorString());
    if (!QTest::qWaitFor([this] { return answers() || !isRunning(); }, 30000) || !isRunning())
        return fail(QStringLiteral("the service stopped or never answered: is port 5000 taken?"));
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
