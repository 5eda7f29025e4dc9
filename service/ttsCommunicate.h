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

signals:
    void success();
    void error(QString text, QString title);

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
};
