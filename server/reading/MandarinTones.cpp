#include "MandarinTones.h"

#include <algorithm>
#include <string>

namespace tavrel::reading {

namespace {

bool isNumberChar(char32_t c)
{
    return std::u32string_view(U"零〇一二三四五六七八九十百千万亿两幺").find(c) != std::u32string_view::npos;
}

bool contains(std::u32string_view set, char32_t c) { return set.find(c) != std::u32string_view::npos; }

bool posIs(const HanWord *w, char first)
{
    return w && !w->pos.empty() && w->pos[0] == first;
}

bool single(const HanWord &w, char32_t c) { return w.text.size() == 1 && w.text[0] == c; }

// The words before and after word i within the run (null at its edges).
const HanWord *before(const std::vector<HanWord> &words, std::size_t i) { return i > 0 ? &words[i - 1] : nullptr; }
const HanWord *after(const std::vector<HanWord> &words, std::size_t i)
{
    return i + 1 < words.size() ? &words[i + 1] : nullptr;
}

char32_t lastChar(const HanWord *w) { return w && !w->text.empty() ? w->text.back() : 0; }
char32_t firstChar(const HanWord *w) { return w && !w->text.empty() ? w->text.front() : 0; }

void set(HanWord &w, const char *syllable)
{
    w.syllables.assign(1, syllable);
    w.source = ReadingSource::Rule;
}

// Measure-word position: after a numeral or a demonstrative.
bool afterNumeral(const HanWord *prev)
{
    if (!prev)
        return false;
    const char32_t c = lastChar(prev);
    return isNumberChar(c) || contains(U"几这那每哪某各半", c) || posIs(prev, 'm');
}

}  // namespace

void applyPolyphoneRules(std::vector<HanWord> &words)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        HanWord &w = words[i];
        if (w.text.size() != 1 || w.source == ReadingSource::User)
            continue;
        const HanWord *prev = before(words, i);
        const HanWord *next = after(words, i);
        switch (w.text[0]) {
        case U'得':
            // After a verb or an adjective it links a complement (跑得快);
            // after a subject or an adverb, before what must be done, it
            // means "must" (我得走了, 还得等); otherwise "obtain".
            if (posIs(prev, 'v') || posIs(prev, 'a'))
                set(w, "de5");
            else if (next && !posIs(next, 'n') && !posIs(next, 'u') &&
                     (!prev || posIs(prev, 'r') || posIs(prev, 'n') || contains(U"就还也都必总可只又便", lastChar(prev))))
                set(w, "dei3");
            else
                set(w, "de2");
            break;
        case U'地':
            // Between a description and a verb it makes an adverb (慢慢地走,
            // 开心地唱); otherwise "ground, place" (地里, 地上).
            if (prev && next && posIs(next, 'v') && !posIs(prev, 'n') && !posIs(prev, 'f') && !posIs(prev, 's') &&
                !posIs(prev, 'm'))
                set(w, "de5");
            else if (prev && next && !posIs(next, 'n') &&
                     (posIs(prev, 'a') || posIs(prev, 'z') || posIs(prev, 'd') || posIs(prev, 'i') ||
                      posIs(prev, 'l') ||
                      (prev->text.size() >= 2 &&
                       prev->text[prev->text.size() - 1] == prev->text[prev->text.size() - 2])))
                set(w, "de5");
            else
                set(w, "di4");
            break;
        case U'还':
            // "give back" before what is returned, "still" otherwise.
            if (next && contains(U"钱书债款给清账贷", firstChar(next)))
                set(w, "huan2");
            else
                set(w, "hai2");
            break;
        case U'行':
            if (afterNumeral(prev))
                set(w, "hang2");  // 一行字, 两行
            else
                set(w, "xing2");
            break;
        case U'长':
            if (next && contains(U"大高胖出成得满", firstChar(next)))
                set(w, "zhang3");
            else if (prev && posIs(prev, 'n') && !next)
                set(w, "zhang3");  // 队长-like titles the list lacks
            else
                set(w, "chang2");
            break;
        case U'重':
            if (next && next->text.size() == 1 && posIs(next, 'v') && !contains(U"要视", firstChar(next)))
                set(w, "chong2");  // 重写, 重来: "again"
            else
                set(w, "zhong4");
            break;
        case U'只':
            // A measure word after a numeral (一只, 两只, 整只); "only" after
            // a time or amount that is a word of its own (一年只用).
            set(w, (afterNumeral(prev) && (prev->text.size() == 1 || isNumberChar(lastChar(prev)))) ||
                           (prev && contains(U"整", lastChar(prev)))
                       ? "zhi1"
                       : "zhi3");
            break;
        case U'种':
            if (!afterNumeral(prev) && next &&
                (posIs(next, 'n') || contains(U"树花菜地田", firstChar(next)) ||
                 (next->text.size() == 1 && contains(U"在了下上着过满好出", firstChar(next)))))
                set(w, "zhong4");  // 种树: "plant"
            else
                set(w, "zhong3");
            break;
        case U'着':
            // 着了 and 着火 are "catch, reach"; otherwise the aspect particle.
            if (next && contains(U"了火凉急迷", firstChar(next)) && prev && posIs(prev, 'v'))
                set(w, "zhao2");
            else if (next && contains(U"火凉急迷", firstChar(next)))
                set(w, "zhao2");
            else
                set(w, "zhe5");
            break;
        case U'著':
            // In Traditional text 著 is also the aspect particle (看著).
            if (prev && (posIs(prev, 'v') || posIs(prev, 'a')))
                set(w, "zhe5");
            break;
        case U'了':
            // V得了 / V不了: "manage to".
            if (prev && (single(*prev, U'不') || single(*prev, U'得')) && i >= 2 && posIs(&words[i - 2], 'v'))
                set(w, "liao3");
            else
                set(w, "le5");
            break;
        case U'过':
            // Over something (转过身, 举过头顶): the complement keeps its tone.
            if (prev && posIs(prev, 'v') && !contains(U"走跳穿路跨越飞游跑爬渡通度闯", lastChar(prev)) &&
                !(next && contains(U"身头脸河桥街", firstChar(next))))
                set(w, "guo5");
            else
                set(w, "guo4");
            break;
        case U'为':
            // "for" before whom or what it is for (为你, 为了); "be, become"
            // otherwise (增长率为15%, 被称为).
            if (next && (posIs(next, 'r') || contains(U"了此何什人国民大您你我他她它们", firstChar(next))))
                set(w, "wei4");
            else
                set(w, "wei2");
            break;
        case U'盛':
            set(w, (next && contains(U"了饭汤菜满", firstChar(next))) ? "cheng2" : "sheng4");
            break;
        case U'系':
            set(w, (next && contains(U"好上紧鞋领带着", firstChar(next))) ? "ji4" : "xi4");
            break;
        case U'中':
            set(w, (next && contains(U"了奖标", firstChar(next)) && prev) ? "zhong4" : "zhong1");
            break;
        case U'数':
            if (next && (firstChar(next) == U'一' || single(*next, U'数') || posIs(next, 'r') || single(*next, U'了') ||
                         single(*next, U'过') || single(*next, U'着')))
                set(w, "shu3");  // the verb "count"
            else if (prev && (single(*prev, U'一') || single(*prev, U'数')) && i >= 2 && single(words[i - 2], U'数'))
                set(w, "shu3");
            break;
        case U'觉':
            if (prev && contains(U"睡午个一觉", lastChar(prev)))
                set(w, "jiao4");
            else
                set(w, "jue2");
            break;
        case U'量':
            set(w, (next && posIs(next, 'n') && !prev) ? "liang2" : "liang4");
            break;
        case U'干':
            set(w, (prev && contains(U"很太真较最挺好不", lastChar(prev)) && !next) ? "gan1" : "gan4");
            break;
        case U'好':
            if (prev && contains(U"爱喜", lastChar(prev)) && prev->text.size() == 1)
                set(w, "hao4");
            break;
        case U'教':
            set(w, "jiao1");
            break;
        case U'当':
            set(w, "dang1");
            break;
        case U'都':
            set(w, "dou1");
            break;
        case U'和':
            set(w, "he2");
            break;
        case U'差':
            set(w, "cha4");
            break;
        case U'背':
            set(w, (next && contains(U"着起上包", firstChar(next))) ? "bei1" : "bei4");
            break;
        case U'要':
            set(w, "yao4");
            break;
        case U'空':
            set(w, (prev && contains(U"有没", lastChar(prev))) ? "kong4" : "kong1");
            break;
        case U'少':
            set(w, "shao3");
            break;
        case U'调':
            // "Transfer, investigate" before the few words that make it so
            // (调走, 调往, 调头); "adjust" otherwise (调到1080P, 调大一号).
            set(w, (next && contains(U"查动走研度任往派离职岗兵头包", firstChar(next))) ? "diao4" : "tiao2");
            break;
        case U'处':
            set(w, "chu4");
            break;
        case U'假':
            // A holiday: after 放/请/休 (also 放了假, 请三天假) or an
            // amount of days.
            set(w, (prev && contains(U"放请休度天周月", lastChar(prev))) ||
                           (i >= 2 && contains(U"放请休", lastChar(&words[i - 2])))
                       ? "jia4"
                       : "jia3");
            break;
        case U'传':
            set(w, "chuan2");
            break;
        case U'便':
            set(w, "bian4");
            break;
        case U'乐':
            set(w, "le4");
            break;
        case U'朝':
            set(w, "chao2");
            break;
        case U'应':
            set(w, "ying1");
            break;
        case U'看':
            set(w, "kan4");
            break;
        case U'会':
            set(w, "hui4");
            break;
        case U'给':
            set(w, "gei3");
            break;
        case U'几':
            set(w, "ji3");
            break;
        case U'的':
            set(w, "de5");
            break;
        case U'相':
            set(w, "xiang1");
            break;
        case U'发':
            set(w, "fa1");
            break;
        case U'没':
            set(w, "mei2");
            break;
        case U'难':
            set(w, "nan2");
            break;
        case U'谁':
            set(w, "shei2");
            break;
        case U'什':
            set(w, "shen2");
            break;
        case U'那':
            set(w, "na4");
            break;
        case U'哪':
            set(w, "na3");
            break;
        case U'更':
            set(w, "geng4");
            break;
        case U'分':
            set(w, "fen1");
            break;
        case U'转':
            set(w, "zhuan3");
            break;
        case U'降':
            set(w, "jiang4");
            break;
        case U'弹':
            set(w, "tan2");
            break;
        case U'兴':
            set(w, "xing1");
            break;
        case U'冲':
            // "Towards" before whom it faces (冲他笑, 冲着); "rush" otherwise.
            set(w, (next && (posIs(next, 'r') || single(*next, U'着'))) ? "chong4" : "chong1");
            break;
        case U'血':
            set(w, "xue4");
            break;
        case U'曾':
            set(w, "ceng2");
            break;
        case U'藏':
            set(w, "cang2");
            break;
        case U'露':
            set(w, "lu4");
            break;
        case U'削':
            set(w, "xiao1");
            break;
        case U'薄':
            set(w, "bao2");
            break;
        case U'将':
            set(w, "jiang1");
            break;
        case U'似':
            set(w, "si4");
            break;
        case U'划':
            set(w, "hua2");
            break;
        case U'散':
            set(w, "san4");
            break;
        case U'挑':
            set(w, "tiao1");
            break;
        case U'担':
            set(w, "dan1");
            break;
        case U'号':
            set(w, "hao4");
            break;
        case U'省':
            set(w, "sheng3");
            break;
        case U'称':
            set(w, "cheng1");
            break;
        case U'供':
            set(w, "gong1");
            break;
        case U'参':
            set(w, "can1");
            break;
        case U'折':
            set(w, "zhe2");
            break;
        case U'奇':
            set(w, "qi2");
            break;
        case U'模':
            set(w, "mo2");
            break;
        case U'率':
            set(w, "lv4");
            break;
        case U'吐':
            set(w, "tu3");
            break;
        case U'舍':
            set(w, "she3");
            break;
        case U'尽':
            set(w, "jin4");
            break;
        case U'落':
            set(w, "luo4");
            break;
        case U'宁':
            set(w, "ning2");
            break;
        case U'角':
            set(w, "jiao3");
            break;
        case U'片':
            set(w, "pian4");
            break;
        case U'壳':
            set(w, "ke2");
            break;
        case U'卡':
            set(w, "ka3");
            break;
        case U'塞':
            set(w, "sai1");
            break;
        case U'结':
            set(w, "jie2");
            break;
        default:
            break;
        }
    }
}

namespace {

// Doubled, these are adverbs or descriptions, said with both tones.
constexpr std::u32string_view kFullDoubles = U"整缓渐慢常刚偷悄紧静轻默狠久足万处暗稍早远深牢微纷频连匆淡冷隐明白统通往每仅恰偏时满";

// Words that say what may or must be done: after them a directional word is
// the verb itself (才敢出来, 就回去), not a complement.
bool modalOrAdverb(const HanWord &w)
{
    static const std::u32string_view modal[] = {U"敢", U"能", U"会", U"要", U"想", U"肯", U"愿", U"可以", U"应该", U"得"};
    for (std::u32string_view m : modal)
        if (w.text == m)
            return true;
    return posIs(&w, 'd') || posIs(&w, 'c') || posIs(&w, 'p') || posIs(&w, 'r') || posIs(&w, 't') ||
           posIs(&w, 'm');
}

}  // namespace

// 来 and 去 of a two-syllable directional complement are light after the
// verb or description they complete (掉下来, 笑了起来, 安静下来, 装上去,
// 躲不过去, 放鱼进去); where the directional word is the verb itself (就回去,
// 才回来, 过去的事) they keep their tone.
void applyDirectionalComplements(std::vector<HanWord> &words)
{
    static const std::u32string_view first = U"上下进出回过起开";
    for (std::size_t i = 0; i < words.size(); ++i) {
        HanWord &w = words[i];
        const std::size_t n = w.text.size();
        if (w.source == ReadingSource::User || n < 2 || w.syllables.size() != n)
            continue;
        const char32_t last = w.text[n - 1];
        if ((last != U'来' && last != U'去') || !contains(first, w.text[n - 2]) || w.syllables[n - 1].empty())
            continue;
        bool complement = n >= 3;  // 站起来, 看起来: verb and complement in one word
        if (n == 2 && i > 0) {
            const HanWord &p = words[i - 1];
            // A verb or description before it; a lone character there is
            // one whatever the list calls it (掉 is tagged zg).
            if (single(p, U'了') || posIs(&p, 'v') || posIs(&p, 'a') ||
                (p.text.size() == 1 && !posIs(&p, 'u') && !posIs(&p, 'm')))
                complement = !modalOrAdverb(p) || single(p, U'了');
            else if (single(p, U'不') && i >= 2)
                complement = (posIs(&words[i - 2], 'v') || words[i - 2].text.size() == 1) &&
                             !modalOrAdverb(words[i - 2]);
            else if (posIs(&p, 'n') && i >= 2)
                complement = posIs(&words[i - 2], 'v') && !modalOrAdverb(words[i - 2]);  // 放鱼进去
        }
        if (complement)
            w.syllables[n - 1] = withTone(w.syllables[n - 1], 5);
        else if (n == 2 && toneOf(w.syllables[1]) == 5)
            w.syllables[1] = last == U'来' ? "lai2" : "qu4";  // the verb itself: 就回去
    }
    // The cut may leave 来/去 alone after the verb and its direction (掉下|来,
    // 拿出|来).
    for (std::size_t i = 1; i < words.size(); ++i) {
        HanWord &w = words[i];
        const HanWord &p = words[i - 1];
        if (w.source == ReadingSource::User || w.text.size() != 1 || (w.text[0] != U'来' && w.text[0] != U'去') ||
            w.syllables.empty() || w.syllables[0].empty())
            continue;
        if (p.text.size() >= 2 && contains(first, p.text.back()) && posIs(&p, 'v'))
            w.syllables[0] = withTone(w.syllables[0], 5);
        else if (p.text.size() == 1 && contains(first, p.text[0]) && i >= 2 && words[i - 2].text.size() == 1 &&
                 !modalOrAdverb(words[i - 2]) && !posIs(&words[i - 2], 'u') && !posIs(&words[i - 2], 'm'))
            w.syllables[0] = withTone(w.syllables[0], 5);  // 拿|出|来
    }
}

void applyNeutralTones(std::vector<HanWord> &words)
{
    static const std::u32string_view particles = U"的了着过吗呢吧啊们么呀啦嘛哇呗喽咯";
    for (std::size_t i = 0; i < words.size(); ++i) {
        HanWord &w = words[i];
        if (w.source == ReadingSource::User)
            continue;
        if (w.text.size() == 1 && contains(particles, w.text[0]) && !w.syllables.empty()) {
            // Only when the particle reading is the one chosen (not 了 liao3,
            // 过 guo4, 着 zhao2).
            const std::string &s = w.syllables[0];
            if (s == "de5" || s == "le5" || s == "zhe5" || s == "guo5" || s.rfind("ma", 0) == 0 ||
                s.rfind("ne", 0) == 0 || s.rfind("ba", 0) == 0 || s.rfind("a", 0) == 0 || s.rfind("men", 0) == 0 ||
                s.rfind("me", 0) == 0 || s.rfind("ya", 0) == 0 || s.rfind("la", 0) == 0 || s.rfind("wa", 0) == 0 ||
                s.rfind("bei", 0) == 0 || s.rfind("lou", 0) == 0 || s.rfind("luo", 0) == 0)
                w.syllables[0] = withTone(s, 5);
            continue;
        }
        // Doubled adverbs and adjectives keep both full tones (整整三天,
        // 缓缓地, 慢慢说), whatever the data says.
        if (w.text.size() == 2 && w.text[0] == w.text[1] && contains(kFullDoubles, w.text[0]) &&
            w.syllables.size() == 2 && !w.syllables[0].empty()) {
            w.syllables[1] = w.syllables[0];
            continue;
        }
        if (i > 0 && w.text.size() == 1 && single(words[i - 1], w.text[0]) && contains(kFullDoubles, w.text[0]) &&
            !words[i - 1].syllables.empty() && !words[i - 1].syllables[0].empty()) {
            w.syllables[0] = words[i - 1].syllables[0];
            continue;
        }
        // A verb said twice: the second time is light (看看, 想想).
        if (i > 0 && w.text.size() == 1 && single(words[i - 1], w.text[0]) && posIs(&words[i - 1], 'v') &&
            !w.syllables.empty())
            w.syllables[0] = withTone(w.syllables[0], 5);
        // A doubled kinship word or noun the list does not know (婶婶).
        if (!w.inLexicon && w.text.size() == 2 && w.text[0] == w.text[1] && w.syllables.size() == 2)
            w.syllables[1] = withTone(w.syllables[1], 5);
    }
    applyDirectionalComplements(words);
}

void applyYiBuSandhi(std::vector<HanWord> &words)
{
    // The characters of the run with their syllables, across words.
    struct Slot {
        char32_t c;
        std::string *syllable;
        bool alone;  // the character is a word of its own
        const HanWord *word;
    };
    std::vector<Slot> slots;
    for (HanWord &w : words)
        for (std::size_t k = 0; k < w.text.size(); ++k)
            slots.push_back({w.text[k], &w.syllables[k], w.text.size() == 1, &w});

    auto toneAt = [&](std::size_t j) -> int {
        if (j >= slots.size())
            return 0;
        int t = toneOf(*slots[j].syllable);
        if (t == 5) {
            // A neutral syllable keeps the tone of its character for the
            // change before it (一个 ge4 → yi2 even when 个 is light).
            if (slots[j].c == U'个')
                t = 4;
        }
        return t;
    };

    for (std::size_t j = 0; j < slots.size(); ++j) {
        Slot &s = slots[j];
        if (s.c != U'一' && s.c != U'不')
            continue;
        if (s.word->source == ReadingSource::User)
            continue;
        const char32_t prev = j > 0 ? slots[j - 1].c : 0;
        const char32_t next = j + 1 < slots.size() ? slots[j + 1].c : 0;
        const int nextTone = toneAt(j + 1);
        const bool listed = !s.alone && (s.word->source == ReadingSource::Data || s.word->source == ReadingSource::Own);
        // Between a word said twice, 一 and 不 are light (看一看, 是不是);
        // not in 一枚一枚 (one after another) nor between decimals (1.1.1).
        const char32_t beforePrev = j >= 2 ? slots[j - 2].c : 0;
        if (prev && prev == next && !isNumberChar(prev) && !(s.c == U'一' && beforePrev == U'一') &&
            !(prev == U'点' && isNumberChar(beforePrev))) {
            *s.syllable = s.c == U'一' ? "yi5" : "bu5";
            continue;
        }
        // 一 among digits and in dates is counted, never changed: 一九九八,
        // 十月一日, 一点五, 三比一.
        const char32_t afterNext = j + 2 < slots.size() ? slots[j + 2].c : 0;
        // Inside a number 一 before 百 or 千 changes like any other: 一千一百
        // yi4 qian1 yi4 bai3, 六千一百 liu4 qian1 yi4 bai3.
        const bool magnitudeInside = prev && contains(U"千万亿", prev) && contains(U"百千", next);
        if (s.c == U'一' && !magnitudeInside && ((prev && (isNumberChar(prev) || contains(U"第月点比", prev))) ||
                             (next && ((isNumberChar(next) && !contains(U"百千万亿", next)) ||
                                       (contains(U"点比", next) && isNumberChar(afterNext)))))) {
            *s.syllable = "yi1";
            continue;
        }
        // Readings of a word of the list already hold the change of 一
        // (一样 yi2 yang4, 统一 tong3 yi1); for 不 only its light form is
        // the word's own (对不起), the rest follows the next tone.
        if (listed && (s.c == U'一' || *s.syllable == "bu5"))
            continue;
        if (s.c == U'一') {
            if (!next || prev == U'第' || (prev && isNumberChar(prev) && !magnitudeInside) ||
                (next && isNumberChar(next) && !contains(U"百千万亿", next)))
                *s.syllable = "yi1";  // counting, ordinals, digit strings, 十一
            else if (nextTone == 4 || nextTone == 5)
                *s.syllable = "yi2";
            else if (nextTone >= 1)
                *s.syllable = "yi4";
            else
                *s.syllable = "yi1";
        } else {
            // Between a verb and its complement 不 is light: 找不到, 躲不过去.
            const HanWord *verb = j > 0 ? slots[j - 1].word : nullptr;
            if (s.alone && verb && verb != s.word && verb->text.size() == 1 && posIs(verb, 'v') && next &&
                contains(U"到过出起下上来去完了住动见开着清懂会及得成好", next)) {
                *s.syllable = "bu5";
                continue;
            }
            if (nextTone == 4)
                *s.syllable = "bu2";
            else
                *s.syllable = "bu4";
        }
    }
}

namespace {

// Whether a 儿 standing alone after this word belongs to it as its suffix
// (事|儿, 这天|儿, 小孩|儿): not after a user's word, nor after the
// characters with which 儿 makes a word of its own that the list may lack
// (妻儿 wife and son). A 儿 that starts a word (儿童, 儿子) is not alone.
bool joinsErhua(const HanWord &prev)
{
    if (prev.text.empty() || prev.text.back() == U'儿' || prev.source == ReadingSource::User)
        return false;
    if (contains(U"妻孤幼婴健男女胎宠患病犬豚", prev.text.back()))
        return false;
    return true;
}

}  // namespace

void applyErhua(std::vector<HanWord> &words)
{
    std::string *prevSyllable = nullptr;
    for (std::size_t i = 0; i < words.size(); ++i) {
        HanWord &w = words[i];
        for (std::size_t k = 0; k < w.text.size(); ++k) {
            std::string &s = w.syllables[k];
            const bool erhua = w.text[k] == U'儿' && prevSyllable && !prevSyllable->empty() &&
                               toneOf(*prevSyllable) && prevSyllable->back() != 'r' &&
                               ((k > 0 && (s == "r5" || s == "er5")) ||
                                (k == 0 && w.text.size() == 1 && w.source != ReadingSource::User &&
                                 i > 0 && joinsErhua(words[i - 1])));
            if (erhua && prevSyllable->compare(0, 2, "er") != 0) {
                std::string &p = *prevSyllable;
                p.insert(p.size() - 1, "r");
                s.clear();
            }
            prevSyllable = &s;
        }
    }
}

}  // namespace tavrel::reading
