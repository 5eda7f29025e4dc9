#include "MessageBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

MessageBoxCatcher::MessageBoxCatcher(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
}

void MessageBoxCatcher::start()
{
    m_timer.start();
}

void MessageBoxCatcher::stop()
{
    m_timer.stop();
}

void MessageBoxCatcher::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible() || box->property("lumoAnswered").toBool())
            continue;
        box->setProperty("lumoAnswered", true);
        m_boxes.append({box->windowTitle(), box->text()});
        const auto buttons = box->buttons();
        if (!buttons.isEmpty())
            buttons.first()->click();
        else
            box->reject();
    }
}
