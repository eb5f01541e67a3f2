#include "formats/unpack.h"

#include <lhasa.h>
#include <zlib.h>

#include <cctype>
#include <cstring>

namespace {

struct MemoryInput {
    const char* data;
    size_t size;
    size_t pos;
};

int memory_read(void* handle, void* buf, size_t len)
{
    auto* in = static_cast<MemoryInput*>(handle);
    const size_t n = len < in->size - in->pos ? len : in->size - in->pos;
    memcpy(buf, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

// The CRC an LHA header keeps of the unpacked bytes (polynomial 0xA001,
// reflected, starting at 0).
uint16_t lha_crc(const QByteArray& bytes)
{
    static uint16_t table[256];
    if (table[1] == 0) {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
            table[i] = static_cast<uint16_t>(c);
        }
    }
    uint16_t crc = 0;
    for (char ch : bytes)
        crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ static_cast<uint8_t>(ch)) & 0xFF]);
    return crc;
}

}  // namespace

bool is_lha(const QByteArray& bytes)
{
    // A member header: its method, "-" and three letters or digits and "-",
    // from the third byte on.
    if (bytes.size() < 22 || bytes[2] != '-' || bytes[6] != '-')
        return false;
    for (int i = 3; i < 6; ++i)
        if (!isalnum(static_cast<unsigned char>(bytes[i])))
            return false;
    return true;
}

bool lha_unpack(const QByteArray& bytes, QByteArray* out, QByteArray* error)
{
    // A method the LHA library does not unpack is named before anything is
    // read; folder entries (-lhd-) are passed over.
    QByteArray method = bytes.mid(2, 5);
    if (method != "-lhd-" && !lha_decoder_for_name(method.data())) {
        *error = "an LHA archive packed with " + method + ", a method Trelvane does not unpack";
        return false;
    }
    MemoryInput input{bytes.constData(), static_cast<size_t>(bytes.size()), 0};
    static const LHAInputStreamType type = {memory_read, nullptr, nullptr};
    LHAInputStream* stream = lha_input_stream_new(&type, &input);
    LHAReader* reader = stream ? lha_reader_new(stream) : nullptr;
    LHAFileHeader* header = reader ? lha_reader_next_file(reader) : nullptr;
    while (header && strcmp(header->compress_method, "-lhd-") == 0)
        header = lha_reader_next_file(reader);
    bool ok = false;
    if (header && !lha_decoder_for_name(header->compress_method)) {
        *error = "an LHA archive packed with " + QByteArray(header->compress_method)
            + ", a method Trelvane does not unpack";
    } else if (!header) {
        *error = "damaged LHA header";
    } else if (static_cast<qsizetype>(header->length) > UNPACKED_MAX) {
        *error = "packed file too large";
    } else {
        out->resize(static_cast<qsizetype>(header->length));
        size_t got = 0;
        while (got < header->length) {
            const size_t n = lha_reader_read(reader, out->data() + got, header->length - got);
            if (n == 0)
                break;
            got += n;
        }
        if (got != header->length)
            *error = "packed data ends early";
        else if (lha_crc(*out) != header->crc)
            *error = "packed data damaged (CRC mismatch)";
        else
            ok = true;
    }
    if (reader)
        lha_reader_free(reader);
    if (stream)
        lha_input_stream_free(stream);
    if (!ok)
        out->clear();
    return ok;
}

bool is_gzip(const QByteArray& bytes)
{
    return bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0x1F && static_cast<uint8_t>(bytes[1]) == 0x8B;
}

bool gunzip(const QByteArray& bytes, QByteArray* out, QByteArray* error)
{
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) {
        *error = "cannot start gzip decoder";
        return false;
    }
    out->clear();
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    z.avail_in = static_cast<uInt>(bytes.size());
    char chunk[1 << 16];
    int status = Z_OK;
    bool ok = true;
    while (ok) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            *error = status == Z_BUF_ERROR ? "gzip data ends early" : "damaged gzip data";
            ok = false;
            break;
        }
        out->append(chunk, static_cast<qsizetype>(sizeof chunk - z.avail_out));
        if (out->size() > UNPACKED_MAX) {
            *error = "packed file too large";
            ok = false;
        } else if (status == Z_STREAM_END) {
            // Another member may follow; padding zeros may too.
            if (z.avail_in == 0 || static_cast<uint8_t>(*z.next_in) != 0x1F)
                break;
            inflateReset(&z);
        }
    }
    inflateEnd(&z);
    if (!ok)
        out->clear();
    return ok;
}
