#include "ZanShang.h"

class Ui_ZanShang
{
};

ZanShang::ZanShang(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_ZanShang)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("ZanShang"));
}

ZanShang::~ZanShang()
{
    delete ui;
}
