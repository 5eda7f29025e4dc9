#include "FrontEnd.h"

#include "CharClass.h"
#include "JapaneseReader.h"
#include "Lexicon.h"
#include "MandarinNormalizer.h"
#include "MandarinReader.h"
#include "UserLexicon.h"
#include "Utf8.h"

#include <opencc/SimpleConverter.hpp>

namespace tavrel::reading {

namespace {

bool isMandarin(const std::string &locale) { return locale == "zh-CN" || locale == "zh-TW"; }

Prepared asWrittenMapped(const MappedText &text)
{
    Prepared p;
    EngineRun run;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text.text[i];
        // Control characters would only confuse the engine's text reader.
        const char32_t use = (c < 0x20 && c != U'\n') || c == 0x7F || c == 0xFFFD ? U' ' : c;
        const std::string bytes = utf8::encode(use);
        run.text += bytes;
        run.origin.push_back(text.origin[i]);
    }
    p.reading = run.text;
    if (!run.text.empty())
        p.runs.push_back(std::move(run));
    return p;
}

}  // namespace

Prepared asWritten(const std::u32string &text) { return asWrittenMapped(MappedText::identity(text)); }

// Traditional → Simplified, so that one word list serves both (zh-TW
// scripts, and Traditional text typed for a zh-CN voice). OpenCC converts
// by phrase; a conversion that changed the length could not keep the
// origins, so then characters are converted one at a time.
class FrontEnd::Simplifier {
public:
    Simplifier()
    {
        try {
            m_t2s = std::make_unique<opencc::SimpleConverter>(TAVREL_OPENCC_T2S);
        } catch (const std::exception &) {
            m_t2s.reset();
        }
    }
    bool isReady() const { return m_t2s != nullptr; }

    MappedText convert(const MappedText &in) const
    {
        if (!m_t2s)
            return in;
        MappedText out = in;
        try {
            std::u32string whole = utf8::decode(m_t2s->Convert(utf8::encode(in.text)));
            if (whole.size() == in.text.size()) {
                out.text = std::move(whole);
                return out;
            }
            for (std::size_t i = 0; i < in.text.size(); ++i) {
                if (!textrules::isHan(in.text[i]))
                    continue;
                std::u32string one = utf8::decode(m_t2s->Convert(utf8::encode(in.text[i])));
                if (one.size() == 1)
                    out.text[i] = one[0];
            }
        } catch (const std::exception &) {
        }
        return out;
    }

private:
    std::unique_ptr<opencc::SimpleConverter> m_t2s;
};

FrontEnd::FrontEnd(const std::filesystem::path &dataDir)
    : m_mandarin(std::make_unique<Lexicon>(dataDir / "mandarin.lex")),
      m_simplifier(std::make_unique<Simplifier>()),
      m_japanese(std::make_unique<JapaneseReader>())
{
    if (!m_mandarin->isLoaded())
        m_error = m_mandarin->error();
    if (!m_simplifier->isReady())
        m_error += (m_error.empty() ? "" : "; ") + std::string("OpenCC t2s could not be loaded");
    if (!m_japanese->isReady())
        m_error += (m_error.empty() ? "" : "; ") + m_japanese->error();
}

FrontEnd::~FrontEnd() = default;

bool FrontEnd::hasMandarin() const { return m_mandarin->isLoaded(); }
bool FrontEnd::hasJapanese() const { return m_japanese->isReady(); }

bool FrontEnd::supports(const std::string &locale) const
{
    if (isMandarin(locale))
        return hasMandarin();
    if (locale == "ja-JP")
        return hasJapanese();
    return true;
}

Prepared FrontEnd::prepare(const std::u32string &text, const std::string &locale, const UserLexicon *user) const
{
    const std::shared_ptr<const ParsedLexicon> userList = user ? user->current() : nullptr;
    const MappedText source = MappedText::identity(text);
    if (isMandarin(locale)) {
        if (!hasMandarin())
            return {};
        const MappedText simplified = m_simplifier->convert(normalizeMandarin(source));
        return readMandarin(simplified, *m_mandarin, simplifiedUserList(userList).get());
    }
    if (locale == "ja-JP") {
        if (!hasJapanese())
            return {};
        std::map<std::string, std::string> entries;
        if (userList)
            for (const auto &[word, entry] : userList->japanese)
                entries[word] = entry.kana;
        return m_japanese->read(source, entries.empty() ? nullptr : &entries);
    }
    return asWrittenMapped(source);
}

std::shared_ptr<const ParsedLexicon> FrontEnd::simplifiedUserList(std::shared_ptr<const ParsedLexicon> list) const
{
    if (!list || list->mandarin.empty() || !m_simplifier->isReady())
        return list;
    std::lock_guard<std::mutex> lock(m_userMutex);
    if (m_userSource.lock() == list)
        return m_userSimplified;
    auto simplified = std::make_shared<ParsedLexicon>(*list);
    for (const auto &[word, entry] : list->mandarin) {
        const std::string key = utf8::encode(m_simplifier->convert(MappedText::identity(utf8::decode(word))).text);
        // A word the user also wrote Simplified keeps that entry.
        if (key != word && !list->mandarin.count(key)) {
            LexiconEntry same = entry;
            same.word = key;
            simplified->mandarin.emplace(key, std::move(same));
        }
    }
    m_userSource = list;
    m_userSimplified = simplified;
    return simplified;
}

std::optional<Prepared> FrontEnd::prepareWithReading(const std::u32string &text, const std::string &locale,
                                                     const std::vector<std::string> &syllables,
                                                     std::string &error) const
{
    if (!isMandarin(locale) || !hasMandarin()) {
        error = "只有中文语音可以指定拼音读音";
        return std::nullopt;
    }
    // Laid over the text as the reader sees it, so that the syllables count
    // the characters the reading endpoint showed (2026 as four of them).
    const MappedText simplified = m_simplifier->convert(normalizeMandarin(MappedText::identity(text)));
    const auto forced = spreadOverHan(simplified.text, syllables, error);
    if (!forced)
        return std::nullopt;
    return readMandarin(simplified, *m_mandarin, nullptr, &*forced);
}

}  // namespace tavrel::reading
