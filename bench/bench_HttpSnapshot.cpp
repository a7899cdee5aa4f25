// Scanning and splitting one 300 KB snapshot response as a panel receives it:
// the bytes arrive in socket-sized pieces, each appended and scanned for the
// header end and the progress, then the whole response is split into header
// and body, tested for a picture type and run through change detection.
//
//   cmake --build build --target bench_HttpSnapshot && build/bench/bench_HttpSnapshot
//
// Beside a scaled decode (several milliseconds) this should cost microseconds.

#include <benchmark/benchmark.h>

#include <QByteArray>

#include "HttpSnapshot.h"
#include "PanelStatus.h"
#include "SnapshotResponse.h"

namespace {

constexpr int kBodyBytes = 300 * 1024;

const QByteArray &response()
{
    static const QByteArray bytes = [] {
        QByteArray body(kBodyBytes, '\0');
        // JPEG-like bytes: no accidental CR LF CR LF inside the body.
        for (int i = 0; i < kBodyBytes; ++i)
            body[i] = char((i * 131 + 7) % 251);
        body[0] = char(0xFF);
        body[1] = char(0xD8);
        return QByteArray("HTTP/1.1 200 OK\r\n"
                          "Server: camera\r\n"
                          "Content-Type: image/jpeg\r\n"
                          "Content-Length: ") +
               QByteArray::number(body.size()) +
               "\r\n"
               "Last-Modified: Tue, 08 Dec 2026 14:20:01 GMT\r\n"
               "Connection: close\r\n"
               "\r\n" +
               body;
    }();
    return bytes;
}

// Data events of chunk bytes each, as QTcpSocket hands them over.
void BM_ReceiveInPieces(benchmark::State &state)
{
    const qsizetype chunk = state.range(0);
    const QByteArray &all = response();
    for (auto _ : state) {
        SnapshotFetch panel;
        panel.path = QStringLiteral("/snapshot.jpg");
        for (qsizetype at = 0; at < all.size(); at += chunk) {
            const HttpSnapshot::Arrival arrival = HttpSnapshot::receive(panel, all.mid(at, chunk));
            benchmark::DoNotOptimize(arrival.progressShown);
        }
        if (panel.contentLength != kBodyBytes)
            state.SkipWithError("length not found");
    }
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(BM_ReceiveInPieces)->Arg(16 * 1024)->Arg(64 * 1024)->Unit(benchmark::kMicrosecond);

// What picture arrival does with the completed buffer before decoding.
void BM_SplitAndDetect(benchmark::State &state)
{
    const QByteArray &all = response();
    QString recorded = QStringLiteral("Last-Modified: Tue, 08 Dec 2026 14:20:00 GMT");
    for (auto _ : state) {
        QByteArray buffer = all; // the panel's buffer, shared until replaced
        const SnapshotResponse::HeaderAndBody parts = SnapshotResponse::split(buffer);
        buffer = parts.body;
        const bool image = SnapshotResponse::isImage(parts.header);
        const SnapshotResponse::Change change =
            SnapshotResponse::detectChange(parts.header, recorded);
        benchmark::DoNotOptimize(image);
        benchmark::DoNotOptimize(change.isNew);
        if (buffer.size() != kBodyBytes || !image || !change.isNew)
            state.SkipWithError("wrong split");
    }
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(BM_SplitAndDetect)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
