// library: tessaly_capture
// The first part of an MJPEG stream as a camera may send it: any bytes after
// the boundary taken from a Content-Type line, in pieces of any size. The
// part never exceeds the cap, and how the bytes are cut does not change it.
#include "FuzzSupport.h"
#include "MultipartReader.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // First line: the Content-Type value; first byte after it: the piece size.
    const QByteArray input = FuzzSupport::bytes(data, size);
    const qsizetype newline = input.indexOf('\n');
    if (newline < 0 || newline + 1 >= input.size())
        return 0;
    const std::optional<QByteArray> boundary = MultipartReader::boundaryOf(input.left(newline));
    if (!boundary)
        return 0;
    FUZZ_CHECK(!boundary->isEmpty(), QString());
    const int piece = 1 + quint8(input[newline + 1]) % 64;
    const QByteArray body = input.mid(newline + 2);
    constexpr qsizetype Cap = 4096;

    MultipartReader whole(*boundary, Cap);
    whole.feed(body);
    MultipartReader cut(*boundary, Cap);
    for (qsizetype at = 0; at < body.size() && cut.state() == MultipartReader::State::NeedMore;
         at += piece)
        cut.feed(QByteArrayView(body).sliced(at, qMin<qsizetype>(piece, body.size() - at)));

    for (const MultipartReader *r : {&whole, &cut}) {
        FUZZ_CHECK(r->partBody().size() <= Cap, QString());
        FUZZ_CHECK(r->partHeader().size() <= MultipartReader::PartHeaderLimit, QString());
    }
    // Small streams stay clear of the limits, where cutting may decide earlier.
    if (body.size() < 2048) {
        FUZZ_CHECK(whole.state() == cut.state(), QString::number(piece));
        if (whole.state() == MultipartReader::State::Complete) {
            FUZZ_CHECK(whole.partBody() == cut.partBody(), QString::number(piece));
            FUZZ_CHECK(whole.partHeader() == cut.partHeader(), QString::number(piece));
        }
    }
    return 0;
}
