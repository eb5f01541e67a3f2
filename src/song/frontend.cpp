#include "song/frontend.h"
#include "song/song.h"

FrontEnd front_end;
FILE* io_diag = stdout;

void show_error(const QString& text)
{
    if (front_end.show_error) {
        front_end.show_error(text);
        return;
    }
    QByteArray bytes = text.toLocal8Bit();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

char* format_time(uint32_t frame, char* buffer)
{
    uint32_t seconds = frame / FRAME_RATE;
    uint32_t minutes = seconds / 60;
    uint32_t hours = minutes / 60;
    uint32_t millis = (frame % FRAME_RATE) * 20;
    snprintf(buffer, 16, "%u:%02u:%02u.%03u", hours, minutes % 60, seconds % 60, millis);
    return buffer;
}
