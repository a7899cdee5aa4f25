// library: tessaly_cameras
// The camera list file as a hand-edited file can be: every reader, the lookup,
// an append and the removal rewrite run on it, and the rewrite is checked to
// touch only the entry it removes.
#include <QDir>

#include "CamListFile.h"
#include "FuzzSupport.h"

namespace {
using Lines = QList<CamListFile::Line>;

QString path()
{
    return CamListFile::path();
}

QString describe(const Lines &before, const Lines &after)
{
    return QStringLiteral("lines before %1, after %2").arg(before.size()).arg(after.size());
}

void checkOnlyTheListIsLeft()
{
    const QStringList files = QDir(FuzzSupport::programDirectory())
                                  .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    FUZZ_CHECK(files == QStringList{QStringLiteral("00camlist.txt")}, files.join(u' '));
}

// Removes the entry named on line `at` and checks the rewrite line by line.
void removeAndCheck(const QByteArray &content, const Lines &before, qsizetype at)
{
    FuzzSupport::writeFile(path(), content);
    const QString name = before[at].text.mid(6);
    const auto found = CamListFile::FindCamEntry(name);
    FUZZ_CHECK(found.ok() && found.value().has_value(), name);
    // The first line of that name may come earlier than `at`.
    qsizetype first = 0;
    while (!CamListFile::isNameLineOf(before[first].text, name))
        ++first;
    FUZZ_CHECK(first <= at, name);

    const auto removed = CamListFile::RemoveCamEntry(*found.value());
    FUZZ_CHECK(removed.ok() && removed.value(), removed.errorText());
    checkOnlyTheListIsLeft();

    // Its name and refresh lines are emptied, its URL line goes, one line end is
    // added, and every other line keeps its bytes.
    Lines expected = before;
    expected[first] = {};
    if (first + 1 < expected.size()) {
        expected.removeAt(first + 1);
        if (first + 1 < expected.size())
            expected[first + 1] = {};
    }
    expected.append(CamListFile::Line{});
    const Lines after = CamListFile::splitLines(FuzzSupport::readFile(path()));
    FUZZ_CHECK(after.size() == expected.size(), describe(before, after));
    for (qsizetype i = 0; i < after.size(); ++i)
        FUZZ_CHECK(after[i].bytes == expected[i].bytes, QStringLiteral("line %1").arg(i));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = FuzzSupport::bytes(data, size);
    const Lines lines = CamListFile::splitLines(content);
    qsizetype lineBytes = 0;
    for (const CamListFile::Line &line : lines) {
        FUZZ_CHECK(!line.bytes.contains('\r') && !line.bytes.contains('\n'), line.text);
        lineBytes += line.bytes.size();
    }
    FUZZ_CHECK(lineBytes <= content.size(), QString());

    // Loading an existing list never changes it.
    FuzzSupport::writeFile(path(), content);
    const auto loaded = CamListFile::LoadCamList();
    FUZZ_CHECK(loaded.ok(), loaded.errorText());
    FUZZ_CHECK(FuzzSupport::readFile(path()) == content, QString());
    const auto read = CamListFile::ReadCamList();
    FUZZ_CHECK(read.ok() && read.value() == loaded.value(), read.errorText());

    // An append adds exactly one listed item after the others.
    const QString added = QStringLiteral("Fuzz Added");
    const auto appended = CamListFile::AppendCamEntry(added, QStringLiteral("http://127.0.0.1/"),
                                                      QStringLiteral("30"));
    FUZZ_CHECK(appended.ok(), appended.errorText());
    const auto afterAppend = CamListFile::ReadCamList();
    FUZZ_CHECK(afterAppend.ok() && afterAppend.value() == loaded.value() + QStringList{added},
               QStringLiteral("%1 items after append").arg(afterAppend.value().size()));
    FUZZ_CHECK(FuzzSupport::readFile(path()).startsWith(content), QString());

    // Removal of each of the first few named entries, each from the original content.
    int removals = 0;
    for (qsizetype i = 0; i < lines.size() && removals < 4; ++i) {
        if (lines[i].text.startsWith(QLatin1String("[name]")) && lines[i].text.size() > 6) {
            removeAndCheck(content, lines, i);
            ++removals;
        }
    }

    // A list that names nothing removable is never rewritten.
    if (content.contains("no such camera"))
        return 0;
    FuzzSupport::writeFile(path(), content);
    const auto none = CamListFile::RemoveCamEntry(
        CamEntry{QStringLiteral("\x01no such camera"), QStringLiteral("-"), QStringLiteral("-")});
    FUZZ_CHECK(none.ok() && !none.value(), none.errorText());
    FUZZ_CHECK(FuzzSupport::readFile(path()) == content, QString());
    return 0;
}
