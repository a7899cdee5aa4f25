#include <gtest/gtest.h>

#include "MultipartReader.h"

using State = MultipartReader::State;

TEST(MultipartReader, BoundaryFromTheContentType)
{
    EXPECT_EQ(MultipartReader::boundaryOf("multipart/x-mixed-replace; boundary=frame"),
              QByteArray("frame"));
    EXPECT_EQ(MultipartReader::boundaryOf("Multipart/X-Mixed-Replace;charset=x; BOUNDARY=\"a b\""),
              QByteArray("a b"));
    EXPECT_FALSE(MultipartReader::boundaryOf("multipart/x-mixed-replace"));
    EXPECT_FALSE(MultipartReader::boundaryOf("multipart/x-mixed-replace; boundary="));
    EXPECT_FALSE(MultipartReader::boundaryOf("image/jpeg; boundary=x"));
    EXPECT_FALSE(MultipartReader::boundaryOf(""));
}

TEST(MultipartReader, FirstPartWithOrWithoutLengthInAnyPieces)
{
    const QByteArray picture = "\xff\xd8 picture --fram not yet \r\n--frameless\xff\xd9";
    const QByteArray withLength =
        "preamble\r\n--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
        QByteArray::number(picture.size()) + "\r\n\r\n" + picture + "\r\n--frame\r\n";
    const QByteArray withoutLength =
        "--frame\nContent-Type: image/jpeg\n\n" + picture + "\r\n--frame\r\nnext";
    for (const QByteArray &stream : {withLength, withoutLength}) {
        for (int piece : {1, 3, 7, 1000}) {
            MultipartReader reader("frame", 1 << 20);
            State state = State::NeedMore;
            for (qsizetype at = 0; at < stream.size() && state == State::NeedMore; at += piece)
                state = reader.feed(
                    QByteArrayView(stream).sliced(at, qMin<qsizetype>(piece, stream.size() - at)));
            ASSERT_EQ(state, State::Complete) << "piece " << piece;
            EXPECT_EQ(reader.partBody(), picture) << "piece " << piece;
            EXPECT_TRUE(reader.partHeader().contains("image/jpeg"));
        }
    }
    // "boundary=--frame" written as "--frame" lines, no part header at all.
    MultipartReader dashed("--frame", 1 << 20);
    EXPECT_EQ(dashed.feed("--frame\r\n\r\nabc\r\n--frame"), State::NeedMore)
        << "the delimiter line has not ended yet";
    EXPECT_EQ(dashed.feed("\r\n"), State::Complete);
    EXPECT_EQ(dashed.partBody(), QByteArray("abc"));
    EXPECT_TRUE(dashed.partHeader().isEmpty());
}

TEST(MultipartReader, BrokenStreamsAreBounded)
{
    MultipartReader tooBig("b", 100);
    EXPECT_EQ(tooBig.feed("--b\r\n\r\n"), State::NeedMore);
    EXPECT_EQ(tooBig.feed(QByteArray(100, 'x')), State::NeedMore) << "the cap itself is allowed";
    EXPECT_EQ(tooBig.feed("x"), State::Failed);
    EXPECT_EQ(tooBig.feed("\r\n--b"), State::Failed) << "stays failed";

    MultipartReader declared("b", 100);
    EXPECT_EQ(declared.feed("--b\r\nContent-Length: 101\r\n\r\n"), State::Failed);

    MultipartReader noBoundary("b", 1 << 20);
    EXPECT_EQ(noBoundary.feed(QByteArray(MultipartReader::PartHeaderLimit + 1, 'x')),
              State::Failed);

    MultipartReader endlessHeader("b", 1 << 20);
    endlessHeader.feed("--b\r\nX: ");
    EXPECT_EQ(endlessHeader.feed(QByteArray(MultipartReader::PartHeaderLimit + 1, 'h')),
              State::Failed);
    EXPECT_STRNE(endlessHeader.failure(), "");
}
