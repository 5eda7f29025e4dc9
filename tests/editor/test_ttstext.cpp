#include "TTSText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

#include <functional>

// The script editor as the user meets it: tags applied to the document, the
// paste key and the context menu, and the announcement of mouse selections.
class TestTTSText : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void insertVoiceTagAppliesToTheDocument_data();
    void insertVoiceTagAppliesToTheDocument();
    void multiLinePassageKeepsItsParagraphs();
    void clearKeepsLineSeparatorsAndNonBreakingSpaces();

    void pasteKeyInsertsPlainText_data();
    void pasteKeyInsertsPlainText();
    void pasteKeyWithoutTextKeepsTheSelection();
    void menuPasteInsertsPlainText();

    void contextMenuHasItsEntries();
    void partOfTheScriptActionsLiveWithTheEditor();
    void ctrlEnterListensWithoutAMenu_data();
    void ctrlEnterListensWithoutAMenu();
    void showReadingNeedsASelection();
    void contextMenuCopyCopiesOnlyASelection();
    void contextMenuClearRemovesTheTagAroundTheCursor_data();
    void contextMenuClearRemovesTheTagAroundTheCursor();

    void mouseSelectionIsAnnouncedAfterTheRelease();
    void clickWithoutSelectionAnnouncesNothing();
    void nothingIsAnnouncedWhilePopupIsOff();
    void releaseOnTheScrollBarAnnouncesNothing();

private:
    void select(int anchor, int position);
    QPoint pointAt(int position) const;
    void dragSelect(int from, int to);
    // Opens the context menu as a right click does; `choose` gets the open
    // menu and must close it. Returns false if no menu showed up.
    bool runContextMenu(const std::function<void(QMenu *)> &choose);
    static void clickEntry(QMenu *menu, const QString &text);
    static void letPendingChecksRun();
    static void setFormattedClipboard();
    static bool documentHasBold(const QTextDocument *document);

    TTSText *edit = nullptr;
};

void TestTTSText::init()
{
    edit = new TTSText;
    edit->resize(400, 200);
    edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(edit));
    QGuiApplication::clipboard()->clear();
}

void TestTTSText::cleanup()
{
    delete edit;
    edit = nullptr;
}

void TestTTSText::select(int anchor, int position)
{
    QTextCursor cursor(edit->document());
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

QPoint TestTTSText::pointAt(int position) const
{
    QTextCursor cursor(edit->document());
    cursor.setPosition(position);
    return edit->cursorRect(cursor).center();
}

void TestTTSText::dragSelect(int from, int to)
{
    // QTest's move carries no button, so the drag is sent as the system would.
    QWidget *viewport = edit->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, pointAt(from));
    const QPoint end = pointAt(to);
    QMouseEvent move(QEvent::MouseMove, end, viewport->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, end);
}

bool TestTTSText::runContextMenu(const std::function<void(QMenu *)> &choose)
{
    bool shown = false;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        shown = true;
        choose(menu);
    });
    poll.start();
    const QPoint at = pointAt(edit->textCursor().position());
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, edit->viewport()->mapToGlobal(at));
    QApplication::sendEvent(edit->viewport(), &event);
    return shown;
}

void TestTTSText::clickEntry(QMenu *menu, const QString &text)
{
    const auto actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text) {
            QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            return;
        }
    }
    menu->close();
    QFAIL(qPrintable("no entry " + text));
}

void TestTTSText::letPendingChecksRun()
{
    // A check is due 100 ms after a release; a marker due later fires after it.
    bool passed = false;
    QTimer::singleShot(300, [&] { passed = true; });
    QTRY_VERIFY(passed);
}

void TestTTSText::setFormattedClipboard()
{
    // Formatted text whose plain version differs, so either source shows.
    auto *data = new QMimeData;
    data->setHtml(QStringLiteral("<b>粗体</b><span style=\"color:red\">红字</span>"));
    data->setText(QStringLiteral("纯文本"));
    QGuiApplication::clipboard()->setMimeData(data);
}

bool TestTTSText::documentHasBold(const QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().fontWeight() > QFont::Normal)
                return true;
        }
    }
    return false;
}

void TestTTSText::insertVoiceTagAppliesToTheDocument_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursor");

    QTest::newRow("plain selection") << "abcd" << 1 << 3 << "a「晓晓」bc「」d" << 9;
    QTest::newRow("after a closed passage") << "「晓晓」abc「」def" << 9 << 11 << "「晓晓」abc「」「晓晓」de「」f" << 17;
    QTest::newRow("inside an open passage") << "「晓晓」abcdef" << 6 << 8 << "「晓晓」abcdef" << 8;
    QTest::newRow("moving end inside a passage") << "「晓晓」abc「」d" << 10 << 5 << "「晓晓」abc「」d" << 5;
}

void TestTTSText::insertVoiceTagAppliesToTheDocument()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QString, expected);
    QFETCH(int, cursor);

    edit->setPlainText(text);
    select(anchor, position);
    edit->insertVoiceTag(QStringLiteral("晓晓"));
    QCOMPARE(edit->toPlainText(), expected);
    QCOMPARE(edit->textCursor().position(), cursor);
    // Applied as one edit: a single undo gives the script back.
    if (expected != text) {
        edit->undo();
        QCOMPARE(edit->toPlainText(), text);
    }
}

void TestTTSText::multiLinePassageKeepsItsParagraphs()
{
    edit->setPlainText(QStringLiteral("ab\ncd"));
    select(1, 4);
    edit->insertVoiceTag(QStringLiteral("晓晓"));
    QCOMPARE(edit->toPlainText(), QStringLiteral("a「晓晓」b\nc「」d"));
    QCOMPARE(edit->document()->blockCount(), 2);

    select(8, 8);
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("清除配音员")); }));
    QCOMPARE(edit->toPlainText(), QStringLiteral("ab\ncd"));
    QCOMPARE(edit->document()->blockCount(), 2);
}

void TestTTSText::clearKeepsLineSeparatorsAndNonBreakingSpaces()
{
    // A soft line break (Shift+Enter) and a non-breaking space stay what they
    // are; reading the script as plain text would turn them into a paragraph
    // break and a space.
    const QString passage = QStringLiteral("a") + QChar(QChar::LineSeparator) + QStringLiteral("b") + QChar(QChar::Nbsp) + QStringLiteral("c");
    edit->setPlainText(QStringLiteral("「晓晓」") + passage + QStringLiteral("「」"));
    select(5, 5);
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("清除配音员")); }));
    QCOMPARE(edit->document()->toRawText(), passage);
    QCOMPARE(edit->document()->blockCount(), 1);
}

void TestTTSText::pasteKeyInsertsPlainText_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    const auto bindings = QKeySequence::keyBindings(QKeySequence::Paste);
    QVERIFY(!bindings.isEmpty());
    for (const QKeySequence &binding : bindings) {
        const int combined = binding[0];
        QTest::newRow(qPrintable(binding.toString()))
            << (combined & ~int(Qt::KeyboardModifierMask)) << (combined & int(Qt::KeyboardModifierMask));
    }
}

void TestTTSText::pasteKeyInsertsPlainText()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);

    edit->setPlainText(QStringLiteral("前后"));
    select(1, 1);
    setFormattedClipboard();
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(edit->toPlainText(), QStringLiteral("前纯文本后"));
    QVERIFY(!documentHasBold(edit->document()));
}

void TestTTSText::pasteKeyWithoutTextKeepsTheSelection()
{
    edit->setPlainText(QStringLiteral("保留这段"));
    select(0, 4);
    auto *data = new QMimeData;
    data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(data);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->toPlainText(), QStringLiteral("保留这段"));
}

void TestTTSText::menuPasteInsertsPlainText()
{
    edit->setPlainText(QStringLiteral("前后"));
    select(1, 1);
    setFormattedClipboard();
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("粘贴")); }));
    QCOMPARE(edit->toPlainText(), QStringLiteral("前纯文本后"));
    QVERIFY(!documentHasBold(edit->document()));
}

void TestTTSText::contextMenuHasItsEntries()
{
    const int actionsBefore = edit->findChildren<QAction *>().size();
    QStringList entries;
    QPointer<QMenu> opened;
    QVERIFY(runContextMenu([&](QMenu *menu) {
        opened = menu;
        const auto actions = menu->actions();
        for (QAction *action : actions)
            entries << (action->isSeparator() ? QStringLiteral("-") : action->text() + (action->isEnabled() ? "" : " (disabled)"));
        menu->close();
    }));
    // Without a selection there is no reading to look up.
    QCOMPARE(entries, QStringList({"清除配音员", "复制", "粘贴", "-", "试听选中", "查看读音 (disabled)"}));
    // Each request builds its own menu and leaves nothing behind; the
    // editor's own actions stay.
    QTRY_VERIFY(opened.isNull());
    QCOMPARE(edit->findChildren<QAction *>().size(), actionsBefore);
    QVERIFY(edit->findChild<QAction *>("actionListenSelection"));
    QVERIFY(edit->findChild<QAction *>("actionShowReading"));
}

void TestTTSText::partOfTheScriptActionsLiveWithTheEditor()
{
    // There before any menu was opened, and part of the editor, so their
    // shortcuts work while it has the focus.
    QAction *listen = edit->findChild<QAction *>("actionListenSelection");
    QAction *reading = edit->findChild<QAction *>("actionShowReading");
    QVERIFY(listen);
    QVERIFY(reading);
    QCOMPARE(listen, edit->listenSelectionAction());
    QCOMPARE(reading, edit->showReadingAction());
    QVERIFY(edit->actions().contains(listen));
    QVERIFY(edit->actions().contains(reading));
    QCOMPARE(listen->text(), QString("试听选中"));
    QCOMPARE(reading->text(), QString("查看读音"));
    QVERIFY(listen->shortcuts().contains(QKeySequence("Ctrl+Return")));
    QVERIFY(listen->shortcuts().contains(QKeySequence("Ctrl+Enter")));
}

void TestTTSText::ctrlEnterListensWithoutAMenu_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("selection");

    QTest::newRow("Ctrl+Return, a selection") << int(Qt::Key_Return) << true;
    QTest::newRow("Ctrl+Return, only a cursor") << int(Qt::Key_Return) << false;
    QTest::newRow("Ctrl+Enter of the keypad") << int(Qt::Key_Enter) << true;
}

void TestTTSText::ctrlEnterListensWithoutAMenu()
{
    QFETCH(int, key);
    QFETCH(bool, selection);

    edit->setPlainText(QStringLiteral("第一行\n第二行"));
    select(selection ? 4 : 5, 5);
    edit->activateWindow();
    edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(edit));
    QSignalSpy triggered(edit->listenSelectionAction(), &QAction::triggered);
    const Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::ControlModifier | Qt::KeypadModifier
                                                                 : Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key(key), modifiers);
    QCOMPARE(triggered.count(), 1);
    // The key does not reach the text as a line break.
    QCOMPARE(edit->toPlainText(), QStringLiteral("第一行\n第二行"));
}

void TestTTSText::showReadingNeedsASelection()
{
    edit->setPlainText(QStringLiteral("重庆"));
    QAction *reading = edit->showReadingAction();
    QVERIFY(!reading->isEnabled());
    select(0, 2);
    QVERIFY(reading->isEnabled());
    select(1, 1);
    QVERIFY(!reading->isEnabled());
    select(0, 1);
    edit->setPlainText(QStringLiteral("别的"));
    QVERIFY(!reading->isEnabled());
}

void TestTTSText::contextMenuCopyCopiesOnlyASelection()
{
    edit->setPlainText(QStringLiteral("复制这几个字"));
    QGuiApplication::clipboard()->setText(QStringLiteral("原有内容"));
    select(2, 2);
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("复制")); }));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("原有内容"));

    select(2, 4);
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("复制")); }));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("这几"));
}

void TestTTSText::contextMenuClearRemovesTheTagAroundTheCursor_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    // x「晓晓」abc「」y
    QTest::newRow("inside abc") << 6 << "xabcy";
    QTest::newRow("in x") << 1 << "x「晓晓」abc「」y";
    QTest::newRow("in y") << 11 << "x「晓晓」abc「」y";
}

void TestTTSText::contextMenuClearRemovesTheTagAroundTheCursor()
{
    QFETCH(int, position);
    QFETCH(QString, expected);

    edit->setPlainText(QStringLiteral("x「晓晓」abc「」y"));
    select(position, position);
    QVERIFY(runContextMenu([](QMenu *menu) { clickEntry(menu, QStringLiteral("清除配音员")); }));
    QCOMPARE(edit->toPlainText(), expected);
}

void TestTTSText::mouseSelectionIsAnnouncedAfterTheRelease()
{
    edit->setPlainText(QStringLiteral("选一段文字"));
    QSignalSpy announced(edit, &TTSText::mouseSelect);
    dragSelect(0, 3);
    QCOMPARE(edit->textCursor().selectedText(), QStringLiteral("选一段"));
    // Not during the release itself: the check comes later.
    QCOMPARE(announced.count(), 0);
    QTRY_COMPARE(announced.count(), 1);
    letPendingChecksRun();
    QCOMPARE(announced.count(), 1);
}

void TestTTSText::clickWithoutSelectionAnnouncesNothing()
{
    edit->setPlainText(QStringLiteral("点一下"));
    QSignalSpy announced(edit, &TTSText::mouseSelect);
    QTest::mouseClick(edit->viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(1));
    QVERIFY(!edit->textCursor().hasSelection());
    letPendingChecksRun();
    QCOMPARE(announced.count(), 0);
}

void TestTTSText::nothingIsAnnouncedWhilePopupIsOff()
{
    edit->setPlainText(QStringLiteral("选一段文字"));
    edit->setSelectPopup(false);
    QSignalSpy announced(edit, &TTSText::mouseSelect);
    dragSelect(0, 3);
    QVERIFY(edit->textCursor().hasSelection());
    letPendingChecksRun();
    QCOMPARE(announced.count(), 0);

    // And again once the picker is gone.
    edit->setSelectPopup(true);
    QTest::mouseRelease(edit->viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(3));
    QTRY_COMPARE(announced.count(), 1);
}

void TestTTSText::releaseOnTheScrollBarAnnouncesNothing()
{
    QStringList lines;
    for (int i = 0; i < 100; ++i)
        lines << QStringLiteral("第%1行").arg(i);
    edit->setPlainText(lines.join('\n'));
    select(0, 3);
    QScrollBar *bar = edit->verticalScrollBar();
    QTRY_VERIFY(bar->isVisible());
    QSignalSpy announced(edit, &TTSText::mouseSelect);
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, bar->height() - 30));
    QVERIFY(bar->value() > 0);
    letPendingChecksRun();
    QCOMPARE(announced.count(), 0);
}

QTEST_MAIN(TestTTSText)
#include "test_ttstext.moc"
