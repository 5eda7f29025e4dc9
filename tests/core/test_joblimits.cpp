#include "JobLimits.h"

#include <QtTest>

#include <limits>

// The bounds on every wait for the service, and the environment variables
// that shorten them for tests.
class TestJobLimits : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void textAllowance_data();
    void textAllowance();
    void environment_data();
    void environment();
    void boundsUseTheirVariable_data();
    void boundsUseTheirVariable();
    void retryDeadlineCoversTheWaitAndTheRequest();
};

void TestJobLimits::cleanup()
{
    for (const char *name : {"LUMO_SEGMENT_TIMEOUT_MS", "LUMO_JOIN_TIMEOUT_MS", "LUMO_CATALOGUE_TIMEOUT_MS",
                             "LUMO_AUTOSAVE_DELAY_MS", "LUMO_TEST_BOUND"})
        qunsetenv(name);
}

void TestJobLimits::textAllowance_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<qint64>("characters");
    QTest::addColumn<int>("expected");

    QTest::newRow("no text") << 30000 << qint64(0) << 30000;
    QTest::newRow("49 characters: under a second more") << 30000 << qint64(49) << 30980;
    QTest::newRow("50 characters: one second more") << 30000 << qint64(50) << 31000;
    QTest::newRow("a 5000-character passage") << 30000 << qint64(5000) << 130000;
    QTest::newRow("short base from a test") << 200 << qint64(10) << 400;
    QTest::newRow("negative length counts as none") << 30000 << qint64(-10) << 30000;
    QTest::newRow("saturates instead of overflowing")
        << 30000 << std::numeric_limits<qint64>::max() / 1000 << std::numeric_limits<int>::max();
}

void TestJobLimits::textAllowance()
{
    QFETCH(int, base);
    QFETCH(qint64, characters);
    QFETCH(int, expected);
    QCOMPARE(JobLimits::withTextAllowance(base, characters), expected);
}

void TestJobLimits::environment_data()
{
    QTest::addColumn<QByteArray>("value"); // empty: unset
    QTest::addColumn<int>("expected");

    QTest::newRow("unset") << QByteArray() << 777;
    QTest::newRow("a number") << QByteArray("250") << 250;
    QTest::newRow("blanks around it") << QByteArray(" 250 ") << 250;
    QTest::newRow("zero would never wait") << QByteArray("0") << 777;
    QTest::newRow("negative") << QByteArray("-5") << 777;
    QTest::newRow("not a number") << QByteArray("fast") << 777;
    QTest::newRow("a unit after it") << QByteArray("250ms") << 777;
    QTest::newRow("too large for an int") << QByteArray("99999999999") << 777;
}

void TestJobLimits::environment()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    if (!value.isEmpty())
        qputenv("LUMO_TEST_BOUND", value);
    QCOMPARE(JobLimits::fromEnvironment("LUMO_TEST_BOUND", 777), expected);
}

void TestJobLimits::boundsUseTheirVariable_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<int>("which"); // 0 segment, 1 join, 2 catalogue, 3 autosave
    QTest::addColumn<int>("unset");
    QTest::addColumn<int>("set");

    // With 100 characters of text where the bound depends on it.
    QTest::newRow("segment") << QByteArray("LUMO_SEGMENT_TIMEOUT_MS") << 0 << 32000 << 2300;
    QTest::newRow("join") << QByteArray("LUMO_JOIN_TIMEOUT_MS") << 1 << 32000 << 2300;
    QTest::newRow("catalogue") << QByteArray("LUMO_CATALOGUE_TIMEOUT_MS") << 2 << 15000 << 300;
    QTest::newRow("autosave") << QByteArray("LUMO_AUTOSAVE_DELAY_MS") << 3 << 2000 << 300;
}

void TestJobLimits::boundsUseTheirVariable()
{
    QFETCH(QByteArray, variable);
    QFETCH(int, which);
    QFETCH(int, unset);
    QFETCH(int, set);

    const auto bound = [which] {
        switch (which) {
        case 0:
            return JobLimits::segmentTimeoutMs(100);
        case 1:
            return JobLimits::joinTimeoutMs(100);
        case 2:
            return JobLimits::catalogueTimeoutMs();
        default:
            return JobLimits::autosaveQuietMs();
        }
    };
    QCOMPARE(bound(), unset);
    qputenv(variable.constData(), "300");
    QCOMPARE(bound(), set);
    // Each variable moves its own bound only.
    if (which != 0)
        QCOMPARE(JobLimits::segmentTimeoutMs(100), 32000);
    if (which != 2)
        QCOMPARE(JobLimits::catalogueTimeoutMs(), 15000);
}

void TestJobLimits::retryDeadlineCoversTheWaitAndTheRequest()
{
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "1000");
    // 50 characters: a request bound of 2000 ms.
    QCOMPARE(JobLimits::passageDeadlineMs(50, 0), 2000 + JobLimits::reportGraceMs);
    QCOMPARE(JobLimits::passageDeadlineMs(50, 1), 4000 + JobLimits::reportGraceMs);
}

QTEST_GUILESS_MAIN(TestJobLimits)
#include "test_joblimits.moc"
