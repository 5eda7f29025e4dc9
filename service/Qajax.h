#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

#include <functional>

class QNetworkReply;

// One blocking HTTP request to the speech service. Make one object per request,
// call get() or post(), then read the reply envelope and the transport outcome
// of that request (a body that is not an envelope reads as code 0).
// The call waits in a local event loop, so the calling thread keeps handling
// its events while the reply is on its way.
class Qajax : public QObject
{
public:
    using Pairs = QVector<QPair<QString, QString>>;

    Qajax() = default;

    // A bound on the wait for the reply: past it the request is aborted,
    // timedOut() is true and networkError() reads as QNetworkReply's
    // TimeoutError. 0 (the default): no bound.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Asked every cancelPollMs while the reply is awaited, in the calling
    // thread; true aborts the request (cancelled()).
    void setCancelCheck(std::function<bool()> check) { m_cancelCheck = std::move(check); }
    static constexpr int cancelPollMs = 50;

    void get(const Pairs &pairs, const QString &url);
    void post(const Pairs &pairs, const QString &url);

    int code() const { return m_code; }
    QString msg() const { return m_msg; }
    QJsonArray data() const { return m_data; }
    // `data` when the endpoint answers with an object (ttsReading).
    QJsonObject dataObject() const { return m_dataObject; }
    int networkError() const { return m_networkError; }
    bool timedOut() const { return m_timedOut; }
    bool cancelled() const { return m_cancelled; }

    // Query text of a GET: "?k=v&k2=v2", keys and values as given (no encoding).
    static QString queryText(const Pairs &pairs);
    // Body of a form POST: fully encoded, with "+" sent as "%2B".
    static QByteArray formBody(const Pairs &pairs);

private:
    void onReplyFinished(QNetworkReply *reply);
    void send(const QString &url, const QByteArray *body);

    int m_code = 0;
    QString m_msg;
    QJsonArray m_data;
    QJsonObject m_dataObject;
    int m_networkError = 0;
    bool m_timedOut = false;
    bool m_cancelled = false;
    int m_timeoutMs = 0;
    std::function<bool()> m_cancelCheck;
};
