#include "ServiceContract.h"

#include <QtTest>

#include <set>
#include <string>

// What program and service agree on: the formats each side writes and the
// other reads, and the locale table both take their rows from.
class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void endpointsAndFields();
    void percentText_data();
    void percentText();
    void percentParsing_data();
    void percentParsing();
    void pause_data();
    void pause();
    void audioList();
    void timeList_data();
    void timeList();
    void flag_data();
    void flag();
    void blankText_data();
    void blankText();
    void localeTable();
    void espeakLanguages_data();
    void espeakLanguages();
};

void TestContract::endpointsAndFields()
{
    QCOMPARE(contract::route(contract::endpoint::getVoices), std::string("/getVoices"));
    QCOMPARE(contract::route(contract::endpoint::ttsCommunicate), std::string("/ttsCommunicate"));
    QCOMPARE(contract::route(contract::endpoint::audioCombined), std::string("/audioCombined"));
    QCOMPARE(contract::route(contract::endpoint::ttsReading), std::string("/ttsReading"));
    QCOMPARE(contract::route(contract::endpoint::audioTimeline), std::string("/audioTimeline"));

    QStringList tts;
    for (const char *name : contract::ttsCommunicateFields)
        tts.append(name);
    QCOMPARE(tts, (QStringList{"text", "voice", "rates", "volumes", "write_media", "write_subtitles"}));
    QStringList join;
    for (const char *name : contract::audioCombinedFields)
        join.append(name);
    QCOMPARE(join, (QStringList{"audio", "path", "dura"}));
    QStringList reading;
    for (const char *name : contract::ttsReadingFields)
        reading.append(name);
    QCOMPARE(reading, (QStringList{"text", "voice"}));
    // Optional, after the six fields of a render; and what a reading's data holds.
    QCOMPARE(QString(contract::field::reading), QString("reading"));
    QCOMPARE(QString(contract::reading::reading), QString("reading"));
    QCOMPARE(QString(contract::reading::phonemes), QString("phonemes"));
    QCOMPARE(QString(contract::reading::sources), QString("sources"));
    QVERIFY(contract::reading::fromUser != contract::reading::fromData);
    QStringList timeline;
    for (const char *name : contract::audioTimelineFields)
        timeline.append(name);
    QCOMPARE(timeline, (QStringList{"audio", "starts", "path"}));
    QCOMPARE(QString(contract::field::ends), QString("ends"));
    QCOMPARE(QString(contract::field::outputEnd), QString("end"));
    QCOMPARE(QString(contract::field::wav), QString("wav"));
    QCOMPARE(contract::envelope::success, 1);
    QVERIFY(contract::envelope::failure != contract::envelope::success);
}

void TestContract::percentText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero carries a plus") << 0 << "+0%";
    QTest::newRow("positive") << 25 << "+25%";
    QTest::newRow("negative") << -30 << "-30%";
    QTest::newRow("bottom of the rate box") << -100 << "-100%";
    QTest::newRow("top of the service's rate") << 200 << "+200%";
}

void TestContract::percentText()
{
    QFETCH(int, value);
    QFETCH(QString, text);

    QCOMPARE(QString::fromStdString(contract::percentText(value)), text);
    QCOMPARE(contract::parsePercent(text.toStdString(), contract::rateMin, contract::rateMax).value_or(999), value);
}

void TestContract::percentParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // 999: refused

    QTest::newRow("no sign") << "5%" << 999;
    QTest::newRow("no percent sign") << "+5" << 999;
    QTest::newRow("four digits") << "+1000%" << 999;
    QTest::newRow("two signs") << "+-5%" << 999;
    QTest::newRow("not a digit") << "+5a%" << 999;
    QTest::newRow("sign alone") << "+%" << 999;
    QTest::newRow("empty") << "" << 999;
    QTest::newRow("above the range") << "+201%" << 999;
    QTest::newRow("below the range") << "-101%" << 999;
    QTest::newRow("leading zeros") << "+007%" << 7;
    QTest::newRow("minus zero") << "-0%" << 0;
}

void TestContract::percentParsing()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(contract::parsePercent(text.toStdString(), contract::rateMin, contract::rateMax).value_or(999), value);
}

void TestContract::pause_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: refused

    QTest::newRow("none") << "0" << 0;
    QTest::newRow("the pause box's step") << "1500" << 1500;
    QTest::newRow("the most") << QString::number(contract::pauseMaxMs) << contract::pauseMaxMs;
    QTest::newRow("past the most") << QString::number(contract::pauseMaxMs + 1) << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("exponent") << "1e3" << -1;
    QTest::newRow("seven digits") << "0000001" << -1;
}

void TestContract::pause()
{
    QFETCH(QString, text);
    QFETCH(int, value);

    QCOMPARE(contract::parsePause(text.toStdString()).value_or(-1), value);
    if (value >= 0 && !text.startsWith('0'))
        QCOMPARE(QString::fromStdString(contract::pauseText(value)), text);
}

void TestContract::audioList()
{
    std::string list;
    for (const char *path : {"/w/audio/1/1.mp3", "/w/audio/1/2 二.mp3", "/w/audio/1/3.mp3"})
        contract::appendToAudioList(list, path);
    QCOMPARE(list, std::string("/w/audio/1/1.mp3?/w/audio/1/2 二.mp3?/w/audio/1/3.mp3?"));
    QCOMPARE(contract::splitAudioList(list),
             (std::vector<std::string>{"/w/audio/1/1.mp3", "/w/audio/1/2 二.mp3", "/w/audio/1/3.mp3"}));
    QCOMPARE(contract::splitAudioList("a??b"), (std::vector<std::string>{"a", "b"}));
    QVERIFY(contract::splitAudioList("?").empty());
}

void TestContract::timeList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("times"); // as parsed, blank-separated; "bad" when refused

    QTest::newRow("one") << "0" << "0";
    QTest::newRow("several") << "0,2500,6000" << "0 2500 6000";
    QTest::newRow("out of order is the service's to judge") << "5000,1000" << "5000 1000";
    QTest::newRow("a day") << "86400000" << "86400000";
    QTest::newRow("past a day") << "86400001" << "bad";
    QTest::newRow("empty") << "" << "bad";
    QTest::newRow("empty piece") << "0,,1" << "bad";
    QTest::newRow("trailing separator") << "0,1," << "bad";
    QTest::newRow("blank") << "0, 1" << "bad";
    QTest::newRow("sign") << "+5" << "bad";
    QTest::newRow("thirteen digits") << "0000000000001" << "bad";
    QTest::newRow("the audio list's separator") << "0?1" << "bad";
}

void TestContract::timeList()
{
    QFETCH(QString, text);
    QFETCH(QString, times);

    const auto parsed = contract::parseTimeList(text.toStdString());
    QCOMPARE(parsed.has_value(), times != "bad");
    if (!parsed)
        return;
    QStringList got;
    std::string written;
    for (std::int64_t t : *parsed) {
        got << QString::number(t);
        contract::appendToTimeList(written, t);
    }
    QCOMPARE(got.join(' '), times);
    QCOMPARE(QString::fromStdString(written), text);
    // A single time reads the same way.
    if (parsed->size() == 1)
        QCOMPARE(contract::parseTime(text.toStdString()), std::optional<std::int64_t>(parsed->front()));
}

void TestContract::flag_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: refused

    QTest::newRow("on") << "1" << 1;
    QTest::newRow("off") << "0" << 0;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("words") << "true" << -1;
    QTest::newRow("two") << "2" << -1;
    QTest::newRow("padded") << "01" << -1;
}

void TestContract::flag()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const auto parsed = contract::parseFlag(text.toStdString());
    QCOMPARE(parsed.has_value(), value >= 0);
    if (parsed) {
        QCOMPARE(int(*parsed), value);
        QCOMPARE(QString::fromStdString(contract::flagText(*parsed)), text);
    }
}

void TestContract::blankText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blank");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("space") << " " << true;
    QTest::newRow("tab, CR, LF") << "\t\r\n" << true;
    QTest::newRow("a letter") << " a " << false;
    QTest::newRow("a comma") << "，" << false;
}

void TestContract::blankText()
{
    QFETCH(QString, text);
    QFETCH(bool, blank);
    QCOMPARE(contract::isBlankText(text.toStdString()), blank);
}

void TestContract::localeTable()
{
    QCOMPARE(contract::localeCount, std::size_t(140));
    std::set<std::string> codes;
    std::string previous;
    int withLanguage = 0;
    for (const contract::Locale &locale : contract::locales) {
        const std::string code = locale.code;
        QVERIFY2(codes.insert(code).second, locale.code);
        // The program's order: by code.
        QVERIFY2(previous < code, locale.code);
        previous = code;
        QVERIFY2(*locale.chineseName, locale.code);
        const std::string language = locale.espeakLanguage;
        if (!language.empty())
            ++withLanguage;
        for (char c : language)
            QVERIFY2((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-', locale.code);
    }
    QCOMPARE(withLanguage, 71);
    QCOMPARE(QString::fromUtf8(contract::findLocale("zh-TW")->chineseName), QStringLiteral("汉语(台湾)"));
    QVERIFY(!contract::findLocale("zh-tw"));
    QVERIFY(!contract::findLocale(""));
}

void TestContract::espeakLanguages_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("language");

    QTest::newRow("mainland Mandarin") << "zh-CN" << "cmn";
    QTest::newRow("Taiwan Mandarin") << "zh-TW" << "cmn";
    QTest::newRow("Cantonese") << "zh-HK" << "yue";
    QTest::newRow("US English") << "en-US" << "en-us";
    QTest::newRow("British English") << "en-GB" << "en-gb";
    QTest::newRow("Latin American Spanish") << "es-MX" << "es-419";
    QTest::newRow("Spanish of Spain") << "es-ES" << "es";
    QTest::newRow("Brazilian Portuguese") << "pt-BR" << "pt-br";
    QTest::newRow("Japanese") << "ja-JP" << "ja";
    QTest::newRow("Arabic of Saudi Arabia") << "ar-SA" << "ar";
    QTest::newRow("Egyptian Arabic has no voice") << "ar-EG" << "";
    QTest::newRow("north-eastern Mandarin has no voice") << "zh-CN-liaoning" << "";
    QTest::newRow("Swahili of Kenya") << "sw-KE" << "sw";
}

void TestContract::espeakLanguages()
{
    QFETCH(QString, code);
    QFETCH(QString, language);

    const contract::Locale *locale = contract::findLocale(code.toStdString());
    QVERIFY(locale);
    QCOMPARE(QString::fromUtf8(locale->espeakLanguage), language);
}

QTEST_APPLESS_MAIN(TestContract)
#include "test_contract.moc"
