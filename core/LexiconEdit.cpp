#include "LexiconEdit.h"

#include "LexiconLine.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The line format and how an entry is set in the file are the text rules'
// (textrules/LexiconLine), which the service reads the file by; here the
// file is read and replaced.
namespace LexiconEdit {

QByteArray withEntry(const QByteArray &content, const QString &word, const QString &reading)
{
    const std::string out = textrules::lexicon::withEntry(std::string_view(content.constData(), size_t(content.size())),
                                                          word.toStdString(), reading.toStdString());
    return QByteArray(out.data(), int(out.size()));
}

Outcome writeEntry(const QString &path, const QString &word, const QString &reading)
{
    Outcome outcome;
    const QString name = QFileInfo(path).fileName();
    const std::string refusal = textrules::lexicon::refusal(word.toStdString(), reading.toStdString());
    if (!refusal.empty()) {
        outcome.error = QString::fromStdString(refusal);
        return outcome;
    }

    QByteArray content;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            outcome.error = QStringLiteral("无法读取 %1：%2").arg(name, old.errorString());
            return outcome;
        }
        content = old.readAll();
        if (old.error() != QFileDevice::NoError) {
            outcome.error = QStringLiteral("无法读取 %1：%2").arg(name, old.errorString());
            return outcome;
        }
        old.close();
    }

    // Written beside the old file and renamed over it: the old one stays
    // whole until the new one is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        outcome.error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
        return outcome;
    }
    const QByteArray updated = withEntry(content, word, reading);
    if (file.write(updated) != updated.size() || !file.commit()) {
        outcome.error = QStringLiteral("无法写入 %1：%2").arg(name, file.errorString());
        file.cancelWriting();
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace LexiconEdit
