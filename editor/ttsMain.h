#pragma once

#include "Autosave.h"
#include "ServiceUrls.h"

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <memory>
#include <optional>

enum class JobMode;
class GetVoices;
class Highlighter;
class Loading;
class MoreVoices;
class QMediaPlaylist;
class QTimer;
class ReadingDialog;
class ServiceClient;
class SynthesisJob;
class Ui_ttsMain;
struct Passage;

// The synthesis page: every control the user works with. It shows what the
// catalogue loader, the picker, the player and the synthesis job report; the
// rules and the job itself live below it (core/, service/). Its members are
// spread over this folder by subject:
//   ttsMain.cpp           construction, destruction, busy overlay
//   ttsMainCatalogue.cpp  loader handlers, choosers, picker panel
//   ttsMainJob.cpp        the two buttons and what a job reports
//   ttsMainPlayer.cpp     player strip
//   ttsMainListen.cpp     listening to part of the script, its reading
//   ttsMainAutosave.cpp   the script and settings kept across runs
//   ttsMainImport.cpp     subtitle files made into a script of cue lines
class ttsMain : public QWidget
{
    Q_OBJECT

public:
    // The program's page, talking to the service at the fixed address.
    explicit ttsMain(QWidget *parent = nullptr);
    // A page whose loader and jobs talk to the service at `urls` (tests).
    explicit ttsMain(const ServiceUrls &urls, QWidget *parent = nullptr);
    ~ttsMain() override;

    // Busy overlay: at most one at a time over the page.
    void showBusyOverlay(const QString &text);
    void closeBusyOverlay();
    Loading *busyOverlay() const { return loading; }

    // The player and its playlist are made on first use: creating them loads
    // the media back end, which would otherwise delay the first window.
    QMediaPlayer *mediaPlayer();
    QMediaPlaylist *mediaPlaylist();
    MoreVoices *voicePicker() const { return moreVoices; }
    QTimer *pickerTimer() const { return hideTimer; }
    Highlighter *voiceHighlighter() const { return highlighter; }

    // The current job, or the last one; null before the first.
    SynthesisJob *synthesisJob() const { return job.get(); }
    bool isJobRunning() const;
    // 1 (result) or 0 (try-listen): the mode of the last job that delivered.
    int lastJobMode() const;
    QString jobFolderPath() const;

    // Try-listens these passages with the page's rate, volume and pause, in
    // a job folder like the try-listen button's; why not, when it did not
    // start (a job is running, nothing to say).
    QString listenTo(const QVector<Passage> &passages);
    // The reading dialog last opened, while it is open.
    ReadingDialog *readingDialog() const;

    // The script in the editor, as plain text.
    QString scriptText() const;
    void setScriptText(const QString &text);

    // Keeps the script and the settings in `folder` (ending in "/"): saved
    // atomically once edits have paused for JobLimits::autosaveQuietMs(),
    // and on saveAutosave(). Off until called (the main window turns it on
    // for the working folder).
    void enableAutosave(const QString &folder);
    // Puts back what was saved there: the settings always (locale and voice
    // once the catalogue is shown), the script only while the editor is
    // empty. True when a script came back.
    bool restoreAutosave();
    // Saves now, if anything changed since the last save.
    void saveAutosave();

    // Reads a subtitle file into the editor, one cue line per usable cue,
    // replacing the script in one edit that can be undone. One box tells of
    // the cues it skipped or found overlapping, or why nothing was imported
    // (the script is then left as it was). True when the script was replaced.
    bool importSubtitles(const QString &path);

    // Whether result jobs also write output.wav; kept with the settings.
    bool writeWav() const { return exportWav; }
    void setWriteWav(bool on);

private slots:
    void on_localeSelect_currentIndexChanged(int index);
    void on_resultBtn_clicked();
    void showMoreVoices();
    void hideMoreVoices();
    void on_tryPlay_clicked();

private:
    // Catalogue loader and choosers.
    void startCatalogueLoader();
    void onLoaderError(GetVoices *loader, const QString &text, const QString &title);
    void onLoaderShowLoading();
    void onLoaderOk(GetVoices *loader, bool type);
    void onLoaderRestart();
    void closeLoaderOverlay();
    void fillVoiceChooser();
    // The catalogue entry of the voice chooser's current item (-1: none).
    int chooserEntry() const;
    void chooseEntry(int entry);
    int pickerWidth() const;
    void onPickerNotClose(bool type);
    void onPickerClickVoice(const QString &voice);

    // Player strip.
    void createPlayer();
    void togglePlayback();
    void onPlayerStateChanged(QMediaPlayer::State state);

    // Part of the script: the editor's two actions.
    void listenSelection();
    void showReading();
    QVector<Passage> selectedPassages() const;
    QString chooserVoice() const;

    // Synthesis job.
    void startJob(JobMode mode);
    void cancelJob();
    void deliver();
    void warn(const QString &title, const QString &text);
    void showTimelineReport();

    // Autosave.
    void noteChange();
    Autosave::Session currentSession() const;
    void applySavedChoice();

    Ui_ttsMain *ui;
    ServiceUrls serviceUrls;
    std::unique_ptr<ServiceClient> speechClient;
    Loading *loading = nullptr;
    MoreVoices *moreVoices = nullptr;
    QTimer *hideTimer = nullptr;
    bool cataloguePending = true;
    int autoHideInterval = 2000;
    Highlighter *highlighter = nullptr;
    QMediaPlayer *player = nullptr;
    QMediaPlaylist *playlist = nullptr;
    std::unique_ptr<SynthesisJob> job;
    bool exportWav = false;
    // What the current job said it did to the timeline; shown once it delivered.
    QString timelineTitle;
    QString timelineText;
    QPointer<ReadingDialog> readingWindow;
    QString autosaveFolder; // empty: autosave off
    QTimer *autosaveTimer = nullptr;
    bool autosaveDirty = false;
    QElapsedTimer dirtySince;
    // Locale and voice that were saved, until the catalogue is there to choose them.
    std::optional<Autosave::Session> savedChoice;
};
