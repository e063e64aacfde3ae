/*
 * A host built the way Visual Studio builds one: compiled for the MSVC ABI (clang with the
 * x86_64-pc-windows-msvc target), linked by an MSVC-style linker (lld-link) against korvale.lib,
 * run under Wine. It writes the worked example's four-row route, loads it and prints the speeds
 * at every row; it exits with 1 when a coasting speed is not the expected one, and says "every
 * answer as expected" only when all are (the test reads its output, not its exit status).
 *
 * The MSVC runtime libraries are not on a Linux machine, so the host has no C runtime start-up:
 * its entry point is host_main, and it takes the few C functions it needs from msvcrt.dll
 * through an import library of its own (msvc_host_crt.def).
 */
#include "korvale.h"

typedef struct host_file host_file;
__declspec(dllimport) int __cdecl printf(const char* format, ...);
__declspec(dllimport) host_file* __cdecl fopen(const char* path, const char* mode);
__declspec(dllimport) int __cdecl fputs(const char* text, host_file* file);
__declspec(dllimport) int __cdecl fclose(host_file* file);
__declspec(dllimport) void __cdecl exit(int status);

/* The MSVC ABI's mark of a program that uses floating point; its runtime library defines it. */
int _fltused = 0;

static const char ROUTE[] = "msvc_host_route.txt";

void __cdecl host_main(void) {
    static const double expected_coasting[4] = {100.0, 57.338, 52.371, 100.0};
    korvale_profile* profile;
    host_file* file = fopen(ROUTE, "w");
    int row;
    int failures = 0;
    if (file == 0) {
        printf("msvc_host: cannot write %s\n", ROUTE);
        exit(1);
    }
    fputs("0 0 0 10000 100 0\n100 0 0 10000 100 0\n200 0 0 100 100 0.05\n"
          "300 0 0 10000 100 0\n",
          file);
    fclose(file);

    profile = korvale_load(ROUTE, 0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0);
    if (profile == 0) {
        printf("msvc_host: korvale_load failed\n");
        exit(1);
    }
    printf("msvc_host: %d rows, %.3f m\n", get_korvale_rows(profile),
           get_max_distance_korvale(profile));
    for (row = 0; row < 4; ++row) {
        double max_speed = -1.0;
        double recommended = -1.0;
        double coasting = -1.0;
        double difference;
        get_all_at_distance(profile, 100.0 * row, &max_speed, &recommended, &coasting);
        printf("msvc_host: distance %.1f max %.3f recommended %.3f coasting %.3f\n", 100.0 * row,
               max_speed, recommended, coasting);
        difference = coasting - expected_coasting[row];
        if (difference > 0.0005 || difference < -0.0005) {
            ++failures;
        }
    }
    deinitialize_korvale(profile);
    if (failures == 0) {
        printf("msvc_host: every answer as expected\n");
    }
    exit(failures == 0 ? 0 : 1);
}
