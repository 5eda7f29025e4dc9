#pragma once

#include "ServiceUrls.h"
#include "SpeechClient.h"

// The speech service as a synthesis job sees it: one ttsCommunicate worker
// thread per passage, all at once, and the join as a blocking request on the
// caller's thread.
class ServiceClient : public SpeechClient
{
public:
    explicit ServiceClient(const ServiceUrls &urls = ServiceUrls::program());

    // Raises the descriptor limit as far as allowed and gives the passages
    // that fit under it.
    int passageLimit() override;
    PassageTask *renderPassage(const PassageRequest &request) override;
    SpeechAnswer join(const JoinRequest &request) override;

    const ServiceUrls &urls() const { return m_urls; }

private:
    ServiceUrls m_urls;
};
