#include "FakeService.h"
#include "TsanQtSync.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

QList<QPair<QString, QString>> FakeService::Request::formFields() const
{
    QList<QPair<QString, QString>> fields;
    for (const QByteArray &pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        auto decode = [](QByteArray text) {
            text.replace('+', ' ');
            return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
        };
        fields.append({decode(key), decode(value)});
    }
    return fields;
}

QString FakeService::Request::formValue(const QString &key) const
{
    for (const auto &field : formFields()) {
        if (field.first == key)
            return field.second;
    }
    return QString();
}

FakeService::Reply FakeService::envelope(int code, const QString &msg, const QByteArray &dataJson)
{
    Reply reply;
    reply.body = "{\"code\":" + QByteArray::number(code) + ",\"msg\":"
        + QJsonDocument(QJsonObject{{"m", msg}}).toJson(QJsonDocument::Compact).mid(5).chopped(1)
        + ",\"data\":" + dataJson + "}";
    return reply;
}

FakeService::Reply FakeService::rendered(const Request &request)
{
    const auto write = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
    };
    if (request.path == "/ttsCommunicate") {
        write(request.formValue("write_media"), "passage mp3");
        write(request.formValue("write_subtitles"), "passage srt");
    } else if (request.path == "/audioCombined") {
        write(request.formValue("path") + "output.mp3", "joined mp3");
        write(request.formValue("path") + "output.srt", "joined srt");
    }
    return ok();
}

FakeService::Reply FakeService::broken(const QString &how)
{
    Reply reply;
    if (how == QLatin1String("500")) {
        reply = envelope(0, QStringLiteral("服务内部错误"));
        reply.status = 500;
    } else if (how == QLatin1String("drop")) {
        reply.dropConnection = true;
    } else {
        reply.body = "<html><body>Bad Gateway</body></html>";
        reply.contentType = "text/html";
    }
    return reply;
}

FakeService::FakeService()
{
    m_responder = [](const Request &) { return ok(); };
    m_thread.setObjectName(QStringLiteral("FakeService"));
    m_thread.start();
}

FakeService::~FakeService()
{
    close();
    m_thread.quit();
    m_thread.wait();
}

bool FakeService::listen(quint16 port)
{
    bool listening = false;
    auto *worker = new QObject;
    worker->moveToThread(&m_thread);
    // The blocking call hands over through Qt's locks, unseen by ThreadSanitizer.
    lumo::tsan::release(this);
    QMetaObject::invokeMethod(
        worker,
        [&] {
            lumo::tsan::acquire(this);
            m_server = new QTcpServer;
            m_server->setMaxPendingConnections(1000);
            listening = m_server->listen(QHostAddress::LocalHost, port);
            if (listening) {
                m_port = m_server->serverPort();
                QObject::connect(m_server, &QTcpServer::newConnection, m_server,
                                 [this] { handleConnection(); });
            } else {
                delete m_server;
                m_server = nullptr;
            }
            lumo::tsan::release(this);
        },
        Qt::BlockingQueuedConnection);
    lumo::tsan::acquire(this);
    delete worker;
    return listening;
}

quint16 FakeService::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

void FakeService::close()
{
    if (!m_server)
        return;
    QTcpServer *server = m_server;
    lumo::tsan::release(this);
    QMetaObject::invokeMethod(
        server,
        [this, server] {
            lumo::tsan::acquire(this);
            // Cleared in the service's thread, which reads it for every connection.
            m_server = nullptr;
            delete server;
            lumo::tsan::release(this);
        },
        Qt::BlockingQueuedConnection);
    lumo::tsan::acquire(this);
}

quint16 FakeService::port() const
{
    return m_port;
}

QString FakeService::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

void FakeService::setResponder(Responder responder)
{
    lumo::tsan::MutexLocker lock(&m_mutex);
    m_responder = std::move(responder);
}

QList<FakeService::Request> FakeService::requests() const
{
    lumo::tsan::MutexLocker lock(&m_mutex);
    return m_requests;
}

QList<FakeService::Request> FakeService::requestsTo(const QByteArray &path) const
{
    QList<Request> matching;
    for (const Request &request : requests()) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

int FakeService::requestCount() const
{
    lumo::tsan::MutexLocker lock(&m_mutex);
    return m_requests.size();
}

void FakeService::clearRequests()
{
    lumo::tsan::MutexLocker lock(&m_mutex);
    m_requests.clear();
}

void FakeService::handleConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // Sockets are children of the server, so closing the service ends them too.
        socket->setParent(m_server);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const int headerEnd = buffer->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;

            Request request;
            const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.path = requestLine.value(1);
            for (int i = 1; i < lines.size(); ++i) {
                const int colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            const int length = request.headers.value("content-length", "0").toInt();
            if (buffer->size() < headerEnd + 4 + length)
                return;
            request.body = buffer->mid(headerEnd + 4, length);
            buffer->clear();
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);

            Responder responder;
            {
                lumo::tsan::MutexLocker lock(&m_mutex);
                m_requests.append(request);
                responder = m_responder;
            }
            const Reply reply = responder(request);

            auto answer = [socket, reply] {
                if (reply.dropConnection) {
                    socket->abort();
                    socket->deleteLater();
                    return;
                }
                QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
                response += "Content-Type: " + reply.contentType + "\r\n";
                response += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
                response += "Connection: close\r\n\r\n";
                response += reply.body;
                socket->write(response);
                socket->disconnectFromHost();
            };
            if (reply.delayMs > 0)
                QTimer::singleShot(reply.delayMs, socket, answer);
            else
                answer();
        });
    }
}
