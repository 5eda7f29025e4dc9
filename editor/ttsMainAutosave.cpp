#include "ttsMain.h"

#include "JobLimits.h"
#include "MoreVoices.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "ttsMainForm.h"

#include <QComboBox>
#include <QJsonObject>
#include <QTextEdit>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>

namespace {
// Edits that never pause are still saved this often, in quiet periods.
constexpr int maxQuietPeriods = 5;
}

QString ttsMain::scriptText() const
{
    return ui->textEdit->toPlainText();
}

void ttsMain::setScriptText(const QString &text)
{
    // One edit that can be undone: opening a file over a script the user
    // had not saved must not lose it.
    QTextCursor cursor(ui->textEdit->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
}

void ttsMain::enableAutosave(const QString &folder)
{
    if (!autosaveFolder.isEmpty())
        return;
    autosaveFolder = folder;
    autosaveTimer = new QTimer(this);
    autosaveTimer->setSingleShot(true);
    connect(autosaveTimer, &QTimer::timeout, this, &ttsMain::saveAutosave);

    connect(ui->textEdit, &QTextEdit::textChanged, this, &ttsMain::noteChange);
    for (QSpinBox *box : {ui->rateBox, ui->volumeBox, ui->spinBox})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &ttsMain::noteChange);
    for (QComboBox *chooser : {ui->localeSelect, ui->voicesSelect})
        connect(chooser, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ttsMain::noteChange);
    connect(moreVoices, &MoreVoices::favouritesChanged, this, &ttsMain::noteChange);
}

void ttsMain::noteChange()
{
    if (autosaveFolder.isEmpty())
        return;
    if (!autosaveDirty) {
        autosaveDirty = true;
        dirtySince.start();
    }
    // Each change pushes the save back by the quiet time, except that a
    // stream of edits without a pause does not put it off for ever.
    const int quiet = JobLimits::autosaveQuietMs();
    if (!autosaveTimer->isActive() || dirtySince.elapsed() < qint64(quiet) * maxQuietPeriods)
        autosaveTimer->start(quiet);
}

Autosave::Session ttsMain::currentSession() const
{
    Autosave::Session session;
    session.rate = ui->rateBox->value();
    session.volume = ui->volumeBox->value();
    session.pauseMs = ui->spinBox->value();
    session.writeWav = exportWav;
    if (!moreVoices->favourites().isEmpty())
        session.favourites = moreVoices->favourites();
    if (savedChoice) {
        // The catalogue is not shown yet: what was saved still stands.
        session.locale = savedChoice->locale;
        session.voice = savedChoice->voice;
    } else if (!cataloguePending && ui->localeSelect->count() > 0) {
        session.locale = ui->localeSelect->currentText();
        const QString voice = VoiceCatalogue::instance().currentVoice(chooserEntry());
        if (!voice.isEmpty())
            session.voice = voice;
    }
    return session;
}

void ttsMain::saveAutosave()
{
    if (autosaveFolder.isEmpty() || !autosaveDirty)
        return;
    autosaveTimer->stop();
    autosaveDirty = false;
    Autosave::saveScript(autosaveFolder, scriptText());
    Autosave::saveSession(autosaveFolder, currentSession());
}

bool ttsMain::restoreAutosave()
{
    if (autosaveFolder.isEmpty())
        return false;
    if (const std::optional<Autosave::Session> session = Autosave::loadSession(autosaveFolder)) {
        if (session->rate)
            ui->rateBox->setValue(*session->rate);
        if (session->volume)
            ui->volumeBox->setValue(*session->volume);
        if (session->pauseMs)
            ui->spinBox->setValue(*session->pauseMs);
        if (session->writeWav)
            setWriteWav(*session->writeWav);
        if (session->favourites)
            moreVoices->setFavourites(*session->favourites);
        if (session->locale || session->voice) {
            savedChoice = session;
            if (!cataloguePending)
                applySavedChoice();
        }
    }

    bool restored = false;
    if (ui->textEdit->document()->isEmpty()) {
        if (const std::optional<QString> script = Autosave::loadScript(autosaveFolder)) {
            setScriptText(*script);
            restored = !script->isEmpty();
        }
    }
    // Putting back what is on disk is no change to save.
    autosaveDirty = false;
    autosaveTimer->stop();
    return restored;
}

void ttsMain::applySavedChoice()
{
    if (!savedChoice)
        return;
    const Autosave::Session session = *savedChoice;
    savedChoice.reset();
    if (session.locale) {
        const int index = ui->localeSelect->findText(*session.locale);
        // Choosing the locale refills the voice chooser (its handler).
        if (index >= 0)
            ui->localeSelect->setCurrentIndex(index);
    }
    if (session.voice) {
        const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
        for (int i = 0; i < group.size(); ++i) {
            if (group[i].toObject().value(QLatin1String("voice")).toString() == *session.voice) {
                chooseEntry(i);
                break;
            }
        }
    }
}
