#include "CueImport.h"

#include "CueMarker.h"

#include <QFileInfo>

namespace CueImport {

QString title()
{
    return QStringLiteral("导入字幕");
}

QString issueList(const QVector<SubtitleImport::Issue> &issues, int maxListed)
{
    QStringList lines;
    const int listed = qMin(int(issues.size()), qMax(maxListed, 0));
    for (int i = 0; i < listed; ++i)
        lines.append(SubtitleImport::describe(issues[i]));
    // A file of thousands of broken cues must not make a box taller than the screen.
    if (listed < issues.size())
        lines.append(QStringLiteral("等，共 %1 条").arg(issues.size()));
    return lines.join(QLatin1Char('\n'));
}

Outcome outcome(const SubtitleImport::Result &result, const QString &fileName)
{
    Outcome out;
    const QString name = QFileInfo(fileName).fileName();
    QStringList sections;
    if (result.cues.isEmpty()) {
        sections.append(QStringLiteral("%1 中没有可导入的字幕，文案未改动。").arg(name));
    } else {
        out.replace = true;
        out.script = CueMarker::scriptLines(result.cues).join(QLatin1Char('\n'));
    }
    if (!result.skipped.isEmpty()) {
        if (out.replace)
            sections.append(QStringLiteral("已导入 %1 条字幕，%2 条无法使用：\n")
                                .arg(result.cues.size())
                                .arg(result.skipped.size())
                            + issueList(result.skipped));
        else
            sections.append(QStringLiteral("%1 条字幕无法使用：\n").arg(result.skipped.size())
                            + issueList(result.skipped));
    }
    if (!result.overlaps.isEmpty())
        sections.append(QStringLiteral("%1 处字幕时间重叠，已照常导入：\n").arg(result.overlaps.size())
                        + issueList(result.overlaps));
    if (sections.isEmpty())
        return out;
    out.notice.title = title();
    out.notice.text = sections.join(QStringLiteral("\n\n"));
    out.notice.level = (!out.replace || !result.skipped.isEmpty()) ? Notice::Level::Warning
                                                                    : Notice::Level::Information;
    return out;
}

Outcome importFile(const QString &path)
{
    SubtitleImport::Result result;
    QString error;
    if (!SubtitleImport::readFile(path, result, error)) {
        Outcome out;
        out.notice = {Notice::Level::Warning, title(), error};
        return out;
    }
    return outcome(result, path);
}

bool isSubtitlePath(const QString &path)
{
    return !path.isEmpty() && SubtitleImport::formatOf(path).has_value();
}

QString droppedSubtitle(const QList<QUrl> &urls)
{
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    return isSubtitlePath(path) ? path : QString();
}

} // namespace CueImport
