#include "Qajax.h"

#include "ServiceContract.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <cmath>
#include <limits>

namespace {

// A JSON number truncated toward zero into 32 bits; out-of-range values saturate
// instead of invoking undefined behaviour.
int truncatedCode(double value)
{
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(value);
    if (t >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (t <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(t);
}

} // namespace

QString Qajax::queryText(const Pairs &pairs)
{
    QString text;
    for (int i = 0; i < pairs.size(); ++i) {
        text += i == 0 ? QLatin1Char('?') : QLatin1Char('&');
        text += pairs[i].first + QLatin1Char('=') + pairs[i].second;
    }
    return text;
}

QByteArray Qajax::formBody(const Pairs &pairs)
{
    QUrlQuery query;
    for (const auto &pair : pairs)
        query.addQueryItem(pair.first, pair.second);
    QByteArray body = query.toString(QUrl::FullyEncoded).toUtf8();
    // The encoder leaves "+" alone, and a form decoder would read it as a blank.
    body.replace('+', "%2B");
    return body;
}

void Qajax::get(const Pairs &pairs, const QString &url)
{
    send(url + queryText(pairs), nullptr);
}

void Qajax::post(const Pairs &pairs, const QString &url)
{
    const QByteArray body = formBody(pairs);
    send(url, &body);
}

void Qajax::send(const QString &url, const QByteArray *body)
{
    // Each request starts from nothing: what an earlier one on this object
    // left must never be read as this one's answer.
    m_code = 0;
    m_msg.clear();
    m_data = QJsonArray();
    m_dataObject = QJsonObject();
    m_networkError = 0;
    m_timedOut = false;
    m_cancelled = false;

    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    // Every answer is the JSON envelope. Only a body has a content type: a GET
    // carries none.
    request.setRawHeader("Accept", "application/json");
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));

    QNetworkAccessManager manager;
    QObject::connect(&manager, &QNetworkAccessManager::finished, &manager,
                     [this](QNetworkReply *reply) { onReplyFinished(reply); });

    QNetworkReply *reply = body ? manager.post(request, *body) : manager.get(request);

    // Both timers have the reply as context: once it is gone they fire no more.
    QTimer deadline;
    if (m_timeoutMs > 0) {
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, reply, [this, reply] {
            m_timedOut = true;
            reply->abort();
        });
        deadline.start(m_timeoutMs);
    }
    QTimer poll;
    if (m_cancelCheck) {
        poll.setInterval(cancelPollMs);
        QObject::connect(&poll, &QTimer::timeout, reply, [this, reply] {
            if (!m_cancelCheck())
                return;
            m_cancelled = true;
            reply->abort();
        });
        poll.start();
    }

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::AllEvents);
}

void Qajax::onReplyFinished(QNetworkReply *reply)
{
    // Aborted for want of an answer: the caller is told so, not "cancelled".
    m_networkError = m_timedOut ? int(QNetworkReply::TimeoutError) : int(reply->error());

    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (document.isObject()) {
        const QJsonObject envelope = document.object();
        m_data = envelope.value(QLatin1String(contract::envelope::data)).toArray();
        m_dataObject = envelope.value(QLatin1String(contract::envelope::data)).toObject();
        m_msg = envelope.value(QLatin1String(contract::envelope::msg)).toString();
        m_code = truncatedCode(envelope.value(QLatin1String(contract::envelope::code)).toDouble(0));
    }
    reply->deleteLater();
}
