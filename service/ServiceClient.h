#pragma once

#include "ServiceUrls.h"
#include "SpeechClient.h"

// How the service reads a text (ttsReading).
struct ReadingReply {
    SpeechAnswer answer;
    QString reading; // numbered pinyin, kana, or the text
    QString sources; // one letter per piece of the reading, 'u' from lexicon.txt
};

// The speech service as a synthesis job sees it: one ttsCommunicate worker
// thread per passage, all at once, and the join as a blocking request on the
// caller's thread. The reading of a text is asked for the same way.
class ServiceClient : public SpeechClient
{
public:
    explicit ServiceClient(const ServiceUrls &urls = ServiceUrls::program());

    // Raises the descriptor limit as far as allowed and gives the passages
    // that fit under it.
    int passageLimit() override;
    PassageTask *renderPassage(const PassageRequest &request) override;
    SpeechAnswer join(const JoinRequest &request) override;
    SpeechAnswer place(const TimelineRequest &request, QVector<TimelineMove> &moves) override;
    // Blocks like join(); the calling thread's events keep moving meanwhile.
    ReadingReply reading(const QString &text, const QString &voice);

    const ServiceUrls &urls() const { return m_urls; }

private:
    ServiceUrls m_urls;
};
