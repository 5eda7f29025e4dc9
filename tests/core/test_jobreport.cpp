#include "JobReport.h"

#include <QtTest>

using Failed = QVector<JobReport::FailedPassage>;
Q_DECLARE_METATYPE(Failed)

// What the user reads about a job: the overlay's count, the failure list,
// and how often the count may change.
class TestJobReport : public QObject
{
    Q_OBJECT

private slots:
    void renderingText_data();
    void renderingText();
    void excerpt_data();
    void excerpt();
    void failureText_data();
    void failureText();
    void progressDelay_data();
    void progressDelay();
};

void TestJobReport::renderingText_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("expected");

    QTest::newRow("start") << 0 << 308 << "多线程合成中，请稍等（0/308）";
    QTest::newRow("under way") << 12 << 308 << "多线程合成中，请稍等（12/308）";
    QTest::newRow("all reported") << 10000 << 10000 << "多线程合成中，请稍等（10000/10000）";
}

void TestJobReport::renderingText()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(QString, expected);
    QCOMPARE(JobReport::renderingText(done, total), expected);
}

void TestJobReport::excerpt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");

    QTest::newRow("short text whole") << "你好" << 12 << "你好";
    QTest::newRow("exactly the length, no mark") << "一二三四五六七八九十一二" << 12 << "一二三四五六七八九十一二";
    QTest::newRow("longer: cut and marked") << "一二三四五六七八九十一二三" << 12 << "一二三四五六七八九十一二…";
    QTest::newRow("English counts characters") << "Hello, world" << 5 << "Hello…";
    // U+1F600 and U+20000 are surrogate pairs in UTF-16: one character each, never split.
    QTest::newRow("pair at the cut stays whole")
        << QString::fromUtf8("ab\xF0\x9F\x98\x80" "cd") << 3 << QString::fromUtf8("ab\xF0\x9F\x98\x80…");
    QTest::newRow("pairs count once")
        << QString::fromUtf8("\xF0\xA0\x80\x80\xF0\xA0\x80\x80x") << 2 << QString::fromUtf8("\xF0\xA0\x80\x80\xF0\xA0\x80\x80…");
    QTest::newRow("empty") << "" << 12 << "";
}

void TestJobReport::excerpt()
{
    QFETCH(QString, text);
    QFETCH(int, length);
    QFETCH(QString, expected);
    QCOMPARE(JobReport::excerpt(text, length), expected);
}

void TestJobReport::failureText_data()
{
    QTest::addColumn<Failed>("failures");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one") << Failed{{3, "第三段的文字", "声音不存在", "合成结果"}}
                         << "部分配音合成失败：1\n第3段「第三段的文字」：声音不存在";
    QTest::newRow("listed in script order whatever the order they failed in")
        << Failed{{7, "七", "语音服务无响应", "接口错误"}, {2, "二", "声音不存在", "合成结果"}}
        << "部分配音合成失败：2\n第2段「二」：声音不存在\n第7段「七」：语音服务无响应";
    QTest::newRow("no message: the caption stands in")
        << Failed{{1, "一", "", "合成结果"}} << "部分配音合成失败：1\n第1段「一」：合成结果";
    QTest::newRow("neither") << Failed{{1, "一", " ", ""}} << "部分配音合成失败：1\n第1段「一」：未知原因";
    QTest::newRow("long text is cut")
        << Failed{{4, "这是一段很长很长的文字，超过了十二个字", "语音服务无响应", "接口错误"}}
        << "部分配音合成失败：1\n第4段「这是一段很长很长的文字，…」：语音服务无响应";
    QTest::newRow("a percent sign in the text is kept")
        << Failed{{1, "100%1成功", "%2 出错", "合成结果"}} << "部分配音合成失败：1\n第1段「100%1成功」：%2 出错";

    Failed five;
    Failed six;
    QString fiveLines;
    for (int i = 1; i <= 6; ++i) {
        const JobReport::FailedPassage failure{i * 10, QStringLiteral("第%1句").arg(i), QStringLiteral("错误%1").arg(i), "合成结果"};
        six.append(failure);
        if (i <= 5) {
            five.append(failure);
            fiveLines += QStringLiteral("\n第%1段「第%2句」：错误%2").arg(i * 10).arg(i);
        }
    }
    QTest::newRow("five: all named, no 等") << five << "部分配音合成失败：5" + fiveLines;
    QTest::newRow("six: five named, then 等") << six << "部分配音合成失败：6" + fiveLines + "\n等";
}

void TestJobReport::failureText()
{
    QFETCH(Failed, failures);
    QFETCH(QString, expected);
    QCOMPARE(JobReport::failureText(failures), expected);
}

void TestJobReport::progressDelay_data()
{
    QTest::addColumn<qint64>("since");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("right after the last update: wait the rest") << qint64(0) << 5 << 100 << qint64(100);
    QTest::newRow("part of the interval gone") << qint64(30) << 5 << 100 << qint64(70);
    QTest::newRow("a whole interval gone: now") << qint64(100) << 5 << 100 << qint64(0);
    QTest::newRow("long quiet: now") << qint64(5000) << 5 << 100 << qint64(0);
    QTest::newRow("the last report never waits") << qint64(1) << 100 << 100 << qint64(0);
    QTest::newRow("a clock that went back waits one interval at most") << qint64(-50) << 5 << 100 << qint64(100);
}

void TestJobReport::progressDelay()
{
    QFETCH(qint64, since);
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(qint64, expected);
    QCOMPARE(JobReport::progressDelayMs(since, done, total, 100), expected);
}

QTEST_GUILESS_MAIN(TestJobReport)
#include "test_jobreport.moc"
