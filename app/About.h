#pragma once

#include <QWidget>

class Ui_About;

class About : public QWidget
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

private:
    Ui_About *ui;
};
