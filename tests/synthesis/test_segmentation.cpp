#include "Segmentation.h"

#include <QJsonObject>
#include <QtTest>

using Segment = QPair<QString, QString>; // text, voice
using Segments = QList<Segment>;
Q_DECLARE_METATYPE(Segments)

namespace {
const QString chooser = QStringLiteral("zh-CN-YunyangNeural");
const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");
const QString yunxi = QStringLiteral("zh-CN-YunxiNeural");
}

// Cutting the script into segments: a pure function of the script and the settings.
class TestSegmentation : public QObject
{
    Q_OBJECT

private slots:
    void segments_data();
    void segments();
    void header_data();
    void header();
    void reportsChooserVoiceUse_data();
    void reportsChooserVoiceUse();
};

void TestSegmentation::segments_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<Segments>("expected");

    // Tags are written with nicknames (晓晓, 云溪) and come back as identifiers.
    QTest::newRow("worked example")
        << "Hello「晓晓」one「」two「云溪」three「」"
        << Segments{{"Hello", chooser}, {"one", xiaoxiao}, {"two", chooser}, {"three", yunxi}};
    QTest::newRow("empty script") << "" << Segments{};
    QTest::newRow("only line breaks and commas") << "\n\n，\n，，\n" << Segments{};
    QTest::newRow("no tag: whole folded text, end markers kept")
        << "第一行\n\n第二行「」第三，，，行\n"
        << Segments{{"第一行，第二行「」第三，行，", chooser}};
    QTest::newRow("end marker before the first tag stays in the text")
        << "a「」b「晓晓」c「」"
        << Segments{{"a「」b", chooser}, {"c", xiaoxiao}};
    QTest::newRow("script starting with a tag") << "「晓晓」c「」" << Segments{{"c", xiaoxiao}};
    QTest::newRow("tag without end marker runs to the next tag")
        << "「晓晓」a\nb「云溪」c"
        << Segments{{"a，b", xiaoxiao}, {"c", yunxi}};
    QTest::newRow("tag without end marker runs to the end")
        << "x「云溪」y\n\nz" << Segments{{"x", chooser}, {"y，z", yunxi}};
    QTest::newRow("piece that is only a line break is dropped")
        << "「晓晓」a「」\n「云溪」b「」\n"
        << Segments{{"a", xiaoxiao}, {"b", yunxi}};
    QTest::newRow("a single space is a segment")
        << "「晓晓」a「」 「云溪」b「」"
        << Segments{{"a", xiaoxiao}, {" ", chooser}, {"b", yunxi}};
    QTest::newRow("commas at the edges are kept")
        << "\n「晓晓」\na\n「」" << Segments{{"，a，", xiaoxiao}};
    QTest::newRow("identifier and unknown names pass unchanged")
        << "「en-US-AriaNeural」a「」「无名氏」b"
        << Segments{{"a", "en-US-AriaNeural"}, {"b", "无名氏"}};
    QTest::newRow("every piece after the first end marker goes to the chooser")
        << "「晓晓」a「」b「」c「」d「云溪」e"
        << Segments{{"a", xiaoxiao}, {"b", chooser}, {"c", chooser}, {"d", chooser}, {"e", yunxi}};
    QTest::newRow("empty and comma pieces between end markers are skipped")
        << "「晓晓」a「」「」\n「」d"
        << Segments{{"a", xiaoxiao}, {"d", chooser}};
    QTest::newRow("tagged passage that is empty yields nothing, its tail still does")
        << "「晓晓」「」b" << Segments{{"b", chooser}};
}

void TestSegmentation::segments()
{
    QFETCH(QString, script);
    QFETCH(Segments, expected);

    Segmentation::Input input;
    input.script = script;
    input.rateText = "0%";
    input.volumeText = "0%";
    input.chooserVoice = chooser;
    input.audioDir = "/w/audio/";
    input.startMsecs = 42;
    const QJsonArray list = Segmentation::buildSegmentList(input);

    QCOMPARE(list.size(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i) {
        const QJsonObject record = list.at(i + 1).toObject();
        QCOMPARE(record.size(), 3);
        QCOMPARE(record.value("text").toString(), expected[i].first);
        QCOMPARE(record.value("name").toString(), expected[i].second);
        QCOMPARE(record.value("fileName").toString(), QString::number(i + 1));
    }
}

void TestSegmentation::header_data()
{
    QTest::addColumn<QString>("rateText");
    QTest::addColumn<QString>("volumeText");
    QTest::addColumn<QString>("rates");
    QTest::addColumn<QString>("volumes");

    QTest::newRow("zero") << "0%" << "0%" << "+0%" << "+0%";
    QTest::newRow("lowest and highest") << "-100%" << "100%" << "-100%" << "+100%";
    QTest::newRow("mixed") << "25%" << "-5%" << "+25%" << "-5%";
}

void TestSegmentation::header()
{
    QFETCH(QString, rateText);
    QFETCH(QString, volumeText);
    QFETCH(QString, rates);
    QFETCH(QString, volumes);

    Segmentation::Input input;
    input.script = "x";
    input.rateText = rateText;
    input.volumeText = volumeText;
    input.chooserVoice = chooser;
    input.audioDir = "/w/audio/";
    input.startMsecs = 1681600000123;
    const QJsonObject header = Segmentation::buildSegmentList(input).at(0).toObject();

    QCOMPARE(header.size(), 3);
    QCOMPARE(header.value("rates").toString(), rates);
    QCOMPARE(header.value("volumes").toString(), volumes);
    QCOMPARE(header.value("path").toString(), QString("/w/audio/1681600000123/"));
}

void TestSegmentation::reportsChooserVoiceUse_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("uses");

    QTest::newRow("empty") << "" << false;
    QTest::newRow("fully tagged") << "「晓晓」a「」\n「云溪」b「」\n" << false;
    QTest::newRow("text before a tag") << "a「晓晓」b" << true;
    QTest::newRow("no tag") << "a" << true;
    QTest::newRow("text after an end marker") << "「晓晓」a「」b" << true;
}

void TestSegmentation::reportsChooserVoiceUse()
{
    QFETCH(QString, script);
    QFETCH(bool, uses);

    Segmentation::Input input;
    input.script = script;
    input.audioDir = "/w/audio/";
    bool used = !uses;
    Segmentation::buildSegmentList(input, &used);
    QCOMPARE(used, uses);
}

QTEST_GUILESS_MAIN(TestSegmentation)
#include "test_segmentation.moc"
