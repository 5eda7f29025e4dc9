#pragma once

#include <QThread>

// Loads the voice catalogue once per run: the cached list first, then the
// service's list, which replaces the cache when its size differs.
class GetVoices : public QThread
{
    Q_OBJECT

signals:
    void ok(bool type);
    void error(QString text, QString title);
    void reStart();
    void showLoading();

protected:
    void run() override;
};
