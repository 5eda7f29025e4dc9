#pragma once

#include <QTextEdit>

class QAction;

// The script editor. Announces finished mouse selections (so the page can offer
// its voices), wraps a selection in a voice tag, clears the tag around the
// cursor, and always pastes plain text. Where the tags go is decided by
// TagRules; the editor reads the script and applies the result.
//
// A subtitle file (.srt, .vtt, .lrc) dropped on it is not inserted as text
// but announced (subtitleDropped), for the page to import; every other drop
// is the text edit's as usual.
//
// Two actions of its own, there from the start and in its context menu, are
// carried out by the page: actionListenSelection (试听选中, Ctrl+Enter) and
// actionShowReading (查看读音, only with a selection).
class TTSText : public QTextEdit
{
    Q_OBJECT

public:
    explicit TTSText(QWidget *parent = nullptr);
    ~TTSText() override;

    void setSelectPopup(bool enabled) { selectPopup = enabled; }
    bool selectPopupEnabled() const { return selectPopup; }

    void insertVoiceTag(const QString &voice);

    QAction *listenSelectionAction() const { return actionListenSelection; }
    QAction *showReadingAction() const { return actionShowReading; }

signals:
    void mouseSelect();
    void subtitleDropped(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void checkSelect();
    void clearVoices();

private:
    // The whole script as the document holds it (paragraphs as U+2029), and
    // the cursor's anchor and moving end in it.
    QString scriptText() const;
    void pastePlainText();

    bool selectPopup = true;
    QAction *actionListenSelection = nullptr;
    QAction *actionShowReading = nullptr;
};
