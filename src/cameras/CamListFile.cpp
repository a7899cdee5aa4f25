#include "CamListFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "AppInfo.h"
#include "FileUtils.h"
#include "SafeFileWriter.h"

namespace {
const QString kWhat = QStringLiteral("camera list file");
const QString kMarker = QStringLiteral("[name]");
const QByteArray kLineEnd = "\r\n";

// Windows-1252 for 0x80..0x9F; the five unassigned bytes keep their Latin-1 meaning.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b)));
    }
    return text;
}

QString failure(const QString &action, const QString &reason)
{
    return SafeFileWriter::describeFailure(kWhat, CamListFile::path(), action, reason);
}

// The text names the file and the reason; the safe writer gives no error number.
Failure fileFailure(const QString &text)
{
    return Failure::of(Failure::Kind::File, text);
}

// The whole file, bounded; the error text when it cannot be had.
QString readContent(QByteArray *content)
{
    const QFileInfo info(CamListFile::path());
    // A directory, pipe or device in its place would fail or block the reader.
    if (info.exists() && !info.isFile())
        return failure(QStringLiteral("read"), QStringLiteral("it is not a regular file"));
    QFile file(CamListFile::path());
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("read"), file.errorString());
    // In pieces: asking for the whole limit at once would reserve 16 MB for every
    // read of a list that is usually a few hundred bytes.
    content->clear();
    while (content->size() <= CamListFile::MaxFileSize) {
        const QByteArray piece = file.read(64 * 1024);
        if (piece.isEmpty())
            break;
        content->append(piece);
    }
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("read"), file.errorString());
    if (content->size() > CamListFile::MaxFileSize)
        return failure(QStringLiteral("read"), QStringLiteral("it is larger than 16 MB"));
    return {};
}

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}
} // namespace

QString CamListFile::path()
{
    return AppInfo::programFile(QStringLiteral("00camlist.txt"));
}

QString CamListFile::decodeLine(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return fromCp1252(bytes);
    return text;
}

QList<CamListFile::Line> CamListFile::splitLines(const QByteArray &content)
{
    QList<Line> lines;
    qsizetype begin = 0;
    // A byte-order mark from an editor is not part of the first line's text.
    qsizetype textBegin = content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype size = content.size();
    qsizetype i = 0;
    while (i < size) {
        const char c = content.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(
            Line{content.mid(begin, i - begin), decodeLine(content.mid(textBegin, i - textBegin))});
        i += (c == '\r' && i + 1 < size && content.at(i + 1) == '\n') ? 2 : 1;
        begin = textBegin = i;
    }
    // A last line without a line end is still a line.
    if (begin < size)
        lines.append(Line{content.mid(begin), decodeLine(content.mid(textBegin))});
    return lines;
}

std::optional<QString> CamListFile::listItem(const QString &line)
{
    if (!line.contains(kMarker, Qt::CaseInsensitive))
        return std::nullopt;
    QString item = line;
    item.remove(kMarker, Qt::CaseInsensitive);
    return item;
}

bool CamListFile::isNameLineOf(const QString &line, const QString &name)
{
    return line.size() == kMarker.size() + name.size() && line.startsWith(kMarker) &&
           QStringView(line).mid(kMarker.size()) == name;
}

QByteArray CamListFile::entryBytes(const QString &name, const QString &url, const QString &refresh)
{
    return kMarker.toUtf8() + name.toUtf8() + kLineEnd + url.toUtf8() + kLineEnd +
           refresh.toUtf8() + kLineEnd + kLineEnd;
}

CamListResult<QStringList> CamListFile::ReadCamList()
{
    QByteArray content;
    if (const QString error = readContent(&content); !error.isEmpty())
        return fileFailure(error);
    QStringList names;
    const QList<Line> lines = splitLines(content);
    for (const Line &line : lines) {
        if (std::optional<QString> item = listItem(line.text))
            names.append(*item);
    }
    return names;
}

CamListResult<QStringList> CamListFile::LoadCamList()
{
    const QFileInfo info(path());
    // Created only where nothing is in the way; anything else there is
    // reported by the reader instead of being replaced.
    if (!FileUtils::FileExists(path()) && !info.exists() && !info.isSymLink()) {
        const QString error = SafeFileWriter::write(path(), kLineEnd, kWhat);
        if (!error.isEmpty())
            return fileFailure(error);
    }
    return ReadCamList();
}

CamListResult<bool> CamListFile::AppendCamEntry(const QString &name, const QString &url,
                                                const QString &refresh)
{
    return ReplaceCamEntry(std::nullopt, CamEntry{name, url, refresh});
}

CamListResult<bool> CamListFile::ReplaceCamEntry(const std::optional<CamEntry> &old,
                                                 const CamEntry &entry)
{
    if (hasLineBreak(entry.name) || hasLineBreak(entry.address) || hasLineBreak(entry.refresh)) {
        return fileFailure(failure(QStringLiteral("written"),
                                   QStringLiteral("the name, URL or refresh holds a line break")));
    }
    // The new content is built whole and committed in one step, so a failed
    // write leaves the file exactly as it was: an edit never loses the camera.
    QByteArray content;
    if (QFile::exists(path())) {
        if (const QString error = readContent(&content); !error.isEmpty())
            return fileFailure(error);
    }
    if (old) {
        if (std::optional<QByteArray> removed = withoutEntry(content, *old))
            content = *removed;
    }
    if (!content.isEmpty() && !content.endsWith('\r') && !content.endsWith('\n'))
        content += kLineEnd;
    content += entryBytes(entry.name, entry.address, entry.refresh);
    if (const QString error = SafeFileWriter::write(path(), content, kWhat); !error.isEmpty())
        return fileFailure(error);
    return true;
}

CamListResult<std::optional<CamEntry>> CamListFile::FindCamEntry(const QString &name)
{
    if (name.isEmpty())
        return std::optional<CamEntry>();
    QByteArray content;
    if (const QString error = readContent(&content); !error.isEmpty())
        return fileFailure(error);
    const QList<Line> lines = splitLines(content);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isNameLineOf(lines[i].text, name))
            continue;
        // Never past the end: a missing URL or refresh line reads as empty.
        CamEntry entry{name, {}, {}};
        if (i + 1 < lines.size())
            entry.address = lines[i + 1].text;
        if (i + 2 < lines.size())
            entry.refresh = lines[i + 2].text;
        return std::optional<CamEntry>(entry);
    }
    return std::optional<CamEntry>();
}

CamListResult<bool> CamListFile::RemoveCamEntry(const CamEntry &entry)
{
    if (entry.name.isEmpty())
        return false;
    QByteArray content;
    if (const QString error = readContent(&content); !error.isEmpty())
        return fileFailure(error);
    const std::optional<QByteArray> out = withoutEntry(content, entry);
    if (!out)
        return false;
    if (const QString error = SafeFileWriter::write(path(), *out, kWhat); !error.isEmpty())
        return fileFailure(error);
    return true;
}

std::optional<QByteArray> CamListFile::withoutEntry(const QByteArray &content,
                                                    const CamEntry &entry)
{
    if (entry.name.isEmpty())
        return std::nullopt;
    QList<Line> lines = splitLines(content);

    auto textAt = [&lines](qsizetype i) { return i < lines.size() ? lines[i].text : QString(); };
    qsizetype found = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (isNameLineOf(lines[i].text, entry.name) && textAt(i + 1) == entry.address &&
            textAt(i + 2) == entry.refresh) {
            found = i;
            break;
        }
    }
    if (found < 0)
        return std::nullopt;

    // Name line emptied, URL line gone, refresh line emptied: the entry's four
    // lines become three empty ones and nothing else moves.
    lines[found] = Line{};
    if (found + 1 < lines.size()) {
        lines.removeAt(found + 1);
        if (found + 1 < lines.size())
            lines[found + 1] = Line{};
    }

    QByteArray out;
    out.reserve(content.size() + 2);
    for (const Line &line : lines)
        out += line.bytes + kLineEnd;
    out += kLineEnd;
    return out;
}
