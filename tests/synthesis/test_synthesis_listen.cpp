#include "AppSettings.h"
#include "Mp3Duration.h"
#include "PageHarness.h"
#include "Qajax.h"
#include "ReadingDialog.h"
#include "ReadingText.h"
#include "RealService.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "TestSupport.h"
#include "VoiceCatalogue.h"
#include "ttsMain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlaylist>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString mandarinLocale = QStringLiteral("汉语(大陆)");
const QString japaneseVoice = QStringLiteral("ja-JP-Female1");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), qint64(content.size()));
}

ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// Listening to part of the script, and seeing and correcting its reading,
// through the real page against the real speech service running in this
// test's working folder, which reads this folder's lexicon.txt.
class TestSynthesisListen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void listenPlaysOnlyThatPassage_data();
    void listenPlaysOnlyThatPassage();
    void listenIsRefusedWhileAJobRuns();
    void aCorrectedReadingIsSavedAndRead();
    void aReadingTheServiceCannotUseIsRefused_data();
    void aReadingTheServiceCannotUseIsRefused();
    void listenBeforeSavingUsesTheCorrection();
    void aJapaneseReadingIsCorrectedInKana();
    void everySyllableTheDialogTakesTheServiceTakes();

private:
    void renderReference(const QString &text, const QString &voice, const QString &name,
                         const QString &reading = QString());
    // Waits for the page's listen to be played; the played file's seconds.
    double waitUntilPlayed();
    ReadingDialog *openReadingDialog(const QString &script, int from, int to);
    QString readingOf(const QString &text, const QString &voice, QString *sources = nullptr);
    QString lexiconPath() const { return workDir + QStringLiteral("lexicon.txt"); }
    template<typename T> T *child(QObject *parent, const char *name) const
    {
        T *found = parent->findChild<T *>(name);
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    TTSText *editor() const { return child<TTSText>(m_page, "textEdit"); }
    void select(int anchor, int position);

    RealService m_server;
    QString m_chooserVoice;
    QString m_otherVoice;
    PageHarness m_harness;
    ttsMain *m_page = nullptr;
    int m_reference = 0;
};

void TestSynthesisListen::initTestCase()
{
    QVERIFY2(RealService::isBuilt(), qPrintable("no speech service at " + TestSupport::serverExecutable()));
    TestSupport::clearWorkingFolder();
    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
    QVERIFY(m_server.writeVoiceCache());
    m_harness.catchBoxesAndFolders();
}

void TestSynthesisListen::cleanupTestCase()
{
    m_server.stop();
}

void TestSynthesisListen::init()
{
    m_harness.opened.urls.clear();
    QFile::remove(lexiconPath());
    m_page = m_harness.newPage(m_server.urls());
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    auto *locales = child<QComboBox>(m_page, "localeSelect");
    QVERIFY(locales->count() > 0);
    // The chooser speaks Mandarin; tags name a second Mandarin voice.
    locales->setCurrentIndex(locales->findText(mandarinLocale));
    QCOMPARE(locales->currentText(), mandarinLocale);
    m_chooserVoice = VoiceCatalogue::instance().currentVoice(child<QComboBox>(m_page, "voicesSelect")->currentIndex());
    QVERIFY(m_chooserVoice.startsWith("zh-CN-"));
    m_otherVoice = VoiceCatalogue::instance().currentVoice(1);
    QVERIFY(m_otherVoice.startsWith("zh-CN-") && m_otherVoice != m_chooserVoice);
}

void TestSynthesisListen::cleanup()
{
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
    delete m_page;
    m_page = nullptr;
}

void TestSynthesisListen::select(int anchor, int position)
{
    QTextCursor cursor(editor()->document());
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    editor()->setTextCursor(cursor);
}

void TestSynthesisListen::renderReference(const QString &text, const QString &voice, const QString &name,
                                          const QString &reading)
{
    QString why;
    QVERIFY2(m_server.renderReference(text, voice, name, reading, &why), qPrintable(why));
}

double TestSynthesisListen::waitUntilPlayed()
{
    QMediaPlayer *player = m_page->mediaPlayer();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(m_page->synthesisJob() && m_page->synthesisJob()->isDelivered(), 60000); }();
    if (QTest::currentTestFailed())
        return -1;
    const QString output = m_page->synthesisJob()->plan().outputPath();
    [&] {
        QCOMPARE(m_page->mediaPlaylist()->media(0).request().url(), QUrl::fromLocalFile(output));
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), QMediaPlayer::PlayingState, 20000);
    }();
    return mp3Seconds(output);
}

QString TestSynthesisListen::readingOf(const QString &text, const QString &voice, QString *sources)
{
    Qajax ajax;
    ajax.post({{"text", text}, {"voice", voice}}, m_server.urls().ttsReading);
    if (ajax.networkError() != 0 || ajax.code() != 1)
        return QStringLiteral("<failed: %1>").arg(ajax.msg());
    if (sources)
        *sources = ajax.dataObject().value("sources").toString();
    return ajax.dataObject().value("reading").toString();
}

ReadingDialog *TestSynthesisListen::openReadingDialog(const QString &script, int from, int to)
{
    editor()->setPlainText(script);
    select(from, to);
    editor()->showReadingAction()->trigger();
    ReadingDialog *dialog = m_page->readingDialog();
    if (!dialog || !dialog->isVisible())
        return nullptr;
    return dialog;
}

void TestSynthesisListen::listenPlaysOnlyThatPassage_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tagged");
    QTest::addColumn<bool>("byKey");

    const QString lines = QStringLiteral("今天我们去北京开会。\n下午三点在会议室见面，请大家准时到场。\n会议结束后一起吃晚饭。");
    // 今天我们去北京开会。 0-10, line break 10, second line 11-30, line break 30, third line 31-42
    QTest::newRow("a selection inside a line") << lines << 11 << 21 << "下午三点在会议室见面" << false << true;
    QTest::newRow("the current line without a selection") << lines << 15 << 15 << "下午三点在会议室见面，请大家准时到场。"
                                                         << false << false;
    QTest::newRow("a selection across lines is folded") << lines << 5 << 15 << "北京开会。，下午三点" << false << false;
    const QString tagged = QStringLiteral("开场白。\n「%1」这一句由另一位配音员朗读。「」\n结束。");
    // 开场白。 0-4, line break 4, 「%1」 5-9, the passage 9-22, 「」 22-24
    QTest::newRow("a line inside a tag: the tag's voice") << tagged << 12 << 12 << "这一句由另一位配音员朗读。" << true
                                                          << true;
}

void TestSynthesisListen::listenPlaysOnlyThatPassage()
{
    QFETCH(QString, script);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, text);
    QFETCH(bool, tagged);
    QFETCH(bool, byKey);

    if (tagged) {
        // The tag named by identifier; positions count from the start of the tag.
        script = script.arg(m_otherVoice);
        const int shift = m_otherVoice.size() - 2;
        anchor += shift;
        position += shift;
    }
    const QString voice = tagged ? m_otherVoice : m_chooserVoice;
    editor()->setPlainText(script);
    select(anchor, position);
    const int boxesBefore = m_harness.boxes.count();

    if (byKey) {
        m_page->activateWindow();
        editor()->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(m_page));
        QTest::keyClick(editor(), Qt::Key_Return, Qt::ControlModifier);
    } else {
        editor()->listenSelectionAction()->trigger();
    }
    QVERIFY(m_page->synthesisJob());
    const JobPlan plan = m_page->synthesisJob()->plan();
    QCOMPARE(plan.mode, JobMode::TryListen);
    QCOMPARE(plan.passages.size(), 1);
    QCOMPARE(plan.passages[0].text, text);
    QCOMPARE(plan.passages[0].voice, voice);
    // In a job folder of its own under audio/, like a try-listen.
    QVERIFY(plan.folder.startsWith(audioDir));

    const double played = waitUntilPlayed();
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(m_harness.boxes.count(), boxesBefore);
    QVERIFY(m_harness.opened.urls.isEmpty());
    // The script itself is not touched.
    QCOMPARE(editor()->toPlainText(), script);

    const QString name = QString::number(++m_reference);
    renderReference(text, voice, name);
    const double alone = mp3Seconds(audioDir + "reference/" + name + ".mp3");
    QVERIFY(alone > 0.5);
    QVERIFY2(qAbs(played - alone) < 0.12, qPrintable(QString("played %1 s, the passage alone %2 s").arg(played).arg(alone)));
}

void TestSynthesisListen::listenIsRefusedWhileAJobRuns()
{
    QString script;
    for (int i = 0; i < 40; ++i)
        script += QStringLiteral("这是第%1段，用来让合成任务多运行一会儿。\n").arg(i + 1);
    editor()->setPlainText(script);
    QTest::mouseClick(child<QPushButton>(m_page, "resultBtn"), Qt::LeftButton);
    QVERIFY(m_page->isJobRunning());
    SynthesisJob *running = m_page->synthesisJob();
    const int boxesBefore = m_harness.boxes.count();

    select(3, 3);
    editor()->listenSelectionAction()->trigger();

    QTRY_COMPARE(m_harness.boxes.count(), boxesBefore + 1);
    QCOMPARE(m_harness.boxes.last().caption, QString("试听选中"));
    QCOMPARE(m_harness.boxes.last().text, QString("正在合成，请等当前任务结束后再试听"));
    // The job goes on undisturbed and delivers its whole script.
    QCOMPARE(m_page->synthesisJob(), running);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 120000);
    QVERIFY(running->isDelivered());
    QCOMPARE(running->plan().passages.size(), 1);
    QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(running->plan().folder)});
    QCOMPARE(m_harness.boxes.count(), boxesBefore + 1);

    // Once it is over, a listen goes ahead.
    editor()->listenSelectionAction()->trigger();
    QVERIFY(m_page->synthesisJob() != running);
    QCOMPARE(m_page->synthesisJob()->plan().passages.value(0).text, QString("这是第1段，用来让合成任务多运行一会儿。"));
    QVERIFY(waitUntilPlayed() > 0.5);
}

void TestSynthesisListen::aCorrectedReadingIsSavedAndRead()
{
    const QByteArray mine("# 我自己的读音\r\n银行\tyin2 hang2\r\n\r\n#重庆\tchong2 qing4\r\n长江\tchang2 jiang1");
    writeAll(lexiconPath(), mine);
    const ino_t before = inodeOf(lexiconPath());
    QTRY_COMPARE(readingOf("重庆", m_chooserVoice), QString("chong2 qing4"));

    ReadingDialog *dialog = openReadingDialog(QStringLiteral("我们明天去“重庆”出差。"), 5, 9);
    QVERIFY(dialog);
    QCOMPARE(dialog->text(), QString("“重庆”"));
    QCOMPARE(dialog->word(), QString("重庆"));
    QCOMPARE(child<QLabel>(dialog, "textLabel")->text(), QString("“重庆”"));
    auto *edit = child<QLineEdit>(dialog, "readingEdit");
    QCOMPARE(edit->text(), QString("chóng qìng"));
    QVERIFY(!child<QLabel>(dialog, "sourceLabel")->text().contains("<u>"));

    edit->setText(QStringLiteral("zhòng qìng"));
    QTest::mouseClick(child<QPushButton>(dialog, "saveReadingBtn"), Qt::LeftButton);
    QVERIFY2(!dialog->messageIsError(), qPrintable(dialog->message()));

    // Appended in the file's own line ends, everything else as it was.
    QCOMPARE(readAll(lexiconPath()), mine + "\r\n重庆\tzhong4 qing4\r\n");
    // A new file put in place of the old one, nothing left beside it.
    QVERIFY(inodeOf(lexiconPath()) != before);
    QCOMPARE(QDir::current().entryList({"*lexicon*"}, QDir::Files | QDir::Hidden), QStringList{"lexicon.txt"});

    // The service reads it that way now, and says where it comes from.
    QString sources;
    QTRY_COMPARE_WITH_TIMEOUT(readingOf("重庆", m_chooserVoice, &sources), QString("zhong4 qing4"), 5000);
    QCOMPARE(sources, QString("uu"));
    // And the dialog marks the syllables from the user's list.
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(dialog, "sourceLabel")->text().contains("<u>zhòng</u>"), 5000);
    QVERIFY(child<QLabel>(dialog, "sourceLabel")->text().contains("<u>qìng</u>"));
    QVERIFY(child<QLabel>(dialog, "legendLabel")->isVisible());

    // Saved again with another reading: replaced in place, not added.
    edit->setText(QStringLiteral("chong2 qing4"));
    QTest::mouseClick(child<QPushButton>(dialog, "saveReadingBtn"), Qt::LeftButton);
    QCOMPARE(readAll(lexiconPath()), mine + "\r\n重庆\tchong2 qing4\r\n");
}

void TestSynthesisListen::aReadingTheServiceCannotUseIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unknown syllable") << "chóng qxng" << "读音无法使用：无法识别的拼音：qxng";
    QTest::newRow("bad tone") << "chong2 qing9" << "读音无法使用：声调必须是 1 到 5：qing9";
    QTest::newRow("too few syllables") << "chóng" << "读音无法使用：读音有 1 个音节，但“重庆”有 2 个汉字";
    QTest::newRow("empty") << "  " << "读音无法使用：读音为空";
}

void TestSynthesisListen::aReadingTheServiceCannotUseIsRefused()
{
    QFETCH(QString, typed);
    QFETCH(QString, reason);

    const QByteArray mine("# 我自己的读音\n银行\tyin2 hang2\n");
    writeAll(lexiconPath(), mine);
    const ino_t before = inodeOf(lexiconPath());

    ReadingDialog *dialog = openReadingDialog(QStringLiteral("重庆"), 0, 2);
    QVERIFY(dialog);
    child<QLineEdit>(dialog, "readingEdit")->setText(typed);
    SynthesisJob *jobBefore = m_page->synthesisJob();
    const int boxesBefore = m_harness.boxes.count();

    QTest::mouseClick(child<QPushButton>(dialog, "saveReadingBtn"), Qt::LeftButton);
    QVERIFY(dialog->messageIsError());
    QCOMPARE(dialog->message(), reason);
    QCOMPARE(readAll(lexiconPath()), mine);
    QCOMPARE(inodeOf(lexiconPath()), before);

    // Nor is it listened to.
    QTest::mouseClick(child<QPushButton>(dialog, "listenReadingBtn"), Qt::LeftButton);
    QCOMPARE(dialog->message(), reason);
    QCOMPARE(m_page->synthesisJob(), jobBefore);
    QCOMPARE(m_harness.boxes.count(), boxesBefore);
}

void TestSynthesisListen::listenBeforeSavingUsesTheCorrection()
{
    ReadingDialog *dialog = openReadingDialog(QStringLiteral("重庆"), 0, 2);
    QVERIFY(dialog);
    child<QLineEdit>(dialog, "readingEdit")->setText(QStringLiteral("zhòng qìng"));
    QTest::mouseClick(child<QPushButton>(dialog, "listenReadingBtn"), Qt::LeftButton);
    QVERIFY2(!dialog->messageIsError(), qPrintable(dialog->message()));

    QVERIFY(m_page->synthesisJob());
    const JobPlan plan = m_page->synthesisJob()->plan();
    QCOMPARE(plan.passages.size(), 1);
    QCOMPARE(plan.passages[0].text, QString("重庆"));
    QCOMPARE(plan.passages[0].voice, m_chooserVoice);
    QCOMPARE(plan.passages[0].reading, QString("zhong4 qing4"));
    const double played = waitUntilPlayed();
    QVERIFY(!QTest::currentTestFailed());

    // Heard, not saved: no lexicon.txt, and the service still reads its own way.
    QVERIFY(!QFileInfo::exists(lexiconPath()));
    QCOMPARE(readingOf("重庆", m_chooserVoice), QString("chong2 qing4"));
    const QString name = QString::number(++m_reference);
    renderReference("重庆", m_chooserVoice, name, "zhong4 qing4");
    QVERIFY2(qAbs(played - mp3Seconds(audioDir + "reference/" + name + ".mp3")) < 0.12, qPrintable(QString::number(played)));
    // The dialog stays open for the save.
    QVERIFY(dialog->isVisible());
}

void TestSynthesisListen::aJapaneseReadingIsCorrectedInKana()
{
    const QString script = QStringLiteral("「%1」東京に行きます。「」").arg(japaneseVoice);
    const int at = script.indexOf(QStringLiteral("東京"));
    ReadingDialog *dialog = openReadingDialog(script, at, at + 2);
    QVERIFY(dialog);
    QCOMPARE(dialog->voice(), japaneseVoice);
    auto *edit = child<QLineEdit>(dialog, "readingEdit");
    QVERIFY(!edit->text().isEmpty());
    for (const uint c : edit->text().toUcs4())
        QVERIFY2(ReadingText::isKana(c), qPrintable(edit->text()));

    // Kana only; then saved.
    edit->setText(QStringLiteral("tokyo"));
    QTest::mouseClick(child<QPushButton>(dialog, "saveReadingBtn"), Qt::LeftButton);
    QCOMPARE(dialog->message(), QString("读音无法使用：假名读音只能包含平假名、片假名和“ー”：t"));
    QVERIFY(!QFileInfo::exists(lexiconPath()));
    edit->setText(QStringLiteral("とーきょー"));
    QTest::mouseClick(child<QPushButton>(dialog, "saveReadingBtn"), Qt::LeftButton);
    QVERIFY2(!dialog->messageIsError(), qPrintable(dialog->message()));
    QCOMPARE(readAll(lexiconPath()), QByteArray("東京\tとーきょー\n"));
    QString sources;
    QTRY_COMPARE_WITH_TIMEOUT(readingOf("東京", japaneseVoice, &sources), QString("とーきょー"), 5000);
    QCOMPARE(sources, QString("uuuuu"));
}

// The dialog checks a correction itself, so that what it lets through is
// what the service reads: every syllable it knows, in every tone, with and
// without a merged erhua r, laid over a text of as many characters.
void TestSynthesisListen::everySyllableTheDialogTakesTheServiceTakes()
{
    QStringList syllables;
    QString text;
    int tone = 0;
    for (const QString &base : ReadingText::inventory()) {
        tone = tone % 5 + 1;
        syllables << base + QString::number(tone);
        text += QStringLiteral("字");
        if (base != "e" && base != "er" && base != "m" && base != "n" && base != "ng") {
            syllables << base + "r" + QString::number(tone);
            text += QStringLiteral("字儿");
        }
    }
    const QString reading = syllables.join(' ');
    QVERIFY(ReadingText::checkPinyin(text, reading).ok);
    const QString folder = audioDir + "inventory/";
    QVERIFY(QDir().mkpath(folder));
    Qajax ajax;
    ajax.post({{"text", text},
               {"voice", m_chooserVoice},
               {"rates", "+0%"},
               {"volumes", "+0%"},
               {"write_media", folder + "all.mp3"},
               {"write_subtitles", folder + "all.srt"},
               {"reading", reading}},
              m_server.urls().ttsCommunicate);
    QCOMPARE(ajax.networkError(), 0);
    QVERIFY2(ajax.code() == 1, qPrintable(ajax.msg()));
}

QTEST_MAIN(TestSynthesisListen)
#include "test_synthesis_listen.moc"
