#pragma once

// QtAbandonableBuffer: bytes in memory, read by a picture decoder, that
// stop coming once the decoding is abandoned. Decoders read as they decode,
// so an abandoned one fails at its next read instead of decoding the rest
// of a large picture that nobody will see (and that the quit would wait
// for).
//
// Thread rules: the buffer belongs to the decoding thread; the flag may be
// set from any thread.

#include <QBuffer>

#include <atomic>

class QtAbandonableBuffer final : public QBuffer {
public:
    // `bytes` and `abandoned` must outlive the buffer.
    QtAbandonableBuffer(const QByteArray* bytes, const std::atomic<bool>& abandoned);

protected:
    qint64 readData(char* data, qint64 size) override;

private:
    const std::atomic<bool>& fAbandoned;
};
