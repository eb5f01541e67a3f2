#include "song/frontend.h"

FrontEnd front_end;
