#include "MoreVoices.h"

class Ui_MoreVoices
{
};

MoreVoices::MoreVoices(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_MoreVoices)
{
}

MoreVoices::~MoreVoices()
{
    delete ui;
}

void MoreVoices::removeButtons() {}
void MoreVoices::buildButtons() {}
void MoreVoices::enterEvent(QEvent *event) { QWidget::enterEvent(event); }
void MoreVoices::leaveEvent(QEvent *event) { QWidget::leaveEvent(event); }
