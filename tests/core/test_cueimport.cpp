#include "CueImport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using CueImport::Notice;
Q_DECLARE_METATYPE(Notice::Level)

namespace {

SubtitleImport::Issue issue(SubtitleImport::Problem problem, const QString &id, int line)
{
    SubtitleImport::Issue i;
    i.problem = problem;
    i.id = id;
    i.line = line;
    return i;
}

} // namespace

// What an import of subtitles puts in the editor and tells the user.
class TestCueImport : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void issueList_data();
    void issueList();
    void importFile_data();
    void importFile();
    void droppedSubtitle_data();
    void droppedSubtitle();
};

void TestCueImport::outcome_data()
{
    QTest::addColumn<QString>("srt");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("script");
    QTest::addColumn<Notice::Level>("level");
    QTest::addColumn<QString>("text");

    const QString good = "1\n00:00:01,000 --> 00:00:02,500\n你好\n\n"
                         "2\n00:00:03,000 --> 00:00:04,000\n<i>世界</i>\n";
    const QString goodLines = "[00:00:01,000 --> 00:00:02,500] 你好\n[00:00:03,000 --> 00:00:04,000] 世界";

    QTest::newRow("every cue usable: no box") << good << true << goodLines << Notice::Level::None << "";
    QTest::newRow("a cue whose time cannot be read is named, the rest imports")
        << good + "\n3\n00:00:0x,000 --> 00:00:06,000\n坏\n" << true << goodLines << Notice::Level::Warning
        << "已导入 2 条字幕，1 条无法使用：\n字幕 3（第 9 行）：时间无法识别，已跳过";
    QTest::newRow("overlapping cues import and are told as information")
        << "1\n00:00:01,000 --> 00:00:03,000\n甲\n\n2\n00:00:02,000 --> 00:00:04,000\n乙\n" << true
        << "[00:00:01,000 --> 00:00:03,000] 甲\n[00:00:02,000 --> 00:00:04,000] 乙" << Notice::Level::Information
        << "1 处字幕时间重叠，已照常导入：\n字幕 2（第 5 行）与字幕 1（第 1 行）的时间重叠";
    QTest::newRow("skipped and overlapping in one warning")
        << "1\n00:00:01,000 --> 00:00:03,000\n甲\n\n2\n00:00:02,000 --> 00:00:04,000\n乙\n\n"
           "3\n00:00:09,000 --> 00:00:08,000\n丙\n"
        << true << "[00:00:01,000 --> 00:00:03,000] 甲\n[00:00:02,000 --> 00:00:04,000] 乙" << Notice::Level::Warning
        << "已导入 2 条字幕，1 条无法使用：\n字幕 3（第 9 行）：结束时间早于开始时间，已跳过\n\n"
           "1 处字幕时间重叠，已照常导入：\n字幕 2（第 5 行）与字幕 1（第 1 行）的时间重叠";
    QTest::newRow("no usable cue leaves the script alone")
        << "7\n00:00:05,000 --> 00:00:01,000\n倒了\n" << false << "" << Notice::Level::Warning
        << "片头.srt 中没有可导入的字幕，文案未改动。\n\n1 条字幕无法使用：\n字幕 7（第 1 行）：结束时间早于开始时间，已跳过";
    QTest::newRow("an empty file leaves the script alone")
        << "" << false << "" << Notice::Level::Warning << "片头.srt 中没有可导入的字幕，文案未改动。";
}

void TestCueImport::outcome()
{
    QFETCH(QString, srt);
    QFETCH(bool, replace);
    QFETCH(QString, script);
    QFETCH(Notice::Level, level);
    QFETCH(QString, text);

    const CueImport::Outcome out = CueImport::outcome(SubtitleImport::parseSrt(srt), "/some/where/片头.srt");
    QCOMPARE(out.replace, replace);
    QCOMPARE(out.script, script);
    QCOMPARE(out.notice.level, level);
    QCOMPARE(out.notice.text, text);
    QCOMPARE(out.notice.title, level == Notice::Level::None ? QString() : QString("导入字幕"));
}

void TestCueImport::issueList_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("maxListed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << 0 << 10 << "";
    QTest::newRow("one") << 1 << 10 << "字幕 1（第 4 行）：没有文字，已跳过";
    QTest::newRow("exactly as many as listed: no 等") << 2 << 2
                                                     << "字幕 1（第 4 行）：没有文字，已跳过\n"
                                                        "字幕 2（第 8 行）：没有文字，已跳过";
    QTest::newRow("more than listed: the total after 等") << 3 << 2
                                                        << "字幕 1（第 4 行）：没有文字，已跳过\n"
                                                           "字幕 2（第 8 行）：没有文字，已跳过\n等，共 3 条";
}

void TestCueImport::issueList()
{
    QFETCH(int, count);
    QFETCH(int, maxListed);
    QFETCH(QString, expected);

    QVector<SubtitleImport::Issue> issues;
    for (int i = 1; i <= count; ++i)
        issues.append(issue(SubtitleImport::Problem::NoText, QString::number(i), 4 * i));
    QCOMPARE(CueImport::issueList(issues, maxListed), expected);
}

void TestCueImport::importFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // empty: the file is not there
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("textStart");

    QTest::newRow("SRT with BOM and CRLF")
        << "a.srt" << QByteArray("\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n") << true << "";
    QTest::newRow("LRC") << "b.LRC" << QByteArray("[00:01.00]一\n[00:03.50]二\n") << true << "";
    QTest::newRow("missing file") << "missing.srt" << QByteArray() << false << "无法读取字幕文件：";
    QTest::newRow("not a subtitle type") << "c.txt" << QByteArray("1\n") << false << "不支持的字幕格式：c.txt";
}

void TestCueImport::importFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, replace);
    QFETCH(QString, textStart);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (!bytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const CueImport::Outcome out = CueImport::importFile(path);
    QCOMPARE(out.replace, replace);
    if (replace) {
        QVERIFY(out.script.startsWith("[00:00:01,000 --> 00:00:0"));
        QVERIFY2(!out.script.contains('\r') && !out.script.contains(QChar(0xFEFF)), qPrintable(out.script));
        QCOMPARE(out.notice.level, Notice::Level::None);
    } else {
        QVERIFY(out.script.isEmpty());
        QCOMPARE(out.notice.level, Notice::Level::Warning);
        QCOMPARE(out.notice.title, QString("导入字幕"));
        QVERIFY2(out.notice.text.startsWith(textStart), qPrintable(out.notice.text));
    }
}

void TestCueImport::droppedSubtitle_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("expected");

    const QUrl srt = QUrl::fromLocalFile("/tmp/字幕.srt");
    QTest::newRow("one SRT") << QList<QUrl>{srt} << "/tmp/字幕.srt";
    QTest::newRow("suffix in capitals") << QList<QUrl>{QUrl::fromLocalFile("/tmp/A.VTT")} << "/tmp/A.VTT";
    QTest::newRow("LRC") << QList<QUrl>{QUrl::fromLocalFile("/tmp/song.lrc")} << "/tmp/song.lrc";
    QTest::newRow("a text file") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.txt")} << "";
    QTest::newRow("no suffix") << QList<QUrl>{QUrl::fromLocalFile("/tmp/srt")} << "";
    QTest::newRow("two subtitle files") << QList<QUrl>{srt, QUrl::fromLocalFile("/tmp/b.srt")} << "";
    QTest::newRow("a web address") << QList<QUrl>{QUrl("https://example.org/a.srt")} << "";
    QTest::newRow("nothing") << QList<QUrl>{} << "";
}

void TestCueImport::droppedSubtitle()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, expected);
    QCOMPARE(CueImport::droppedSubtitle(urls), expected);
}

QTEST_GUILESS_MAIN(TestCueImport)
#include "test_cueimport.moc"
