#include "PickerStrip.h"

#include <QtTest>

// Which voices the picker strip shows and in what order, for a given width.
class TestPickerStrip : public QObject
{
    Q_OBJECT

private slots:
    void capacity_data();
    void capacity();
    void arrange_data();
    void arrange();
    void usedVoices_data();
    void usedVoices();
};

namespace {
// v0 … v(n-1)
QStringList voices(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names.append(QStringLiteral("v%1").arg(i));
    return names;
}

QVector<int> range(int from, int to)
{
    QVector<int> list;
    for (int i = from; i < to; ++i)
        list.append(i);
    return list;
}
} // namespace

void TestPickerStrip::capacity_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("buttons");

    QTest::newRow("exact") << 500 << 10;
    QTest::newRow("a button and a bit") << 99 << 1;
    QTest::newRow("narrower than one") << 49 << 0;
    QTest::newRow("nothing") << 0 << 0;
    QTest::newRow("no limit") << -1 << std::numeric_limits<int>::max();
}

void TestPickerStrip::capacity()
{
    QFETCH(int, width);
    QFETCH(int, buttons);
    QCOMPARE(PickerStrip::capacity(width, 50), buttons);
}

void TestPickerStrip::arrange_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("used");
    QTest::addColumn<QStringList>("favourites");
    QTest::addColumn<int>("width");
    QTest::addColumn<QVector<int>>("shown");
    QTest::addColumn<bool>("more");

    const QStringList seven = voices(7);
    const QStringList hundred = voices(100);

    // Everything fits: the strip as it always was, whatever is used or marked.
    QTest::newRow("seven in a wide editor") << seven << QStringList{"v5"} << QStringList{"v6"} << 800 << range(0, 7) << false;
    QTest::newRow("seven exactly") << seven << QStringList{} << QStringList{} << 350 << range(0, 7) << false;
    QTest::newRow("no limit") << hundred << QStringList{"v9"} << QStringList{} << -1 << range(0, 100) << false;
    QTest::newRow("empty locale") << QStringList{} << QStringList{} << QStringList{} << 10 << QVector<int>{} << false;

    // One too many: the last button becomes 更多….
    QTest::newRow("seven in 349 px") << seven << QStringList{} << QStringList{} << 349 << range(0, 5) << true;
    QTest::newRow("a hundred in 600 px, nothing used") << hundred << QStringList{} << QStringList{} << 600 << range(0, 11)
                                                       << true;
    QTest::newRow("used first, in the script's order")
        << hundred << QStringList{"v80", "v3", "v42"} << QStringList{} << 300 << QVector<int>{80, 3, 42, 0, 1} << true;
    QTest::newRow("then favourites, in list order")
        << hundred << QStringList{"v80"} << QStringList{"v99", "v10"} << 300 << QVector<int>{80, 10, 99, 0, 1} << true;
    QTest::newRow("a used favourite is shown once")
        << hundred << QStringList{"v10"} << QStringList{"v10", "v20"} << 250 << QVector<int>{10, 20, 0, 1} << true;
    QTest::newRow("more used than fit") << hundred << QStringList{"v9", "v8", "v7", "v6"} << QStringList{"v1"} << 150
                                        << QVector<int>{9, 8} << true;
    QTest::newRow("names not in the locale are ignored")
        << hundred << QStringList{"小明", "v50"} << QStringList{"gone"} << 200 << QVector<int>{50, 0, 1} << true;
    QTest::newRow("room for 更多… alone") << hundred << QStringList{"v5"} << QStringList{} << 70 << QVector<int>{} << true;
    QTest::newRow("not even that") << hundred << QStringList{} << QStringList{} << 20 << QVector<int>{} << true;
}

void TestPickerStrip::arrange()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, used);
    QFETCH(QStringList, favourites);
    QFETCH(int, width);
    QFETCH(QVector<int>, shown);
    QFETCH(bool, more);

    const PickerStrip::Layout layout = PickerStrip::arrange(names, used, favourites, width, 50);
    QCOMPARE(layout.voices, shown);
    QCOMPARE(layout.more, more);
    // The buttons never overflow the width they were given.
    if (width >= 0)
        QVERIFY((layout.voices.size() + (layout.more ? 1 : 0)) * 50 <= qMax(width, 50));
}

void TestPickerStrip::usedVoices_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("voices");

    QTest::newRow("none") << "plain text" << QStringList{};
    QTest::newRow("first use decides the order") << "「b」x「」「a」y「」「b」z「」" << QStringList{"b", "a"};
    QTest::newRow("names with blanks") << "「标贝 001」你好「」\n「Kokoro 012」hi「」" << QStringList{"标贝 001", "Kokoro 012"};
    QTest::newRow("end markers are not tags") << "「」「」「c」「」" << QStringList{"c"};
}

void TestPickerStrip::usedVoices()
{
    QFETCH(QString, script);
    QFETCH(QStringList, voices);
    QCOMPARE(PickerStrip::usedVoices(script), voices);
}

QTEST_GUILESS_MAIN(TestPickerStrip)
#include "test_pickerstrip.moc"
