// Each endpoint's form checked, in one function per endpoint, into the request
// it asks for, or refused with the message the service answers (code 0).
// No HTTP here: the routes hand in the decoded form, and so can tests and the
// fuzzer. Fields are checked in a fixed order; the first fault is the answer.
#pragma once

#include "Join.h"
#include "RequestValidation.h"
#include "ServiceContract.h"
#include "Timeline.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tavrel {

// Field name → value, as parseForm() decodes a body.
using Form = std::map<std::string, std::string>;
// Voice name → its locale, for the voices whose text the service can read.
using VoiceLocales = std::map<std::string, std::string>;

struct Refusal {
    std::string msg;  // short Chinese message for the user
};

// A checked request, or why the form was refused.
template <class Request>
class Checked {
public:
    Checked(Request request) : m_value(std::move(request)) {}
    Checked(Refusal refusal) : m_value(std::move(refusal)) {}

    explicit operator bool() const { return std::holds_alternative<Request>(m_value); }
    const Request &request() const { return std::get<Request>(m_value); }
    Request &request() { return std::get<Request>(m_value); }
    // Empty when the request was accepted.
    std::string refusal() const
    {
        const Refusal *r = std::get_if<Refusal>(&m_value);
        return r ? r->msg : std::string();
    }

private:
    std::variant<Request, Refusal> m_value;
};

// How a voice reads a text (ttsReading).
struct ReadingRequest {
    std::string text;            // as sent
    std::u32string codePoints;   // the same text, decoded
    std::string voice;
    std::string locale;          // the voice's
};

// One passage to render (ttsCommunicate).
struct RenderRequest {
    std::string text;            // as sent: the subtitles show it
    std::u32string codePoints;   // the same text, decoded
    std::string voice;
    std::string locale;          // the voice's
    int ratePercent = 0;
    int volumePercent = 0;
    std::filesystem::path media;      // resolved inside the audio folder
    std::filesystem::path subtitles;  // resolved inside the audio folder
    // Numbered pinyin syllables sent to be read instead of the text's own
    // reading. Whether they fit the text only the reading front end knows.
    std::optional<std::vector<std::string>> reading;
};

// A join's or a placement's checked form is all its job needs: every file
// resolved inside the audio folder (a missing one marked), the folder, the
// pause or the times.
using JoinRequest = JoinJob;          // audioCombined
using TimelineRequest = TimelineJob;  // audioTimeline

Checked<ReadingRequest> parseReadingRequest(const Form &form, const VoiceLocales &voices);
Checked<RenderRequest> parseRenderRequest(const Form &form, const VoiceLocales &voices, const PathGuard &guard);
Checked<JoinRequest> parseJoinRequest(const Form &form, const PathGuard &guard);
// `maxTimelineMs`: the latest time a timeline may name.
Checked<TimelineRequest> parseTimelineRequest(const Form &form, const PathGuard &guard,
                                              std::int64_t maxTimelineMs = contract::timelineMaxMs);

}  // namespace tavrel
