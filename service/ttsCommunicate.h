#pragma once

#include "AppSettings.h"

#include <QThread>

// Renders one passage through the speech service and reports the outcome.
class ttsCommunicate : public QThread
{
    Q_OBJECT

public:
    // `url` is the service's ttsCommunicate endpoint (another one in tests).
    ttsCommunicate(const QString &text, const QString &voice, const QString &rates, const QString &volumes,
                   const QString &writeMedia, const QString &writeSubtitles, const QString &url = ttsCommunicateUrl);
    ~ttsCommunicate() override;

    // A reading to be heard instead of the service's own (numbered pinyin);
    // set before start(). Without one the request carries the six fields alone.
    void setReading(const QString &numberedPinyin) { reading = numberedPinyin; }

    // Set before start(). A bound on the wait for the answer (0: none); past
    // it the passage fails with "语音服务无响应".
    void setTimeoutMs(int ms) { timeoutMs = ms; }
    // Set before start(). First wait up to this long for the service to
    // listen (a retry, after the service was unreachable); 0: send at once.
    void setServiceWaitMs(int ms) { serviceWaitMs = ms; }

    // requestInterruption() gives the request up: it is aborted within
    // Qajax::cancelPollMs and the worker reports an error that nobody needs
    // to read.

signals:
    void success();
    void error(QString text, QString title);
    // Comes just before error() when the failure was the service being out
    // of reach or silent, so that the same request may be tried again.
    void transient();

protected:
    void run() override;

private:
    QString text;
    QString voice;
    QString rates;
    QString volumes;
    QString write_media;
    QString write_subtitles;
    QString url;
    QString reading;
    int timeoutMs = 0;
    int serviceWaitMs = 0;
};
