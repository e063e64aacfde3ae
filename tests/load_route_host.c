/* A host that builds one route profile and says how many rows it got. A route file that yields
 * no rows ends this process inside initialize_korvale. Usage: load_route_host ROUTE */
#include <stdio.h>

#include "korvale.h"

int main(int argc, char** argv) {
    korvale_profile* profile;
    if (argc < 2) {
        return 2;
    }
    profile = initialize_korvale(argv[1], 0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0);
    printf("rows %d\n", (int)get_korvale_rows(profile));
    deinitialize_korvale(profile);
    return 0;
}
