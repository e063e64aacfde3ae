/*
 * A host built the way Visual Studio builds one (as msvc_host.c), linked by lld-link against
 * korvale_routes.lib and korvale.lib: it makes the route of the example map's roads 1 and 2 with
 * korvale_routes.dll, loads it with korvale.dll, and asks korvale_routes.dll for a failure's
 * message and a point of the local frame. It exits with 1 when a call does not answer as it
 * should, and says "every answer as expected" only when all do (the test reads its output, not
 * its exit status).
 */
#include "korvale.h"
#include "korvale_routes.h"

__declspec(dllimport) int __cdecl printf(const char* format, ...);
__declspec(dllimport) void __cdecl exit(int status);

int _fltused = 0;

static const char ROUTE[] = "msvc_routes_host_route.txt";

void __cdecl host_main(void) {
    char error[256];
    double xyz[3] = {0.0, 0.0, 0.0};
    korvale_profile* profile;
    int failures = 0;

    if (korvale_route_from_opendrive("map.xodr", "1,2", -1, 1.0, 0.0, 0, ROUTE, error,
                                     sizeof error) != KORVALE_ROUTES_OK) {
        printf("msvc_routes_host: %s\n", error);
        exit(1);
    }
    profile = korvale_load(ROUTE, 0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0);
    if (profile == 0) {
        printf("msvc_routes_host: korvale_load failed\n");
        exit(1);
    }
    printf("msvc_routes_host: route of %d rows, %.1f m\n", get_korvale_rows(profile),
           get_max_distance_korvale(profile));
    failures += get_korvale_rows(profile) != 932;
    deinitialize_korvale(profile);

    failures += korvale_route_from_opendrive("missing.xodr", 0, 0, 1.0, 0.0, 0, ROUTE, error,
                                             sizeof error) != KORVALE_ROUTES_FAILED;
    printf("msvc_routes_host: %s\n", error);
    failures += korvale_local_frame_forward(48.0, 11.0, 500.0, 48.001, 11.0, 510.0, xyz, error,
                                            sizeof error) != KORVALE_ROUTES_OK;
    printf("msvc_routes_host: local frame %.3f %.3f %.3f\n", xyz[0], xyz[1], xyz[2]);
    failures += xyz[1] < 111.0 || xyz[1] > 111.4 || xyz[2] < 9.99 || xyz[2] > 10.0;
    if (failures == 0) {
        printf("msvc_routes_host: every answer as expected\n");
    }
    exit(failures == 0 ? 0 : 1);
}
