#include "VoiceNaming.h"

#include "ServiceContract.h"

#include <QPair>
#include <initializer_list>

namespace VoiceNaming {

namespace {

using Row = QPair<QString, QString>;

NamingTable makeTable(std::initializer_list<Row> rows)
{
    NamingTable table;
    for (const Row &row : rows) {
        table.keys.append(row.first);
        table.values.append(row.second);
    }
    return table;
}

} // namespace

QString lookup(const QString &text, const QStringList &keys, const QStringList &values, Direction direction)
{
    const QStringList &searched = direction == Direction::Forward ? keys : values;
    const QStringList &found = direction == Direction::Forward ? values : keys;
    const int row = searched.indexOf(text);
    if (row < 0 || row >= found.size())
        return text;
    return found.at(row);
}

const NamingTable &localeTable()
{
    // The program's rows of the shared table; codes without a Chinese name of
    // their own map to themselves.
    static const NamingTable table = [] {
        NamingTable rows;
        for (const contract::Locale &locale : contract::locales) {
            rows.keys.append(QString::fromUtf8(locale.code));
            rows.values.append(QString::fromUtf8(locale.chineseName));
        }
        return rows;
    }();
    return table;
}

const NamingTable &nicknameTable()
{
    static const NamingTable table = makeTable({
        {QStringLiteral("zh-CN-YunyangNeural"), QStringLiteral("云杨")},
        {QStringLiteral("zh-CN-YunxiaNeural"), QStringLiteral("云夏")},
        {QStringLiteral("zh-CN-YunxiNeural"), QStringLiteral("云溪")},
        {QStringLiteral("zh-CN-YunjianNeural"), QStringLiteral("云健")},
        {QStringLiteral("zh-CN-XiaoyiNeural"), QStringLiteral("晓伊")},
        {QStringLiteral("zh-CN-XiaoxiaoNeural"), QStringLiteral("晓晓")},
        {QStringLiteral("zh-TW-HsiaoChenNeural"), QStringLiteral("晓臻")},
        {QStringLiteral("zh-TW-YunJheNeural"), QStringLiteral("云哲")},
        {QStringLiteral("zh-TW-HsiaoYuNeural"), QStringLiteral("晓雨")},
    });
    return table;
}

const NamingTable &genderTable()
{
    static const NamingTable table = makeTable({
        {QStringLiteral("Female"), QStringLiteral("女声")},
        {QStringLiteral("Male"), QStringLiteral("男声")},
    });
    return table;
}

QString localeDisplayName(const QString &code)
{
    return lookup(code, localeTable().keys, localeTable().values, Direction::Forward);
}

QString voiceNickname(const QString &identifier)
{
    return lookup(identifier, nicknameTable().keys, nicknameTable().values, Direction::Forward);
}

QString voiceIdentifier(const QString &nickname)
{
    return lookup(nickname, nicknameTable().keys, nicknameTable().values, Direction::Reverse);
}

QString genderDisplayName(const QString &gender)
{
    return lookup(gender, genderTable().keys, genderTable().values, Direction::Forward);
}

} // namespace VoiceNaming
