#include "ServiceUrls.h"

#include "AppSettings.h"
#include "ServiceContract.h"

ServiceUrls ServiceUrls::program()
{
    return {getVoicesUrl, ttsCommunicateUrl, audioCombinedUrl,
            serviceBaseUrl + QLatin1String(contract::endpoint::ttsReading),
            serviceBaseUrl + QLatin1String(contract::endpoint::audioTimeline)};
}

ServiceUrls ServiceUrls::at(const QString &baseUrl)
{
    return {baseUrl + QLatin1String(contract::endpoint::getVoices),
            baseUrl + QLatin1String(contract::endpoint::ttsCommunicate),
            baseUrl + QLatin1String(contract::endpoint::audioCombined),
            baseUrl + QLatin1String(contract::endpoint::ttsReading),
            baseUrl + QLatin1String(contract::endpoint::audioTimeline)};
}
