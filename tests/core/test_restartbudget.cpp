#include "RestartBudget.h"

#include <QtTest>

using Times = QVector<qint64>;
using Answers = QVector<bool>;
Q_DECLARE_METATYPE(Times)
Q_DECLARE_METATYPE(Answers)

// How often the service's watchdog may start it again: three times in any minute.
class TestRestartBudget : public QObject
{
    Q_OBJECT

private slots:
    void allow_data();
    void allow();
};

void TestRestartBudget::allow_data()
{
    QTest::addColumn<Times>("endings"); // when the process ended, in ms
    QTest::addColumn<Answers>("expected");

    QTest::newRow("three quick endings are restarted, the fourth is not")
        << Times{0, 10, 20, 30} << Answers{true, true, true, false};
    QTest::newRow("one a minute goes on for ever")
        << Times{0, 60000, 120000, 180000, 240000} << Answers{true, true, true, true, true};
    QTest::newRow("the window slides: the first restart drops out after a minute")
        << Times{0, 1000, 2000, 59999, 60000} << Answers{true, true, true, false, true};
    QTest::newRow("refused endings do not count against later ones")
        << Times{0, 1, 2, 3, 4, 60001, 60002} << Answers{true, true, true, false, false, true, true};
}

void TestRestartBudget::allow()
{
    QFETCH(Times, endings);
    QFETCH(Answers, expected);

    RestartBudget budget(3, 60000);
    Answers answers;
    for (qint64 at : endings)
        answers.append(budget.allow(at));
    QCOMPARE(answers, expected);
    QVERIFY(budget.used(endings.last()) <= 3);
}

QTEST_GUILESS_MAIN(TestRestartBudget)
#include "test_restartbudget.moc"
