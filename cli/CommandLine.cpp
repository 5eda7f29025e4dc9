#include "CommandLine.h"

#include "CueMarker.h"
#include "ScriptFile.h"
#include "ServiceContract.h"
#include "SubtitleImport.h"
#include "VoiceNaming.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>

namespace CommandLine {

namespace {

const QString renderName = QStringLiteral("render");
const QString voiceName = QStringLiteral("voice");
const QString rateName = QStringLiteral("rate");
const QString volumeName = QStringLiteral("volume");
const QString pauseName = QStringLiteral("pause");
const QString outputName = QStringLiteral("output");
const QString wavName = QStringLiteral("wav");
const QString listName = QStringLiteral("list-voices");
const QString helpName = QStringLiteral("help");

// The options that take a value.
const QStringList &valueNames()
{
    static const QStringList names{renderName, voiceName, rateName, volumeName, pauseName, outputName};
    return names;
}

const QStringList &allNames()
{
    static const QStringList names = valueNames() + QStringList{wavName, listName, helpName};
    return names;
}

// The name of a long option as written ("--rate=+5%" → "rate"); empty when
// the argument is not one.
QString longName(const QString &argument)
{
    if (!argument.startsWith(QLatin1String("--")) || argument.size() < 3)
        return QString();
    return argument.mid(2).section(QLatin1Char('='), 0, 0);
}

Parsed usage(const QString &message)
{
    Parsed parsed;
    parsed.exitCode = exitUsage;
    parsed.message = message;
    return parsed;
}

std::optional<int> percent(const QString &text, int min, int max)
{
    return contract::parsePercent(text.toStdString(), min, max);
}

} // namespace

bool isRequested(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("-h") || allNames().contains(longName(argument)))
            return true;
    }
    return false;
}

QString rateMessage(const QString &value)
{
    return QStringLiteral("语速 %1 无效：请写成 +0%、+25%、-30% 的形式，范围 %2% 到 +%3%")
        .arg(value)
        .arg(contract::rateMin)
        .arg(contract::rateMax);
}

QString volumeMessage(const QString &value)
{
    return QStringLiteral("音量 %1 无效：请写成 +0%、+25%、-30% 的形式，范围 %2% 到 +%3%")
        .arg(value)
        .arg(contract::volumeMin)
        .arg(contract::volumeMax);
}

QString pauseMessage(const QString &value)
{
    return QStringLiteral("停顿 %1 无效：请写毫秒数，0 到 %2").arg(value).arg(contract::pagePauseMaxMs);
}

Parsed parse(const QStringList &arguments)
{
    // An option at the very end that wants a value: say so in our words.
    if (arguments.size() > 1 && valueNames().contains(longName(arguments.last()))
        && !arguments.last().contains(QLatin1Char('=')))
        return usage(QStringLiteral("选项 %1 后缺少值").arg(arguments.last()));

    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(renderName, QString(), QStringLiteral("file")));
    parser.addOption(QCommandLineOption(voiceName, QString(), QStringLiteral("voice")));
    parser.addOption(QCommandLineOption(rateName, QString(), QStringLiteral("percent"), QStringLiteral("+0%")));
    parser.addOption(QCommandLineOption(volumeName, QString(), QStringLiteral("percent"), QStringLiteral("+0%")));
    parser.addOption(QCommandLineOption(pauseName, QString(), QStringLiteral("ms"), QStringLiteral("0")));
    parser.addOption(QCommandLineOption(outputName, QString(), QStringLiteral("file")));
    parser.addOption(QCommandLineOption(wavName));
    parser.addOption(QCommandLineOption(listName));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), helpName}));
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return usage(QStringLiteral("未知的选项：%1%2（用 --help 查看用法）")
                             .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first()));
        return usage(QStringLiteral("命令行有误：%1（用 --help 查看用法）").arg(parser.errorText()));
    }

    Parsed parsed;
    Options &options = parsed.options;
    if (parser.isSet(helpName))
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("多余的参数：%1").arg(parser.positionalArguments().join(QLatin1Char(' '))));

    const bool render = parser.isSet(renderName);
    if (parser.isSet(listName)) {
        for (const QString &name : allNames()) {
            if (name != listName && parser.isSet(name))
                return usage(QStringLiteral("--list-voices 不能与 --%1 一起使用").arg(name));
        }
        options.action = Action::ListVoices;
        return parsed;
    }
    if (!render)
        return usage(QStringLiteral("请用 --render 指定要合成的文件，或用 --list-voices 列出配音员（用 --help 查看用法）"));

    options.action = Action::Render;
    const QString script = parser.value(renderName);
    if (script.isEmpty())
        return usage(QStringLiteral("--render 需要一个文件"));
    options.script = QFileInfo(script).absoluteFilePath();

    options.voice = parser.value(voiceName).trimmed();
    if (options.voice.isEmpty())
        return usage(QStringLiteral("请用 --voice 指定配音员（用 --list-voices 列出配音员）"));

    const QString rate = parser.value(rateName);
    const std::optional<int> rateValue = percent(rate, contract::rateMin, contract::rateMax);
    if (!rateValue)
        return usage(rateMessage(rate));
    options.rate = *rateValue;

    const QString volume = parser.value(volumeName);
    const std::optional<int> volumeValue = percent(volume, contract::volumeMin, contract::volumeMax);
    if (!volumeValue)
        return usage(volumeMessage(volume));
    options.volume = *volumeValue;

    const QString pause = parser.value(pauseName);
    const std::optional<int> pauseValue = contract::parsePause(pause.toStdString());
    if (!pauseValue || *pauseValue > contract::pagePauseMaxMs)
        return usage(pauseMessage(pause));
    options.pauseMs = *pauseValue;

    if (parser.isSet(outputName)) {
        const QString output = parser.value(outputName);
        if (!output.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive) || QFileInfo(output).completeBaseName().isEmpty())
            return usage(QStringLiteral("输出文件须以 .mp3 结尾：%1").arg(output));
        options.output = QFileInfo(output).absoluteFilePath();
    }
    options.wav = parser.isSet(wavName);
    return parsed;
}

QString helpText()
{
    return QStringLiteral(
               "用法：\n"
               "  Sayora_Lumo                         打开窗口\n"
               "  Sayora_Lumo 文案.txt                打开窗口并载入这份文案\n"
               "  Sayora_Lumo --render 文件 --voice 配音员 [选项]\n"
               "                                      不开窗口，把文案或字幕文件合成为一个 MP3\n"
               "  Sayora_Lumo --list-voices           列出语音服务的配音员\n"
               "  Sayora_Lumo --help                  显示本说明\n"
               "\n"
               "选项：\n"
               "  --render 文件       要合成的文件：文案（文本文件，UTF-8、GB18030 或带 BOM 的\n"
               "                      UTF-16），或字幕文件（.srt、.vtt、.lrc），每条字幕按它的时间配音；\n"
               "                      字幕文件中无法使用的字幕会写出编号并跳过\n"
               "  --voice 配音员      配音员标识，如 zh-CN-XiaoxiaoNeural（见 --list-voices）；\n"
               "                      文案中用「配音员」标记的段落仍由标记的配音员朗读\n"
               "  --rate 语速         如 +0%、+25%、-30%，范围 %1% 到 +%2%，默认 +0%\n"
               "  --volume 音量       如 +0%、+25%、-30%，范围 %3% 到 +%4%，默认 +0%\n"
               "  --pause 毫秒        段落之间的停顿，0 到 %5，默认 0\n"
               "  --output 文件.mp3   输出到这里（已有的文件会被替换），字幕 .srt（和 .wav）放在旁边，\n"
               "                      同名；默认为 audio/<开始时间>/output.mp3\n"
               "  --wav               另外输出 WAV 文件\n"
               "  --list-voices       每行一个配音员：标识、区域代码、区域名称、配音员名称，以制表符分隔\n"
               "  -h, --help          显示本说明\n"
               "\n"
               "合成时，进度写到标准错误：每有段落完成写一行“已完成/总段数”（如 12/308），\n"
               "组合时写一行；完成后把 MP3 的路径写到标准输出。\n"
               "\n"
               "工作文件夹是当前文件夹，与窗口相同：从这里启动语音服务 server/Sayora_server_Tavrel，\n"
               "结束时停止它；data.db、lexicon.txt 和 audio/ 都在这里。等待语音服务的时限与窗口相同\n"
               "（环境变量 LUMO_CATALOGUE_TIMEOUT_MS 等可以改短，LUMO_SERVICE_PORT 换用其他端口，见 README）。\n"
               "\n"
               "退出码：\n"
               "  0  成功\n"
               "  1  合成失败：有段落未能合成、组合失败，或语音服务无法启动或连接\n"
               "  2  用法错误：未知选项、缺少参数、参数值无效、文件不存在或无法读取、配音员不存在\n"
               "  130  被 Ctrl+C 中断：合成已取消，配音文件夹已删除\n")
        .arg(contract::rateMin)
        .arg(contract::rateMax)
        .arg(contract::volumeMin)
        .arg(contract::volumeMax)
        .arg(contract::pagePauseMaxMs);
}

Script loadScript(const QString &path)
{
    Script script;
    if (SubtitleImport::formatOf(path)) {
        SubtitleImport::Result result;
        if (!SubtitleImport::readFile(path, result, script.error))
            return script;
        for (const SubtitleImport::Issue &issue : qAsConst(result.skipped))
            script.notes.append(SubtitleImport::describe(issue));
        for (const SubtitleImport::Issue &issue : qAsConst(result.overlaps))
            script.notes.append(SubtitleImport::describe(issue));
        script.text = CueMarker::scriptLines(result.cues).join(QLatin1Char('\n'));
        script.ok = true;
        return script;
    }
    const ScriptFile::ReadResult read = ScriptFile::read(path);
    if (!read.ok) {
        script.error = read.error;
        return script;
    }
    script.text = read.text;
    script.ok = true;
    return script;
}

QVector<Move> outputMoves(const QString &jobFolder, const QString &target, bool wav)
{
    const QFileInfo info(target);
    // The base name is what comes before the ".mp3", dots and all.
    const QString base = info.absolutePath() + QLatin1Char('/') + info.fileName().chopped(4);
    QVector<Move> moves{{jobFolder + QStringLiteral("output.mp3"), info.absoluteFilePath()},
                        {jobFolder + QStringLiteral("output.srt"), base + QStringLiteral(".srt")}};
    if (wav)
        moves.append({jobFolder + QStringLiteral("output.wav"), base + QStringLiteral(".wav")});
    return moves;
}

QString checkOutput(const QString &path, bool wav)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("输出文件夹不存在：%1").arg(folder.absoluteFilePath());
    if (!folder.isWritable())
        return QStringLiteral("输出文件夹无法写入：%1").arg(folder.absoluteFilePath());
    for (const Move &move : outputMoves(QString(), path, wav)) {
        if (QFileInfo(move.to).isDir())
            return QStringLiteral("输出位置是一个文件夹：%1").arg(move.to);
    }
    return QString();
}

bool moveSafely(const Move &move, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("无法写入 %1：%2").arg(move.to, why);
        return false;
    };
    QFile from(move.from);
    if (!from.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("合成结果 %1 无法读取（%2）").arg(move.from, from.errorString()));
    QSaveFile to(move.to);
    if (!to.open(QIODevice::WriteOnly))
        return fail(to.errorString());
    constexpr qint64 chunk = 1 << 20;
    while (!from.atEnd()) {
        const QByteArray bytes = from.read(chunk);
        if (bytes.isEmpty() && from.error() != QFileDevice::NoError) {
            to.cancelWriting();
            return fail(from.errorString());
        }
        if (to.write(bytes) != bytes.size()) {
            to.cancelWriting();
            return fail(to.errorString());
        }
    }
    if (!to.commit())
        return fail(to.errorString());
    from.close();
    QFile::remove(move.from);
    return true;
}

QStringList voiceLines(const QJsonArray &records)
{
    QStringList lines;
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        const QString identifier = record.value(QLatin1String(contract::voiceRecord::name)).toString();
        const QString locale = record.value(QLatin1String(contract::voiceRecord::locale)).toString();
        // A neural voice brings its own name; espeak voices are named by the tables.
        const QString displayName = record.value(QLatin1String(contract::voiceRecord::displayName)).toString();
        lines.append(QStringList{identifier, locale, VoiceNaming::localeDisplayName(locale),
                                 displayName.isEmpty() ? VoiceNaming::voiceNickname(identifier) : displayName}
                         .join(QLatin1Char('\t')));
    }
    return lines;
}

QStringList skippedFolderLines(const QJsonArray &records)
{
    QStringList lines;
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        lines.append(QStringLiteral("跳过模型文件夹 models/%1：%2")
                         .arg(record.value(QLatin1String(contract::modelFolder::folder)).toString(),
                              record.value(QLatin1String(contract::modelFolder::reason)).toString()));
    }
    return lines;
}

bool hasVoice(const QJsonArray &records, const QString &voice)
{
    for (const QJsonValue &value : records) {
        if (value.toObject().value(QLatin1String(contract::voiceRecord::name)).toString() == voice)
            return true;
    }
    return false;
}

QString unknownVoiceMessage(const QString &voice)
{
    return QStringLiteral("没有这个配音员：%1（用 Sayora_Lumo --list-voices 列出配音员，第一列是配音员标识）").arg(voice);
}

int servicePort()
{
    bool ok = false;
    const int port = qEnvironmentVariable("LUMO_SERVICE_PORT").trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : contract::process::defaultPort;
}

} // namespace CommandLine
