#include "ReadingText.h"

#include <QtTest>

using ReadingText::Script;

using Piece = QPair<QString, bool>; // text, from the user's list
using Pieces = QList<Piece>;
Q_DECLARE_METATYPE(Pieces)
Q_DECLARE_METATYPE(ReadingText::Script)

// Readings as the user sees and corrects them. The expected readings are
// written as a Putonghua dictionary gives them, not taken from the service.
class TestReadingText : public QObject
{
    Q_OBJECT

private slots:
    void syllableWithToneMarks_data();
    void syllableWithToneMarks();
    void wholeReadingWithToneMarks();
    void parsePinyin_data();
    void parsePinyin();
    void everySyllableComesBackFromItsMarks();
    void inventoryHasNoStrays();
    void checkPinyin_data();
    void checkPinyin();
    void checkKana_data();
    void checkKana();
    void correctionTarget_data();
    void correctionTarget();
    void pieces_data();
    void pieces();
    void scriptOfVoice_data();
    void scriptOfVoice();
    void toKatakana();
};

void TestReadingText::syllableWithToneMarks_data()
{
    QTest::addColumn<QString>("numbered");
    QTest::addColumn<QString>("marked");

    QTest::newRow("a takes the mark") << "chang2" << "cháng";
    QTest::newRow("e takes the mark") << "lei4" << "lèi";
    QTest::newRow("o of ou") << "hou4" << "hòu";
    QTest::newRow("iu marks u") << "liu2" << "liú";
    QTest::newRow("ui marks i") << "gui4" << "guì";
    QTest::newRow("io marks o") << "xiong2" << "xióng";
    QTest::newRow("ua marks a") << "zhuang4" << "zhuàng";
    QTest::newRow("first tone") << "qing1" << "qīng";
    QTest::newRow("third tone") << "jiu3" << "jiǔ";
    QTest::newRow("ü written v") << "lv4" << "lǜ";
    QTest::newRow("üe marks e") << "nve4" << "nüè";
    QTest::newRow("ü without a tone") << "lv5" << "lü";
    QTest::newRow("ju keeps its plain u") << "ju1" << "jū";
    QTest::newRow("yue") << "yue4" << "yuè";
    QTest::newRow("neutral tone has no mark") << "de5" << "de";
    QTest::newRow("erhua keeps its r") << "dianr3" << "diǎnr";
    QTest::newRow("erhua of a syllable ending in a vowel") << "huar1" << "huār";
    QTest::newRow("er itself") << "er2" << "ér";
    QTest::newRow("ng interjection") << "ng2" << "ńg";
    QTest::newRow("m interjection") << "m2" << "ḿ";
    QTest::newRow("n with a tone that has no letter") << "n1" << QString("n") + QChar(0x0304);
    QTest::newRow("Latin word unchanged") << "iPhone" << "iPhone";
    QTest::newRow("tone out of range unchanged") << "qing7" << "qing7";
    QTest::newRow("no such syllable unchanged") << "xyz1" << "xyz1";
    QTest::newRow("upper case is not the service's form") << "Chong2" << "Chong2";
}

void TestReadingText::syllableWithToneMarks()
{
    QFETCH(QString, numbered);
    QFETCH(QString, marked);
    QCOMPARE(ReadingText::syllableWithToneMarks(numbered), marked);
}

void TestReadingText::wholeReadingWithToneMarks()
{
    QCOMPARE(ReadingText::withToneMarks("yin2 hang2 de5 hang2 zhang3"), QString("yín háng de háng zhǎng"));
    QCOMPARE(ReadingText::withToneMarks("wo3 mai3 le5 iPhone"), QString("wǒ mǎi le iPhone"));
    QCOMPARE(ReadingText::withToneMarks(""), QString());
}

void TestReadingText::parsePinyin_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("numbered"); // empty: refused
    QTest::addColumn<QString>("reason");

    QTest::newRow("tone marks") << "zhòng qìng" << "zhong4 qing4" << "";
    QTest::newRow("numbered") << "zhong4 qing4" << "zhong4 qing4" << "";
    QTest::newRow("numbered, glued, capital") << "Zhong4qing4" << "zhong4 qing4" << "";
    QTest::newRow("marked, glued") << "Chóngqìng" << "chong2 qing4" << "";
    QTest::newRow("apostrophe") << "xī'ān" << "xi1 an1" << "";
    QTest::newRow("glued without apostrophe, marks decide") << "xīān" << "xi1 an1" << "";
    QTest::newRow("glued: a syllable does not start with a vowel inside") << "fangan" << "fan5 gan5" << "";
    QTest::newRow("no tone is the neutral tone") << "de" << "de5" << "";
    QTest::newRow("ü") << "lü4" << "lv4" << "";
    QTest::newRow("u colon") << "lu:4" << "lv4" << "";
    QTest::newRow("v") << "nv3" << "nv3" << "";
    QTest::newRow("marked ü") << "nüè" << "nve4" << "";
    QTest::newRow("üe written ue after l") << "lue4" << "lve4" << "";
    QTest::newRow("erhua numbered") << "yi4 dianr3" << "yi4 dianr3" << "";
    QTest::newRow("erhua marked") << "yì diǎnr" << "yi4 dianr3" << "";
    QTest::newRow("decomposed mark") << QString("zho") + QChar(0x0300) + "ng" << "zhong4" << "";
    QTest::newRow("ideographic space and hyphen separate") << QString("zhong4") + QChar(0x3000) + "qing4-shi4"
                                                           << "zhong4 qing4 shi4" << "";

    QTest::newRow("empty") << "" << "" << "读音为空";
    QTest::newRow("only blanks") << "  '  " << "" << "读音为空";
    QTest::newRow("tone 7") << "chong2 qing7" << "" << "声调必须是 1 到 5：qing7";
    QTest::newRow("tone 0") << "qing0" << "" << "声调必须是 1 到 5：qing0";
    QTest::newRow("two digits") << "qing44" << "" << "声调必须是 1 到 5：qing44";
    QTest::newRow("unknown syllable") << "chong2 qxng4" << "" << "无法识别的拼音：qxng4";
    QTest::newRow("unknown without tone") << "chong2 qxng" << "" << "无法识别的拼音：qxng";
    QTest::newRow("mark and number together") << "zhòng4" << "" << "无法识别的拼音：zhòng4";
    QTest::newRow("a stray letter glued on") << "zhòngqìngg" << "" << "无法识别的拼音：zhòngqìngg";
    QTest::newRow("two marks in one syllable") << "chuǎǐ" << "" << "无法识别的拼音：chuǎǐ";
    QTest::newRow("ü after j is written u") << "jü1" << "" << "无法识别的拼音：jü1";
    QTest::newRow("Han characters are no pinyin") << "重庆" << "" << "无法识别的拼音：重庆";
}

void TestReadingText::parsePinyin()
{
    QFETCH(QString, typed);
    QFETCH(QString, numbered);
    QFETCH(QString, reason);

    const ReadingText::Check check = ReadingText::parsePinyin(typed);
    QCOMPARE(check.ok, !numbered.isEmpty());
    QCOMPARE(check.reading(), numbered);
    QCOMPARE(check.reason, reason);
}

void TestReadingText::everySyllableComesBackFromItsMarks()
{
    // What the dialog shows must read back as what the service said.
    for (const QString &base : ReadingText::inventory()) {
        for (int tone = 1; tone <= 5; ++tone) {
            const QString numbered = base + QString::number(tone);
            QVERIFY2(ReadingText::isSyllable(numbered), qPrintable(numbered));
            const QString marked = ReadingText::syllableWithToneMarks(numbered);
            QVERIFY2(marked != numbered, qPrintable(numbered));
            QCOMPARE(ReadingText::parsePinyin(marked).reading(), numbered);
            // e with an r is er itself; the interjections take none.
            if (base != "e" && base != "er" && base != "m" && base != "n" && base != "ng") {
                const QString erhua = base + "r" + QString::number(tone);
                QVERIFY2(ReadingText::isErhua(erhua), qPrintable(erhua));
                QCOMPARE(ReadingText::parsePinyin(ReadingText::syllableWithToneMarks(erhua)).reading(), erhua);
            }
        }
    }
}

void TestReadingText::inventoryHasNoStrays()
{
    const QStringList &all = ReadingText::inventory();
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), all.size());
    // Spellings pinyin never writes, though they look like syllables.
    for (const char *stray : {"jv1", "qv1", "xv1", "yv1", "bia1", "fi1", "gi1", "zhiu1", "rv1", "ngr1", "err1", "Ma1",
                              "ma", "ma0"})
        QVERIFY2(!ReadingText::isSyllable(stray), stray);
    // A few of each initial that must be there.
    for (const char *syllable : {"a", "er", "yo", "m", "ng", "bo", "pou", "miu", "fo", "dia", "den", "tei", "nve",
                                 "lia", "lve", "kei", "jiong", "qiong", "xiong", "zhei", "shei", "chua", "rua",
                                 "zei", "cen", "sen"})
        QVERIFY2(all.contains(syllable), syllable);
}

void TestReadingText::checkPinyin_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reading"); // empty: refused
    QTest::addColumn<QString>("reason");

    QTest::newRow("one syllable a character") << "重庆" << "zhòng qìng" << "zhong4 qing4" << "";
    QTest::newRow("erhua takes its 儿") << "一点儿" << "yì diǎnr" << "yi4 dianr3" << "";
    QTest::newRow("traditional 兒") << "一點兒" << "yi4 dianr3" << "yi4 dianr3" << "";
    QTest::newRow("erhua spelled out") << "一点儿" << "yi4 dian3 er5" << "yi4 dian3 er5" << "";
    QTest::newRow("too few") << "重庆" << "chong2" << "" << "读音有 1 个音节，但“重庆”有 2 个汉字";
    QTest::newRow("too many") << "重庆" << "chong2 qing4 shi4" << "" << "读音有 3 个音节，但“重庆”有 2 个汉字";
    QTest::newRow("erhua without 儿") << "花园" << "huar1 yuan2" << "" << "儿化音节 huār 后面应是“儿”字";
    QTest::newRow("erhua at the end") << "花" << "huar1" << "" << "儿化音节 huār 后面应是“儿”字";
    QTest::newRow("no Han character") << "iPhone" << "ai4" << "" << "词中没有汉字，拼音读音只用于中文词语";
    QTest::newRow("bad syllable before counting") << "重庆" << "chong2 qxng4" << "" << "无法识别的拼音：qxng4";
    QTest::newRow("bad tone") << "重庆" << "chong2 qing6" << "" << "声调必须是 1 到 5：qing6";
}

void TestReadingText::checkPinyin()
{
    QFETCH(QString, word);
    QFETCH(QString, typed);
    QFETCH(QString, reading);
    QFETCH(QString, reason);

    const ReadingText::Check check = ReadingText::check(Script::Pinyin, word, typed);
    QCOMPARE(check.ok, !reading.isEmpty());
    QCOMPARE(check.reading(), reading);
    QCOMPARE(check.reason, reason);
}

void TestReadingText::checkKana_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reading"); // empty: refused
    QTest::addColumn<QString>("reason");

    QTest::newRow("hiragana") << "とうきょう" << "とうきょう" << "";
    QTest::newRow("katakana with a long mark") << " トーキョー " << "トーキョー" << "";
    QTest::newRow("romaji") << "tokyo" << "" << "假名读音只能包含平假名、片假名和“ー”：t";
    QTest::newRow("kanji") << "東京" << "" << "假名读音只能包含平假名、片假名和“ー”：東";
    QTest::newRow("a blank inside") << "とう きょう" << "" << "假名读音只能包含平假名、片假名和“ー”： ";
    QTest::newRow("empty") << "  " << "" << "读音为空";
}

void TestReadingText::checkKana()
{
    QFETCH(QString, typed);
    QFETCH(QString, reading);
    QFETCH(QString, reason);

    const ReadingText::Check check = ReadingText::check(Script::Kana, QStringLiteral("東京"), typed);
    QCOMPARE(check.ok, !reading.isEmpty());
    QCOMPARE(check.reading(), reading);
    QCOMPARE(check.reason, reason);
}

void TestReadingText::correctionTarget_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("word"); // empty: nothing to save for
    QTest::addColumn<QString>("reason");

    QTest::newRow("a word") << "重庆" << Script::Pinyin << "重庆" << "";
    QTest::newRow("quotes and a full stop around it") << "“重庆”。" << Script::Pinyin << "重庆" << "";
    QTest::newRow("blanks and a line break around it") << " 重庆\n" << Script::Pinyin << "重庆" << "";
    QTest::newRow("twenty characters") << QString(20, QChar(u'重')) << Script::Pinyin << QString(20, QChar(u'重'))
                                       << "";
    QTest::newRow("twenty-one characters") << QString(21, QChar(u'重')) << Script::Pinyin << ""
                                           << "选中的文字太长，一个词语最多 20 个字";
    QTest::newRow("punctuation inside") << "重庆，北京" << Script::Pinyin << ""
                                        << "只能为汉字组成的词语保存读音，请只选中汉字";
    QTest::newRow("digits inside") << "2026年" << Script::Pinyin << ""
                                   << "只能为汉字组成的词语保存读音，请只选中汉字";
    QTest::newRow("only punctuation") << "，。！" << Script::Pinyin << ""
                                      << "选中的文字中没有可以保存读音的词语";
    QTest::newRow("a Japanese word") << "「東京」" << Script::Kana << "東京" << "";
    QTest::newRow("kana and kanji mixed") << "行く" << Script::Kana << "行く" << "";
    QTest::newRow("two Japanese words") << "東京 大阪" << Script::Kana << ""
                                        << "词语中不能有空格，请只选中一个词语";
    QTest::newRow("a language without corrections") << "Hello" << Script::None << ""
                                                    << "这种语言的读音不能修改";
}

void TestReadingText::correctionTarget()
{
    QFETCH(QString, selected);
    QFETCH(Script, script);
    QFETCH(QString, word);
    QFETCH(QString, reason);

    const ReadingText::Target target = ReadingText::correctionTarget(selected, script);
    QCOMPARE(target.word, word);
    QCOMPARE(target.reason, reason);
    QCOMPARE(target.ok(), reason.isEmpty());
}

void TestReadingText::pieces_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("sources");
    QTest::addColumn<Script>("script");
    QTest::addColumn<Pieces>("expected");

    QTest::newRow("a user's syllable")
        << "zhong4 qing4 yin2 hang2" << "uudd" << Script::Pinyin
        << Pieces{{"zhòng", true}, {"qìng", true}, {"yín", false}, {"háng", false}};
    QTest::newRow("a Latin word is one piece") << "wo3 iPhone" << "du" << Script::Pinyin
                                               << Pieces{{"wǒ", false}, {"iPhone", true}};
    QTest::newRow("letters that do not match say nothing") << "chong2 qing4" << "u" << Script::Pinyin
                                                           << Pieces{{"chóng", false}, {"qìng", false}};
    QTest::newRow("no letters") << "chong2 qing4" << "" << Script::Pinyin
                                << Pieces{{"chóng", false}, {"qìng", false}};
    QTest::newRow("kana one by one") << "とうきょうに" << "uuuuud" << Script::Kana
                                     << Pieces{{"と", true}, {"う", true}, {"き", true}, {"ょ", true}, {"う", true},
                                               {"に", false}};
    QTest::newRow("other languages whole") << "Hello there" << "" << Script::None
                                           << Pieces{{"Hello there", false}};
}

void TestReadingText::pieces()
{
    QFETCH(QString, reading);
    QFETCH(QString, sources);
    QFETCH(Script, script);
    QFETCH(Pieces, expected);

    Pieces got;
    for (const ReadingText::Piece &piece : ReadingText::pieces(reading, sources, script))
        got.append({piece.text, piece.fromUser});
    QCOMPARE(got, expected);
}

void TestReadingText::scriptOfVoice_data()
{
    QTest::addColumn<QString>("voice");
    QTest::addColumn<Script>("script");

    QTest::newRow("mainland Mandarin") << "zh-CN-XiaoxiaoNeural" << Script::Pinyin;
    QTest::newRow("Taiwan Mandarin") << "zh-TW-HsiaoChenNeural" << Script::Pinyin;
    QTest::newRow("Cantonese has no pinyin") << "zh-HK-Female1" << Script::None;
    QTest::newRow("Japanese") << "ja-JP-Female1" << Script::Kana;
    QTest::newRow("English") << "en-US-Female1" << Script::None;
    QTest::newRow("nothing chosen") << "" << Script::None;
}

void TestReadingText::scriptOfVoice()
{
    QFETCH(QString, voice);
    QFETCH(Script, script);
    QCOMPARE(ReadingText::scriptOfVoice(voice), script);
}

void TestReadingText::toKatakana()
{
    QCOMPARE(ReadingText::toKatakana("とうきょう"), QString("トウキョウ"));
    QCOMPARE(ReadingText::toKatakana("ゔぁいおりん"), QString("ヴァイオリン"));
    QCOMPARE(ReadingText::toKatakana("トーキョー"), QString("トーキョー"));
    QCOMPARE(ReadingText::toKatakana("東京へ"), QString("東京ヘ"));
}

QTEST_GUILESS_MAIN(TestReadingText)
#include "test_readingtext.moc"
