#include "PageHarness.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "ttsMain.h"

#include <QMediaPlaylist>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// As an editor on Windows writes it: a byte order mark, CRLF; cue 2 has a
// time that cannot be read, cue 4 starts before cue 3 has ended.
const QByteArray fieldSrt = "\xEF\xBB\xBF"
                            "1\r\n00:00:01,000 --> 00:00:02,000\r\n第一句\r\n\r\n"
                            "2\r\n00:00:0x,000 --> 00:00:04,000\r\n坏的\r\n\r\n"
                            "3\r\n00:00:05,000 --> 00:00:07,000\r\n<i>第三句</i>\r\n\r\n"
                            "4\r\n00:00:06,500 --> 00:00:08,000\r\n第四句\r\n第二行\r\n";
const QString fieldLines = QStringLiteral("[00:00:01,000 --> 00:00:02,000] 第一句\n"
                                          "[00:00:05,000 --> 00:00:07,000] 第三句\n"
                                          "[00:00:06,500 --> 00:00:08,000] 第四句 第二行");
const QString fieldNotice = QStringLiteral("已导入 3 条字幕，1 条无法使用：\n"
                                           "字幕 2（第 5 行）：时间无法识别，已跳过\n\n"
                                           "1 处字幕时间重叠，已照常导入：\n"
                                           "字幕 4（第 13 行）与字幕 3（第 9 行）的时间重叠");

// A drag of `mime` over the widget's viewport at `pos`, dropped there; true
// when the widget took the drag in.
bool dragAndDrop(QAbstractScrollArea *target, const QMimeData *mime, QPoint pos)
{
    QWidget *viewport = target->viewport();
    QDragEnterEvent enter(pos, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(pos, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return true;
}

} // namespace

// Opens the page; stops the test when it could not.
#define OPEN_PAGE()                                                                                \
    do {                                                                                           \
        openPage();                                                                                \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

// Subtitle files brought into a real page (by drop, or as the window's menu
// calls it), the WAV switch on the page's jobs, and the box that tells what
// a timeline job changed. The rules behind them are tested in tests/core.
class TestPageImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void droppedSubtitlesImport_data();
    void droppedSubtitlesImport();
    void otherDropsAreText_data();
    void otherDropsAreText();
    void unusableFileLeavesTheScript_data();
    void unusableFileLeavesTheScript();
    void wavOnlyForResultJobs_data();
    void wavOnlyForResultJobs();
    void wavSwitchIsKept_data();
    void wavSwitchIsKept();
    void timelineReportAfterDelivery_data();
    void timelineReportAfterDelivery();
    void skippedCueLineIsToldByTheJob();

private:
    void openPage();
    TTSText *editor() const { return m_page->findChild<TTSText *>("textEdit"); }
    QString path(const QString &name) const { return QDir::currentPath() + "/" + name; }
    Boxes newBoxes() const { return m_harness.newBoxes(); }

    // The stand-in service: getVoices refuses (the loader stops with one box
    // and the page is settled), the synthesis endpoints write what the real
    // one would.
    PageHarness m_harness;
    ttsMain *m_page = nullptr;
};

void TestPageImport::initTestCase()
{
    QVERIFY2(m_harness.start(), "the fake service could not listen");
}

void TestPageImport::init()
{
    m_harness.reset();
}

void TestPageImport::cleanup()
{
    if (m_page)
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    delete m_page;
    m_page = nullptr;
}

void TestPageImport::openPage()
{
    const int boxesBefore = m_harness.boxes.count();
    m_page = m_harness.newPage();
    QVERIFY2(m_page, "the page's catalogue loader never finished");
    m_page->resize(862, 583);
    QCOMPARE(m_harness.boxes.count(), boxesBefore + 1);
    QCOMPARE(m_harness.boxes.last().caption, QString("获取结果"));
}

void TestPageImport::droppedSubtitlesImport_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("script");
    QTest::addColumn<Boxes>("boxes");

    QTest::newRow("SRT with mark, CRLF, a bad cue and an overlap")
        << "片段.srt" << fieldSrt << fieldLines << Boxes{{"导入字幕", fieldNotice}};
    QTest::newRow("WebVTT, suffix in capitals")
        << "talk.VTT" << QByteArray("WEBVTT\n\n00:01.000 --> 00:02.500\n<v 甲>你好\n") << "[00:00:01,000 --> 00:00:02,500] 你好"
        << Boxes{};
    QTest::newRow("LRC, corner brackets kept from reading as tags")
        << "歌.lrc" << QByteArray("[00:01.00]「你好」\n[00:03.00]\n") << "[00:00:01,000 --> 00:00:03,000] 『你好』" << Boxes{};
}

void TestPageImport::droppedSubtitlesImport()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, script);
    QFETCH(Boxes, boxes);

    writeBytes(path(name), bytes);
    OPEN_PAGE();
    m_page->setScriptText("「晓晓」原来的文案「」");
    QSignalSpy dropped(editor(), &TTSText::subtitleDropped);

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path(name))});
    mime.setText(QUrl::fromLocalFile(path(name)).toString()); // file managers offer the name as text too
    QVERIFY(dragAndDrop(editor(), &mime, editor()->viewport()->rect().center()));

    QTRY_COMPARE(dropped.count(), 1);
    QTRY_COMPARE(m_page->scriptText(), script);
    QTRY_COMPARE(newBoxes(), boxes);
    // One edit: the old script is a single undo away.
    editor()->undo();
    QCOMPARE(m_page->scriptText(), QString("「晓晓」原来的文案「」"));
}

void TestPageImport::otherDropsAreText_data()
{
    QTest::addColumn<QStringList>("files");

    QTest::newRow("a text file") << QStringList{"notes.txt"};
    QTest::newRow("two subtitle files at once") << QStringList{"a.srt", "b.srt"};
}

void TestPageImport::otherDropsAreText()
{
    QFETCH(QStringList, files);

    QList<QUrl> urls;
    for (const QString &file : files) {
        writeBytes(path(file), "1\n00:00:01,000 --> 00:00:02,000\n不该导入\n");
        urls.append(QUrl::fromLocalFile(path(file)));
    }
    QMimeData mime;
    mime.setUrls(urls);
    mime.setText(QStringLiteral("拖进来的文字"));

    OPEN_PAGE();
    m_page->setScriptText("旁白");
    QSignalSpy dropped(editor(), &TTSText::subtitleDropped);

    // What a plain text edit of the same size makes of the same drop, below
    // the text (so both put it at the end).
    QTextEdit plain;
    plain.setPlainText("旁白");
    plain.resize(editor()->size());
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    const auto bottomRight = [](QAbstractScrollArea *area) { return area->viewport()->rect().bottomRight() - QPoint(2, 2); };
    QVERIFY(dragAndDrop(&plain, &mime, bottomRight(&plain)));
    QVERIFY(plain.toPlainText() != "旁白"); // the drop did something to compare with

    QVERIFY(dragAndDrop(editor(), &mime, bottomRight(editor())));
    QCOMPARE(m_page->scriptText(), plain.toPlainText());
    QCoreApplication::processEvents(); // an announcement would be queued
    QCOMPARE(dropped.count(), 0);
    QCOMPARE(newBoxes(), Boxes{});
}

void TestPageImport::unusableFileLeavesTheScript_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // empty: no such file
    QTest::addColumn<QString>("textStart");

    QTest::newRow("missing file") << "没有.srt" << QByteArray() << "无法读取字幕文件：";
    QTest::newRow("a folder named like subtitles") << "folder.srt" << QByteArray("folder") << "无法读取字幕文件：";
    QTest::newRow("not a subtitle type") << "a.txt" << QByteArray("1\n") << "不支持的字幕格式：a.txt";
    QTest::newRow("no usable cue") << "bad.srt" << QByteArray("1\n00:00:09,000 --> 00:00:01,000\n倒\n")
                                   << "bad.srt 中没有可导入的字幕，文案未改动。";
}

void TestPageImport::unusableFileLeavesTheScript()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, textStart);

    if (bytes == "folder")
        QVERIFY(QDir().mkpath(path(name)));
    else if (!bytes.isEmpty())
        writeBytes(path(name), bytes);
    OPEN_PAGE();
    editor()->setPlainText("保持原样");
    QVERIFY(!editor()->document()->isUndoAvailable());

    QVERIFY(!m_page->importSubtitles(path(name)));
    QTRY_COMPARE(newBoxes().size(), 1);
    QCOMPARE(newBoxes().first().first, QString("导入字幕"));
    QVERIFY2(newBoxes().first().second.startsWith(textStart), qPrintable(newBoxes().first().second));
    QCOMPARE(m_page->scriptText(), QString("保持原样"));
    QVERIFY(!editor()->document()->isUndoAvailable());
}

void TestPageImport::wavOnlyForResultJobs_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("result"); // the 合成 button, or 试听
    QTest::addColumn<bool>("writeWav");

    QTest::newRow("ticked, result") << true << true << true;
    QTest::newRow("ticked, try-listen") << true << false << false;
    QTest::newRow("not ticked, result") << false << true << false;
}

void TestPageImport::wavOnlyForResultJobs()
{
    QFETCH(bool, ticked);
    QFETCH(bool, result);
    QFETCH(bool, writeWav);

    OPEN_PAGE();
    m_page->setWriteWav(ticked);
    QCOMPARE(m_page->writeWav(), ticked);
    m_page->setScriptText("「晓晓」你好「」");
    QTest::mouseClick(m_page->findChild<QPushButton *>(result ? "resultBtn" : "tryPlay"), Qt::LeftButton);
    QVERIFY(m_page->synthesisJob());
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QVERIFY(m_page->synthesisJob()->isDelivered());
    QCOMPARE(m_page->synthesisJob()->plan().writeWav, writeWav);
}

void TestPageImport::wavSwitchIsKept_data()
{
    QTest::addColumn<bool>("saved");
    QTest::newRow("ticked") << true;
    QTest::newRow("not ticked, over a page that had it") << false;
}

void TestPageImport::wavSwitchIsKept()
{
    QFETCH(bool, saved);

    const QString folder = QDir::currentPath() + "/";
    OPEN_PAGE();
    m_page->enableAutosave(folder);
    m_page->setWriteWav(!saved);
    m_page->setWriteWav(saved);
    m_page->saveAutosave();
    QVERIFY(QFileInfo::exists(folder + Autosave::sessionFileName()));
    delete m_page;
    m_page = nullptr;

    OPEN_PAGE();
    m_page->setWriteWav(!saved);
    m_page->enableAutosave(folder);
    m_page->restoreAutosave();
    QCOMPARE(m_page->writeWav(), saved);
}

void TestPageImport::timelineReportAfterDelivery_data()
{
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("joinFails");
    QTest::addColumn<Boxes>("boxes");

    const Box report{"字幕对齐", "以下字幕的语音比字幕时间长，已调整：\n第 2 条字幕：语速加快到 +20%"};
    QTest::newRow("result job: folder opened, then the box") << true << false << Boxes{report};
    QTest::newRow("try-listen job: played, then the box") << false << false << Boxes{report};
    QTest::newRow("nothing delivered: only the failure") << true << true
                                                         << Boxes{{"合成结果", "没有可合并的音频"}};
}

void TestPageImport::timelineReportAfterDelivery()
{
    QFETCH(bool, result);
    QFETCH(bool, joinFails);
    QFETCH(Boxes, boxes);

    OPEN_PAGE();
    if (joinFails) {
        // A script of cue lines is joined on the timeline.
        m_harness.service.setResponder([](const FakeService::Request &request) {
            if (request.path == "/audioTimeline")
                return FakeService::envelope(0, QStringLiteral("没有可合并的音频"));
            return PageHarness::usualReply(request);
        });
    }
    m_page->setScriptText("[00:00:01,000 --> 00:00:02,000] 「晓晓」一「」\n[00:00:02,000 --> 00:00:03,000] 「晓晓」二「」");
    QTest::mouseClick(m_page->findChild<QPushButton *>(result ? "resultBtn" : "tryPlay"), Qt::LeftButton);
    SynthesisJob *job = m_page->synthesisJob();
    QVERIFY(job);
    QVERIFY(job->isRunning());
    // What a timeline job that had to fit its cues says, at the moment it says it.
    bool noBoxBeforeDelivery = false;
    connect(job, &SynthesisJob::joining, this, [job] {
        emit job->adjusted(QStringLiteral("字幕对齐"),
                           QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n第 2 条字幕：语速加快到 +20%"));
    });
    connect(job, &SynthesisJob::delivered, this, [&] { noBoxBeforeDelivery = newBoxes().isEmpty(); });
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QTRY_COMPARE(newBoxes(), boxes);
    QCoreApplication::processEvents();
    QCOMPARE(newBoxes(), boxes); // once only

    if (joinFails)
        return;
    QVERIFY(noBoxBeforeDelivery);
    if (result) {
        QCOMPARE(m_harness.opened.urls, QList<QUrl>{QUrl::fromLocalFile(job->plan().folder)});
    } else {
        QVERIFY(m_harness.opened.urls.isEmpty());
        QCOMPARE(m_page->mediaPlaylist()->mediaCount(), 1);
    }

    // The next job that changes nothing on its timeline shows no box.
    m_harness.markBoxes();
    QTest::mouseClick(m_page->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QTRY_COMPARE(m_page->synthesisJob()->isDelivered(), true);
    QCoreApplication::processEvents();
    QCOMPARE(newBoxes(), Boxes{});
}

void TestPageImport::skippedCueLineIsToldByTheJob()
{
    // No scripted signal here: the job itself reports the line it could not use.
    OPEN_PAGE();
    m_page->setScriptText("[00:00:01,000 --> 00:00:02,000] 「晓晓」一「」\n"
                          "[00:00:05,000 --> 00:00:03,000] 「晓晓」二「」\n"
                          "[00:00:06,000 --> 00:00:07,000] 「晓晓」三「」");
    QTest::mouseClick(m_page->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_page->isJobRunning(), 30000);
    QVERIFY(m_page->synthesisJob()->isDelivered());
    QCOMPARE(m_page->synthesisJob()->plan().passages.size(), 2);
    QTRY_COMPARE(newBoxes().size(), 1);
    QCOMPARE(newBoxes().first().first, QString("字幕对齐"));
    QVERIFY2(newBoxes().first().second.contains("第 2 行"), qPrintable(newBoxes().first().second));
    QCOMPARE(m_harness.opened.urls.size(), 1);
}

QTEST_MAIN(TestPageImport)
#include "test_pageimport.moc"
