// What the Japanese reading hands on: the pieces read so far, in order
// (kana words and phrases, Latin stretches, pauses), finished into engine
// runs of kana espeak-ng's `ja` voice can say, each code point with the
// request position it came from, and the reading shown to the user.
// Internal to JapaneseReader.
#pragma once

#include "FrontEnd.h"
#include "MappedText.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::reading::japanese_detail {

// One piece of the reading: a word or phrase in kana, a Latin stretch for
// the English voice, or a pause.
struct Item {
    enum Kind { Kana, Latin, Pause } kind = Kana;
    std::u32string engine;        // Kana: katakana; Latin: as written; Pause: 。、！？
    std::vector<std::size_t> at;  // per engine code point: index into the input
    std::u32string reading;
    bool joins = false;           // Kana: same accent phrase as the kana before it
    bool fromUser = false;        // Kana: an entry of the user's lexicon.txt
};

class Output {
public:
    void kana(std::u32string engine, std::vector<std::size_t> at, std::u32string reading, bool joins)
    {
        if (engine.empty())
            return;
        Item it;
        it.kind = Item::Kana;
        it.engine = std::move(engine);
        it.at = std::move(at);
        it.reading = std::move(reading);
        it.joins = joins && !m_break;
        m_break = false;
        m_items.push_back(std::move(it));
    }
    void kana(const std::u32string &engine, std::size_t at, std::u32string reading, bool joins)
    {
        kana(engine, std::vector<std::size_t>(engine.size(), at), std::move(reading), joins);
    }
    // A word the user's lexicon reads, marked so the reading can say so.
    void userKana(const std::u32string &engine, std::size_t at, std::u32string reading)
    {
        const std::size_t before = m_items.size();
        kana(engine, at, std::move(reading), false);
        if (m_items.size() > before)
            m_items.back().fromUser = true;
    }
    void latin(std::u32string text, std::vector<std::size_t> at)
    {
        Item it;
        it.kind = Item::Latin;
        it.reading = text;
        it.engine = std::move(text);
        it.at = std::move(at);
        m_break = false;
        m_items.push_back(std::move(it));
    }
    void pause(char32_t mark, std::size_t at)
    {
        Item it;
        it.kind = Item::Pause;
        it.engine = std::u32string(1, mark);
        it.reading = it.engine;
        it.at = {at};
        m_break = true;
        m_items.push_back(std::move(it));
    }
    // Whitespace: the next word starts a phrase of its own.
    void wordBreak() { m_break = true; }

    // Items made elsewhere, in order; a word break before them still holds.
    void add(std::vector<Item> items, bool joins)
    {
        for (Item &it : items) {
            if (it.kind == Item::Kana) {
                it.joins = (&it == &items.front() ? joins : it.joins) && !m_break;
                m_break = false;
            } else {
                m_break = it.kind == Item::Pause;
            }
            m_items.push_back(std::move(it));
        }
    }
    std::vector<Item> take()
    {
        m_break = true;
        return std::move(m_items);
    }

    Prepared finish(const MappedText &source) const;

private:
    std::vector<Item> m_items;
    bool m_break = true;
};

}  // namespace tavrel::reading::japanese_detail
