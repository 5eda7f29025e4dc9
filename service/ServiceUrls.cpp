#include "ServiceUrls.h"

#include "AppSettings.h"
#include "ServiceContract.h"

ServiceUrls ServiceUrls::program()
{
    return {getVoicesUrl, ttsCommunicateUrl, audioCombinedUrl};
}

ServiceUrls ServiceUrls::at(const QString &baseUrl)
{
    return {baseUrl + QLatin1String(contract::endpoint::getVoices),
            baseUrl + QLatin1String(contract::endpoint::ttsCommunicate),
            baseUrl + QLatin1String(contract::endpoint::audioCombined)};
}
