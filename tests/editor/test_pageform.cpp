#include "PageHarness.h"
#include "ServiceContract.h"
#include "ttsMain.h"

#include <QLayout>
#include <QSpacerItem>
#include <QtTest>

// The synthesis page's form as the user sees it: every control under its
// object name with its limits, texts and looks, in the order the form lays
// them out.
class TestPageForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void pageIsNamedAndSized();
    void widgetProperties_data();
    void widgetProperties();
    void layoutOrder_data();
    void layoutOrder();

private:
    PageHarness harness;
    ttsMain *page = nullptr;
};

namespace {

const QString sliderStyle = QStringLiteral(
    "QSlider::groove:horizontal {\n"
    "    border: 1px solid #bbb;\n"
    "    background: white;\n"
    "    height: 10px;\n"
    "    margin: 0px;\n"
    "}\n"
    "\n"
    "QSlider::handle:horizontal {\n"
    "    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #eee, stop:1 #ccc);\n"
    "    border: 1px solid #777;\n"
    "    width: 20px;\n"
    "    margin: -5px 0;\n"
    "    border-radius: 3px;\n"
    "}");

const int unlimited = 16777215;

// One layout item: a widget's object name, or a spacer's size and policies.
QString describe(QLayoutItem *item)
{
    if (QWidget *widget = item->widget())
        return widget->objectName();
    if (QLayout *layout = item->layout())
        return layout->objectName();
    if (QSpacerItem *spacer = item->spacerItem()) {
        const QSizePolicy policy = spacer->sizePolicy();
        auto name = [](QSizePolicy::Policy p) {
            return p == QSizePolicy::Fixed ? "Fixed" : p == QSizePolicy::Minimum ? "Minimum" : p == QSizePolicy::Expanding ? "Expanding" : "other";
        };
        return QStringLiteral("spacer %1x%2 %3 %4").arg(spacer->sizeHint().width()).arg(spacer->sizeHint().height())
            .arg(name(policy.horizontalPolicy()), name(policy.verticalPolicy()));
    }
    return QStringLiteral("?");
}

} // namespace

void TestPageForm::initTestCase()
{
    QVERIFY2(harness.start(), "the fake service could not listen");
    page = harness.newPage();
    QVERIFY2(page, "the page's catalogue loader never finished");
}

void TestPageForm::cleanupTestCase()
{
    delete page;
    QCOMPARE(harness.newBoxes(), Boxes{});
}

void TestPageForm::pageIsNamedAndSized()
{
    QCOMPARE(page->objectName(), QStringLiteral("ttsMain"));
    QCOMPARE(page->windowTitle(), QStringLiteral("Form"));
    QCOMPARE(page->size(), QSize(862, 583));
}

void TestPageForm::widgetProperties_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *object, const char *className, const char *property, const QVariant &expected) {
        QTest::addRow("%s.%s", object, property) << QString::fromLatin1(object) << QString::fromLatin1(className)
                                                 << QByteArray(property) << expected;
    };
    const QString tip = QStringLiteral("<html><head/><body><p>全局配音停顿时长%1单位毫秒（1000毫秒 = 1秒）%1如果为0，则为不开启此功能</p></body></html>");

    row("label", "QLabel", "text", "国家");
    row("label", "QLabel", "maximumSize", QSize(30, unlimited));
    row("localeSelect", "QComboBox", "minimumSize", QSize(140, 0));
    row("label_2", "QLabel", "text", "配音员");
    row("label_2", "QLabel", "maximumSize", QSize(40, unlimited));
    row("voicesSelect", "QComboBox", "minimumSize", QSize(120, 0));
    row("tryPlay", "QPushButton", "text", "试听");
    row("tryPlay", "QPushButton", "minimumSize", QSize(0, 23));
    row("tryPlay", "QPushButton", "maximumSize", QSize(80, 23));
    row("resultBtn", "QPushButton", "text", "合成");
    row("resultBtn", "QPushButton", "minimumSize", QSize(0, 23));
    row("resultBtn", "QPushButton", "maximumSize", QSize(80, 23));

    row("label_3", "QLabel", "text", "语速");
    row("label_3", "QLabel", "maximumSize", QSize(25, unlimited));
    row("rateBox", "QSpinBox", "minimum", contract::rateMin);
    row("rateBox", "QSpinBox", "maximum", contract::pageRateMax);
    row("rateBox", "QSpinBox", "singleStep", 5);
    row("rateBox", "QSpinBox", "value", 0);
    row("rateBox", "QSpinBox", "suffix", "%");
    row("label_4", "QLabel", "text", "音量");
    row("label_4", "QLabel", "maximumSize", QSize(25, unlimited));
    row("volumeBox", "QSpinBox", "minimum", contract::volumeMin);
    row("volumeBox", "QSpinBox", "maximum", contract::volumeMax);
    row("volumeBox", "QSpinBox", "singleStep", 5);
    row("volumeBox", "QSpinBox", "value", 0);
    row("volumeBox", "QSpinBox", "suffix", "%");
    row("label_5", "QLabel", "text", "全局间隔");
    row("label_5", "QLabel", "maximumSize", QSize(50, unlimited));
    row("label_5", "QLabel", "toolTip", tip.arg("<br>"));
    row("spinBox", "QSpinBox", "minimum", 0);
    row("spinBox", "QSpinBox", "maximum", contract::pagePauseMaxMs);
    row("spinBox", "QSpinBox", "singleStep", 100);
    row("spinBox", "QSpinBox", "value", 0);
    row("spinBox", "QSpinBox", "suffix", "ms");
    row("spinBox", "QSpinBox", "toolTip", tip.arg("<br/>"));
    row("label_6", "QLabel", "text", "*实验性功能");
    row("label_6", "QLabel", "styleSheet", "font-size:10px;\ncolor:red;");

    row("textEdit", "TTSText", "styleSheet", "border:5px solid #fff;");
    row("textEdit", "TTSText", "placeholderText", "请在这里输入您的文案，可多人配音哦！");
    row("widget", "QWidget", "minimumSize", QSize(0, 20));
    row("widget", "QWidget", "styleSheet", sliderStyle);
    row("playButton", "QPushButton", "text", "");
    row("jinduTiao", "QSlider", "orientation", int(Qt::Horizontal));
    row("jinduTiao", "QSlider", "minimum", 0);
    row("jinduTiao", "QSlider", "maximum", 99);
}

void TestPageForm::widgetProperties()
{
    QFETCH(QString, object);
    QFETCH(QString, className);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    const auto found = page->findChildren<QWidget *>(object);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    const bool inStrip = object == QLatin1String("playButton") || object == QLatin1String("jinduTiao");
    QCOMPARE(found.first()->parentWidget()->objectName(), QString::fromLatin1(inStrip ? "widget" : "ttsMain"));
    QVariant actual = found.first()->property(property.constData());
    QVERIFY2(actual.isValid(), "no such property");
    QVERIFY(actual.convert(expected.userType()));
    QCOMPARE(actual, expected);
}

void TestPageForm::layoutOrder_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("page") << "verticalLayout_2" << QStringList{"verticalLayout"};
    QTest::newRow("rows") << "verticalLayout"
                          << QStringList{"horizontalLayout", "horizontalLayout_3", "textEdit", "widget"};
    QTest::newRow("choosers and buttons") << "horizontalLayout"
        << QStringList{"label", "localeSelect", "spacer 30x20 Fixed Minimum", "label_2", "voicesSelect",
                       "spacer 80x20 Fixed Minimum", "tryPlay", "resultBtn"};
    QTest::newRow("settings") << "horizontalLayout_3"
        << QStringList{"label_3", "rateBox", "label_4", "volumeBox", "label_5", "spinBox", "label_6",
                       "spacer 40x20 Expanding Minimum"};
    QTest::newRow("player strip") << "horizontalLayout_2" << QStringList{"playButton", "jinduTiao"};
}

void TestPageForm::layoutOrder()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, items);

    auto *found = page->findChild<QLayout *>(layout);
    QVERIFY(found);
    QStringList actual;
    for (int i = 0; i < found->count(); ++i)
        actual << describe(found->itemAt(i));
    QCOMPARE(actual, items);

    if (layout == QLatin1String("horizontalLayout_3")) {
        const QMargins margins = found->contentsMargins();
        QCOMPARE(margins.top(), 5);
        QCOMPARE(margins.bottom(), 10);
    }
    if (layout == QLatin1String("horizontalLayout_2"))
        QCOMPARE(found->parentWidget()->objectName(), QStringLiteral("widget"));
}

QTEST_MAIN(TestPageForm)
#include "test_pageform.moc"
