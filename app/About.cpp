#include "About.h"

class Ui_About
{
};

About::About(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_About)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("About"));
}

About::~About()
{
    delete ui;
}
