#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>

class QTcpServer;

// A scriptable stand-in for the speech service, for the client's odd cases.
// It listens on loopback in a thread of its own, records every request in
// order, and answers each with whatever the test's responder returns.
class FakeService : public QObject
{
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray path;              // path and query, as sent
        QMap<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;

        // Decoded form fields of the body, in order.
        QList<QPair<QString, QString>> formFields() const;
        QString formValue(const QString &key) const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
        bool dropConnection = false; // close without answering
        QByteArray contentType = "application/json";
    };

    using Responder = std::function<Reply(const Request &)>;

    // Envelope helpers.
    static Reply envelope(int code, const QString &msg = QString(), const QByteArray &dataJson = "[]");
    static Reply ok(const QByteArray &dataJson = "[]") { return envelope(1, QStringLiteral("ok"), dataJson); }
    // Success, after writing what the real service would: a passage's MP3 and
    // SRT files, or the joined output.mp3 and output.srt.
    static Reply rendered(const Request &request);
    // The ways a reply goes wrong: "500" (an envelope under HTTP 500), "drop"
    // (the connection closed unanswered), "html" (a page that is no envelope).
    static Reply broken(const QString &how);

    FakeService();
    ~FakeService() override;

    // Listens on 127.0.0.1:port (0: any free port). Returns false if taken.
    bool listen(quint16 port = 0);
    // A loopback port that was free a moment ago, for a test that needs to
    // know its address before anything listens there.
    static quint16 freePort();
    void close();
    quint16 port() const;
    QString baseUrl() const;

    void setResponder(Responder responder);
    QList<Request> requests() const;
    // The requests to one path ("/ttsCommunicate"), in order.
    QList<Request> requestsTo(const QByteArray &path) const;
    int requestCount() const;
    void clearRequests();

private:
    void handleConnection();

    QThread m_thread;
    QTcpServer *m_server = nullptr;
    mutable QMutex m_mutex;
    Responder m_responder;
    QList<Request> m_requests;
    quint16 m_port = 0;
};
