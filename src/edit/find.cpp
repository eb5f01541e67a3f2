#include "edit/find.h"

#include "edit/find_detail.h"

FindStatus find_period(uint32_t from, uint32_t window, FindResult& result, void (*progress)(int percent))
{
    return find_detail::search(from, window, result, progress, find_detail::PolyHash61(window));
}
