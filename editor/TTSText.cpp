#include "TTSText.h"

#include "CueImport.h"
#include "TagRules.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTimer>

#include <memory>

TTSText::TTSText(QWidget *parent)
    : QTextEdit(parent)
{
    viewport()->installEventFilter(this);

    // Children of the editor and added to it, so that the shortcut works
    // whenever the editor has the focus, menu or not.
    actionListenSelection = new QAction(QStringLiteral("试听选中"), this);
    actionListenSelection->setObjectName(QStringLiteral("actionListenSelection"));
    actionListenSelection->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    actionListenSelection->setShortcutContext(Qt::WidgetShortcut);
    addAction(actionListenSelection);

    actionShowReading = new QAction(QStringLiteral("查看读音"), this);
    actionShowReading->setObjectName(QStringLiteral("actionShowReading"));
    actionShowReading->setEnabled(false);
    addAction(actionShowReading);
    // A reading is looked up for a selection only.
    connect(this, &QTextEdit::copyAvailable, actionShowReading, &QAction::setEnabled);
}

TTSText::~TTSText() = default;

bool TTSText::eventFilter(QObject *watched, QEvent *event)
{
    // Only releases on the text itself: the scroll area also filters its
    // scroll bars through this object, and dragging them is no selection.
    if (watched == viewport() && event->type() == QEvent::MouseButtonRelease && selectPopup)
        QTimer::singleShot(100, this, SLOT(checkSelect()));
    return QTextEdit::eventFilter(watched, event);
}

void TTSText::checkSelect()
{
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection() && !cursor.selectedText().isEmpty())
        emit mouseSelect();
}

QString TTSText::scriptText() const
{
    // Read through a cursor rather than toPlainText(), which would turn line
    // separators into paragraph breaks and non-breaking spaces into spaces.
    QTextCursor all(document());
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    return all.selectedText();
}

void TTSText::insertVoiceTag(const QString &voice)
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() || cursor.selectedText().isEmpty())
        return;
    const TagRules::TagEdit edit = TagRules::insertVoiceTag(scriptText(), cursor.anchor(), cursor.position(), voice);
    if (!edit.changed)
        return;
    // One replacement of the selection, so a single undo takes it back.
    cursor.setPosition(edit.from);
    cursor.setPosition(edit.to, QTextCursor::KeepAnchor);
    cursor.insertText(edit.replacement);
    setTextCursor(cursor);
}

void TTSText::clearVoices()
{
    const TagRules::TagEdit edit = TagRules::clearVoices(scriptText(), textCursor().position());
    if (!edit.changed)
        return;
    setPlainText(edit.text);
    QTextCursor cursor = textCursor();
    cursor.setPosition(edit.cursor);
    setTextCursor(cursor);
}

void TTSText::pastePlainText()
{
    // Nothing to paste (an image, say) must not wipe out the selection.
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!text.isEmpty())
        insertPlainText(text);
}

void TTSText::contextMenuEvent(QContextMenuEvent *event)
{
    // A fresh menu each time, discarded when it closes.
    std::unique_ptr<QMenu> menu(new QMenu(this));
    std::unique_ptr<QAction> clear(new QAction(QStringLiteral("清除配音员"), this));
    std::unique_ptr<QAction> copyAction(new QAction(QStringLiteral("复制"), this));
    std::unique_ptr<QAction> paste(new QAction(QStringLiteral("粘贴"), this));
    connect(clear.get(), &QAction::triggered, this, &TTSText::clearVoices);
    connect(copyAction.get(), &QAction::triggered, this, &QTextEdit::copy);
    connect(paste.get(), &QAction::triggered, this, &TTSText::pastePlainText);
    menu->addAction(clear.get());
    menu->addAction(copyAction.get());
    menu->addAction(paste.get());
    // The editor's own actions outlive the menu.
    menu->addSeparator();
    menu->addAction(actionListenSelection);
    menu->addAction(actionShowReading);
    menu->exec(event->globalPos());
    event->accept();
}

void TTSText::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        pastePlainText();
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

namespace {

QString subtitleIn(const QMimeData *mime)
{
    return mime && mime->hasUrls() ? CueImport::droppedSubtitle(mime->urls()) : QString();
}

} // namespace

void TTSText::dragEnterEvent(QDragEnterEvent *event)
{
    if (subtitleIn(event->mimeData()).isEmpty()) {
        QTextEdit::dragEnterEvent(event);
        return;
    }
    event->acceptProposedAction();
}

void TTSText::dragMoveEvent(QDragMoveEvent *event)
{
    // The text edit would move its drop cursor and judge the file's name as text.
    if (subtitleIn(event->mimeData()).isEmpty()) {
        QTextEdit::dragMoveEvent(event);
        return;
    }
    event->acceptProposedAction();
}

void TTSText::dropEvent(QDropEvent *event)
{
    const QString path = subtitleIn(event->mimeData());
    if (path.isEmpty()) {
        QTextEdit::dropEvent(event);
        return;
    }
    // Copy, never move: the file stays where it is.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // After the drop has returned: the import may show a box, and the program
    // the file came from waits for the drop to end.
    QMetaObject::invokeMethod(
        this, [this, path] { emit subtitleDropped(path); }, Qt::QueuedConnection);
}
