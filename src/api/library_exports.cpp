// Exported functions of the library as a whole: its version, the message of the last failure
// and where its lines go.
#include <type_traits>

#include "diag.h"
#include "korvale.h"

static_assert(KORVALE_LOG_OUTPUT == korvale::LOG_OUTPUT && KORVALE_LOG_ERROR == korvale::LOG_ERROR,
              "the log levels of the header are the core's");
static_assert(std::is_same_v<korvale_log_function, korvale::LogFunction>,
              "a log function of the header is one of the core");

extern "C" {

int32_t korvale_version(void) {
    return KORVALE_VERSION;
}

size_t korvale_last_error(char* buffer, size_t size) {
    return korvale::copy_last_error(buffer, size);
}

void korvale_set_log(korvale_log_function fn, void* user) {
    korvale::set_log(fn, user);
}

} // extern "C"
