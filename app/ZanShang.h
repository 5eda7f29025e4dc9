#pragma once

#include <QWidget>

class Ui_ZanShang;

class ZanShang : public QWidget
{
    Q_OBJECT

public:
    explicit ZanShang(QWidget *parent = nullptr);
    ~ZanShang() override;

private:
    Ui_ZanShang *ui;
};
