#include "ScriptFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

using ScriptFile::Encoding;
Q_DECLARE_METATYPE(ScriptFile::Encoding)

// Reading scripts in the encodings users' editors write, and writing them
// so that the old file survives anything short of a finished save. The byte
// sequences are written out by hand from the encodings' tables.
class TestScriptFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void decode_data();
    void decode();
    void encodeIsUtf8WithoutMark();
    void readFailures_data();
    void readFailures();
    void writeCreatesAndReplaces();
    void writeNeverTouchesTheOldFileInPlace();
    void failedWriteLeavesEverythingAsItWas_data();
    void failedWriteLeavesEverythingAsItWas();
    void roundTrip();

private:
    QString path(const QString &name) const { return m_dir->path() + "/" + name; }
    static void writeBytes(const QString &path, const QByteArray &bytes);
    static QByteArray readBytes(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestScriptFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestScriptFile::writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray TestScriptFile::readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void TestScriptFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Encoding>("encoding");

    const QString nihao = QStringLiteral("你好");
    QTest::newRow("UTF-8") << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD") << true << nihao << Encoding::Utf8;
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD") << true << nihao
                                     << Encoding::Utf8Bom;
    QTest::newRow("UTF-16 little-endian with mark") << QByteArray("\xFF\xFE\x60\x4F\x7D\x59", 6) << true << nihao
                                                     << Encoding::Utf16LE;
    QTest::newRow("UTF-16 big-endian with mark") << QByteArray("\xFE\xFF\x4F\x60\x59\x7D", 6) << true << nihao
                                                  << Encoding::Utf16BE;
    QTest::newRow("UTF-16 with ASCII (NUL bytes are fine there)")
        << QByteArray("\xFF\xFE" "a\0b\0", 6) << true << "ab" << Encoding::Utf16LE;
    QTest::newRow("GB18030 (GBK range)") << QByteArray("\xC4\xE3\xBA\xC3") << true << nihao << Encoding::Gb18030;
    QTest::newRow("GB18030 with ASCII and a line break")
        << QByteArray("\xD6\xD0\xCE\xC4\r\nabc") << true << QStringLiteral("中文\r\nabc") << Encoding::Gb18030;
    QTest::newRow("GB18030 four-byte sequence") << QByteArray("\x81\x30\x81\x30") << true << QString(QChar(0x80))
                                                << Encoding::Gb18030;
    QTest::newRow("plain ASCII reads as UTF-8") << QByteArray("Hello\n") << true << "Hello\n" << Encoding::Utf8;
    QTest::newRow("empty file") << QByteArray() << true << "" << Encoding::Utf8;
    QTest::newRow("byte that no encoding has") << QByteArray("abc\xFF") << false << "" << Encoding::Gb18030;
    QTest::newRow("GB18030 cut short at the end") << QByteArray("ab\xC4") << false << "" << Encoding::Gb18030;
    QTest::newRow("GB18030 four-byte sequence cut short") << QByteArray("ab\x81\x30") << false << ""
                                                          << Encoding::Gb18030;
    QTest::newRow("NUL without UTF-16 mark is no text") << QByteArray("ab\0cd", 5) << false << "" << Encoding::Gb18030;
    QTest::newRow("UTF-16 cut in the middle of a unit") << QByteArray("\xFF\xFE\x60\x4F\x7D", 5) << false << ""
                                                        << Encoding::Utf16LE;
    QTest::newRow("broken UTF-8 after a mark") << QByteArray("\xEF\xBB\xBF\xE4\xBD") << false << ""
                                               << Encoding::Utf8Bom;
}

void TestScriptFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QString, text);
    QFETCH(Encoding, encoding);

    const ScriptFile::Decoded decoded = ScriptFile::decode(bytes);
    QCOMPARE(decoded.ok, ok);
    QCOMPARE(decoded.text, text);
    QCOMPARE(decoded.encoding, encoding);
}

void TestScriptFile::encodeIsUtf8WithoutMark()
{
    QCOMPARE(ScriptFile::encode(QStringLiteral("你好\n")), QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD\n"));
}

void TestScriptFile::readFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("errorStart");

    QTest::newRow("missing") << "missing" << "文件不存在";
    QTest::newRow("a folder") << "folder" << "不是文件";
    QTest::newRow("far too large") << "large" << "文件过大";
    QTest::newRow("not text") << "binary" << "无法识别文件的编码";
}

void TestScriptFile::readFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, errorStart);

    const QString target = path("script.txt");
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(target));
    } else if (kind == "large") {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(ScriptFile::maxBytes + 1)); // sparse: no disk is used
    } else if (kind == "binary") {
        writeBytes(target, QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
    }

    const ScriptFile::ReadResult result = ScriptFile::read(target);
    QVERIFY(!result.ok);
    QVERIFY(result.text.isEmpty());
    QVERIFY2(result.error.startsWith(errorStart), qPrintable(result.error));
    QVERIFY2(result.error.contains(target), qPrintable(result.error));
}

void TestScriptFile::writeCreatesAndReplaces()
{
    const QString target = path("script.txt");
    QString error;
    QVERIFY(ScriptFile::writeAtomically(target, "first", &error));
    QCOMPARE(readBytes(target), QByteArray("first"));
    QVERIFY(ScriptFile::writeAtomically(target, "second, longer", &error));
    QCOMPARE(readBytes(target), QByteArray("second, longer"));
    QVERIFY(ScriptFile::writeAtomically(target, "", &error));
    QCOMPARE(readBytes(target), QByteArray());
    // Nothing left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"script.txt"});
}

// A second name for the old file keeps the old bytes: the save wrote a new
// file and renamed it over the old name, rather than cutting the old file
// short and writing into it (which a crash halfway would leave empty).
void TestScriptFile::writeNeverTouchesTheOldFileInPlace()
{
    const QString target = path("script.txt");
    const QString second = path("second-name.txt");
    writeBytes(target, "old script");
    QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(second).constData()), 0);

    QVERIFY(ScriptFile::writeAtomically(target, "new script"));
    QCOMPARE(readBytes(target), QByteArray("new script"));
    QCOMPARE(readBytes(second), QByteArray("old script"));
}

void TestScriptFile::failedWriteLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("a folder in the file's place") << "folder";
}

void TestScriptFile::failedWriteLeavesEverythingAsItWas()
{
    QFETCH(QString, kind);
    writeBytes(path("other.txt"), "untouched");
    QString target = path("missing/script.txt");
    if (kind == "folder") {
        target = path("taken");
        QVERIFY(QDir().mkpath(target));
    }
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    QString error;
    QVERIFY(!ScriptFile::writeAtomically(target, "never written", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QCOMPARE(readBytes(path("other.txt")), QByteArray("untouched"));
}

void TestScriptFile::roundTrip()
{
    const QString script = QStringLiteral("「晓晓」第一段，你好。「」\n第二段：English too.\n\n𠀀 and 😀\n");
    const QString target = path("round.txt");
    QVERIFY(ScriptFile::writeAtomically(target, ScriptFile::encode(script)));
    const ScriptFile::ReadResult result = ScriptFile::read(target);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.text, script);
    QCOMPARE(result.encoding, Encoding::Utf8);
}

QTEST_GUILESS_MAIN(TestScriptFile)
#include "test_scriptfile.moc"
