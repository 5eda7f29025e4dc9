#include "Segmentation.h"
#include "VoiceCatalogue.h"
#include "VoiceRecords.h"
#include "VoiceNaming.h"

#include <QJsonDocument>
#include <QSet>
#include <QtTest>

using VoiceFixtures::neuralRecord;
using VoiceFixtures::neuralVoices;
using VoiceFixtures::record;

// The naming tables, their lookups and the grouping into the catalogue.
class TestVoiceNaming : public QObject
{
    Q_OBJECT

private slots:
    void tablesHaveTheirRows();
    void lookups_data();
    void lookups();
    void lookupTakesTheFirstMatchingRow();
    void grouping_data();
    void grouping();
    void currentVoiceGroupFollowsTheIndex();
    void neuralNames_data();
    void neuralNames();
    void modelOfDisplayName_data();
    void modelOfDisplayName();
    void tagsOfAHundredVoicesSegment();
};

void TestVoiceNaming::tablesHaveTheirRows()
{
    const auto &locales = VoiceNaming::localeTable();
    QCOMPARE(locales.keys.size(), 140);
    QCOMPARE(locales.values.size(), 140);
    QCOMPARE(locales.keys.first(), QStringLiteral("af-ZA"));
    QCOMPARE(locales.keys.last(), QStringLiteral("zu-ZA"));
    // Grouping relies on distinct codes having distinct display names.
    QCOMPARE(QSet<QString>(locales.keys.begin(), locales.keys.end()).size(), 140);
    QCOMPARE(QSet<QString>(locales.values.begin(), locales.values.end()).size(), 140);
    QStringList selfNamed;
    for (int i = 0; i < locales.keys.size(); ++i) {
        if (locales.keys[i] == locales.values[i])
            selfNamed.append(locales.keys[i]);
        // Display names use ASCII parentheses with no blank before them.
        QVERIFY2(!locales.values[i].contains(QChar(0xFF08)) && !locales.values[i].contains(" ("),
                 qPrintable(locales.values[i]));
    }
    QCOMPARE(selfNamed, (QStringList{"en-KE", "es-CU", "es-GQ", "jv-ID", "my-MM", "so-SO", "su-ID", "ta-LK",
                                     "ta-MY", "ta-SG", "ur-IN"}));

    QCOMPARE(VoiceNaming::nicknameTable().keys,
             (QStringList{"zh-CN-YunyangNeural", "zh-CN-YunxiaNeural", "zh-CN-YunxiNeural", "zh-CN-YunjianNeural",
                          "zh-CN-XiaoyiNeural", "zh-CN-XiaoxiaoNeural", "zh-TW-HsiaoChenNeural", "zh-TW-YunJheNeural",
                          "zh-TW-HsiaoYuNeural"}));
    QCOMPARE(VoiceNaming::nicknameTable().values,
             (QStringList{"云杨", "云夏", "云溪", "云健", "晓伊", "晓晓", "晓臻", "云哲", "晓雨"}));
    QCOMPARE(VoiceNaming::genderTable().keys, (QStringList{"Female", "Male"}));
    QCOMPARE(VoiceNaming::genderTable().values, (QStringList{"女声", "男声"}));
}

void TestVoiceNaming::lookups_data()
{
    QTest::addColumn<QString>("lookup");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("locale zh-CN") << "locale" << "zh-CN" << "汉语(大陆)";
    QTest::newRow("locale first row") << "locale" << "af-ZA" << "南非荷兰语(南非)";
    QTest::newRow("locale last row") << "locale" << "zu-ZA" << "祖鲁语";
    QTest::newRow("locale three-part code") << "locale" << "zh-CN-liaoning" << "汉语(东北)";
    QTest::newRow("locale three-letter language") << "locale" << "fil-PH" << "菲律宾语";
    QTest::newRow("locale en-US") << "locale" << "en-US" << "英语(美国)";
    QTest::newRow("locale long name") << "locale" << "es-VE" << "西班牙语(委内瑞拉玻利瓦尔)";
    QTest::newRow("locale maps to itself") << "locale" << "en-KE" << "en-KE";
    QTest::newRow("locale unknown") << "locale" << "xx-YY" << "xx-YY";
    QTest::newRow("locale case-sensitive") << "locale" << "zh-cn" << "zh-cn";
    QTest::newRow("locale empty") << "locale" << "" << "";

    QTest::newRow("nickname Xiaoxiao") << "nickname" << "zh-CN-XiaoxiaoNeural" << "晓晓";
    QTest::newRow("nickname HsiaoChen") << "nickname" << "zh-TW-HsiaoChenNeural" << "晓臻";
    QTest::newRow("nickname YunJhe") << "nickname" << "zh-TW-YunJheNeural" << "云哲";
    QTest::newRow("nickname HsiaoYu") << "nickname" << "zh-TW-HsiaoYuNeural" << "晓雨";
    QTest::newRow("no nickname for the north-eastern voice") << "nickname" << "zh-CN-liaoning-XiaobeiNeural"
                                                             << "zh-CN-liaoning-XiaobeiNeural";
    QTest::newRow("locale zh-TW") << "locale" << "zh-TW" << "汉语(台湾)";
    QTest::newRow("nickname Yunxi not Yunxia") << "nickname" << "zh-CN-YunxiNeural" << "云溪";
    QTest::newRow("nickname none") << "nickname" << "en-US-AriaNeural" << "en-US-AriaNeural";

    QTest::newRow("identifier of 晓晓") << "identifier" << "晓晓" << "zh-CN-XiaoxiaoNeural";
    QTest::newRow("identifier of 晓雨") << "identifier" << "晓雨" << "zh-TW-HsiaoYuNeural";
    QTest::newRow("identifier of 云夏") << "identifier" << "云夏" << "zh-CN-YunxiaNeural";
    QTest::newRow("identifier without nickname") << "identifier" << "en-US-AriaNeural" << "en-US-AriaNeural";
    QTest::newRow("identifier is not a forward lookup") << "identifier" << "zh-CN-XiaoxiaoNeural"
                                                        << "zh-CN-XiaoxiaoNeural";

    QTest::newRow("gender Female") << "gender" << "Female" << "女声";
    QTest::newRow("gender Male") << "gender" << "Male" << "男声";
    QTest::newRow("gender Neutral") << "gender" << "Neutral" << "Neutral";
    QTest::newRow("gender lower case") << "gender" << "female" << "female";
}

void TestVoiceNaming::lookups()
{
    QFETCH(QString, lookup);
    QFETCH(QString, input);
    QFETCH(QString, expected);

    QString actual;
    if (lookup == "locale")
        actual = VoiceNaming::localeDisplayName(input);
    else if (lookup == "nickname")
        actual = VoiceNaming::voiceNickname(input);
    else if (lookup == "identifier")
        actual = VoiceNaming::voiceIdentifier(input);
    else
        actual = VoiceNaming::genderDisplayName(input);
    QCOMPARE(actual, expected);
}

void TestVoiceNaming::lookupTakesTheFirstMatchingRow()
{
    using VoiceNaming::Direction;
    const QStringList keys{"a", "b", "a"};
    const QStringList values{"1", "2", "2"};
    QCOMPARE(VoiceNaming::lookup("a", keys, values, Direction::Forward), QStringLiteral("1"));
    QCOMPARE(VoiceNaming::lookup("2", keys, values, Direction::Reverse), QStringLiteral("b"));
    QCOMPARE(VoiceNaming::lookup("c", keys, values, Direction::Forward), QStringLiteral("c"));
}

namespace {
QString groupsText(const QList<QJsonArray> &groups)
{
    QStringList parts;
    for (const QJsonArray &group : groups)
        parts.append(QString::fromUtf8(QJsonDocument(group).toJson(QJsonDocument::Compact)));
    return parts.join('\n');
}

QJsonObject entry(const QString &name, const QString &gender, const QString &voice)
{
    return QJsonObject{{"name", name}, {"gender", gender}, {"voice", voice}};
}
} // namespace

void TestVoiceNaming::grouping_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<QStringList>("localeNames");
    QTest::addColumn<QList<QJsonArray>>("groups");
    QTest::addColumn<int>("currentIndex");

    const QJsonObject a = record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural");
    const QJsonObject b = record("Male", "zh-CN", "zh-CN-YunxiNeural");
    const QJsonObject c = record("Female", "en-US", "en-US-AriaNeural");
    const QJsonObject ea = entry("晓晓", "女声", "zh-CN-XiaoxiaoNeural");
    const QJsonObject eb = entry("云溪", "男声", "zh-CN-YunxiNeural");
    const QJsonObject ec = entry("en-US-AriaNeural", "女声", "en-US-AriaNeural");

    QTest::newRow("zh-CN first") << QJsonArray{a, b, c} << 0 << QStringList{"汉语(大陆)", "英语(美国)"}
                                 << QList<QJsonArray>{{ea, eb}, {ec}} << 0;
    QTest::newRow("zh-CN second") << QJsonArray{c, a} << 0 << QStringList{"英语(美国)", "汉语(大陆)"}
                                  << QList<QJsonArray>{{ec}, {ea}} << 1;
    QTest::newRow("zh-CN third, after a self-named locale")
        << QJsonArray{record("Male", "en-KE", "en-KE-ChilembaNeural"), c, a} << 0
        << QStringList{"en-KE", "英语(美国)", "汉语(大陆)"}
        << QList<QJsonArray>{{entry("en-KE-ChilembaNeural", "男声", "en-KE-ChilembaNeural")}, {ec}, {ea}} << 2;
    QTest::newRow("no zh-CN keeps the index") << QJsonArray{c} << 0 << QStringList{"英语(美国)"}
                                              << QList<QJsonArray>{{ec}} << 0;
    QTest::newRow("zh-CN-liaoning is not mainland")
        << QJsonArray{record("Female", "zh-CN-liaoning", "zh-CN-liaoning-XiaobeiNeural")} << 0
        << QStringList{"汉语(东北)"}
        << QList<QJsonArray>{{entry("zh-CN-liaoning-XiaobeiNeural", "女声", "zh-CN-liaoning-XiaobeiNeural")}} << 0;
    QTest::newRow("zh-TW under its Chinese name")
        << QJsonArray{record("Female", "zh-TW", "zh-TW-HsiaoChenNeural"), record("Male", "zh-TW", "zh-TW-YunJheNeural"),
                      record("Female", "zh-TW", "zh-TW-HsiaoYuNeural")}
        << 0 << QStringList{"汉语(台湾)"}
        << QList<QJsonArray>{{entry("晓臻", "女声", "zh-TW-HsiaoChenNeural"), entry("云哲", "男声", "zh-TW-YunJheNeural"),
                              entry("晓雨", "女声", "zh-TW-HsiaoYuNeural")}}
        << 0;
    QTest::newRow("single record") << QJsonArray{a} << 0 << QStringList{"汉语(大陆)"}
                                   << QList<QJsonArray>{{ea}} << 0;
    QTest::newRow("unknown code and gender")
        << QJsonArray{record("Neutral", "xx-YY", "xx-YY-TestNeural")} << 0 << QStringList{"xx-YY"}
        << QList<QJsonArray>{{entry("xx-YY-TestNeural", "Neutral", "xx-YY-TestNeural")}} << 0;
    QTest::newRow("empty list leaves the index") << QJsonArray{} << 3 << QStringList{} << QList<QJsonArray>{} << 3;
    // A locale listed in two runs keeps one name and one group, so the two
    // lists stay in step.
    QTest::newRow("locale in two runs") << QJsonArray{a, c, b} << 0 << QStringList{"汉语(大陆)", "英语(美国)"}
                                        << QList<QJsonArray>{{ea, eb}, {ec}} << 0;
}

void TestVoiceNaming::grouping()
{
    QFETCH(QJsonArray, records);
    QFETCH(int, startIndex);
    QFETCH(QStringList, localeNames);
    QFETCH(QList<QJsonArray>, groups);
    QFETCH(int, currentIndex);

    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    catalogue.setCurrentLocaleIndex(startIndex);
    catalogue.groupVoices(records);

    QCOMPARE(catalogue.localeNames(), localeNames);
    QCOMPARE(groupsText(catalogue.voiceGroups()), groupsText(groups));
    QCOMPARE(catalogue.voiceGroups().size(), catalogue.localeNames().size());
    QCOMPARE(catalogue.currentLocaleIndex(), currentIndex);
    catalogue.reset();
}

void TestVoiceNaming::currentVoiceGroupFollowsTheIndex()
{
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    QVERIFY(catalogue.currentVoiceGroup().isEmpty());

    catalogue.groupVoices({record("Female", "en-US", "en-US-AriaNeural"), record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural")});
    QCOMPARE(catalogue.currentVoiceGroup(), (QJsonArray{entry("晓晓", "女声", "zh-CN-XiaoxiaoNeural")}));
    // The chooser's voice is the service's identifier, not the nickname shown.
    QCOMPARE(catalogue.currentVoice(0), QStringLiteral("zh-CN-XiaoxiaoNeural"));
    QCOMPARE(catalogue.currentVoice(1), QString());
    QCOMPARE(catalogue.currentVoice(-1), QString());
    catalogue.setCurrentLocaleIndex(0);
    QCOMPARE(catalogue.currentVoiceGroup(), (QJsonArray{entry("en-US-AriaNeural", "女声", "en-US-AriaNeural")}));
    QCOMPARE(catalogue.currentVoice(0), QStringLiteral("en-US-AriaNeural"));
    // A chooser with no current item (-1) or a stale index reads as no voices.
    catalogue.setCurrentLocaleIndex(-1);
    QVERIFY(catalogue.currentVoiceGroup().isEmpty());
    QCOMPARE(catalogue.currentVoice(0), QString());
    catalogue.setCurrentLocaleIndex(2);
    QVERIFY(catalogue.currentVoiceGroup().isEmpty());
    catalogue.reset();
}

// A neural voice is named by the service; the catalogue shows that name and
// maps it back for tags, unless another voice already answers to it.
void TestVoiceNaming::neuralNames_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<QStringList>("chooser");   // chooserText of the last locale's entries
    QTest::addColumn<QStringList>("models");    // their `model` ("-" for an espeak voice)
    QTest::addColumn<QStringList>("resolves");  // "name>identifier" pairs of voiceIdentifier

    const QJsonObject xiaoxiao = record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural");

    QTest::newRow("gender word dropped from the name, back in the chooser")
        << QJsonArray{xiaoxiao, neuralRecord("Female", "zh-CN", "zh-CN-BiaobeiS000", "标贝 000 女声"),
                      neuralRecord("Male", "zh-CN", "zh-CN-AishellS001", "Aishell3 001 男声")}
        << QStringList{"晓晓 女声", "标贝 000 女声", "Aishell3 001 男声"} << QStringList{"-", "标贝", "Aishell3"}
        << QStringList{"标贝 000>zh-CN-BiaobeiS000", "Aishell3 001>zh-CN-AishellS001", "晓晓>zh-CN-XiaoxiaoNeural",
                       "zh-CN-BiaobeiS000>zh-CN-BiaobeiS000"};
    QTest::newRow("a name without gender word keeps it whole")
        << QJsonArray{neuralRecord("Female", "zh-CN", "zh-CN-MyVoiceS000", "小美")} << QStringList{"小美 女声"}
        << QStringList{""} << QStringList{"小美>zh-CN-MyVoiceS000"};
    QTest::newRow("gender word of the other gender stays")
        << QJsonArray{neuralRecord("Male", "zh-CN", "zh-CN-OddS000", "奇怪 000 女声")} << QStringList{"奇怪 000 女声 男声"}
        << QStringList{"奇怪"} << QStringList{"奇怪 000 女声>zh-CN-OddS000"};
    QTest::newRow("a name taken twice: the second voice keeps its identifier")
        << QJsonArray{neuralRecord("Female", "zh-CN", "zh-CN-AS000", "模型 000 女声"),
                      neuralRecord("Female", "zh-CN", "zh-CN-BS000", "模型 000 女声")}
        << QStringList{"模型 000 女声", "zh-CN-BS000 女声"} << QStringList{"模型", "模型"}
        << QStringList{"模型 000>zh-CN-AS000", "zh-CN-BS000>zh-CN-BS000"};
    QTest::newRow("a nickname is not given to a neural voice")
        << QJsonArray{xiaoxiao, neuralRecord("Female", "zh-CN", "zh-CN-CopyS000", "晓晓 女声")}
        << QStringList{"晓晓 女声", "zh-CN-CopyS000 女声"} << QStringList{"-", ""}
        << QStringList{"晓晓>zh-CN-XiaoxiaoNeural"};
    QTest::newRow("names that look like identifiers or break tags are not used")
        << QJsonArray{neuralRecord("Female", "en-US", "en-US-XS000", "en-US-AriaNeural"),
                      neuralRecord("Female", "en-US", "en-US-YS000", "a」b 000 女声"),
                      neuralRecord("Female", "en-US", "en-US-ZS000", "  ")}
        << QStringList{"en-US-XS000 女声", "en-US-YS000 女声", "en-US-ZS000 女声"} << QStringList{"", "a」b", ""}
        << QStringList{"en-US-AriaNeural>en-US-AriaNeural", "a」b 000>a」b 000"};
}

void TestVoiceNaming::neuralNames()
{
    QFETCH(QJsonArray, records);
    QFETCH(QStringList, chooser);
    QFETCH(QStringList, models);
    QFETCH(QStringList, resolves);

    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    catalogue.groupVoices(records);
    const QJsonArray group = catalogue.voiceGroups().last();
    QStringList texts;
    QStringList groups;
    for (const QJsonValue &value : group) {
        texts.append(VoiceCatalogue::chooserText(value.toObject()));
        groups.append(value.toObject().contains("model") ? value.toObject().value("model").toString() : "-");
    }
    QCOMPARE(texts, chooser);
    QCOMPARE(groups, models);
    for (const QString &pair : resolves)
        QCOMPARE(catalogue.voiceIdentifier(pair.section('>', 0, 0)), pair.section('>', 1));
    // Entries without a display name look exactly as they always did.
    for (const QJsonValue &value : group)
        if (!value.toObject().contains("model"))
            QCOMPARE(value.toObject().keys(), (QStringList{"gender", "name", "voice"}));
    catalogue.reset();
    QCOMPARE(catalogue.voiceIdentifier(QStringLiteral("标贝 000")), QStringLiteral("标贝 000"));
}

void TestVoiceNaming::modelOfDisplayName_data()
{
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("model");

    QTest::newRow("model, number, gender") << "标贝 001 女声" << "标贝";
    QTest::newRow("model of two words") << "Kokoro 中文 012 男声" << "Kokoro 中文";
    QTest::newRow("no number") << "小美" << "";
    QTest::newRow("number first") << "001 女声" << "";
    QTest::newRow("digits inside a word") << "Piper zh_CN 3 女声" << "Piper zh_CN";
}

void TestVoiceNaming::modelOfDisplayName()
{
    QFETCH(QString, displayName);
    QFETCH(QString, model);
    QCOMPARE(VoiceCatalogue::modelOf(displayName), model);
}

// One Kokoro model brings a hundred speakers to one locale: every one of
// them can be tagged, and its tag comes back as its identifier.
void TestVoiceNaming::tagsOfAHundredVoicesSegment()
{
    QJsonArray records = VoiceFixtures::voiceList(7);
    for (const QJsonValue &v : neuralVoices("zh-CN", "Kokoro", "Kokoro", 103))
        records.append(v);
    for (const QJsonValue &v : neuralVoices("en-US", "Kokoro", "Kokoro", 20))
        records.append(v);
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    catalogue.groupVoices(records);
    QCOMPARE(catalogue.localeNames(), (QStringList{"汉语(大陆)", "英语(美国)"}));
    QCOMPARE(catalogue.currentVoiceGroup().size(), 110);

    // The same display name in two locales: the first keeps it.
    QCOMPARE(catalogue.voiceGroups().at(1).at(0).toObject().value("name").toString(), QStringLiteral("en-US-KokoroS000"));

    const QString script = QStringLiteral("旁白「Kokoro 102」第一句「」「晓晓」第二句「」「Kokoro 000」第三句「」「en-US-KokoroS005」four「」");
    const QVector<Passage> passages = Segmentation::passages(script, QStringLiteral("zh-CN-XiaoyiNeural"));
    QStringList voices;
    for (const Passage &p : passages)
        voices.append(p.text + ":" + p.voice);
    QCOMPARE(voices, (QStringList{"旁白:zh-CN-XiaoyiNeural", "第一句:zh-CN-KokoroS102", "第二句:zh-CN-XiaoxiaoNeural",
                                  "第三句:zh-CN-KokoroS000", "four:en-US-KokoroS005"}));
    catalogue.reset();
}

QTEST_GUILESS_MAIN(TestVoiceNaming)
#include "test_voicenaming.moc"
