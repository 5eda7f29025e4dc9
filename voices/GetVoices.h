#pragma once

#include <QString>
#include <QThread>

// Loads the voice catalogue once per run: the cached list first, then the
// service's list, which replaces the cache when its size differs.
class GetVoices : public QThread
{
    Q_OBJECT

public:
    // The program's loader: asks getVoicesUrl, waiting up to 15 s for the
    // service to accept connections.
    GetVoices();
    // Another address or wait budget (tests).
    GetVoices(const QString &url, int connectWaitMs);

    static constexpr int defaultConnectWaitMs = 15000;
    static constexpr int connectRetryMs = 250;

signals:
    void ok(bool type);
    // Like every report of a failure: the message, then the caption of its box.
    void error(QString text, QString title);
    void reStart();
    void showLoading();

protected:
    void run() override;

private:
    void waitForService() const;

    QString url;
    int connectWaitMs;
};
