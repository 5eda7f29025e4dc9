#include "VoiceRecords.h"

#include <QJsonDocument>
#include <QStringList>

namespace VoiceFixtures {

QJsonObject record(const QString &gender, const QString &locale, const QString &name)
{
    return QJsonObject{{"gender", gender}, {"locale", locale}, {"name", name}};
}

QJsonArray voiceList(int n)
{
    static const QStringList chinese = {
        "zh-CN-XiaoxiaoNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural", "zh-CN-YunxiNeural",
        "zh-CN-YunxiaNeural", "zh-CN-YunyangNeural", "zh-CN-XiaomoNeural",
    };
    QJsonArray list;
    for (int i = 0; i < n; ++i) {
        if (i < chinese.size())
            list.append(record(i % 2 ? "Male" : "Female", "zh-CN", chinese[i]));
        else
            list.append(record(i % 2 ? "Male" : "Female", "en-US", QStringLiteral("en-US-Voice%1Neural").arg(i)));
    }
    return list;
}

QByteArray toJson(const QJsonArray &records)
{
    return QJsonDocument(records).toJson(QJsonDocument::Compact);
}

QJsonObject neuralRecord(const QString &gender, const QString &locale, const QString &name, const QString &displayName)
{
    QJsonObject r = record(gender, locale, name);
    r.insert(QStringLiteral("displayName"), displayName);
    return r;
}

QJsonArray neuralVoices(const QString &locale, const QString &model, const QString &shownModel, int count)
{
    QJsonArray list;
    for (int sid = 0; sid < count; ++sid) {
        const QString number = QStringLiteral("%1").arg(sid, 3, 10, QLatin1Char('0'));
        const bool male = sid % 2;
        list.append(neuralRecord(male ? "Male" : "Female", locale, locale + "-" + model + "S" + number,
                                 shownModel + " " + number + (male ? " 男声" : " 女声")));
    }
    return list;
}

} // namespace VoiceFixtures
