#pragma once

#include <QWidget>

class Ui_UpdateLog;

class UpdateLog : public QWidget
{
    Q_OBJECT

public:
    explicit UpdateLog(QWidget *parent = nullptr);
    ~UpdateLog() override;

private:
    Ui_UpdateLog *ui;
};
