#include "CueFit.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(CueFit::Change)

// The rules of fitting cues into their slots, as plain functions.
class TestCueFit : public QObject
{
    Q_OBJECT

private slots:
    void speechIn_data();
    void speechIn();
    void slotLimits_data();
    void slotLimits();
    void maxRate_data();
    void maxRate();
    void fittingRate_data();
    void fittingRate();
    void reportText_data();
    void reportText();
};

void TestCueFit::speechIn_data()
{
    QTest::addColumn<QByteArray>("srt");
    QTest::addColumn<bool>("found");
    QTest::addColumn<qint64>("lead");
    QTest::addColumn<qint64>("end");

    QTest::newRow("one cue") << QByteArray("1\n00:00:00,120 --> 00:00:02,400\n你好\n") << true << qint64(120)
                             << qint64(2400);
    QTest::newRow("phrases, CRLF") << QByteArray("1\r\n00:00:00,080 --> 00:00:01,000\r\n一\r\n\r\n2\r\n"
                                                 "00:00:01,300 --> 00:00:03,250\r\n二\r\n")
                                   << true << qint64(80) << qint64(3250);
    QTest::newRow("no cue") << QByteArray("") << false << qint64(0) << qint64(0);
    QTest::newRow("not subtitles") << QByteArray("ID3\x03garbage") << false << qint64(0) << qint64(0);
}

void TestCueFit::speechIn()
{
    QFETCH(QByteArray, srt);
    QFETCH(bool, found);
    QFETCH(qint64, lead);
    QFETCH(qint64, end);

    QTemporaryDir dir;
    const QString path = dir.filePath("1.srt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(srt);
    file.close();

    const auto speech = CueFit::speechIn(path);
    QCOMPARE(bool(speech), found);
    if (speech) {
        QCOMPARE(speech->leadMs, lead);
        QCOMPARE(speech->endMs, end);
        QCOMPARE(speech->lengthMs(), end - lead);
    }
    QVERIFY(!CueFit::speechIn(dir.filePath("missing.srt")));
}

void TestCueFit::slotLimits_data()
{
    QTest::addColumn<QVector<qint64>>("starts");
    QTest::addColumn<QVector<qint64>>("leads");
    QTest::addColumn<QVector<qint64>>("expected");

    QTest::newRow("the last has no limit") << QVector<qint64>{5000} << QVector<qint64>{0} << QVector<qint64>{-1};
    QTest::newRow("until the next, less the tail and its lead")
        << QVector<qint64>{0, 3000, 3500} << QVector<qint64>{100, 40, 0}
        << QVector<qint64>{3000 - CueFit::kTailMs - 100, 500 - CueFit::kTailMs - 40, -1};
    QTest::newRow("cues that start together leave nothing")
        << QVector<qint64>{1000, 1000} << QVector<qint64>{0, 0} << QVector<qint64>{0, -1};
    QTest::newRow("no times") << QVector<qint64>{} << QVector<qint64>{} << QVector<qint64>{};
}

void TestCueFit::slotLimits()
{
    QFETCH(QVector<qint64>, starts);
    QFETCH(QVector<qint64>, leads);
    QFETCH(QVector<qint64>, expected);
    QCOMPARE(CueFit::slotsMs(starts, leads), expected);
}

void TestCueFit::maxRate_data()
{
    QTest::addColumn<int>("plan");
    QTest::addColumn<int>("expected");
    QTest::newRow("normal speed") << 0 << 50;
    QTest::newRow("already faster") << 20 << 80;
    QTest::newRow("slower") << -50 << -25;
    QTest::newRow("near the service's top") << 150 << 200;
    QTest::newRow("at the top") << 200 << 200;
}

void TestCueFit::maxRate()
{
    QFETCH(int, plan);
    QFETCH(int, expected);
    QCOMPARE(CueFit::maxRate(plan), expected);
}

void TestCueFit::fittingRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("speech");
    QTest::addColumn<qint64>("slot");
    QTest::addColumn<int>("expected");

    QTest::newRow("fits") << 0 << qint64(2000) << qint64(2000) << 0;
    QTest::newRow("no limit") << 0 << qint64(90000) << qint64(-1) << 0;
    // 2400 ms into 2000: 1.2 times the speed, +20%, and a little more.
    QTest::newRow("a fifth too long") << 0 << qint64(2400) << qint64(2000) << 23;
    QTest::newRow("from a faster plan") << 20 << qint64(2200) << qint64(2000) << 35;
    QTest::newRow("never past the ceiling") << 0 << qint64(6000) << qint64(2000) << 50;
    QTest::newRow("no room at all") << 0 << qint64(1000) << qint64(0) << 50;
    QTest::newRow("a hair too long is still faster") << 0 << qint64(2001) << qint64(2000) << 4;
    QTest::newRow("at the ceiling already") << 50 << qint64(3000) << qint64(2000) << 50;
}

void TestCueFit::fittingRate()
{
    QFETCH(int, rate);
    QFETCH(qint64, speech);
    QFETCH(qint64, slot);
    QFETCH(int, expected);
    QCOMPARE(CueFit::fittingRate(rate, speech, slot, 50), expected);
}

void TestCueFit::reportText_data()
{
    QTest::addColumn<QVector<CueFit::Change>>("changes");
    QTest::addColumn<QStringList>("skipped");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing") << QVector<CueFit::Change>{} << QStringList{} << QString();
    QTest::newRow("a change that changed nothing") << QVector<CueFit::Change>{{4, false, 0, 0}} << QStringList{}
                                                   << QString();
    QTest::newRow("sped up, shifted, both")
        << QVector<CueFit::Change>{{3, true, 35, 0}, {5, false, 0, 420}, {7, true, 50, 1200}} << QStringList{}
        << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n"
                          "第 3 条字幕：语速加快到 +35%\n"
                          "第 5 条字幕：推后 0.42 秒\n"
                          "第 7 条字幕：语速加快到 +50%，推后 1.20 秒");
    QTest::newRow("text before the first cue") << QVector<CueFit::Change>{{0, true, 10, 0}} << QStringList{}
                                               << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n"
                                                                 "第一条字幕前的文字：语速加快到 +10%");
    QTest::newRow("skipped lines only") << QVector<CueFit::Change>{} << QStringList{"第 2 行：坏"}
                                        << QStringLiteral("以下行没有配音：\n第 2 行：坏");
    QTest::newRow("both") << QVector<CueFit::Change>{{1, false, 0, 50}} << QStringList{"第 9 行：坏"}
                          << QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 1 条字幕：推后 0.05 秒\n\n"
                                            "以下行没有配音：\n第 9 行：坏");
}

void TestCueFit::reportText()
{
    QFETCH(QVector<CueFit::Change>, changes);
    QFETCH(QStringList, skipped);
    QFETCH(QString, expected);
    QCOMPARE(CueFit::reportText(changes, skipped), expected);
}

QTEST_GUILESS_MAIN(TestCueFit)
#include "test_cuefit.moc"
