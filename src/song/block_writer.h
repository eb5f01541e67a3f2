// Collects a file's bytes in large blocks and hands each full block to a
// sink. A block the sink takes only in part marks the whole output failed,
// whatever the blocks after it do: a file with a hole in the middle is no
// file, even if its end was written.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class BlockWriter {
public:
    // sink(bytes, count) returns how many bytes it took, or -1.
    using Sink = std::function<qint64(const char*, qint64)>;

    explicit BlockWriter(Sink block_sink, qint64 block_size = 1 << 16)
        : sink(std::move(block_sink)), buffer(static_cast<size_t>(block_size))
    {
    }

    void put(uint8_t byte)
    {
        if (len == buffer.size())
            flush();
        buffer[len++] = static_cast<char>(byte);
    }

    void put(const char* bytes, int count)
    {
        for (int i = 0; i < count; ++i)
            put(static_cast<uint8_t>(bytes[i]));
    }

    // Hands on what is collected (at the end; full blocks go on their own).
    void flush()
    {
        const auto count = static_cast<qint64>(len);
        if (count > 0 && sink(buffer.data(), count) != count)
            failed = true;
        len = 0;
    }

    bool failed = false;

private:
    Sink sink;
    std::vector<char> buffer;
    size_t len = 0;
};
