#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What a completed response's header means: whether it carries a picture, and
// whether that picture is a new one by its "Last-Modified:" line.
namespace SnapshotResponse {

// The value of the first header line called name (any letter case), without
// the blanks around it; empty without one. Lines end in LF or CR LF.
QByteArrayView headerValue(QByteArrayView header, QByteArrayView name);

// True when the header names "image/" anywhere, in any letter case. The status
// line is not examined.
bool isImage(const QByteArray &header);

// The outcome of the Last-Modified rule for one picture.
struct Change
{
    bool hasLine = false; // the header has a "Last-Modified:" line
    QString line;         // that line, from the word to the line end
    QString updatedText;  // the line without the word: txtUpdated
    bool record = false;  // store line as the recorded value (and stamp txtRefreshed)
    bool isNew = false;   // camNewPicture
};

// Compares the header's "Last-Modified:" line (found in any letter case) with
// the value recorded for the panel. The first line seen is recorded but not
// new; the same line again is not new; a different line (a change of letter
// case included) is recorded and new. Without a line nothing is new and the
// recorded value stays.
Change detectChange(const QByteArray &header, const QString &recorded);

} // namespace SnapshotResponse
