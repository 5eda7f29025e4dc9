#include "AppSettings.h"

#include "ServiceContract.h"

#include <QDir>

// Definition order is initialisation order within this file; the later values
// are built from the earlier ones.
const QString appVersion = QLatin1String(contract::programVersion);
const QString serviceBaseUrl = QStringLiteral("http://127.0.0.1:5000/");
const QString workDir = QDir::currentPath() + QLatin1Char('/');
const QString getVoicesUrl = serviceBaseUrl + QLatin1String(contract::endpoint::getVoices);
const QString ttsCommunicateUrl = serviceBaseUrl + QLatin1String(contract::endpoint::ttsCommunicate);
const QString audioCombinedUrl = serviceBaseUrl + QLatin1String(contract::endpoint::audioCombined);
const QString audioDir = workDir + QStringLiteral("audio/");

static void registerImages()
{
    // The images live in a static library, whose resource initialiser would
    // otherwise be dropped by the linker.
    Q_INIT_RESOURCE(resources);
}

namespace {
// Registered last, after the settings above.
const struct ImageRegistration {
    ImageRegistration() { registerImages(); }
} imageRegistration;
}
