#pragma once

#include <QMediaPlayer>
#include <QRegExp>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

class GetVoices;
class Highlighter;
class Loading;
class MoreVoices;
class QMediaPlaylist;
class QTimer;
class Ui_ttsMain;
class ttsCommunicate;

// The synthesis page: every control the user works with, and the hub that the
// catalogue, the picker, the player and the synthesis job act on. Its members
// are defined next to the subsystem they belong to:
//   editor/ttsMain.cpp          construction, destruction, busy overlay
//   editor/ttsMainPlayer.cpp    player strip
//   voices/ttsMainCatalogue.cpp loader handlers, choosers, picker panel
//   synthesis/ttsMainJob.cpp    segmentation input and the synthesis job
class ttsMain : public QWidget
{
    Q_OBJECT

public:
    explicit ttsMain(QWidget *parent = nullptr);
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
    bool isJobRunning() const { return jobRunning; }
    int lastJobMode() const { return lastMode; }
    QString jobFolderPath() const { return jobFolder; }

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
    void onPickerNotClose(bool type);
    void onPickerClickVoice(const QString &voice);

    // Player strip.
    void createPlayer();
    void togglePlayback();
    void onPlayerStateChanged(QMediaPlayer::State state);

    // Synthesis job.
    void startJob(int mode);
    void onWorkerReport(int mode, QVector<ttsCommunicate *> *workers, bool succeeded);
    void collectResults(int mode, QVector<ttsCommunicate *> *workers);
    bool combineSegments();
    void clearJobFolder();

    Ui_ttsMain *ui;
    Loading *loading = nullptr;
    MoreVoices *moreVoices = nullptr;
    QTimer *hideTimer = nullptr;
    bool cataloguePending = true;
    int autoHideInterval = 2000;
    QRegularExpression tagPattern;
    Highlighter *highlighter = nullptr;
    int successCount = 0;
    int failureCount = 0;
    int workerCount = 0;
    QString jobFolder;
    QStringList segmentMedia;
    QMediaPlayer *player = nullptr;
    QMediaPlaylist *playlist = nullptr;
    QString fullWidthComma;
    QRegExp commaRun;
    int lastMode = 1;
    // A second start while a job runs is ignored, whatever starts it.
    bool jobRunning = false;
};
