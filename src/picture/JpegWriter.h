#pragma once

#include <QByteArray>
#include <QString>

#include "Result.h"

class DibSection;

// What SaveJpegFile does when the file is already there.
enum class JpegExisting {
    // Replace it; the new file keeps the old one's permissions and its access
    // and modification times.
    Replace,
    // Leave it alone and fail with status -EEXIST (-17): for callers that pick
    // a free name and must never overwrite a file that appeared meanwhile.
    Keep,
};

// Writes the picture (mIntelJPEGLibrary) as a JPEG file at the given quality,
// passed to the encoder unchanged (1 to 100), with 4:2:0 chroma subsampling.
//
// The file is encoded in memory first and written under a temporary name in
// the same directory, then renamed over fileName (Replace) or linked to it
// (Keep), so a failed save never destroys the file it was meant to replace
// and nobody ever sees a half-written picture under fileName. Linux keeps no creation time we
// could set, so of the replaced file's three times only the access and
// modification times are carried over.
//
// Returns true. Every failure raises TessalyError 26001, source "<program>.mIntelJPEGLibrary":
// - "Failed to initialise the IJL library: -1" when no encoder can be made;
// - "Failed to save to JPG <status>" otherwise, where status is -1 for an
//   encoder failure (empty picture, quality out of range) and minus the
//   system error number for a file failure: -2 (ENOENT) for an empty name or
//   a missing directory, -13 (EACCES) for an unwritable directory or a
//   write-protected file (a file without any write permission is not
//   replaced, as the Windows delete of a read-only file would refuse), -21
//   (EISDIR) when fileName is a directory, -17 (EEXIST) with JpegExisting::Keep.
//
// When encoded is given, it receives the file's bytes after a successful save,
// so a caller that wants to show or keep what was written need not read the
// file back; it is left untouched when the save fails.
bool SaveJpegFile(const DibSection &dib, const QString &fileName, int quality,
                  JpegExisting existing = JpegExisting::Replace, QByteArray *encoded = nullptr);

// The same write for callers inside the program: the file's bytes, or a
// Failure (kind Encode, File or NameTaken) whose text is the one SaveJpegFile
// raises and whose systemError is the system error number of a file failure.
Result<QByteArray> WriteJpegFile(const DibSection &dib, const QString &fileName, int quality,
                                 JpegExisting existing = JpegExisting::Replace);
