#include "JobReport.h"

#include <algorithm>

namespace JobReport {

QString renderingText(int done, int total)
{
    return QStringLiteral("多线程合成中，请稍等（%1/%2）").arg(done).arg(total);
}

QString excerpt(const QString &text, int length)
{
    int end = 0;
    int characters = 0;
    while (end < text.size() && characters < length) {
        end += (text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate()) ? 2 : 1;
        ++characters;
    }
    return end < text.size() ? text.left(end) + QStringLiteral("…") : text;
}

QString failureText(QVector<FailedPassage> failures)
{
    std::stable_sort(failures.begin(), failures.end(),
                     [](const FailedPassage &a, const FailedPassage &b) { return a.number < b.number; });
    QString text = QStringLiteral("部分配音合成失败：") + QString::number(failures.size());
    const int named = std::min<int>(failures.size(), namedFailures);
    for (int i = 0; i < named; ++i) {
        const FailedPassage &failure = failures[i];
        QString reason = failure.message.trimmed();
        if (reason.isEmpty())
            reason = failure.title.trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("未知原因");
        text += QStringLiteral("\n第%1段「%2」：%3").arg(failure.number).arg(excerpt(failure.text), reason);
    }
    if (failures.size() > named)
        text += QStringLiteral("\n等");
    return text;
}

qint64 progressDelayMs(qint64 sinceShownMs, int done, int total, int intervalMs)
{
    if (done >= total || sinceShownMs >= intervalMs)
        return 0;
    return intervalMs - qMax<qint64>(0, sinceShownMs);
}

} // namespace JobReport
