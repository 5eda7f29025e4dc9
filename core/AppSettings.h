#pragma once

#include <QString>

// Process-wide settings. They are made once, in this order, before main() runs,
// and never change afterwards: the URLs hang off serviceBaseUrl and the audio
// folder off the working folder, which is the current directory at start.
// Every layer reads them, so they live at the bottom, in the core.
extern const QString appVersion;
extern const QString serviceBaseUrl;
extern const QString workDir;
extern const QString getVoicesUrl;
extern const QString ttsCommunicateUrl;
extern const QString audioCombinedUrl;
extern const QString audioDir;
