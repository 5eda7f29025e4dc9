#include "CueFit.h"

#include "ServiceContract.h"
#include "SubtitleImport.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace CueFit {

std::optional<Speech> speechIn(const QString &subtitlePath)
{
    QFile file(subtitlePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A passage's subtitles are small; anything far larger is not ours.
    const QByteArray bytes = file.read(8 << 20);
    const SubtitleImport::Result parsed = SubtitleImport::parseSrt(SubtitleImport::decodeText(bytes));
    if (parsed.cues.isEmpty())
        return std::nullopt;
    Speech speech{parsed.cues.first().startMs, parsed.cues.first().endMs};
    for (const SubtitleImport::Cue &cue : parsed.cues) {
        speech.leadMs = std::min(speech.leadMs, cue.startMs);
        speech.endMs = std::max(speech.endMs, cue.endMs);
    }
    return speech;
}

QVector<qint64> slotsMs(const QVector<qint64> &startsMs, const QVector<qint64> &nextLeadMs)
{
    QVector<qint64> limits(startsMs.size(), -1);
    for (int i = 0; i + 1 < startsMs.size(); ++i) {
        const qint64 lead = i < nextLeadMs.size() ? nextLeadMs[i] : 0;
        limits[i] = std::max<qint64>(0, startsMs[i + 1] - startsMs[i] - kTailMs - lead);
    }
    return limits;
}

int maxRate(int planRate)
{
    const int faster = int(std::floor(1.5 * (100 + planRate))) - 100;
    return std::clamp(faster, planRate, contract::rateMax);
}

int fittingRate(int rate, qint64 speechMs, qint64 slotMs, int ceiling)
{
    if (slotMs < 0 || speechMs <= slotMs || rate >= ceiling)
        return rate;
    if (slotMs == 0)
        return ceiling;
    const double needed = (100.0 + rate) * double(speechMs) / double(slotMs) - 100.0;
    // Pauses do not shrink as words do: a few points more than the estimate
    // saves a second rendering.
    const int estimate = int(std::ceil(needed)) + 3;
    return std::clamp(estimate, rate + 1, ceiling);
}

QString reportText(const QVector<Change> &changes, const QStringList &skipped)
{
    QStringList lines;
    for (const Change &change : changes) {
        QStringList what;
        if (change.spedUp)
            what.append(QStringLiteral("语速加快到 %1").arg(QString::fromStdString(contract::percentText(change.rate))));
        if (change.shiftMs > 0)
            what.append(QStringLiteral("推后 %1 秒").arg(double(change.shiftMs) / 1000.0, 0, 'f', 2));
        if (what.isEmpty())
            continue;
        const QString name =
            change.cue > 0 ? QStringLiteral("第 %1 条字幕").arg(change.cue) : QStringLiteral("第一条字幕前的文字");
        lines.append(name + QStringLiteral("：") + what.join(QStringLiteral("，")));
    }
    QString text;
    if (!lines.isEmpty())
        text = QStringLiteral("以下字幕的语音比字幕时间长，已调整：\n") + lines.join(QLatin1Char('\n'));
    if (!skipped.isEmpty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QStringLiteral("以下行没有配音：\n") + skipped.join(QLatin1Char('\n'));
    }
    return text;
}

} // namespace CueFit
