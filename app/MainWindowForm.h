#pragma once

class About;
class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QHBoxLayout;
class QStatusBar;
class QTabWidget;
class QVBoxLayout;
class QWidget;
class UpdateLog;
class ZanShang;
class ttsMain;

// The main window's form: four tabs, each holding one page, and the 文件
// menu for opening and saving the script, importing subtitles, and the WAV switch.
class Ui_MainWindow
{
public:
    QWidget *centralwidget = nullptr;
    QVBoxLayout *verticalLayout_4 = nullptr;
    QTabWidget *tabWidget = nullptr;
    QWidget *audio = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    ttsMain *widget = nullptr;
    QWidget *about = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    About *widget_2 = nullptr;
    QWidget *updateLogTab = nullptr;
    QHBoxLayout *horizontalLayout_3 = nullptr;
    UpdateLog *widget_4 = nullptr;
    QWidget *ZanzhuTab = nullptr;
    QVBoxLayout *verticalLayout_3 = nullptr;
    ZanShang *widget_5 = nullptr;
    QMenuBar *menubar = nullptr;
    QMenu *menuFile = nullptr;
    QAction *actionOpenScript = nullptr;
    QAction *actionSaveScript = nullptr;
    QAction *actionSaveScriptAs = nullptr;
    QAction *actionImportSubtitles = nullptr;
    QAction *actionExportWav = nullptr;
    QStatusBar *statusbar = nullptr;

    void setupUi(QMainWindow *MainWindow);
    void retranslateUi(QMainWindow *MainWindow);
};
