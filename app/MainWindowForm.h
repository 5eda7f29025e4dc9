#pragma once

class About;
class QMainWindow;
class QMenuBar;
class QHBoxLayout;
class QStatusBar;
class QTabWidget;
class QVBoxLayout;
class QWidget;
class UpdateLog;
class ZanShang;
class ttsMain;

// The main window's form: four tabs, each holding one page.
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
    QStatusBar *statusbar = nullptr;

    void setupUi(QMainWindow *MainWindow);
    void retranslateUi(QMainWindow *MainWindow);
};
