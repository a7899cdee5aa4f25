#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "CamEntry.h"
#include "CamListResult.h"

// The camera list file 00camlist.txt in the program directory: every camera
// the user configured, as four lines each ("[name]" + name, URL, refresh,
// empty). Lines the program writes end in CR LF; a reader also ends a line at a
// lone CR or LF (files edited by hand). Texts are UTF-8; a line that is not
// valid UTF-8 (an old 8-bit file) is read as Windows-1252 and keeps its bytes
// when the file is rewritten.
class CamListFile
{
public:
    // Where the list lives.
    static QString path();

    // Creates the file (one empty line) when missing, then reads the list items
    // in file order by the name-marker rule.
    static CamListResult<QStringList> LoadCamList();
    // Reads the list items without creating anything; a missing file is an error.
    static CamListResult<QStringList> ReadCamList();

    // Appends name, URL, refresh and an empty line, creating the file when missing.
    // A file whose last line has no line end gets one first, so the new name line
    // stays a line of its own.
    static CamListResult<bool> AppendCamEntry(const QString &name, const QString &url,
                                              const QString &refresh);

    // The first entry whose name line is exactly "[name]" + name (letter case
    // significant); nothing for an empty name or no match. A name line at the end
    // of the file lacking its URL or refresh line is found with those fields empty.
    static CamListResult<std::optional<CamEntry>> FindCamEntry(const QString &name);

    // Rewrites the file without the first entry whose name line is exactly
    // "[name]" + entry.name and whose next two lines are entry.address and
    // entry.refresh (a missing line counts as empty). Its name and refresh lines
    // become empty and its URL line goes, so the four lines turn into three empty
    // ones; one CR LF is added at the end. Every other line keeps its bytes.
    // value: whether an entry was removed. Without a match the file is not touched.
    static CamListResult<bool> RemoveCamEntry(const CamEntry &entry);

    // What an edit does: RemoveCamEntry(*old) (when old is given and found),
    // then AppendCamEntry(entry), computed in memory and written once, so the
    // bytes are those of the two steps and a failed write changes nothing.
    static CamListResult<bool> ReplaceCamEntry(const std::optional<CamEntry> &old,
                                               const CamEntry &entry);

    // The rules, on text already in memory.
    struct Line
    {
        QByteArray bytes; // as in the file, without the line end
        QString text;     // decoded
    };
    static QList<Line> splitLines(const QByteArray &content);
    static QString decodeLine(const QByteArray &bytes);
    // Name-marker rule: a line holding "[name]" anywhere (any letter case) is
    // listed with every such marker removed.
    static std::optional<QString> listItem(const QString &line);
    // Exact-name rule.
    static bool isNameLineOf(const QString &line, const QString &name);
    static QByteArray entryBytes(const QString &name, const QString &url, const QString &refresh);
    // content without the entry, by RemoveCamEntry's rule; nothing without a match.
    static std::optional<QByteArray> withoutEntry(const QByteArray &content, const CamEntry &entry);

    // The largest file we read: far more than any camera list, small enough that
    // a stray huge file cannot exhaust memory.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
};
