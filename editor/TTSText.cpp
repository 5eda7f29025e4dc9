#include "TTSText.h"

TTSText::TTSText(QWidget *parent)
    : QTextEdit(parent)
{
}

TTSText::~TTSText() = default;

void TTSText::insertVoiceTag(const QString &) {}
bool TTSText::eventFilter(QObject *watched, QEvent *event) { return QTextEdit::eventFilter(watched, event); }
void TTSText::keyPressEvent(QKeyEvent *event) { QTextEdit::keyPressEvent(event); }
void TTSText::contextMenuEvent(QContextMenuEvent *event) { QTextEdit::contextMenuEvent(event); }
void TTSText::checkSelect() {}
void TTSText::clearVoices() {}
