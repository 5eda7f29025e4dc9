#pragma once

#include <QString>

// The endpoint addresses of the speech service. The program uses the
// fixed ones of its settings; a test points the same code at a service of
// its own on another port, so that tests need not share port 5000.
struct ServiceUrls {
    QString getVoices;
    QString ttsCommunicate;
    QString audioCombined;
    QString ttsReading;
    QString audioTimeline;

    // getVoicesUrl, ttsCommunicateUrl and audioCombinedUrl of the settings,
    // and the reading and timeline endpoints beside them.
    static ServiceUrls program();
    // The endpoints below another base URL, which ends in "/".
    static ServiceUrls at(const QString &baseUrl);
};
