#include "JapaneseReader.h"

#include "JapaneseNormalizer.h"
#include "JapaneseOutput.h"
#include "JapaneseParser.h"

#include <mecab.h>

#include <vector>

// The stages, each in a file of its own (namespace japanese_detail):
// JapaneseNormalizer (widths, marks, punctuation) → JapaneseParser (MeCab's
// words and their pronunciation, with JapaneseNumbers and JapaneseCounters
// for numbers) → JapaneseOutput (kana for the engine, positions in the
// request text).

namespace tavrel::reading {

using namespace japanese_detail;

namespace {

constexpr const char *kIpadicDir = "/var/lib/mecab/dic/ipadic-utf8";

}  // namespace

JapaneseReader::JapaneseReader() { load(kIpadicDir); }

JapaneseReader::JapaneseReader(const std::string &dicDir) { load(dicDir); }

JapaneseReader::~JapaneseReader() = default;

void JapaneseReader::load(const std::string &dicDir)
{
    // No mecabrc is needed: the dictionary folder says everything, and the
    // system's rc file may point at another dictionary.
    for (const bool withRc : {false, true}) {
        std::vector<std::string> args = {"mecab", "-d", dicDir};
        if (!withRc)
            args.insert(args.end(), {"-r", "/dev/null"});
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        m_model.reset(MeCab::Model::create(static_cast<int>(argv.size()), argv.data()));
        if (m_model)
            break;
    }
    if (!m_model) {
        const char *why = MeCab::getLastError();
        m_error = "MeCab could not load the dictionary in " + dicDir + (why && *why ? std::string(": ") + why : "");
        return;
    }
    // The readings are taken from the IPA dictionary's reading and
    // pronunciation fields; another dictionary's layout would be misread.
    std::unique_ptr<MeCab::Tagger> tagger(m_model->createTagger());
    std::unique_ptr<MeCab::Lattice> lattice(m_model->createLattice());
    bool ipa = false;
    if (tagger && lattice) {
        lattice->set_sentence("は");
        if (tagger->parse(lattice.get()))
            for (const MeCab::Node *node = lattice->bos_node(); node; node = node->next)
                if (node->stat == MECAB_NOR_NODE) {
                    const auto f = splitFeatures(node->feature);
                    ipa = f.size() >= 9 && f[8] == "ワ";
                }
    }
    if (!ipa) {
        m_model.reset();
        m_error = "the dictionary in " + dicDir + " is not the IPA dictionary MeCab needs here";
    }
}

Prepared JapaneseReader::read(const MappedText &text, const std::map<std::string, std::string> *userEntries) const
{
    if (!m_model)
        return {};
    try {
        Output out;
        Parser parser(*m_model, userEntries, out);
        if (!parser.ok())
            return {};
        const Working w = normalise(text.text);
        parser.run(w);
        return out.finish(text);
    } catch (const std::exception &) {
        return {};
    }
}

}  // namespace tavrel::reading
