#include "SqlLite.h"
#include "VoiceFixtures.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace VoiceFixtures;

// The cache's statements against a real data.db in a fresh working folder.
class TestSqlLite : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstOpenCreatesTheFile();
    void createMakesTheTableInColumnOrder();
    void emptyTableReadsOneAndZero();
    void refillNumbersFromOne();
    void readAllKeepsOrderAndColumns();
    void valuesAreStoredExactly_data();
    void valuesAreStoredExactly();
    void openFailsWhereNothingCanBeCreated();
    void corruptFileFailsItsStatements();
    void readOnlyFileKeepsItsRowsOnReplace();
    void displayNamesAreKeptBesideTheRows();
    void cacheWithoutDisplayNamesStillReads();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previous;
};

void TestSqlLite::init()
{
    m_previous = QDir::currentPath();
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir::setCurrent(m_folder->path()));
}

void TestSqlLite::cleanup()
{
    QDir::setCurrent(m_previous);
    m_folder.reset();
}

// Neural voices bring their own names; the voices table keeps its columns
// and the names live in a table of their own, replaced with the rows.
void TestSqlLite::displayNamesAreKeptBesideTheRows()
{
    QJsonArray served = voiceList(3);
    served.append(neuralRecord("Female", "zh-CN", "zh-CN-BiaobeiS000", "标贝 000 女声"));
    served.append(neuralRecord("Male", "zh-CN", "zh-CN-O'NeilS001", "O'Neil 001 男声"));
    {
        SqlLite db;
        QVERIFY(db.open());
        QVERIFY(db.createTable());
        QVERIFY(db.replaceVoices(served));
        bool ok = false;
        QCOMPARE(db.readAll(&ok), served);
        QVERIFY(ok);
    }
    QCOMPARE(cacheColumns(), (QStringList{"id", "gender", "locale", "name"}));
    QCOMPARE(cacheRows().size(), 5);
    QCOMPARE(cacheDisplayNames(), (QStringList{"zh-CN-BiaobeiS000|标贝 000 女声", "zh-CN-O'NeilS001|O'Neil 001 男声"}));

    // A list without neural voices leaves no stale names behind.
    SqlLite db;
    QVERIFY(db.open());
    QVERIFY(db.replaceVoices(voiceList(2)));
    QCOMPARE(db.readAll(), voiceList(2));
    QCOMPARE(cacheDisplayNames(), QStringList{});
}

// A cache written before neural voices has only the voices table.
void TestSqlLite::cacheWithoutDisplayNamesStillReads()
{
    QVERIFY(writeCache(voiceList(4)));
    SqlLite db;
    QVERIFY(db.open());
    bool ok = false;
    QCOMPARE(db.readAll(&ok), voiceList(4));
    QVERIFY(ok);
}

void TestSqlLite::firstOpenCreatesTheFile()
{
    QVERIFY(!QFile::exists("data.db"));
    SqlLite db;
    QVERIFY(db.query() == nullptr);
    QVERIFY(db.open());
    QVERIFY(db.query() != nullptr);
    QVERIFY(QFile::exists("data.db"));
    bool ok = false;
    QCOMPARE(db.tableCheck(&ok), 0);
    QVERIFY(ok);
}

void TestSqlLite::createMakesTheTableInColumnOrder()
{
    {
        SqlLite db;
        QVERIFY(db.open());
        QVERIFY(db.createTable());
        QCOMPARE(db.tableCheck(), 1);
        // "IF NOT EXISTS": a second create is harmless.
        QVERIFY(db.createTable());
    }
    QCOMPARE(cacheColumns(), (QStringList{"id", "gender", "locale", "name"}));
}

void TestSqlLite::emptyTableReadsOneAndZero()
{
    SqlLite db;
    QVERIFY(db.open());
    QVERIFY(db.createTable());
    bool ok = false;
    QCOMPARE(db.tableCheck(&ok), 1);
    QVERIFY(ok);
    QCOMPARE(db.rowCount(&ok), 0);
    QVERIFY(ok);
    QCOMPARE(db.readAll(&ok), QJsonArray());
    QVERIFY(ok);
}

void TestSqlLite::refillNumbersFromOne()
{
    {
        SqlLite db;
        QVERIFY(db.open());
        QVERIFY(db.createTable());
        for (const QJsonValue &v : voiceList(5)) {
            const QJsonObject r = v.toObject();
            QVERIFY(db.insertVoice(r["gender"].toString(), r["locale"].toString(), r["name"].toString()));
        }
        QVERIFY(db.emptyTable());
        QCOMPARE(db.rowCount(), 0);
        db.clearQuery();
        QVERIFY(db.insertVoice("Female", "af-ZA", "af-ZA-AdriNeural"));
        QVERIFY(db.insertVoice("Male", "af-ZA", "af-ZA-WillemNeural"));
        QVERIFY(db.insertVoice("Female", "am-ET", "am-ET-MekdesNeural"));
    }
    QCOMPARE(cacheRows(), (QStringList{"1|Female|af-ZA|af-ZA-AdriNeural", "2|Male|af-ZA|af-ZA-WillemNeural",
                                       "3|Female|am-ET|am-ET-MekdesNeural"}));

    // The same through the all-or-nothing rewrite the loader uses.
    {
        SqlLite db;
        QVERIFY(db.open());
        QVERIFY(db.replaceVoices(voiceList(2)));
        QCOMPARE(db.rowCount(), 2);
    }
    QCOMPARE(cacheRows(), (QStringList{"1|Female|zh-CN|zh-CN-XiaoxiaoNeural", "2|Male|zh-CN|zh-CN-XiaoyiNeural"}));
}

void TestSqlLite::readAllKeepsOrderAndColumns()
{
    // Rows whose names sort differently from their insertion order.
    const QJsonArray records{record("Male", "zh-CN", "zh-CN-YunyangNeural"), record("Female", "af-ZA", "a"),
                             record("Neutral", "en-US", "en-US-ZNeural")};
    writeCache(records);
    SqlLite db;
    QVERIFY(db.open());
    QCOMPARE(db.tableCheck(), 1);
    QCOMPARE(db.rowCount(), 3);
    bool ok = false;
    QCOMPARE(db.readAll(&ok), records);
    QVERIFY(ok);
}

void TestSqlLite::valuesAreStoredExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("apostrophe") << "O'Brien";
    QTest::newRow("two apostrophes") << "''";
    QTest::newRow("statement breaker") << "x'); DROP TABLE voices; --";
    QTest::newRow("double quote") << "a\"b";
    QTest::newRow("placeholder text") << "%1 %2 ?";
    QTest::newRow("chinese and blanks") << " 晓晓 女声 ";
}

void TestSqlLite::valuesAreStoredExactly()
{
    QFETCH(QString, value);
    {
        SqlLite db;
        QVERIFY(db.open());
        QVERIFY(db.createTable());
        QVERIFY(db.insertVoice(value, value + "-l", value + "-n"));
        QCOMPARE(db.readAll(), (QJsonArray{record(value, value + "-l", value + "-n")}));
    }
    QCOMPARE(cacheRows(), (QStringList{QStringList{"1", value, value + "-l", value + "-n"}.join('|')}));
}

void TestSqlLite::openFailsWhereNothingCanBeCreated()
{
    // A working folder that has gone away: the file cannot be created, even by root.
    const QString gone = m_folder->path() + "/gone";
    QVERIFY(QDir().mkdir(gone));
    QVERIFY(QDir::setCurrent(gone));
    QVERIFY(QDir().rmdir(gone));

    SqlLite db;
    QVERIFY(!db.open());
    QVERIFY(db.query() == nullptr);
}

void TestSqlLite::corruptFileFailsItsStatements()
{
    const QByteArray garbage = QByteArray("this is not a database ").repeated(200);
    {
        QFile file("data.db");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    {
        SqlLite db;
        QVERIFY(db.open());
        bool ok = true;
        QCOMPARE(db.tableCheck(&ok), 0);
        QVERIFY(!ok);
        QVERIFY(!db.createTable());
        QVERIFY(!db.replaceVoices(voiceList(3)));
    }
    QCOMPARE(readFile("data.db"), garbage);
}

void TestSqlLite::readOnlyFileKeepsItsRowsOnReplace()
{
    writeCache(voiceList(3));
    markReadOnly("data.db");
    const QByteArray before = readFile("data.db");
    {
        SqlLite db;
        QVERIFY(db.open());
        bool ok = false;
        QCOMPARE(db.rowCount(&ok), 3);
        QVERIFY(ok);
        QCOMPARE(db.readAll(&ok), voiceList(3));
        QVERIFY(ok);
        QVERIFY(!db.replaceVoices(voiceList(5)));
        QVERIFY(!db.emptyTable());
    }
    QCOMPARE(readFile("data.db"), before);
}

QTEST_GUILESS_MAIN(TestSqlLite)
#include "test_sqllite.moc"
