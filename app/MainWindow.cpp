#include "MainWindow.h"

#include "AppSettings.h"
#include "MainWindowForm.h"
#include "ServiceProcess.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , statusLabel(new QLabel)
{
    // Building the form builds the synthesis page, which starts the voice
    // loader; the service is started only afterwards.
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Sayora by Tavrel V") + appVersion + QStringLiteral(" Lumo特别版"));

    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setStyleSheet(QStringLiteral("color: green;"));
    statusLabel->setText(statusNotice());
    ui->statusbar->addWidget(statusLabel);

    ServiceProcess::start(workDir);
}

MainWindow::~MainWindow()
{
    delete ui;
    delete statusLabel;
}

QString MainWindow::statusNotice()
{
    return QStringLiteral("本软件完全免费，仅供学习交流使用，严禁商用 ");
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    ServiceProcess::stop();
    event->accept();
}
