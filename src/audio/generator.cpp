#include "audio/generator.h"

#include "audio/fifo.h"

Generator* generator;

qint64 Generator::readData(char* data, qint64 maxlen)
{
    return fifo_read(reinterpret_cast<uint8_t*>(data), maxlen);
}

qint64 Generator::writeData(const char*, qint64)
{
    return 0;
}
