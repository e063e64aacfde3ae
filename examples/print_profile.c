/*
 * print_profile: loads a route file into korvale and prints its speed profile as a table.
 *
 *   print_profile ROUTE [STEP_M]
 *
 * Prints one line per route row (or one every STEP_M metres when a step is given): distance
 * along the route, maximum, coasting and recommended speed in km/h. The vehicle is the built-in
 * car of the default coasting model.
 */
#include <stdio.h>
#include <stdlib.h>

#include "korvale.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s ROUTE [STEP_M]\n", argv[0]);
        return 2;
    }
    double step = argc > 2 ? atof(argv[2]) : 0.0;

    /* drag, frontal area, air density, mass, gravity, rolling resistance, power, switch */
    korvale_profile* profile =
        initialize_korvale(argv[1], 0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0);

    int32_t rows = get_korvale_rows(profile);
    double length = get_max_distance_korvale(profile);
    printf("\nroute %s: %d rows, %.1f m\n\n", argv[1], (int)rows, length);
    printf("%10s %10s %10s %12s\n", "distance_m", "max_kmh", "coast_kmh", "recommend_kmh");

    double* distance = malloc(sizeof(double) * (size_t)rows);
    if (distance == NULL) {
        deinitialize_korvale(profile);
        return 1;
    }
    get_korvale_dist_vec(profile, distance, rows);
    int32_t count = step > 0.0 ? (int32_t)(length / step) + 1 : rows;
    for (int32_t i = 0; i < count; ++i) {
        double at = step > 0.0 ? i * step : distance[i];
        double max_speed = 0.0, recommended = 0.0, coasting = 0.0;
        get_all_at_distance(profile, at, &max_speed, &recommended, &coasting);
        printf("%10.1f %10.1f %10.1f %12.1f\n", at, max_speed, coasting, recommended);
    }
    free(distance);
    deinitialize_korvale(profile);
    return 0;
}
