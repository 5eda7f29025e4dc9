#include "Autosave.h"
#include "MainWindow.h"
#include "PageHarness.h"
#include "ScriptFile.h"
#include "SynthesisJob.h"
#include "TTSText.h"
#include "ttsMain.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Answers the next file dialog the window opens: picks `path` and accepts.
class DialogAnswer : public QObject
{
public:
    explicit DialogAnswer(const QString &path, const QString &dialogName = "scriptFileDialog")
        : m_path(path)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, dialogName] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QFileDialog *>(widget);
                if (!dialog || !dialog->isVisible() || dialog->objectName() != dialogName)
                    continue;
                // Until it closes: a dialog still reading its folder may
                // not take the first answer.
                ++attempts;
                acceptMode = dialog->acceptMode();
                native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
                filters = dialog->nameFilters();
                // A file the dialog selected in its listing (the one last saved)
                // outweighs typed text unless the name field has the focus,
                // which an offscreen window need not give it.
                if (auto *list = dialog->findChild<QListView *>("listView"))
                    list->selectionModel()->clearSelection();
                // Typed, as a user would: the dialog's folder listing may still
                // hold an earlier test's files and not select this one.
                if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
                    name->setText(m_path);
                else
                    dialog->selectFile(m_path);
                static_cast<QDialog *>(dialog)->accept(); // public in QDialog
                answered = true;
            }
        });
        m_timer.start(20);
    }

    bool answered = false;
    int attempts = 0;
    bool native = true;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QStringList filters;

private:
    QString m_path;
    QTimer m_timer;
};

// Cue 2's time cannot be read; cue 3 starts before cue 1 has ended.
const QByteArray fieldSrt = "\xEF\xBB\xBF"
                            "1\r\n00:00:01,000 --> 00:00:03,000\r\n开场白\r\n\r\n"
                            "2\r\n00:00:02,x00 --> 00:00:04,000\r\n坏的\r\n\r\n"
                            "3\r\n00:00:02,500 --> 00:00:05,000\r\n<font color=\"red\">接着说</font>\r\n";
const QString fieldLines = QStringLiteral("[00:00:01,000 --> 00:00:03,000] 开场白\n"
                                          "[00:00:02,500 --> 00:00:05,000] 接着说");

} // namespace

using Bytes = QByteArray;

// The 文件 menu of the main window and what the program opens at start,
// with Chinese scripts in the encodings users have. The window's loader asks
// the service at the fixed address, answered by a stand-in.
class TestScriptMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openAndSaveRoundTrip();
    void encodingsThatOpen_data();
    void encodingsThatOpen();
    void saveAsWritesANewFile();
    void openingCanBeUndone();
    void failuresAreTold_data();
    void failuresAreTold();
    void firstArgumentOpensTheScript();
    void withoutArgumentTheAutosaveComesBack();
    void importThroughTheMenu();
    void firstArgumentImportsSubtitles();
    void wavSwitchComesBackAndReachesTheJob();

private:
    MainWindow *newWindow();
    TTSText *editor() const { return m_window->page()->findChild<TTSText *>("textEdit"); }
    QAction *action(const char *name) const { return m_window->findChild<QAction *>(name); }
    QString path(const QString &name) const { return QDir::currentPath() + "/" + name; }

    PageHarness m_harness;
    MainWindow *m_window = nullptr;
};

void TestScriptMenu::initTestCase()
{
    QVERIFY(m_harness.start(5000));
}

void TestScriptMenu::init()
{
    m_harness.reset();
    // An empty voice list; a job's passages and join are written as the real
    // service would, but only below this test's folder: port 5000 is the
    // machine's, and a program elsewhere may ask it too.
    const QString here = QDir::currentPath() + "/";
    m_harness.service.setResponder([here](const FakeService::Request &request) {
        const QString target = request.formValue("write_media") + request.formValue("path");
        return target.startsWith(here) ? FakeService::rendered(request) : FakeService::ok("[]");
    });
}

void TestScriptMenu::cleanup()
{
    // The next test must not clear the folder under a loader still using data.db.
    QTRY_VERIFY(!PageHarness::loaderRunning());
    if (m_window)
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->page()->isJobRunning(), 30000);
    // Deleted, not closed: closing would stop every service process by name.
    delete m_window;
    m_window = nullptr;
}

MainWindow *TestScriptMenu::newWindow()
{
    m_window = new MainWindow;
    m_harness.watch(m_window->page());
    m_window->show();
    // The first start's overlay comes and goes; then the page is idle.
    if (!m_harness.settle(m_window->page()) || m_window->page()->busyOverlay())
        qWarning("the first catalogue fetch did not end");
    m_harness.markBoxes();
    return m_window;
}

void TestScriptMenu::openAndSaveRoundTrip()
{
    const QString script = QStringLiteral("「晓晓」你好，世界。「」\n第二行：旁白。\n");
    const QString file = path("文案.txt");
    writeBytes(file, script.toUtf8());
    newWindow();

    {
        DialogAnswer answer(file);
        action("actionOpenScript")->trigger();
        QVERIFY(answer.answered);
        QVERIFY(!answer.native);
        QCOMPARE(answer.acceptMode, QFileDialog::AcceptOpen);
    }
    QCOMPARE(m_window->page()->scriptText(), script);
    QCOMPARE(m_window->scriptPath(), file);

    // 保存文案 writes back to the same file, without asking.
    editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor(), "end");
    action("actionSaveScript")->trigger();
    QCOMPARE(readBytes(file), (script + "end").toUtf8());
    QCOMPARE(QDir::current().entryList({"*.txt"}, QDir::Files).filter("文案").size(), 1);
    QCOMPARE(m_harness.newBoxes(), Boxes{});
}

void TestScriptMenu::encodingsThatOpen_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("text");

    // Written out by hand from the encodings' tables.
    QTest::newRow("GB18030") << Bytes("\xC4\xE3\xBA\xC3\xA3\xAC\xD6\xD0\xCE\xC4\r\n") << QStringLiteral("你好，中文\r\n");
    QTest::newRow("UTF-16 little-endian with mark") << Bytes("\xFF\xFE\x60\x4F\x7D\x59", 6) << QStringLiteral("你好");
    QTest::newRow("UTF-16 big-endian with mark") << Bytes("\xFE\xFF\x4F\x60\x59\x7D", 6) << QStringLiteral("你好");
    QTest::newRow("UTF-8 with mark") << Bytes("\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD") << QStringLiteral("你好");
}

void TestScriptMenu::encodingsThatOpen()
{
    QFETCH(Bytes, bytes);
    QFETCH(QString, text);
    const QString file = path("script.txt");
    writeBytes(file, bytes);
    newWindow();
    {
        DialogAnswer answer(file);
        action("actionOpenScript")->trigger();
        QVERIFY(answer.answered);
    }
    QCOMPARE(m_window->page()->scriptText(), QString(text).replace("\r\n", "\n"));
    // Saved again, it is UTF-8.
    action("actionSaveScript")->trigger();
    QCOMPARE(readBytes(file), QString(text).replace("\r\n", "\n").toUtf8());
}

void TestScriptMenu::saveAsWritesANewFile()
{
    newWindow();
    m_window->page()->setScriptText("另存的文案");
    const QString file = path("新文件.txt");
    {
        // With no file yet, 保存文案 asks where, as 另存为 does.
        DialogAnswer answer(file);
        action("actionSaveScript")->trigger();
        QVERIFY(answer.answered);
        QCOMPARE(answer.acceptMode, QFileDialog::AcceptSave);
    }
    QCOMPARE(readBytes(file), QString("另存的文案").toUtf8());
    const QString second = path("副本.txt");
    {
        DialogAnswer answer(second);
        action("actionSaveScriptAs")->trigger();
        QVERIFY(answer.answered);
    }
    QCOMPARE(readBytes(second), QString("另存的文案").toUtf8());
    QCOMPARE(m_window->scriptPath(), second);
}

void TestScriptMenu::openingCanBeUndone()
{
    writeBytes(path("other.txt"), "opened");
    newWindow();
    m_window->page()->setScriptText("typed before");
    QVERIFY(m_window->openScript(path("other.txt")));
    QCOMPARE(m_window->page()->scriptText(), QString("opened"));
    editor()->undo();
    QCOMPARE(m_window->page()->scriptText(), QString("typed before"));
}

void TestScriptMenu::failuresAreTold_data()
{
    QTest::addColumn<bool>("saving");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("textStart");

    QTest::newRow("open a missing file") << false << "missing.txt" << "打开文案" << "文件不存在";
    QTest::newRow("open a binary file") << false << "binary.bin" << "打开文案" << "无法识别文件的编码";
    QTest::newRow("save into a missing folder") << true << "nowhere/script.txt" << "保存文案" << "无法保存文件";
}

void TestScriptMenu::failuresAreTold()
{
    QFETCH(bool, saving);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, textStart);

    writeBytes(path("binary.bin"), QByteArray("\x7F" "ELF\0\0\0\xFF", 8));
    newWindow();
    m_window->page()->setScriptText("保持原样");
    const bool ok = saving ? m_window->saveScript(path(name)) : m_window->openScript(path(name));
    QVERIFY(!ok);
    QTRY_COMPARE(m_harness.newBoxes().size(), 1);
    QCOMPARE(m_harness.boxes.last().caption, caption);
    QVERIFY2(m_harness.boxes.last().text.startsWith(textStart), qPrintable(m_harness.boxes.last().text));
    QCOMPARE(m_window->page()->scriptText(), QString("保持原样"));
    QVERIFY(m_window->scriptPath().isEmpty());
}

void TestScriptMenu::firstArgumentOpensTheScript()
{
    QVERIFY(Autosave::saveScript(QDir::currentPath() + "/", "上次的文案"));
    Autosave::Session session;
    session.rate = 35;
    QVERIFY(Autosave::saveSession(QDir::currentPath() + "/", session));
    writeBytes(path("参数.txt"), QByteArray("\xD6\xD0\xCE\xC4")); // 中文 in GB18030
    newWindow();
    m_window->openAtStart({"Sayora_Lumo", "参数.txt"});
    QCOMPARE(m_window->page()->scriptText(), QString("中文"));
    QCOMPARE(m_window->scriptPath(), path("参数.txt"));
    // The settings of the last run come back all the same.
    QCOMPARE(m_window->page()->findChild<QSpinBox *>("rateBox")->value(), 35);
}

void TestScriptMenu::withoutArgumentTheAutosaveComesBack()
{
    QVERIFY(Autosave::saveScript(QDir::currentPath() + "/", "上次的文案"));
    newWindow();
    m_window->openAtStart({"Sayora_Lumo"});
    QCOMPARE(m_window->page()->scriptText(), QString("上次的文案"));
    QVERIFY(m_window->scriptPath().isEmpty());
}

void TestScriptMenu::importThroughTheMenu()
{
    writeBytes(path("字幕.srt"), fieldSrt);
    newWindow();
    m_window->page()->setScriptText("「晓晓」原来的文案「」");
    {
        DialogAnswer answer(path("字幕.srt"), "subtitleFileDialog");
        action("actionImportSubtitles")->trigger();
        QVERIFY(answer.answered);
        QVERIFY(!answer.native);
        QCOMPARE(answer.acceptMode, QFileDialog::AcceptOpen);
        QCOMPARE(answer.filters, QStringList{"字幕文件 (*.srt *.vtt *.lrc)"});
    }
    QCOMPARE(m_window->page()->scriptText(), fieldLines);
    QTRY_COMPARE(m_harness.newBoxes().size(), 1);
    QCOMPARE(m_harness.boxes.last().caption, QString("导入字幕"));
    QVERIFY2(m_harness.boxes.last().text.contains("字幕 2（第 5 行）：时间无法识别"), qPrintable(m_harness.boxes.last().text));
    QVERIFY2(m_harness.boxes.last().text.contains("字幕 3（第 9 行）与字幕 1（第 1 行）的时间重叠"), qPrintable(m_harness.boxes.last().text));
    // The subtitle file is no script: saving still asks where.
    QVERIFY(m_window->scriptPath().isEmpty());
    editor()->undo();
    QCOMPARE(m_window->page()->scriptText(), QString("「晓晓」原来的文案「」"));
}

void TestScriptMenu::firstArgumentImportsSubtitles()
{
    QVERIFY(Autosave::saveScript(QDir::currentPath() + "/", "上次的文案"));
    writeBytes(path("开头.vtt"), "WEBVTT\r\n\r\n00:00:01.000 --> 00:00:02.000\r\n你好\r\n");
    newWindow();
    m_window->openAtStart({"Sayora_Lumo", "开头.vtt"});
    QCOMPARE(m_window->page()->scriptText(), QString("[00:00:01,000 --> 00:00:02,000] 你好"));
    QVERIFY(m_window->scriptPath().isEmpty());
    QCOMPARE(m_harness.newBoxes(), Boxes{});
    // Imported over the last run's script, which one undo brings back.
    editor()->undo();
    QCOMPARE(m_window->page()->scriptText(), QString("上次的文案"));
}

void TestScriptMenu::wavSwitchComesBackAndReachesTheJob()
{
    Autosave::Session session;
    session.writeWav = true;
    QVERIFY(Autosave::saveSession(QDir::currentPath() + "/", session));
    newWindow();
    QVERIFY(!action("actionExportWav")->isChecked());
    m_window->openAtStart({"Sayora_Lumo"});
    QVERIFY(action("actionExportWav")->isChecked());
    QVERIFY(m_window->page()->writeWav());

    action("actionExportWav")->trigger(); // off
    QVERIFY(!m_window->page()->writeWav());
    action("actionExportWav")->trigger(); // on again
    QVERIFY(m_window->page()->writeWav());

    m_window->page()->setScriptText("「晓晓」你好「」");
    QTest::mouseClick(m_window->page()->findChild<QPushButton *>("resultBtn"), Qt::LeftButton);
    QVERIFY(m_window->page()->synthesisJob());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->page()->isJobRunning(), 30000);
    QVERIFY(m_window->page()->synthesisJob()->isDelivered());
    QVERIFY(m_window->page()->synthesisJob()->plan().writeWav);

    // Kept for the next start.
    m_window->page()->saveAutosave();
    const std::optional<Autosave::Session> saved = Autosave::loadSession(QDir::currentPath() + "/");
    QVERIFY(saved);
    QCOMPARE(saved->writeWav, std::optional<bool>(true));
}

QTEST_MAIN(TestScriptMenu)
#include "test_scriptmenu.moc"
