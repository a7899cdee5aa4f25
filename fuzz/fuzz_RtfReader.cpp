// library: tessaly_shell
// Help.rtf as anyone may have replaced it: the reader must end on every input,
// deliver no more text than the input could spell, and read the same input
// the same way twice.
#include <QTextDocument>

#include "FuzzSupport.h"
#include "RtfReader.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray rtf = FuzzSupport::bytes(data, size);
    QTextDocument first;
    RtfReader reader;
    const bool ok = reader.read(rtf, &first);
    FUZZ_CHECK(ok == reader.errorString().isEmpty(), reader.errorString());
    const QString text = first.toPlainText();
    // Every character shown costs at least one byte of input.
    FUZZ_CHECK(text.size() <= rtf.size() + 1,
               QStringLiteral("%1 characters from %2 bytes").arg(text.size()).arg(rtf.size()));

    QTextDocument second;
    RtfReader again;
    FUZZ_CHECK(again.read(rtf, &second) == ok && second.toPlainText() == text, QString());
    return 0;
}
