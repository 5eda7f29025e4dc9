#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers modal message boxes while it is armed: each box that shows up is
// recorded (caption and text) and closed with its first button, so a test
// never blocks on one.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT

public:
    struct Box {
        QString caption;
        QString text;
    };

    explicit MessageBoxCatcher(QObject *parent = nullptr);

    // Start answering boxes; stays armed until stop() or destruction.
    void start();
    void stop();

    QList<Box> boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    Box last() const { return m_boxes.value(m_boxes.size() - 1); }

private:
    void poll();

    QTimer m_timer;
    QList<Box> m_boxes;
};
