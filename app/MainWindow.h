#pragma once

#include <QMainWindow>

class QLabel;
class Ui_MainWindow;

// The program's one top-level window: the synthesis page and the three
// information pages in four tabs. Building it starts the speech service;
// closing it stops every process of the service.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The notice shown in the status bar.
    static QString statusNotice();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui_MainWindow *ui;
    QLabel *statusLabel;
};
