#include "MainWindowForm.h"

#include "About.h"
#include "UpdateLog.h"
#include "ZanShang.h"
#include "ttsMain.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

void Ui_MainWindow::setupUi(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QStringLiteral("MainWindow"));
    MainWindow->resize(800, 600);
    MainWindow->setStyleSheet(QStringLiteral(
        "QTabWidget::tab-bar { alignment: left; }\n"
        "QTabBar::tab { background-color: #ECECEC; color: #333333; padding: 10px 25px;"
        "border-top-left-radius:10;border-top-right-radius:10; }\n"
        "QTabBar::tab:selected { background-color: #fff; }"));

    centralwidget = new QWidget(MainWindow);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    verticalLayout_4 = new QVBoxLayout(centralwidget);
    verticalLayout_4->setObjectName(QStringLiteral("verticalLayout_4"));
    tabWidget = new QTabWidget(centralwidget);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));

    audio = new QWidget();
    audio->setObjectName(QStringLiteral("audio"));
    horizontalLayout_2 = new QHBoxLayout(audio);
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    widget = new ttsMain(audio);
    widget->setObjectName(QStringLiteral("widget"));
    horizontalLayout_2->addWidget(widget);
    tabWidget->addTab(audio, QString());

    about = new QWidget();
    about->setObjectName(QStringLiteral("about"));
    verticalLayout = new QVBoxLayout(about);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    widget_2 = new About(about);
    widget_2->setObjectName(QStringLiteral("widget_2"));
    verticalLayout->addWidget(widget_2);
    tabWidget->addTab(about, QString());

    updateLogTab = new QWidget();
    updateLogTab->setObjectName(QStringLiteral("updateLogTab"));
    horizontalLayout_3 = new QHBoxLayout(updateLogTab);
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    widget_4 = new UpdateLog(updateLogTab);
    widget_4->setObjectName(QStringLiteral("widget_4"));
    horizontalLayout_3->addWidget(widget_4);
    tabWidget->addTab(updateLogTab, QString());

    ZanzhuTab = new QWidget();
    ZanzhuTab->setObjectName(QStringLiteral("ZanzhuTab"));
    verticalLayout_3 = new QVBoxLayout(ZanzhuTab);
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    widget_5 = new ZanShang(ZanzhuTab);
    widget_5->setObjectName(QStringLiteral("widget_5"));
    verticalLayout_3->addWidget(widget_5);
    tabWidget->addTab(ZanzhuTab, QString());

    verticalLayout_4->addWidget(tabWidget);
    MainWindow->setCentralWidget(centralwidget);

    menubar = new QMenuBar(MainWindow);
    menubar->setObjectName(QStringLiteral("menubar"));
    menubar->setGeometry(QRect(0, 0, 800, 23));
    MainWindow->setMenuBar(menubar);
    actionOpenScript = new QAction(MainWindow);
    actionOpenScript->setObjectName(QStringLiteral("actionOpenScript"));
    actionOpenScript->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actionSaveScript = new QAction(MainWindow);
    actionSaveScript->setObjectName(QStringLiteral("actionSaveScript"));
    actionSaveScript->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actionSaveScriptAs = new QAction(MainWindow);
    actionSaveScriptAs->setObjectName(QStringLiteral("actionSaveScriptAs"));
    actionImportSubtitles = new QAction(MainWindow);
    actionImportSubtitles->setObjectName(QStringLiteral("actionImportSubtitles"));
    actionImportSubtitles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    actionExportWav = new QAction(MainWindow);
    actionExportWav->setObjectName(QStringLiteral("actionExportWav"));
    actionExportWav->setCheckable(true);
    menuFile = new QMenu(menubar);
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuFile->addAction(actionOpenScript);
    menuFile->addAction(actionSaveScript);
    menuFile->addAction(actionSaveScriptAs);
    menuFile->addSeparator();
    menuFile->addAction(actionImportSubtitles);
    menuFile->addSeparator();
    menuFile->addAction(actionExportWav);
    menubar->addAction(menuFile->menuAction());
    statusbar = new QStatusBar(MainWindow);
    statusbar->setObjectName(QStringLiteral("statusbar"));
    MainWindow->setStatusBar(statusbar);

    retranslateUi(MainWindow);
    tabWidget->setCurrentIndex(0);
    QMetaObject::connectSlotsByName(MainWindow);
}

void Ui_MainWindow::retranslateUi(QMainWindow *MainWindow)
{
    MainWindow->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow"));
    tabWidget->setTabText(tabWidget->indexOf(audio), QCoreApplication::translate("MainWindow", "语音合成"));
    tabWidget->setTabText(tabWidget->indexOf(about), QCoreApplication::translate("MainWindow", "关于软件"));
    tabWidget->setTabText(tabWidget->indexOf(updateLogTab), QCoreApplication::translate("MainWindow", "更新日志"));
    tabWidget->setTabText(tabWidget->indexOf(ZanzhuTab), QCoreApplication::translate("MainWindow", "打赏一下"));
    menuFile->setTitle(QCoreApplication::translate("MainWindow", "文件"));
    actionOpenScript->setText(QCoreApplication::translate("MainWindow", "打开文案…"));
    actionSaveScript->setText(QCoreApplication::translate("MainWindow", "保存文案"));
    actionSaveScriptAs->setText(QCoreApplication::translate("MainWindow", "另存为…"));
    actionImportSubtitles->setText(QCoreApplication::translate("MainWindow", "导入字幕…"));
    actionExportWav->setText(QCoreApplication::translate("MainWindow", "同时导出 WAV"));
}
