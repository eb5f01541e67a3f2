#pragma once

#include <cstdint>

// Register writes that go in front of the first written frame's own writes.
struct LeadIn {
    int count;
    uint8_t reg[16];
    uint8_t value[16];
};

// Writes frames from .. to - 1 of the song as a PSG file: to path (bytes),
// which is put in place only when it is complete (a temporary file in its
// folder, flushed to the disk and renamed over it; a device or pipe is
// written directly), or, when path is null, to a new temporary file that
// stays open for reading back. With lead_in, its writes open the first
// frame (not when no frame is written). Returns the file's handle, or -1
// when the file could not be created ("Can't ceate file!") or not be
// written completely ("Can't write file!"); then whatever stood under path
// stays as it was and no temporary file remains.
int psg_write(uint32_t from, const char* path, uint32_t to, const LeadIn* lead_in = nullptr);

// The same, but a file for path is left written under its temporary
// name: io_put_in_place puts it there, io_abandon drops it. So
// several files can be written before any of them replaces its name.
int psg_write_pending(uint32_t from, const char* path, uint32_t to, const LeadIn* lead_in = nullptr);
