#include "AppSettings.h"
#include "Mp3Duration.h"
#include "PageHarness.h"
#include "RealService.h"
#include "SkipOrFail.h"
#include "TTSText.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

// A neural voice from a model in models/ of the working folder, rendered
// from the page: the model (generated at test time in the published VITS
// layout) speaks at its own 16 kHz; joined with an espeak passage the output
// is at the higher rate and as long as both passages and the pause.
class TestSynthesisNeural : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void neuralVoiceRendersFromThePage();

private:
    double referenceSeconds(const QString &text, const QString &voice, const QString &name);
    template<typename T> T *child(const char *name) const { return m_page->findChild<T *>(name); }

    RealService m_server;
    PageHarness m_harness;
    ttsMain *m_page = nullptr;
};

namespace {
const QString neuralVoice = QStringLiteral("zh-CN-TestZhS001");
const int modelRate = 16000;
} // namespace

void TestSynthesisNeural::initTestCase()
{
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));
    if (!QFileInfo(TestSupport::serverExecutable()).dir().exists(QStringLiteral("libsherpa-onnx-c-api.so")))
        LUMO_SKIP_OR_FAIL("the build has no neural runtime beside the service");

    TestSupport::clearWorkingFolder();
    QProcess make;
    make.start(QStringLiteral(LUMO_PYTHON), {QStringLiteral(LUMO_MAKE_MODELS), QDir::current().filePath("models"), "vits"});
    QVERIFY(make.waitForFinished(60000));
    if (make.exitCode() != 0)
        LUMO_SKIP_OR_FAIL(qPrintable("cannot generate test models (python3-onnx): " + make.readAllStandardError()));

    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
    bool listed = false;
    for (const QJsonValue &voice : m_server.voices())
        listed = listed || voice.toObject().value("name").toString() == neuralVoice;
    QVERIFY2(listed, "the generated model's voice is not in the service's list");
    QVERIFY(m_server.writeVoiceCache());
    m_harness.catchBoxesAndFolders();
}

void TestSynthesisNeural::cleanupTestCase()
{
    delete m_page;
    m_server.stop();
}

double TestSynthesisNeural::referenceSeconds(const QString &text, const QString &voice, const QString &name)
{
    QString why;
    if (!m_server.renderReference(text, voice, name, QString(), &why)) {
        qWarning("%s", qPrintable(why));
        return -1;
    }
    return mp3Seconds(RealService::referencePath(name));
}

void TestSynthesisNeural::neuralVoiceRendersFromThePage()
{
    m_page = m_harness.newPage(m_server.urls());
    QVERIFY2(m_page, "the page's catalogue loader never finished");

    // The chooser's voice reads the first passage; a tag, by the name the
    // choosers give the neural voice, the second.
    child<QComboBox>("voicesSelect")->setCurrentIndex(0);
    const QString chooserVoice = VoiceCatalogue::instance().currentVoice(0);
    QVERIFY(!chooserVoice.isEmpty());
    QVERIFY(!chooserVoice.startsWith("zh-CN-Test"));
    const QString first = QStringLiteral("Good morning, this is the first voice.");
    const QString second = QStringLiteral("你好，世界。");
    child<QSpinBox>("spinBox")->setValue(500);
    child<TTSText>("textEdit")->setPlainText(first + "「vits-test-zh 001」" + second + "「」");
    const int boxesBefore = m_harness.boxes.count();

    QTest::mouseClick(child<QPushButton>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
    QCOMPARE(m_harness.boxes.count(), boxesBefore);

    const QString folder = m_page->jobFolderPath();
    const QString output = folder + "output.mp3";
    QVERIFY2(QFileInfo::exists(output), qPrintable(QDir(folder).entryList().join(' ')));
    QFile subtitles(folder + "output.srt");
    QVERIFY(subtitles.open(QIODevice::ReadOnly));
    // The neural passage is rendered clause by clause: a cue each.
    const QString cues = QString::fromUtf8(subtitles.readAll());
    QVERIFY2(cues.contains("\n你好，\n") && cues.contains("\n世界。\n"), qPrintable(cues));

    // The neural passage alone stays at the model's rate; the join takes the higher one.
    const double espeakSeconds = referenceSeconds(first, chooserVoice, "espeak");
    const double neuralSeconds = referenceSeconds(second, neuralVoice, "neural");
    QVERIFY(espeakSeconds > 0.5);
    QVERIFY(neuralSeconds > 0.1);
    QCOMPARE(mp3SampleRate(RealService::referencePath("neural")), long(modelRate));
    const long joinedRate = mp3SampleRate(output);
    QVERIFY2(joinedRate > modelRate, qPrintable(QString::number(joinedRate)));
    const double expected = espeakSeconds + neuralSeconds + 0.5;
    const double seconds = mp3Seconds(output);
    QVERIFY2(qAbs(seconds - expected) < 0.15,
             qPrintable(QString("output %1 s, passages %2 s + %3 s + pause 0.5 s")
                            .arg(seconds)
                            .arg(espeakSeconds)
                            .arg(neuralSeconds)));
}

QTEST_MAIN(TestSynthesisNeural)
#include "test_synthesis_neural.moc"
