#pragma once

#include <QByteArray>
#include <QString>

// The user's own pronunciations, lexicon.txt in the working folder, which the
// speech service reads: one "word<TAB>reading" a line (numbered pinyin or
// kana), "#" lines are comments, UTF-8 with or without a BOM, LF or CRLF.
// The program only ever sets one entry: the user's other lines, comments and
// blank lines stay byte for byte as they were, since the file is theirs too.
namespace LexiconEdit {

constexpr char fileName[] = "lexicon.txt";

// The file's content with `word` read as `reading`: the first line for the
// word (of the same kind, pinyin or kana) is replaced in place and later ones
// are dropped, or the line is appended, with the file's own line ends.
QByteArray withEntry(const QByteArray &content, const QString &word, const QString &reading);

struct Outcome {
    bool ok = false;
    QString error; // when not ok, for the user
};

// Sets the entry in the file at `path` (made when missing). The new file
// replaces the old one whole (QSaveFile), so the service, which may read it
// at any moment, never sees half of it; on failure the old file stays.
// `word` and `reading` are checked already (ReadingText); still, a tab or a
// line end in them is refused, since it would make other lines, and so is a
// line the service would skip.
Outcome writeEntry(const QString &path, const QString &word, const QString &reading);

} // namespace LexiconEdit
