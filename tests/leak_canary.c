/* Leaks on purpose: route profiles and dashboard links that are never released. A sanitized test
 * run starts this as a child process and expects LeakSanitizer to report them, which shows that
 * the leak check is on where the tests run. Usage: leak_canary ROUTE */
#include <stdio.h>

#include "korvale.h"

/* Opens a profile and a link and forgets both. */
static int open_and_forget(const char* route) {
    korvale_profile* profile = korvale_load(route, 0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0);
    korvale_link* link = init_com(9, "127.0.0.1", 0, 0);
    return profile != NULL && link != NULL;
}

int main(int argc, char** argv) {
    int opened = 0;
    int i;
    if (argc < 2) {
        return 2;
    }
    for (i = 0; i < 3; ++i) {
        opened += open_and_forget(argv[1]);
    }
    printf("opened %d\n", opened);
    return 0;
}
