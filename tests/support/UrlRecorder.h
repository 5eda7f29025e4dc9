#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the system file browser (QDesktopServices::setUrlHandler):
// records what a job opens.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};
