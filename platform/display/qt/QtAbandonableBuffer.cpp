#include "platform/display/qt/QtAbandonableBuffer.h"

QtAbandonableBuffer::QtAbandonableBuffer(const QByteArray* bytes, const std::atomic<bool>& abandoned)
    : fAbandoned(abandoned)
{
    // QBuffer only reads through the pointer in read-only mode.
    setBuffer(const_cast<QByteArray*>(bytes));
    open(QIODevice::ReadOnly);
}

qint64 QtAbandonableBuffer::readData(char* data, qint64 size)
{
    return fAbandoned.load() ? -1 : QBuffer::readData(data, size);
}
