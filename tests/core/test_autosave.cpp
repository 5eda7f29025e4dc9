#include "Autosave.h"
#include "ServiceContract.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Autosave::Session;
Q_DECLARE_METATYPE(Session)
Q_DECLARE_METATYPE(std::optional<Session>)

namespace {

Session fullSession()
{
    Session session;
    session.locale = QStringLiteral("中文(普通话，简体)");
    session.voice = QStringLiteral("zh-CN-YunxiNeural");
    session.rate = -25;
    session.volume = 10;
    session.pauseMs = 1500;
    session.writeWav = true;
    return session;
}

} // namespace

// What is kept across runs, and that nothing on disk can make the start fail.
class TestAutosave : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void sessionRoundTrip();
    void decodeSession_data();
    void decodeSession();
    void scriptRoundTrip_data();
    void scriptRoundTrip();
    void nothingSaved();
    void damagedFilesAreIgnored_data();
    void damagedFilesAreIgnored();
    void savingReplacesAtomically();

private:
    QString folder() const { return m_dir->path() + "/"; }
    void writeBytes(const QString &name, const QByteArray &bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAutosave::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestAutosave::writeBytes(const QString &name, const QByteArray &bytes)
{
    QFile file(folder() + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestAutosave::sessionRoundTrip()
{
    QCOMPARE(Autosave::decodeSession(Autosave::encodeSession(fullSession())), std::optional<Session>(fullSession()));
    QCOMPARE(Autosave::decodeSession(Autosave::encodeSession(Session())), std::optional<Session>(Session()));
    QVERIFY(Autosave::saveSession(folder(), fullSession()));
    QCOMPARE(Autosave::loadSession(folder()), std::optional<Session>(fullSession()));
}

void TestAutosave::decodeSession_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<Session>("expected"); // when readable

    Session onlyRate;
    onlyRate.rate = 20;
    Session edges;
    edges.rate = contract::rateMin;
    edges.volume = contract::volumeMax;
    edges.pauseMs = contract::pagePauseMaxMs;

    QTest::newRow("every field") << Autosave::encodeSession(fullSession()) << true << fullSession();
    QTest::newRow("empty object") << QByteArray("{}") << true << Session();
    QTest::newRow("fields it does not know are skipped") << QByteArray(R"({"rate":20,"colour":"red"})") << true
                                                         << onlyRate;
    QTest::newRow("range edges") << QStringLiteral(R"({"rate":%1,"volume":%2,"pauseMs":%3})")
                                        .arg(contract::rateMin)
                                        .arg(contract::volumeMax)
                                        .arg(contract::pagePauseMaxMs)
                                        .toUtf8()
                                 << true << edges;
    QTest::newRow("out of range or of the wrong type: unset")
        << QByteArray(R"({"rate":20,"volume":101,"pauseMs":-1,"locale":7,"voice":null})") << true << onlyRate;
    Session wavOff;
    wavOff.writeWav = false;
    QTest::newRow("WAV switched off is kept as off") << QByteArray(R"({"writeWav":false})") << true << wavOff;
    QTest::newRow("a WAV switch that is no boolean: unset")
        << QByteArray(R"({"rate":20,"writeWav":1})") << true << onlyRate;
    QTest::newRow("fractions are no setting") << QByteArray(R"({"rate":20,"volume":2.5})") << true << onlyRate;
    QTest::newRow("huge number") << QByteArray(R"({"rate":20,"pauseMs":1e300})") << true << onlyRate;
    QTest::newRow("cut short") << QByteArray(R"({"rate":20,"vol)") << false << Session();
    QTest::newRow("an array") << QByteArray("[1,2]") << false << Session();
    QTest::newRow("empty file") << QByteArray() << false << Session();
    QTest::newRow("binary") << QByteArray("\x00\xFF\x13\x37", 4) << false << Session();
}

void TestAutosave::decodeSession()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QFETCH(Session, expected);

    QString why;
    const std::optional<Session> session = Autosave::decodeSession(bytes, &why);
    QCOMPARE(session.has_value(), readable);
    if (readable)
        QCOMPARE(*session, expected);
    else
        QVERIFY(!why.isEmpty());
}

void TestAutosave::scriptRoundTrip_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("Chinese with tags") << QStringLiteral("「晓晓」你好，世界。「」\n第二行\n");
    QTest::newRow("empty") << QString();
    QTest::newRow("characters outside the BMP") << QStringLiteral("𠀀😀");
}

void TestAutosave::scriptRoundTrip()
{
    QFETCH(QString, script);
    QVERIFY(Autosave::saveScript(folder(), script));
    QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>(script));
}

void TestAutosave::nothingSaved()
{
    QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>());
    QCOMPARE(Autosave::loadSession(folder()), std::optional<Session>());
}

void TestAutosave::damagedFilesAreIgnored_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("damage");

    for (const QString &file : {Autosave::scriptFileName(), Autosave::sessionFileName()}) {
        QTest::addRow("%s: garbage", qPrintable(file)) << file << "garbage";
        QTest::addRow("%s: a folder in its place", qPrintable(file)) << file << "folder";
        QTest::addRow("%s: huge", qPrintable(file)) << file << "huge";
        QTest::addRow("%s: a dangling link", qPrintable(file)) << file << "link";
    }
}

void TestAutosave::damagedFilesAreIgnored()
{
    QFETCH(QString, file);
    QFETCH(QString, damage);

    const QString path = folder() + file;
    if (damage == "garbage") {
        writeBytes(file, QByteArray("\xFF\xFE\x00\x01\xC3", 5));
    } else if (damage == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (damage == "huge") {
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(65) * 1024 * 1024)); // sparse
    } else {
        QVERIFY(QFile::link(folder() + "nowhere", path));
    }

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ignoring .*" + QRegularExpression::escape(file)));
    if (file == Autosave::scriptFileName())
        QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>());
    else
        QCOMPARE(Autosave::loadSession(folder()), std::optional<Session>());
}

void TestAutosave::savingReplacesAtomically()
{
    QVERIFY(Autosave::saveScript(folder(), "第一版"));
    QVERIFY(Autosave::saveSession(folder(), fullSession()));
    QVERIFY(Autosave::saveScript(folder(), "第二版"));
    QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>("第二版"));
    // The temporary files were renamed into place: nothing else is left.
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{Autosave::scriptFileName(), Autosave::sessionFileName()}));
}

QTEST_GUILESS_MAIN(TestAutosave)
#include "test_autosave.moc"
