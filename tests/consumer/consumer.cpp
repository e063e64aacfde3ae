// Loads a route through an installed korvale and prints its rows and length.
#include <cstdio>

#include <korvale.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    korvale_profile* route = korvale_load(argv[1], 0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0);
    if (route == nullptr) {
        return 1;
    }
    std::printf("\nconsumer: %d rows, %.1f m\n", static_cast<int>(get_korvale_rows(route)),
                get_max_distance_korvale(route));
    deinitialize_korvale(route);
    return 0;
}
