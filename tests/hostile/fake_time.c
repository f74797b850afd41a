/* Sets the calendar clock of the program it is preloaded into: time() gives
 * the seconds in NUVALO_FAKE_TIME (0 and negative values included, as on a
 * machine whose clock was never set or was set before 1970). Without the
 * variable the real clock answers. Only time() is replaced: the game seeds
 * its random source from it, while SDL's timers keep the monotonic clock. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

time_t time(time_t* out) {
    const char* fake = getenv("NUVALO_FAKE_TIME");
    if (fake == NULL) {
        time_t (*real)(time_t*) = NULL;
        *(void**)(&real) = dlsym(RTLD_NEXT, "time");
        return real != NULL ? real(out) : (time_t)-1;
    }
    const time_t value = (time_t)strtoll(fake, NULL, 10);
    if (out != NULL) {
        *out = value;
    }
    return value;
}
