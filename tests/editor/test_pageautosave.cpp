#include "Autosave.h"
#include "PageHarness.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceFixtures.h"
#include "ttsMain.h"

#include <QComboBox>
#include <QFile>
#include <QSpinBox>
#include <QtTest>

// The page keeps its script and settings in its folder, and puts them back:
// a real page, its loader answered by a stand-in service.
class TestPageAutosave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void editsAreSavedOnceTheyPause();
    void closingThePageSavesAtOnce();
    void scriptAndSettingsComeBack();
    void aScriptInTheEditorIsLeftAlone();
    void choiceSavedBeforeTheCatalogueIsKept();
    void damagedFilesAreIgnored();
    void offUntilEnabled();

private:
    ttsMain *newPage(bool settled = true);
    QString folder() const { return QDir::currentPath() + "/"; }
    static QByteArray readFile(const QString &name) { return VoiceFixtures::readFile(name); }

    template<typename T> T *child(ttsMain *page, const char *name) const
    {
        T *widget = page->findChild<T *>(name);
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }

    // The voice list is refused, so each loader ends with one box.
    PageHarness m_harness;
    QList<ttsMain *> m_pages;
};

void TestPageAutosave::initTestCase()
{
    QVERIFY(m_harness.start());
}

void TestPageAutosave::init()
{
    m_harness.reset();
    using VoiceFixtures::record;
    QVERIFY(VoiceFixtures::writeCache({record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural"),
                                       record("Male", "zh-CN", "zh-CN-YunxiNeural"),
                                       record("Female", "en-US", "en-US-AriaNeural"),
                                       record("Male", "en-US", "en-US-GuyNeural")}));
    qputenv("LUMO_AUTOSAVE_DELAY_MS", "200");
}

void TestPageAutosave::cleanup()
{
    qDeleteAll(m_pages);
    m_pages.clear();
    qunsetenv("LUMO_AUTOSAVE_DELAY_MS");
}

// A page whose loader has finished, or (`settled` false) one that has not run
// the event loop yet; null if the loader never finished.
ttsMain *TestPageAutosave::newPage(bool settled)
{
    ttsMain *page = nullptr;
    if (settled) {
        page = m_harness.newPage();
        if (!page)
            qWarning("the page's catalogue loader never finished");
    } else {
        VoiceCatalogue::instance().reset();
        page = new ttsMain(m_harness.urls());
        page->show();
    }
    if (page)
        m_pages.append(page);
    return page;
}

void TestPageAutosave::editsAreSavedOnceTheyPause()
{
    ttsMain *page = newPage();
    QVERIFY(page);
    page->enableAutosave(folder());
    TTSText *editor = child<TTSText>(page, "textEdit");
    editor->setFocus();
    QTest::keyClicks(editor, "hello");
    child<QSpinBox>(page, "rateBox")->setValue(-30);
    // Nothing yet: the quiet time has not passed.
    QVERIFY(!QFile::exists(Autosave::scriptFileName()));

    QTRY_COMPARE(readFile(Autosave::scriptFileName()), QByteArray("hello"));
    const std::optional<Autosave::Session> session = Autosave::loadSession(folder());
    QVERIFY(session);
    QCOMPARE(session->rate, std::optional<int>(-30));
    QCOMPARE(session->voice, std::optional<QString>("zh-CN-XiaoxiaoNeural"));

    // And again after the next edit, Chinese included.
    page->setScriptText("「晓晓」你好「」");
    QTRY_COMPARE(readFile(Autosave::scriptFileName()), QString("「晓晓」你好「」").toUtf8());
}

void TestPageAutosave::closingThePageSavesAtOnce()
{
    qputenv("LUMO_AUTOSAVE_DELAY_MS", "600000");
    ttsMain *page = newPage();
    QVERIFY(page);
    page->enableAutosave(folder());
    page->setScriptText("最后一句");
    QVERIFY(!QFile::exists(Autosave::scriptFileName()));
    delete m_pages.takeLast();
    QCOMPARE(readFile(Autosave::scriptFileName()), QString("最后一句").toUtf8());
}

void TestPageAutosave::scriptAndSettingsComeBack()
{
    ttsMain *first = newPage();
    QVERIFY(first);
    first->enableAutosave(folder());
    QComboBox *locales = child<QComboBox>(first, "localeSelect");
    QCOMPARE(locales->count(), 2);
    const int otherLocale = 1 - locales->currentIndex();
    locales->setCurrentIndex(otherLocale);
    const QString localeName = locales->currentText();
    child<QComboBox>(first, "voicesSelect")->setCurrentIndex(1);
    const QString voice = VoiceCatalogue::instance().currentVoice(1);
    child<QSpinBox>(first, "rateBox")->setValue(25);
    child<QSpinBox>(first, "volumeBox")->setValue(-15);
    child<QSpinBox>(first, "spinBox")->setValue(1200);
    first->setScriptText("「晓晓」第一段「」\n第二段");
    first->saveAutosave();
    delete m_pages.takeLast();
    VoiceCatalogue::instance().reset();

    ttsMain *second = newPage(false);
    second->enableAutosave(folder());
    QVERIFY(second->restoreAutosave());
    QCOMPARE(second->scriptText(), QString("「晓晓」第一段「」\n第二段"));
    QCOMPARE(child<QSpinBox>(second, "rateBox")->value(), 25);
    QCOMPARE(child<QSpinBox>(second, "volumeBox")->value(), -15);
    QCOMPARE(child<QSpinBox>(second, "spinBox")->value(), 1200);
    // Locale and voice once the catalogue is there to choose from.
    QTRY_COMPARE(child<QComboBox>(second, "localeSelect")->currentText(), localeName);
    QTRY_COMPARE(child<QComboBox>(second, "voicesSelect")->currentIndex(), 1);
    QCOMPARE(VoiceCatalogue::instance().currentVoice(1), voice);
}

void TestPageAutosave::aScriptInTheEditorIsLeftAlone()
{
    Autosave::Session session;
    session.rate = 40;
    QVERIFY(Autosave::saveScript(folder(), "保存的文案"));
    QVERIFY(Autosave::saveSession(folder(), session));

    ttsMain *page = newPage();
    QVERIFY(page);
    page->enableAutosave(folder());
    page->setScriptText("打开的文件");
    QVERIFY(!page->restoreAutosave());
    QCOMPARE(page->scriptText(), QString("打开的文件"));
    QCOMPARE(child<QSpinBox>(page, "rateBox")->value(), 40);
}

// Saved again before the catalogue has loaded, the locale and voice of the
// last run are kept rather than lost.
void TestPageAutosave::choiceSavedBeforeTheCatalogueIsKept()
{
    Autosave::Session session;
    session.locale = QStringLiteral("某个地区");
    session.voice = QStringLiteral("en-US-GuyNeural");
    QVERIFY(Autosave::saveSession(folder(), session));

    // Nothing has run the event loop: the loader's catalogue is not shown yet.
    ttsMain *page = newPage(false);
    page->enableAutosave(folder());
    page->restoreAutosave();
    QCOMPARE(child<QComboBox>(page, "voicesSelect")->count(), 0);
    page->setScriptText("改了");
    page->saveAutosave();
    const std::optional<Autosave::Session> saved = Autosave::loadSession(folder());
    QVERIFY(saved);
    QCOMPARE(saved->locale, session.locale);
    QCOMPARE(saved->voice, session.voice);
}

void TestPageAutosave::damagedFilesAreIgnored()
{
    for (const QString &name : {Autosave::scriptFileName(), Autosave::sessionFileName()}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\0\xFF{{{\xC3", 6));
    }
    ttsMain *page = newPage();
    QVERIFY(page);
    page->enableAutosave(folder());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ignoring .*" + Autosave::sessionFileName()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^ignoring .*" + Autosave::scriptFileName()));
    QVERIFY(!page->restoreAutosave());
    QCOMPARE(page->scriptText(), QString());
    QCOMPARE(child<QSpinBox>(page, "rateBox")->value(), 0);

    // The next save replaces them with good ones.
    page->setScriptText("新的");
    page->saveAutosave();
    QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>("新的"));
}

void TestPageAutosave::offUntilEnabled()
{
    QVERIFY(Autosave::saveScript(folder(), "保存的文案"));
    ttsMain *page = newPage();
    QVERIFY(page);
    // A page that keeps its work elsewhere, edited after the first one and
    // with a longer quiet time: once it has saved, the first page's edit has
    // been quiet for long enough too.
    ttsMain *witness = newPage();
    QVERIFY(witness);
    const QString witnessFolder = folder() + "witness/";
    QVERIFY(QDir().mkpath(witnessFolder));
    witness->enableAutosave(witnessFolder);

    QVERIFY(!page->restoreAutosave());
    page->setScriptText("别处的页面");
    page->saveAutosave();
    qputenv("LUMO_AUTOSAVE_DELAY_MS", "400");
    witness->setScriptText("见证");
    QTRY_COMPARE(Autosave::loadScript(witnessFolder), std::optional<QString>("见证"));
    QCOMPARE(Autosave::loadScript(folder()), std::optional<QString>("保存的文案"));
}

QTEST_MAIN(TestPageAutosave)
#include "test_pageautosave.moc"
