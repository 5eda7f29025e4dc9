#include "LexiconEdit.h"

#include <QtTest>

#include <sys/stat.h>

// Setting one entry of the user's lexicon.txt: the rest of the file, the
// user's own lines and comments, stays byte for byte.
class TestLexiconEdit : public QObject
{
    Q_OBJECT

private slots:
    void withEntry_data();
    void withEntry();
    void writesAMissingFile();
    void replacesTheFileWholeAndAtOnce();
    void writesThroughALink();
    void refusesWhatWouldMakeOtherLines_data();
    void refusesWhatWouldMakeOtherLines();
    void leavesTheFileAloneWhenItCannotWrite();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name = QStringLiteral("lexicon.txt")) const { return m_dir.filePath(name); }
    static QByteArray read(const QString &file);
    static void write(const QString &file, const QByteArray &content);
};

QByteArray TestLexiconEdit::read(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void TestLexiconEdit::write(const QString &file, const QByteArray &content)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(content), qint64(content.size()));
}

void TestLexiconEdit::withEntry_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray bom("\xEF\xBB\xBF");

    QTest::newRow("empty file") << QByteArray() << "重庆" << "zhong4 qing4" << QByteArray("重庆\tzhong4 qing4\n");
    QTest::newRow("appended after the user's lines")
        << QByteArray("# 我的读音\n银行\tyin2 hang2\n\n") << "重庆" << "zhong4 qing4"
        << QByteArray("# 我的读音\n银行\tyin2 hang2\n\n重庆\tzhong4 qing4\n");
    QTest::newRow("replaced in its place")
        << QByteArray("# 方言\n重庆\tchong2 qing4\n银行\tyin2 hang2\n") << "重庆" << "zhong4 qing4"
        << QByteArray("# 方言\n重庆\tzhong4 qing4\n银行\tyin2 hang2\n");
    QTest::newRow("later lines for the word go")
        << QByteArray("重庆\tchong2 qing4\n银行\tyin2 hang2\n重庆\tchong4 qing4\n") << "重庆" << "zhong4 qing4"
        << QByteArray("重庆\tzhong4 qing4\n银行\tyin2 hang2\n");
    QTest::newRow("blanks around the word in the file")
        << QByteArray(" 重庆 \tchong2 qing4  \n") << "重庆" << "zhong4 qing4"
        << QByteArray("重庆\tzhong4 qing4\n");
    QTest::newRow("a broken line for the word is replaced")
        << QByteArray("重庆\txyz\n") << "重庆" << "zhong4 qing4" << QByteArray("重庆\tzhong4 qing4\n");
    QTest::newRow("a commented-out entry stays")
        << QByteArray("#重庆\tchong2 qing4\n") << "重庆" << "zhong4 qing4"
        << QByteArray("#重庆\tchong2 qing4\n重庆\tzhong4 qing4\n");
    QTest::newRow("a longer word stays")
        << QByteArray("重庆市\tchong2 qing4 shi4\n") << "重庆" << "zhong4 qing4"
        << QByteArray("重庆市\tchong2 qing4 shi4\n重庆\tzhong4 qing4\n");
    QTest::newRow("the kana entry of the same word stays")
        << QByteArray("東京\tとうきょう\n") << "東京" << "dong1 jing1"
        << QByteArray("東京\tとうきょう\n東京\tdong1 jing1\n");
    QTest::newRow("a kana entry replaces a kana entry")
        << QByteArray("東京\tdong1 jing1\n東京\tとうきょう\n") << "東京" << "トーキョー"
        << QByteArray("東京\tdong1 jing1\n東京\tトーキョー\n");
    QTest::newRow("no line end at the end")
        << QByteArray("银行\tyin2 hang2") << "重庆" << "zhong4 qing4"
        << QByteArray("银行\tyin2 hang2\n重庆\tzhong4 qing4\n");
    QTest::newRow("CRLF file: appended with CRLF")
        << QByteArray("# 注释\r\n银行\tyin2 hang2\r\n") << "重庆" << "zhong4 qing4"
        << QByteArray("# 注释\r\n银行\tyin2 hang2\r\n重庆\tzhong4 qing4\r\n");
    QTest::newRow("CRLF file: replaced keeping its line end")
        << QByteArray("重庆\tchong2 qing4\r\n银行\tyin2 hang2\r\n") << "重庆" << "zhong4 qing4"
        << QByteArray("重庆\tzhong4 qing4\r\n银行\tyin2 hang2\r\n");
    QTest::newRow("the last line replaced without a line end")
        << QByteArray("银行\tyin2 hang2\n重庆\tchong2 qing4") << "重庆" << "zhong4 qing4"
        << QByteArray("银行\tyin2 hang2\n重庆\tzhong4 qing4");
    QTest::newRow("a BOM alone") << bom << "重庆" << "zhong4 qing4" << bom + "重庆\tzhong4 qing4\n";
    QTest::newRow("a BOM stays in front")
        << bom + "重庆\tchong2 qing4\n" << "重庆" << "zhong4 qing4" << bom + "重庆\tzhong4 qing4\n";
    QTest::newRow("lines that are not UTF-8 and odd spacing stay")
        << QByteArray("\xFF\xFE\n   \n\t\n#\n银行 yin2 hang2\n") << "重庆" << "zhong4 qing4"
        << QByteArray("\xFF\xFE\n   \n\t\n#\n银行 yin2 hang2\n重庆\tzhong4 qing4\n");
}

void TestLexiconEdit::withEntry()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, word);
    QFETCH(QString, reading);
    QFETCH(QByteArray, expected);

    QCOMPARE(LexiconEdit::withEntry(content, word, reading), expected);
    // Setting it again changes nothing more.
    QCOMPARE(LexiconEdit::withEntry(expected, word, reading), expected);
}

void TestLexiconEdit::writesAMissingFile()
{
    QFile::remove(path());
    const LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(path(), QStringLiteral("重庆"), QStringLiteral("zhong4 qing4"));
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QCOMPARE(read(path()), QByteArray("重庆\tzhong4 qing4\n"));
}

void TestLexiconEdit::replacesTheFileWholeAndAtOnce()
{
    const QByteArray old("# 我的读音\n重庆\tchong2 qing4\n银行\tyin2 hang2\n");
    write(path(), old);
    QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));

    // A reader that opened the file before the save, as the service may
    // have, goes on reading the old file whole: the new one is a new file
    // put in its place, never the old one rewritten.
    QFile before(path());
    QVERIFY(before.open(QIODevice::ReadOnly));
    struct stat oldStat;
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &oldStat), 0);

    const LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(path(), QStringLiteral("重庆"), QStringLiteral("zhong4 qing4"));
    QVERIFY2(outcome.ok, qPrintable(outcome.error));

    QCOMPARE(before.readAll(), old);
    struct stat newStat;
    QCOMPARE(::stat(QFile::encodeName(path()).constData(), &newStat), 0);
    QVERIFY(newStat.st_ino != oldStat.st_ino);
    QCOMPARE(read(path()), QByteArray("# 我的读音\n重庆\tzhong4 qing4\n银行\tyin2 hang2\n"));
    // The user's permissions survive the replacement.
    QCOMPARE(QFile::permissions(path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions(QFileDevice::ReadGroup));
    // Nothing is left beside it.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lexicon.txt"});
}

void TestLexiconEdit::writesThroughALink()
{
    // A lexicon kept elsewhere and linked into the working folder stays linked.
    QVERIFY(QDir(m_dir.path()).mkpath("kept"));
    const QString target = m_dir.filePath("kept/mine.txt");
    write(target, "银行\tyin2 hang2\n");
    const QString link = path("linked.txt");
    QVERIFY(QFile::link(target, link));

    const LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(link, QStringLiteral("重庆"), QStringLiteral("zhong4 qing4"));
    QVERIFY2(outcome.ok, qPrintable(outcome.error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(read(target), QByteArray("银行\tyin2 hang2\n重庆\tzhong4 qing4\n"));
}

void TestLexiconEdit::refusesWhatWouldMakeOtherLines_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("error");

    QTest::newRow("a tab in the word") << "重\t庆" << "zhong4 qing4" << "词和读音中不能有制表符或换行";
    QTest::newRow("a line break in the reading") << "重庆" << "zhong4\n# qing4" << "词和读音中不能有制表符或换行";
    QTest::newRow("a carriage return") << "重庆\r" << "zhong4 qing4" << "词和读音中不能有制表符或换行";
    QTest::newRow("an empty word") << "  " << "zhong4" << "词和读音都不能为空";
    QTest::newRow("an empty reading") << "重庆" << "" << "词和读音都不能为空";
    QTest::newRow("a word that reads as a comment") << "#重庆" << "zhong4 qing4" << "词不能以“#”开头，那样的行是注释";
}

void TestLexiconEdit::refusesWhatWouldMakeOtherLines()
{
    QFETCH(QString, word);
    QFETCH(QString, reading);
    QFETCH(QString, error);

    const QByteArray old("银行\tyin2 hang2\n");
    write(path(), old);
    const LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(path(), word, reading);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.error, error);
    QCOMPARE(read(path()), old);
}

void TestLexiconEdit::leavesTheFileAloneWhenItCannotWrite()
{
    // A folder where the file should be: neither readable as a file nor replaceable.
    const QString blocked = path("blocked.txt");
    QVERIFY(QDir(m_dir.path()).mkpath("blocked.txt/inside"));
    LexiconEdit::Outcome outcome = LexiconEdit::writeEntry(blocked, QStringLiteral("重庆"), QStringLiteral("zhong4 qing4"));
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.error.startsWith(QStringLiteral("无法读取 blocked.txt：")) ||
                 outcome.error.startsWith(QStringLiteral("无法写入 blocked.txt：")),
             qPrintable(outcome.error));
    QVERIFY(QFileInfo(blocked).isDir());
    QVERIFY(QFileInfo(blocked + "/inside").isDir());

    // A folder that does not exist.
    outcome = LexiconEdit::writeEntry(m_dir.filePath("missing/lexicon.txt"), QStringLiteral("重庆"),
                                      QStringLiteral("zhong4 qing4"));
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.error.startsWith(QStringLiteral("无法写入 lexicon.txt：")), qPrintable(outcome.error));
    QVERIFY(!QFileInfo::exists(m_dir.filePath("missing")));
}

QTEST_GUILESS_MAIN(TestLexiconEdit)
#include "test_lexiconedit.moc"
