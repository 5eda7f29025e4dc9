#include "ttsMain.h"

#include "CueImport.h"

#include <QMessageBox>

bool ttsMain::importSubtitles(const QString &path)
{
    const CueImport::Outcome outcome = CueImport::importFile(path);
    if (outcome.replace)
        setScriptText(outcome.script);
    const CueImport::Notice &notice = outcome.notice;
    switch (notice.level) {
    case CueImport::Notice::Level::None:
        break;
    case CueImport::Notice::Level::Information:
        QMessageBox::information(this, notice.title, notice.text, QMessageBox::Yes, QMessageBox::NoButton);
        break;
    case CueImport::Notice::Level::Warning:
        warn(notice.title, notice.text);
        break;
    }
    return outcome.replace;
}
