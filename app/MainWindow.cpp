#include "MainWindow.h"

#include "AppSettings.h"
#include "CueImport.h"
#include "MainWindowForm.h"
#include "ScriptFile.h"
#include "ServiceOwnership.h"
#include "ServiceProcess.h"
#include "ServiceWatchdog.h"
#include "ttsMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>

namespace {
const QString scriptFilter = QStringLiteral("文本文件 (*.txt);;所有文件 (*)");
const QString subtitleFilter = QStringLiteral("字幕文件 (*.srt *.vtt *.lrc)");
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , statusLabel(new QLabel)
{
    // Building the form builds the synthesis page, which starts the voice
    // loader; the service is started only afterwards. A service left behind
    // in this folder must not answer that loader and then vanish under it.
    ServiceProcess::clearPort(workDir);
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Sayora by Tavrel V") + appVersion + QStringLiteral(" Lumo特别版"));

    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setStyleSheet(QStringLiteral("color: green;"));
    statusLabel->setText(statusNotice());
    ui->statusbar->addWidget(statusLabel);

    connect(ui->actionOpenScript, &QAction::triggered, this, &MainWindow::chooseAndOpen);
    connect(ui->actionSaveScript, &QAction::triggered, this, &MainWindow::save);
    connect(ui->actionSaveScriptAs, &QAction::triggered, this, &MainWindow::saveAs);
    connect(ui->actionImportSubtitles, &QAction::triggered, this, &MainWindow::chooseAndImport);
    connect(ui->actionExportWav, &QAction::toggled, ui->widget, &ttsMain::setWriteWav);

    ui->widget->enableAutosave(workDir);

    ServiceProcess::start(workDir);
    if (ServiceWatchdog *watchdog = ServiceProcess::watchdog()) {
        // Queued: the box waits in a loop of its own, not inside the process object's signal.
        connect(
            watchdog, &ServiceWatchdog::gaveUp, this,
            [this] {
                QMessageBox::warning(this, QStringLiteral("语音服务异常"),
                                     QStringLiteral("语音服务接连意外退出，已不再自动重启，请重启软件"), QMessageBox::Yes,
                                     QMessageBox::NoButton);
            },
            Qt::QueuedConnection);
        connect(
            watchdog, &ServiceWatchdog::portTaken, this,
            [this](quint16 port) {
                const QString text = ServiceOwnership::portTakenMessage(port, ServiceOwnership::portHolder(port));
                QMessageBox::warning(this, QStringLiteral("语音服务异常"), text, QMessageBox::Yes, QMessageBox::NoButton);
            },
            Qt::QueuedConnection);
    }
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

ttsMain *MainWindow::page() const
{
    return ui->widget;
}

void MainWindow::openAtStart(const QStringList &arguments)
{
    page()->restoreAutosave();
    ui->actionExportWav->setChecked(page()->writeWav());
    const QString path = arguments.value(1);
    if (CueImport::isSubtitlePath(path))
        page()->importSubtitles(path);
    else if (!path.isEmpty())
        openScript(path);
}

bool MainWindow::openScript(const QString &path)
{
    const ScriptFile::ReadResult result = ScriptFile::read(path);
    if (!result.ok) {
        QMessageBox::warning(this, QStringLiteral("打开文案"), result.error, QMessageBox::Yes, QMessageBox::NoButton);
        return false;
    }
    page()->setScriptText(result.text);
    m_scriptPath = QFileInfo(path).absoluteFilePath();
    return true;
}

bool MainWindow::saveScript(const QString &path)
{
    QString error;
    if (!ScriptFile::writeAtomically(path, ScriptFile::encode(page()->scriptText()), &error)) {
        QMessageBox::warning(this, QStringLiteral("保存文案"),
                             QStringLiteral("无法保存文件：") + path + QStringLiteral("（") + error + QStringLiteral("）"),
                             QMessageBox::Yes, QMessageBox::NoButton);
        return false;
    }
    m_scriptPath = QFileInfo(path).absoluteFilePath();
    return true;
}

QString MainWindow::chooseFile(bool forSaving)
{
    // Qt's own dialog, the same on every platform (and one a test can answer).
    QFileDialog dialog(this, forSaving ? QStringLiteral("保存文案") : QStringLiteral("打开文案"),
                       m_scriptPath.isEmpty() ? QDir::currentPath() : QFileInfo(m_scriptPath).absolutePath(),
                       scriptFilter);
    dialog.setObjectName(QStringLiteral("scriptFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (forSaving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (!m_scriptPath.isEmpty())
            dialog.selectFile(m_scriptPath);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void MainWindow::chooseAndOpen()
{
    const QString path = chooseFile(false);
    if (!path.isEmpty())
        openScript(path);
}

void MainWindow::save()
{
    if (m_scriptPath.isEmpty())
        saveAs();
    else
        saveScript(m_scriptPath);
}

void MainWindow::saveAs()
{
    const QString path = chooseFile(true);
    if (!path.isEmpty())
        saveScript(path);
}

void MainWindow::chooseAndImport()
{
    // Qt's own dialog, as for scripts.
    QFileDialog dialog(this, QStringLiteral("导入字幕"),
                       m_scriptPath.isEmpty() ? QDir::currentPath() : QFileInfo(m_scriptPath).absolutePath(),
                       subtitleFilter);
    dialog.setObjectName(QStringLiteral("subtitleFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    page()->importSubtitles(dialog.selectedFiles().first());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    page()->saveAutosave();
    ServiceProcess::stop();
    event->accept();
}
