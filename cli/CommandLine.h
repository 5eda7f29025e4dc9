#pragma once

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The program without its window: render a script or a subtitle file to an
// MP3 from a shell, or list the service's voices. Everything here is a plain
// function of its arguments; CommandLineRun drives the service with it.
namespace CommandLine {

// Exit codes, as --help documents them.
constexpr int exitOk = 0;
constexpr int exitFailed = 1; // the render failed, or the service could not be started or reached
constexpr int exitUsage = 2;  // a bad option or value, a file that cannot be read, an unknown voice
constexpr int exitInterrupted = 130; // Ctrl+C (or SIGTERM): the job was cancelled and its folder removed, as a shell counts it

enum class Action { Help, ListVoices, Render };

struct Options {
    Action action = Action::Help;
    QString script;   // --render
    QString voice;    // --voice, an identifier
    int rate = 0;     // percent
    int volume = 0;   // percent
    int pauseMs = 0;
    QString output;   // --output, absolute; empty: output.mp3 in the job folder
    bool wav = false; // --wav
};

struct Parsed {
    Options options;
    int exitCode = exitOk; // exitUsage when the arguments cannot be used
    QString message;       // why not, for stderr
};

// Whether the arguments (the program's name first) ask for the command line
// rather than the window: one of its options is given. Anything else, a
// script to open or an option of Qt's own, still goes to the window.
bool isRequested(const QStringList &arguments);

// Reads and checks the arguments (the program's name first). Files are not
// looked at here; see loadScript() and checkOutput().
Parsed parse(const QStringList &arguments);

// What --help prints.
QString helpText();

// The rate, volume and pause values in words, for messages.
QString rateMessage(const QString &value);
QString volumeMessage(const QString &value);
QString pauseMessage(const QString &value);

// A script to render: a text file as the 文件 menu reads it, or a subtitle
// file (.srt, .vtt, .lrc) turned into one cue line per cue.
struct Script {
    bool ok = false;
    QString text;
    QStringList notes; // cues skipped or overlapping, for stderr
    QString error;     // when not ok
};
Script loadScript(const QString &path);

// Whether the MP3 (and the files beside it) can be written at `path`; an
// empty text when they can, else why not. Nothing is written.
QString checkOutput(const QString &path, bool wav);

// The files a delivered job leaves and where each one goes: output.mp3 to
// `target`, output.srt (and output.wav) beside it with the same base name.
struct Move {
    QString from;
    QString to;
};
QVector<Move> outputMoves(const QString &jobFolder, const QString &target, bool wav);

// Copies `from` into a temporary file beside `to` and renames it over `to`
// once every byte is there, then removes `from`: `to` is never left half
// written, and an old file there stays as it was when anything fails.
bool moveSafely(const Move &move, QString *error);

// One line per voice record: identifier, locale code, the locale's Chinese
// name and the voice's as the picker shows them, tab separated, in the
// service's order.
QStringList voiceLines(const QJsonArray &records);
// The lines that end the voice list: each folder of models/ the service
// skipped, with its reason (modelFolders' records).
QStringList skippedFolderLines(const QJsonArray &records);

// Whether the service's voice records name this identifier.
bool hasVoice(const QJsonArray &records, const QString &voice);
QString unknownVoiceMessage(const QString &voice);

// The port of the service the command line starts and talks to: the
// program's 5000, or LUMO_SERVICE_PORT when that is a port number (tests run
// side by side, each with a service of its own).
int servicePort();

} // namespace CommandLine
