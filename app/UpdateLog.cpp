#include "UpdateLog.h"

class Ui_UpdateLog
{
};

UpdateLog::UpdateLog(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_UpdateLog)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("UpdateLog"));
}

UpdateLog::~UpdateLog()
{
    delete ui;
}
