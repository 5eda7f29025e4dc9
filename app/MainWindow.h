#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QLabel;
class Ui_MainWindow;
class ttsMain;

// The program's one top-level window: the synthesis page and the three
// information pages in four tabs, and the 文件 menu that opens and saves the
// script, imports subtitles into it, and switches the WAV copy of results. Building it starts the speech service (and its watchdog) and turns
// on the page's autosave in the working folder; closing it saves the script
// and stops every process of the service.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The notice shown in the status bar.
    static QString statusNotice();

    // Once the window is up: the settings and script of the last run come
    // back, then a script named as the first argument (after the program's
    // own name) is opened over it; a subtitle file there is imported instead.
    void openAtStart(const QStringList &arguments);

    // Reads a script file into the editor, replacing its text (an edit that
    // can be undone); a box says why when it cannot. Later saves go to it.
    bool openScript(const QString &path);
    // Writes the editor's text as UTF-8, atomically; a box says why when it cannot.
    bool saveScript(const QString &path);
    // The file the script was last opened from or saved to; empty if none.
    QString scriptPath() const { return m_scriptPath; }

    ttsMain *page() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chooseAndOpen();
    void save();
    void saveAs();
    void chooseAndImport();
    QString chooseFile(bool forSaving);

    Ui_MainWindow *ui;
    QLabel *statusLabel;
    QString m_scriptPath;
};
