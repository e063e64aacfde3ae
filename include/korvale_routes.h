/*
 * korvale routes: route files for korvale made from road maps and GPS recordings.
 *
 * The route layer turns a source of road geometry into the route file that
 * initialize_korvale() reads (x y z curve_radius speed_limit superelevation per line). It is a
 * library of its own, libkorvale_routes, built where its XML reader (pugixml) and GeographicLib
 * are found; the
 * speed-profile library libkorvale does not depend on it, and it does not depend on libkorvale.
 *
 * Its shape (src/routes/):
 * - readers of sources: an OpenDRIVE map (opendrive_map.*: roads, reference-line geometry,
 *   elevation, superelevation, lanes and speed records, read with pugixml); a GPS track
 *   (gps_track.*: GPX or CSV fixes);
 * - builders that sample a source into route rows (opendrive_route.*: a chain of roads, rows
 *   every step metres, radius from the geometry's curvature; lane_graph.*, lane_router.* and
 *   lane_route.*: the lanes of a map as a graph, the shortest way along them from a start to
 *   an end, rows along the lane centres; gps_route.*: fixes cleaned, put
 *   into a local frame (local_frame.*, GeographicLib), smoothed (track_smoother.*,
 *   penalised_fit.*) and sampled);
 * - one route file writer for every builder (route_file_writer.*): comment lines first, numbers
 *   written the same under every locale, a temporary file renamed into place only when every
 *   row is written, and a cap of KORVALE_ROUTES_MAX_ROWS rows checked before rows are made;
 * - the C functions below, each a thin guard over a builder.
 *
 * Rules every function here follows:
 * - It returns KORVALE_ROUTES_OK (0) on success and KORVALE_ROUTES_FAILED (-1) on failure.
 * - On failure it writes a message (UTF-8, one line, no trailing line feed) into the caller's
 *   buffer `error` of `error_size` bytes, cut to fit and always terminated when error_size > 0;
 *   on success the buffer gets an empty string. A null buffer or a size of 0 gets nothing.
 * - It never ends the process, prints nothing, and no C++ exception ever leaves it.
 * - A failed build leaves no route file behind (nor any temporary file); an existing file at the
 *   route path is replaced only by a complete route.
 * - Functions hold no global state and may be called from several threads at once.
 *
 * The header is plain C (C89 with stdint.h and stddef.h) and C++.
 */
#ifndef KORVALE_ROUTES_H
#define KORVALE_ROUTES_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KORVALE_ROUTES_BUILDING)
#define KORVALE_ROUTES_API __declspec(dllexport)
#else
#define KORVALE_ROUTES_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define KORVALE_ROUTES_API __attribute__((visibility("default")))
#else
#define KORVALE_ROUTES_API
#endif

#define KORVALE_ROUTES_OK 0
#define KORVALE_ROUTES_FAILED (-1)

/* The most rows a route file may have; a longer route is refused before it is built. */
#define KORVALE_ROUTES_MAX_ROWS 10000000

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Writes the route file route_path for a chain of roads of the OpenDRIVE map at map_path.
 *
 * roads:     road ids in driving order, separated by commas ("12,3,7"), connecting roads inside
 *            junctions included. Each road after the first is entered at its end (s = 0 or its
 *            length) nearer to where the road before it left off; the first is driven towards
 *            the end that meets the second. A single road is driven towards +s. Ends more than
 *            0.5 m apart are an error. Null or empty: the map's only road.
 * lane:      0 for the reference line; otherwise the centre of lane `lane` (OpenDRIVE's ids:
 *            negative to the right of the reference line), named for roads driven towards +s;
 *            on a road driven backwards lane -lane is taken, on the same side of the driver.
 * step:      metres between rows, 0.01 to 1000; rows also lie at every geometry record's start
 *            and at each road's far end.
 * limit_kmh: the speed limit (km/h) of rows where the map gives none; 0 or below (or NaN): none,
 *            and such a row is an error.
 * reverse:   nonzero drives the chain the other way: the roads in the opposite order (a single
 *            road towards -s).
 *
 * The file starts with comment lines ("# ...") naming the map, the roads, the lane and the step.
 * Columns: x y z (m) of the reference line or lane centre; curve radius (m), 10000 on straights
 * (curvature below 1e-4 per metre); speed limit (km/h) of the lane (when it has its own) or of
 * the road; superelevation as a fraction, positive when the road banks towards the inside of
 * the curve.
 */
KORVALE_ROUTES_API int32_t korvale_route_from_opendrive(const char* map_path, const char* roads,
                                                        int32_t lane, double step, double limit_kmh,
                                                        int32_t reverse, const char* route_path,
                                                        char* error, size_t error_size);

/*
 * Writes the route file route_path for the shortest way along lanes from `from` to `to` through
 * the OpenDRIVE map at map_path.
 *
 * from, to:  "ROAD:LANE" (the lane's start, resp. end, in its driving direction, in the lane
 *            section where the road is entered, resp. left), "ROAD:LANE@S" (at S metres along
 *            the road, in the lane section that holds S) or a position "X,Y" (in the drivable
 *            lane whose area holds it, else at the nearest lane centre within 5 m; projected
 *            onto that centre). Lanes of the types driving, entry, exit, onRamp and offRamp
 *            are driven, negative ids towards +s and positive ids towards -s (the other way
 *            round on a road with rule="LHT"; a lane's direction attribute is honoured).
 * via:       null or empty, or road ids separated by commas that the route passes in order.
 * step:      metres between rows along the lane centre, 0.01 to 1000.
 * limit_kmh: the speed limit (km/h) of rows where the map gives none before any limit is in
 *            force; 0 or below (or NaN): none, and such a row is an error. Further on, a road
 *            without speed records takes the limit in force where the route entered it.
 * lane_change: metres over which a lane change moves from one lane centre to the other (a
 *            quintic blend, 1 to 10000; 100 is usual); a change ends where the lane left ends,
 *            or at the end of the road before a junction, and never spans a join of roads.
 *
 * The path is the shortest by length along lane centres, each lane change counted as 50 m
 * more. Lanes follow their lane links within and between roads and the lane links of junction
 * connections. Lane centres that meet more than 0.05 m apart at a join draw a warning (a
 * "# warning:" line of the file) and the rows bridge the gap; more than 0.5 m is an error. The
 * file starts with comment lines naming the map, the start and end, the path (road:lane per
 * piece), the step and where limits were carried over. Columns as korvale_route_from_opendrive
 * writes them.
 */
KORVALE_ROUTES_API int32_t korvale_route_through_opendrive(
    const char* map_path, const char* from, const char* to, const char* via, double step,
    double limit_kmh, double lane_change, const char* route_path, char* error, size_t error_size);

/*
 * Writes the route file route_path for the GPS recording at track_path.
 *
 * The track is GPX 1.0 or 1.1 (every trk/trkseg/trkpt in order, segments joined, or else
 * rte/rtept; ele and time where present) or CSV with a header line naming the columns lat, lon
 * and optionally ele (or alt, elevation), time (ISO 8601 or seconds) and maxspeed (km/h, or
 * "NN mph"; "none", "signals", "50;30" and the like count as none).
 *
 * Positions go to the local frame of an origin (korvale_local_frame_forward); the route file's
 * first line is "# origin LAT LON H". A fix at the position of the fix before it (a repeated
 * point) and a single fix that jumps away and back (the way through it at least 20 m longer,
 * and twice as long, as the way from the fix before it straight to the fix after it: an
 * outlier) are left out. The rest are smoothed with a bandwidth chosen place by place from the
 * data (README: "Routes from GPS recordings") and sampled every `step` metres (0.01 to 1000) of
 * the smoothed line's horizontal length. Radius: 1/|curvature| of the smoothed line, 10000
 * where the curvature is below 1e-4 per metre. z: the smoothed height minus the origin's
 * height; 0 with `flat` or when the track has no heights.
 *
 * limits_path: null or empty, or a CSV file of "distance_m,limit_kmh" lines, each limit in
 *              force from that distance along the route (3-D, as korvale measures it) on.
 * limit_kmh:   the limit (km/h) of rows that neither the list nor the track's maxspeed covers
 *              (in that order); 0 or below (or NaN): none, and such a row is an error.
 * superelevation: the fraction written on curved rows (0 on straights), -1 to 1.
 * flat:        nonzero writes z = 0 on every row.
 * origin:      null: the first fix (with its height, 0 when the track has none, or with
 *              `flat`); else three values, latitude and longitude (degrees) and height (m).
 * summary:     null, or four values it fills on success: fixes read, repeated points dropped,
 *              outliers dropped, rows written.
 */
KORVALE_ROUTES_API int32_t korvale_route_from_gps(const char* track_path, double step,
                                                  double limit_kmh, const char* limits_path,
                                                  double superelevation, int32_t flat,
                                                  const double* origin, const char* route_path,
                                                  int64_t* summary, char* error, size_t error_size);

/*
 * The local frame of a route made from GPS fixes, for hosts that put their own fixes into it:
 * x east and y north (m) from GeographicLib's local cartesian projection around the origin on
 * the WGS84 ellipsoid, z = height - the origin's height (m). Latitudes and longitudes in
 * degrees. Forward writes x, y, z into xyz[0..2]; reverse writes latitude, longitude and height
 * into lat_lon_height[0..2] (its forward gives x, y, z back within a micrometre). A latitude
 * beyond +-90 degrees, a longitude beyond +-180 or a number that is not finite is an error
 * (nothing is written then).
 */
KORVALE_ROUTES_API int32_t korvale_local_frame_forward(double origin_latitude,
                                                       double origin_longitude,
                                                       double origin_height, double latitude,
                                                       double longitude, double height, double* xyz,
                                                       char* error, size_t error_size);
KORVALE_ROUTES_API int32_t korvale_local_frame_reverse(double origin_latitude,
                                                       double origin_longitude,
                                                       double origin_height, double x, double y,
                                                       double z, double* lat_lon_height,
                                                       char* error, size_t error_size);

#ifdef __cplusplus
}
#endif

#endif /* KORVALE_ROUTES_H */
