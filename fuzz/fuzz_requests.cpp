// Each endpoint's form check on its own, without HTTP: arbitrary form bodies
// go through parseForm and the endpoint's parser. After every input: the
// parser answered (no exception, no crash), a refusal says why, and an
// accepted request holds only what the jobs may be given (texts within
// bounds, the voice's own locale, percents, pause and times in range, every
// path inside the audio folder). Checking writes nothing.
//
// Input: byte 0 chooses the endpoint (its value modulo 4: ttsReading,
// ttsCommunicate, audioCombined, audioTimeline); the rest is the body, in
// which "$W" stands for the working folder's absolute path, as in
// fuzz_service_request, whose dictionary this target shares.
#include "FuzzSupport.h"
#include "Requests.h"
#include "ServiceContract.h"
#include "Subtitles.h"

#include <cstdint>
#include <string>

using namespace tavrel;
using namespace tavrel::fuzz;

namespace {

// Every millisecond of a timeline would be written out; the parser's bound
// is what is checked, so a small one is crossed often.
constexpr std::int64_t kMaxTimelineMs = 60000;

struct Fixture {
    Sandbox sandbox;
    PathGuard guard{sandbox.work()};
    fs::path root = fs::canonical(sandbox.audio());
    VoiceLocales voices{{"zh-CN-XiaoxiaoNeural", "zh-CN"}, {"en-US-GuyNeural", "en-US"}, {"ja-JP-Female1", "ja-JP"}};
};

Fixture &fixture()
{
    static Fixture *f = new Fixture;
    return *f;
}

std::string replaceAll(std::string s, const std::string &from, const std::string &to)
{
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

template <std::size_t N>
void checkRequired(const Form &form, const char *const (&required)[N])
{
    for (const char *name : required)
        if (!form.count(name))
            fail(std::string("accepted without ") + name);
}

void checkInside(const fs::path &p, const char *what)
{
    const Fixture &f = fixture();
    if (!isInside(f.root, p) || p == f.root)
        fail(std::string(what) + " outside the audio folder: " + p.string());
}

void checkText(const std::string &text, const std::u32string &codePoints)
{
    if (contract::isBlankText(text) || text.size() > contract::textMaxBytes || text.find('\0') != std::string::npos)
        fail("accepted a text the service refuses");
    if (srt::encodeUtf8(codePoints) != text)
        fail("the code points are not the text");
}

void checkVoice(const std::string &voice, const std::string &locale)
{
    auto it = fixture().voices.find(voice);
    if (it == fixture().voices.end() || it->second != locale)
        fail("accepted voice " + voice + " with locale " + locale);
}

template <class Request>
bool refused(const Checked<Request> &checked)
{
    if (checked)
        return false;
    if (checked.refusal().empty())
        fail("refused without a reason");
    return true;
}

void checkReading(const Form &form)
{
    auto checked = parseReadingRequest(form, fixture().voices);
    if (refused(checked))
        return;
    const ReadingRequest &r = checked.request();
    checkRequired(form, contract::ttsReadingFields);
    checkText(r.text, r.codePoints);
    checkVoice(r.voice, r.locale);
}

void checkRender(const Form &form)
{
    auto checked = parseRenderRequest(form, fixture().voices, fixture().guard);
    if (refused(checked))
        return;
    const RenderRequest &r = checked.request();
    checkRequired(form, contract::ttsCommunicateFields);
    checkText(r.text, r.codePoints);
    checkVoice(r.voice, r.locale);
    if (r.ratePercent < contract::rateMin || r.ratePercent > contract::rateMax)
        fail("rate out of range: " + std::to_string(r.ratePercent));
    if (r.volumePercent < contract::volumeMin || r.volumePercent > contract::volumeMax)
        fail("volume out of range: " + std::to_string(r.volumePercent));
    checkInside(r.media, "media");
    checkInside(r.subtitles, "subtitles");
    if (r.media.extension() != ".mp3" || r.subtitles.extension() != ".srt")
        fail("accepted files of the wrong type: " + r.media.string() + ", " + r.subtitles.string());
    if (r.reading.has_value() != (form.count(contract::field::reading) > 0) || (r.reading && r.reading->empty()))
        fail("the reading sent is not the reading taken");
}

void checkJoin(const Form &form)
{
    auto checked = parseJoinRequest(form, fixture().guard);
    if (refused(checked))
        return;
    const JoinRequest &j = checked.request();
    checkRequired(form, contract::audioCombinedFields);
    if (j.inputs.empty() || j.inputs.size() > contract::audioListMaxFiles)
        fail("a join of " + std::to_string(j.inputs.size()) + " files");
    if (j.pauseMs < 0 || j.pauseMs > contract::pauseMaxMs)
        fail("pause out of range: " + std::to_string(j.pauseMs));
    if (!isInside(fixture().root, j.folder))
        fail("output folder outside the audio folder: " + j.folder.string());
    for (const JoinInput &in : j.inputs)
        checkInside(in.mp3, "a file to join");
}

void checkTimeline(const Form &form)
{
    auto checked = parseTimelineRequest(form, fixture().guard, kMaxTimelineMs);
    if (refused(checked))
        return;
    const TimelineRequest &t = checked.request();
    checkRequired(form, contract::audioTimelineFields);
    if (t.inputs.empty() || t.inputs.size() > contract::audioListMaxFiles)
        fail("a placement of " + std::to_string(t.inputs.size()) + " files");
    if (t.endMs < 0 || t.endMs > kMaxTimelineMs)
        fail("output end out of range: " + std::to_string(t.endMs));
    if (!isInside(fixture().root, t.folder))
        fail("output folder outside the audio folder: " + t.folder.string());
    for (const TimelineInput &in : t.inputs) {
        checkInside(in.mp3, "a file to place");
        if (in.startMs < 0 || in.startMs > kMaxTimelineMs)
            fail("start out of range: " + std::to_string(in.startMs));
        if (in.endMs != -1 && (in.endMs < in.startMs || in.endMs > kMaxTimelineMs))
            fail("end out of range: " + std::to_string(in.endMs));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    Fixture &f = fixture();
    const std::string body =
        replaceAll(std::string(reinterpret_cast<const char *>(data) + 1, size - 1), "$W", f.sandbox.work().string());
    const auto form = parseForm(body);
    if (!form)
        return 0;
    switch (data[0] % 4) {
    case 0:
        checkReading(*form);
        break;
    case 1:
        checkRender(*form);
        break;
    case 2:
        checkJoin(*form);
        break;
    default:
        checkTimeline(*form);
        break;
    }
    f.sandbox.checkOutsideUntouched();
    return 0;
}
