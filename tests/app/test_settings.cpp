#include "AppSettings.h"

#include <QDir>
#include <QImageReader>
#include <QtTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void valuesFollowTheWorkingFolder_data();
    void valuesFollowTheWorkingFolder();
    void imagesAreRegistered_data();
    void imagesAreRegistered();
};

void TestSettings::valuesFollowTheWorkingFolder_data()
{
    // The test runs from its own working folder, so workDir is that folder.
    const QString cwd = QDir::currentPath() + "/";
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("appVersion") << appVersion << "1.2";
    QTest::newRow("serviceBaseUrl") << serviceBaseUrl << "http://127.0.0.1:5000/";
    QTest::newRow("workDir") << workDir << cwd;
    QTest::newRow("getVoicesUrl") << getVoicesUrl << "http://127.0.0.1:5000/getVoices";
    QTest::newRow("ttsCommunicateUrl") << ttsCommunicateUrl << "http://127.0.0.1:5000/ttsCommunicate";
    QTest::newRow("audioCombinedUrl") << audioCombinedUrl << "http://127.0.0.1:5000/audioCombined";
    QTest::newRow("audioDir") << audioDir << cwd + "audio/";
}

void TestSettings::valuesFollowTheWorkingFolder()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(value, expected);
}

void TestSettings::imagesAreRegistered_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("icon") << ":/images/ico.png" << QByteArray("png") << QSize(267, 267);
    QTest::newRow("tip image") << ":/images/weixin.jpg" << QByteArray("jpeg") << QSize(508, 534);
    QTest::newRow("animation") << ":/loading/images/loading/loading.gif" << QByteArray("gif") << QSize(560, 420);
}

void TestSettings::imagesAreRegistered()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    if (format == "gif") {
        QCOMPARE(reader.loopCount(), -1); // Qt reports "loop forever" (GIF loop count 0) as -1
        QVERIFY(reader.imageCount() > 1);
    }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
