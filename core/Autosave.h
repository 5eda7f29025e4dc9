#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The script and the page's settings, kept in the working folder so that a
// crash, a power cut or a restart does not lose them. Both files are written
// atomically; reading never fails loudly: a damaged file is ignored with a
// log line and the program starts as if there were none.
namespace Autosave {

// In the working folder.
QString scriptFileName();  // "script.autosave.txt", the editor's text as UTF-8
QString sessionFileName(); // "session.autosave.json", the settings below

// What the page had chosen. A field that was not saved, or did not read
// back, stays unset and the page keeps its own value.
struct Session {
    std::optional<QString> locale; // the locale chooser's text
    std::optional<QString> voice;  // the chosen voice's identifier
    std::optional<int> rate;       // percent, within the page's rate box
    std::optional<int> volume;     // percent, within the page's volume box
    std::optional<int> pauseMs;    // within the page's pause box
    std::optional<bool> writeWav;  // result jobs also write output.wav
    std::optional<QStringList> favourites; // identifiers of the voices marked as favourites

    bool operator==(const Session &other) const
    {
        return locale == other.locale && voice == other.voice && rate == other.rate && volume == other.volume
            && pauseMs == other.pauseMs && writeWav == other.writeWav && favourites == other.favourites;
    }
};

QByteArray encodeSession(const Session &session);
// Empty when the bytes are not a session at all (`why` says what is wrong);
// a field of the wrong type or outside its range is left unset.
std::optional<Session> decodeSession(const QByteArray &bytes, QString *why = nullptr);

// Saves into `folder` (ending in "/"); false, with a log line, on failure.
bool saveScript(const QString &folder, const QString &text);
bool saveSession(const QString &folder, const Session &session);

// What was saved in `folder`; empty when nothing was, or when the file is
// damaged or unreadable (logged).
std::optional<QString> loadScript(const QString &folder);
std::optional<Session> loadSession(const QString &folder);

} // namespace Autosave
