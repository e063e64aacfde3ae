/*
 * dynamic_host: a host that loads the korvale library at run time, as simulators and scripting
 * environments do, instead of linking it. It finds every exported function by name, builds the
 * profile of a route, asks for the speeds by distance and along a drive by position, and sends
 * a status record for every sample and a plot for every ten to a dashboard; then it builds the
 * eco model's profile of the route and asks for its advice along it.
 *
 *   dynamic_host LIBRARY ROUTE DASHBOARD_HOST DASHBOARD_PORT
 *
 * LIBRARY is korvale.dll on Windows (found next to the program, or a path) and a path to
 * libkorvale.so elsewhere. Values are printed with 17 significant digits, so that two runs can
 * be compared number for number; every record and plot sent is printed as a line of its own.
 * Exit code 0 when everything was found and done, 1 when the library or a function is missing,
 * 2 for a wrong command line. A route file without rows ends the process inside
 * initialize_korvale (exit code -1).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
typedef HMODULE library_handle;
#else
#include <dlfcn.h>
typedef void* library_handle;
#endif

/* Only the types of the header are used: the functions come from the loaded library. */
#include "korvale.h"

/* Every export, as a pointer of its own type. */
struct korvale_api {
    korvale_profile* (*initialize_korvale)(const char*, double, double, double, double, double,
                                           double, double, double);
    korvale_profile* (*korvale_load)(const char*, double, double, double, double, double, double,
                                     double, double);
    void (*deinitialize_korvale)(korvale_profile*);
    int32_t (*get_korvale_rows)(korvale_profile*);
    void (*get_korvale_x_vec)(korvale_profile*, double*, int32_t);
    void (*get_korvale_y_vec)(korvale_profile*, double*, int32_t);
    void (*get_korvale_z_vec)(korvale_profile*, double*, int32_t);
    void (*get_korvale_dist_vec)(korvale_profile*, double*, int32_t);
    double (*get_max_distance_korvale)(korvale_profile*);
    double (*get_max_speed_at_distance)(korvale_profile*, double);
    double (*get_recomended_speed_at_distance)(korvale_profile*, double);
    double (*get_coasting_speed_at_distance)(korvale_profile*, double);
    int32_t (*get_all_at_distance)(korvale_profile*, double, double*, double*, double*);
    int32_t (*get_pos_at_distance)(korvale_profile*, double, double*, double*, double*);
    int32_t (*get_pos_at_polyline_location)(korvale_profile*, double, double*, int32_t);
    double (*get_distance_at_position)(korvale_profile*, double, double, double, int32_t, double);
    double (*get_max_speed_at_position)(korvale_profile*, double, double, double);
    double (*get_recomended_speed_at_position)(korvale_profile*, double, double, double);
    double (*get_coasting_speed_at_position)(korvale_profile*, double, double, double);
    int32_t (*get_all_at_position)(korvale_profile*, double, double, double, int32_t, double,
                                   double*, double*, double*, double*);
    int32_t (*korvale_next_slowdown)(korvale_profile*, double, double, double, double*, double*,
                                     double*);
    double (*korvale_offset_from_route)(korvale_profile*);
    void (*korvale_fill_default_vehicle)(korvale_vehicle*, uint32_t);
    korvale_profile* (*korvale_load_vehicle)(const char*, const korvale_vehicle*, int32_t);
    int32_t (*korvale_advice)(korvale_profile*, double, double, double, int32_t*, double*, double*,
                              double*, double*);
    korvale_link* (*init_com)(int32_t, const char*, int32_t, int32_t);
    void (*send_msg)(korvale_link*, int32_t, double, double, double, double, double, double, double,
                     double, int32_t, double, int32_t);
    double (*send_msg_plot)(korvale_link*, const double*, const double*, uint64_t, uint64_t,
                            double);
    void (*close_com)(korvale_link*);
};

/* Any function pointer: what the platform's look-up gives, before it takes its real type. */
typedef void (*any_function)(void);

/* A slot of struct korvale_api and the name its function is exported under. */
struct export_slot {
    const char* name;
    void* slot;
};

static library_handle open_library(const char* path) {
#ifdef _WIN32
    return LoadLibraryA(path);
#else
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

static void close_library(library_handle library) {
#ifdef _WIN32
    FreeLibrary(library);
#else
    dlclose(library);
#endif
}

static void print_load_error(const char* path) {
#ifdef _WIN32
    fprintf(stderr, "cannot load %s: error %lu\n", path, (unsigned long)GetLastError());
#else
    fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
#endif
}

/* The exported function of that name, or NULL. */
static any_function find_function(library_handle library, const char* name) {
    any_function found = NULL;
#ifdef _WIN32
    FARPROC address = GetProcAddress(library, name);
#else
    void* address = dlsym(library, name);
#endif
    /* Function and data pointers have one size on every platform that loads libraries. */
    if (address != NULL && sizeof address == sizeof found) {
        memcpy(&found, &address, sizeof found);
    }
    return found;
}

/* Fills every slot of api; the number of functions that were not found. */
static int resolve_all(library_handle library, struct korvale_api* api) {
#define KORVALE_SLOT(name)                                                                         \
    { #name, &api->name }
    const struct export_slot slots[] = {
        KORVALE_SLOT(initialize_korvale),
        KORVALE_SLOT(korvale_load),
        KORVALE_SLOT(deinitialize_korvale),
        KORVALE_SLOT(get_korvale_rows),
        KORVALE_SLOT(get_korvale_x_vec),
        KORVALE_SLOT(get_korvale_y_vec),
        KORVALE_SLOT(get_korvale_z_vec),
        KORVALE_SLOT(get_korvale_dist_vec),
        KORVALE_SLOT(get_max_distance_korvale),
        KORVALE_SLOT(get_max_speed_at_distance),
        KORVALE_SLOT(get_recomended_speed_at_distance),
        KORVALE_SLOT(get_coasting_speed_at_distance),
        KORVALE_SLOT(get_all_at_distance),
        KORVALE_SLOT(get_pos_at_distance),
        KORVALE_SLOT(get_pos_at_polyline_location),
        KORVALE_SLOT(get_distance_at_position),
        KORVALE_SLOT(get_max_speed_at_position),
        KORVALE_SLOT(get_recomended_speed_at_position),
        KORVALE_SLOT(get_coasting_speed_at_position),
        KORVALE_SLOT(get_all_at_position),
        KORVALE_SLOT(korvale_next_slowdown),
        KORVALE_SLOT(korvale_offset_from_route),
        KORVALE_SLOT(korvale_fill_default_vehicle),
        KORVALE_SLOT(korvale_load_vehicle),
        KORVALE_SLOT(korvale_advice),
        KORVALE_SLOT(init_com),
        KORVALE_SLOT(send_msg),
        KORVALE_SLOT(send_msg_plot),
        KORVALE_SLOT(close_com),
    };
#undef KORVALE_SLOT
    const size_t count = sizeof slots / sizeof slots[0];
    int missing = 0;
    size_t i;
    for (i = 0; i < count; ++i) {
        any_function found = find_function(library, slots[i].name);
        if (found == NULL) {
            fprintf(stderr, "the library does not export %s\n", slots[i].name);
            ++missing;
        }
        memcpy(slots[i].slot, &found, sizeof found);
    }
    printf("host: resolved %d of %d functions by name\n", (int)count - missing, (int)count);
    return missing;
}

/* The built-in car: drag, frontal area, air density, mass, gravity, rolling resistance, power,
 * model switch. */
#define BUILT_IN_CAR 0.3, 2.3, 1.293, 1644.0, 9.81, 0.015, 0.0, 0.0

/* Distance between two samples of the drive (m), and samples per plot. */
#define DRIVE_STEP_M 100.0
#define SAMPLES_PER_PLOT 10
/* The vehicle drives this far beside the route (m), in x and in y. */
#define LATERAL_OFFSET_M 1.5
/* Window of the position search (m), horizon of the advice (m), cruising speed (km/h). */
#define SEARCH_WINDOW_M 150.0
#define HORIZON_M 1000.0
#define CRUISE_KMH 90.0
/* Pause after each plot (ms). */
#define PLOT_DELAY_MS 2

static void print_columns(const struct korvale_api* k, korvale_profile* profile, int32_t rows) {
    double* column[4];
    const char* names[4] = {"x", "y", "z", "distance"};
    int c;
    for (c = 0; c < 4; ++c) {
        column[c] = malloc(sizeof(double) * (size_t)rows);
    }
    if (column[0] != NULL && column[1] != NULL && column[2] != NULL && column[3] != NULL) {
        k->get_korvale_x_vec(profile, column[0], rows);
        k->get_korvale_y_vec(profile, column[1], rows);
        k->get_korvale_z_vec(profile, column[2], rows);
        k->get_korvale_dist_vec(profile, column[3], rows);
        for (c = 0; c < 4; ++c) {
            printf("host: column %s first %.17g second %.17g last %.17g\n", names[c], column[c][0],
                   column[c][rows > 1 ? 1 : 0], column[c][rows - 1]);
        }
    }
    for (c = 0; c < 4; ++c) {
        free(column[c]);
    }
}

static void query_by_distance(const struct korvale_api* k, korvale_profile* profile,
                              double length) {
    const double at[] = {-50.0, 0.0, 333.3, 1200.0, 2500.5, length - 1.0, length, length + 100.0};
    size_t i;
    for (i = 0; i < sizeof at / sizeof at[0]; ++i) {
        double max_speed = 0, recommended = 0, coasting = 0, x = 0, y = 0, z = 0;
        double xyz[3] = {0, 0, 0};
        const int32_t all =
            k->get_all_at_distance(profile, at[i], &max_speed, &recommended, &coasting);
        const int32_t pos = k->get_pos_at_distance(profile, at[i], &x, &y, &z);
        const int32_t polyline = k->get_pos_at_polyline_location(profile, at[i], xyz, 0);
        printf("host: at distance %.17g max %.17g recommended %.17g coasting %.17g (all %d)\n",
               at[i], k->get_max_speed_at_distance(profile, at[i]),
               k->get_recomended_speed_at_distance(profile, at[i]),
               k->get_coasting_speed_at_distance(profile, at[i]), (int)all);
        printf("host: all at distance %.17g max %.17g recommended %.17g coasting %.17g\n", at[i],
               max_speed, recommended, coasting);
        printf("host: point at distance %.17g x %.17g y %.17g z %.17g (%d) polyline %.17g %.17g "
               "%.17g (%d)\n",
               at[i], x, y, z, (int)pos, xyz[0], xyz[1], xyz[2], (int)polyline);
    }
}

/* A drive beside the route: a position query, the advice ahead and a status record per
 * sample, a plot of the last samples' distances and recommended speeds every ten samples. */
static void drive(const struct korvale_api* k, korvale_profile* profile, double length,
                  korvale_link* link) {
    double plot_distance[SAMPLES_PER_PLOT];
    double plot_recommended[SAMPLES_PER_PLOT];
    int in_plot = 0;
    int sample = 0;
    double along;
    for (along = 0.0; along <= length; along += DRIVE_STEP_M, ++sample) {
        double x = 0, y = 0, z = 0, distance = 0, max_speed = 0, recommended = 0, coasting = 0;
        double slowdown = 0, target = 0, liftoff = 0, speed, offset, time_stamp;
        int32_t found;
        int i;
        k->get_pos_at_distance(profile, along, &x, &y, &z);
        x += LATERAL_OFFSET_M;
        y += LATERAL_OFFSET_M;
        k->get_all_at_position(profile, x, y, z, 0, SEARCH_WINDOW_M, &distance, &max_speed,
                               &recommended, &coasting);
        offset = k->korvale_offset_from_route(profile);
        printf("host: at position %.17g %.17g %.17g distance %.17g max %.17g recommended %.17g "
               "coasting %.17g offset %.17g\n",
               x, y, z, distance, max_speed, recommended, coasting, offset);
        printf("host: by position distance %.17g max %.17g recommended %.17g coasting %.17g\n",
               k->get_distance_at_position(profile, x, y, z, 0, SEARCH_WINDOW_M),
               k->get_max_speed_at_position(profile, x, y, z),
               k->get_recomended_speed_at_position(profile, x, y, z),
               k->get_coasting_speed_at_position(profile, x, y, z));

        speed = max_speed < CRUISE_KMH ? max_speed : CRUISE_KMH;
        found = k->korvale_next_slowdown(profile, distance, speed, HORIZON_M, &slowdown, &target,
                                         &liftoff);
        if (found == 1) {
            printf("host: ahead of %.17g at %.17g km/h slow down to %.17g at %.17g, lift off at "
                   "%.17g\n",
                   distance, speed, target, slowdown, liftoff);
        } else {
            printf("host: ahead of %.17g at %.17g km/h no slow-down (%d)\n", distance, speed,
                   (int)found);
        }

        time_stamp = sample + 1.0;
        k->send_msg(link, sample, distance, max_speed, recommended, coasting, offset, 0.0, x, y,
                    found, time_stamp, 4711);
        printf("host: record %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %d %.17g %d\n",
               sample, distance, max_speed, recommended, coasting, offset, 0.0, x, y, (int)found,
               time_stamp, 4711);

        plot_distance[in_plot] = distance;
        plot_recommended[in_plot] = recommended;
        if (++in_plot == SAMPLES_PER_PLOT) {
            k->send_msg_plot(link, plot_distance, plot_recommended, SAMPLES_PER_PLOT,
                             SAMPLES_PER_PLOT, time_stamp + 0.5);
            printf("host: plot %d %d", SAMPLES_PER_PLOT, SAMPLES_PER_PLOT);
            for (i = 0; i < SAMPLES_PER_PLOT; ++i) {
                printf(" %.17g", plot_distance[i]);
            }
            for (i = 0; i < SAMPLES_PER_PLOT; ++i) {
                printf(" %.17g", plot_recommended[i]);
            }
            printf("\n");
            in_plot = 0;
        }
    }
}

/* The eco model's profile of the route for the built-in car, and its advice at the cruising
 * speed every 250 m. */
static void eco_advice(const struct korvale_api* k, const char* route, double length) {
    korvale_vehicle car;
    korvale_profile* eco;
    double along;
    k->korvale_fill_default_vehicle(&car, (uint32_t)sizeof car);
    eco = k->korvale_load_vehicle(route, &car, KORVALE_MODEL_ECO);
    if (eco == NULL) {
        printf("host: korvale_load_vehicle gives null\n");
        return;
    }
    for (along = 0.0; along <= length; along += 250.0) {
        int32_t action = -1;
        double liftoff = 0, target = 0, target_speed = 0, deceleration = 0;
        const int32_t found = k->korvale_advice(eco, along, CRUISE_KMH, HORIZON_M, &action,
                                                &liftoff, &target, &target_speed, &deceleration);
        printf("host: eco at %.17g recommended %.17g advice %d (%d) lift off %.17g target %.17g "
               "at %.17g km/h deceleration %.17g\n",
               along, k->get_recomended_speed_at_distance(eco, along), (int)action, (int)found,
               liftoff, target, target_speed, deceleration);
    }
    k->deinitialize_korvale(eco);
}

int main(int argc, char** argv) {
    struct korvale_api k;
    library_handle library;
    korvale_profile* profile;
    korvale_link* link;
    int32_t rows;
    double length;

    if (argc != 5) {
        fprintf(stderr, "usage: %s LIBRARY ROUTE DASHBOARD_HOST DASHBOARD_PORT\n", argv[0]);
        return 2;
    }
    library = open_library(argv[1]);
    if (library == NULL) {
        print_load_error(argv[1]);
        return 1;
    }
    if (resolve_all(library, &k) != 0) {
        close_library(library);
        return 1;
    }
    /* Everything the library prints and everything this host prints, in order. */
    fflush(stdout);

    /* (The library's last line for a file without rows has no line end.) */
    printf("\nhost: korvale_load of a missing file gives %s\n",
           k.korvale_load("no-such-route.txt", BUILT_IN_CAR) == NULL ? "null" : "a profile");
    profile = k.initialize_korvale(argv[2], BUILT_IN_CAR);
    rows = k.get_korvale_rows(profile);
    length = k.get_max_distance_korvale(profile);
    printf("host: %d rows, %.17g m\n", (int)rows, length);
    print_columns(&k, profile, rows);
    query_by_distance(&k, profile, length);

    link = k.init_com(atoi(argv[4]), argv[3], 0, PLOT_DELAY_MS);
    drive(&k, profile, length, link);
    fflush(stdout);
    k.close_com(link);
    k.deinitialize_korvale(profile);
    eco_advice(&k, argv[2], length);
    close_library(library);
    printf("host: done\n");
    return 0;
}
