#pragma once

#include "JobPlan.h"
#include "ReadingText.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class ServiceClient;

// What the service will say for a selection, and the user's correction of
// it: the selected text, its reading (pinyin with tone marks, or kana) in an
// editable field, the pieces read from the user's lexicon.txt marked, and
// two buttons: listen to the corrected reading, and save it to lexicon.txt.
// A reading the service could not use is refused in the dialog with the
// reason, and nothing is written. The rules are ReadingText's and
// LexiconEdit's; the dialog asks, shows and passes on.
class ReadingDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts a listen of one passage; returns why it did not start, or
    // nothing. The page's try-listen does it.
    using Listener = std::function<QString(const Passage &)>;

    ReadingDialog(const QString &text, const QString &voice, ServiceClient &client, const QString &lexiconPath,
                  QWidget *parent = nullptr);
    ~ReadingDialog() override;

    void setListener(Listener listener) { m_listener = std::move(listener); }

    // Asks the service for the reading and shows it; false (the reason in
    // the dialog) when it could not.
    bool lookUp();

    QString text() const { return m_text; }
    QString voice() const { return m_voice; }
    // What a correction is saved for; empty when the selection has nothing to save.
    QString word() const { return m_target.word; }
    // The service's reading as it came, numbered.
    QString serviceReading() const { return m_reading; }
    // The dialog's last message: a refusal, or what was done.
    QString message() const;
    bool messageIsError() const { return m_messageIsError; }

signals:
    // A correction was written to lexicon.txt.
    void saved(const QString &word, const QString &reading);

private:
    void listen();
    void save();
    void showReading();
    void showSources();
    void showMessage(const QString &text, bool error);
    // The corrected reading, checked; refused with the reason shown.
    ReadingText::Check checkedCorrection();
    // After a save: asks again until the service reads the new entry.
    void refreshAfterSave();

    QString m_text;
    QString m_voice;
    ServiceClient &m_client;
    QString m_lexiconPath;
    ReadingText::Script m_script;
    ReadingText::Target m_target;
    Listener m_listener;
    QString m_reading;
    QString m_sources;
    QString m_savedReading;
    int m_refreshesLeft = 0;
    bool m_messageIsError = false;

    QLabel *textLabel = nullptr;
    QLabel *sourceLabel = nullptr;
    QLabel *legendLabel = nullptr;
    QLineEdit *readingEdit = nullptr;
    QLabel *messageLabel = nullptr;
    QPushButton *listenReadingBtn = nullptr;
    QPushButton *saveReadingBtn = nullptr;
    QPushButton *closeReadingBtn = nullptr;
    QTimer *refreshTimer = nullptr;
};
