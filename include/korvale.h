/*
 * korvale: the speed profile of a known road route, and a UDP link to a dashboard.
 *
 * A host builds a route profile from a route file with initialize_korvale() and asks, at a
 * distance along the route or at a 3-D vehicle position, for the maximum, coasting and
 * recommended speed there. Every object lives behind an opaque handle that the host creates and
 * releases. Distances are metres along the route from its first row, positions are in the
 * coordinates of the route file, speeds are km/h.
 *
 * Rules every function follows:
 * - A null handle gets the fixed value named at the function (-1.0, -1 or 0) and nothing else
 *   happens (send_msg alone also prints a line): nothing is written through pointer arguments.
 *   No other argument is checked, except that a null output pointer or destination array is
 *   never written to (its value is dropped).
 * - No C++ exception ever leaves a function.
 * - A handle must not be used from two threads at once (the position queries update the
 *   profile's tracking state); different handles are independent.
 * - Diagnostic lines go to standard output (a loader line and a refused vehicle's line to
 *   standard error), unless the host takes them with korvale_set_log().
 * - The library keeps no global state but two: the log function of korvale_set_log() (for the
 *   whole process) and the message of korvale_last_error() (one per thread).
 *
 * The header is plain C (C89 with stdint.h and stddef.h) and C++.
 */
#ifndef KORVALE_H
#define KORVALE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(KORVALE_BUILDING)
#define KORVALE_API __declspec(dllexport)
#else
#define KORVALE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define KORVALE_API __attribute__((visibility("default")))
#else
#define KORVALE_API
#endif

/*
 * The version of this header: KORVALE_VERSION is MAJOR * 1000000 + MINOR * 1000 + PATCH.
 * korvale_version() gives the library's own, which a host compares with this one: a library of
 * the same major version and at least this minor version has every function of this header.
 */
#define KORVALE_VERSION_MAJOR 0
#define KORVALE_VERSION_MINOR 3
#define KORVALE_VERSION_PATCH 0
#define KORVALE_VERSION                                                                            \
    (KORVALE_VERSION_MAJOR * 1000000 + KORVALE_VERSION_MINOR * 1000 + KORVALE_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

/* A route profile: the route's columns, its speed columns and its position tracking. */
typedef struct korvale_profile korvale_profile;

/* A dashboard link: a UDP socket that sends status records and plots to a dashboard. */
typedef struct korvale_link korvale_link;

/* ------------------------------------------------------------------ library */

/* The version of the library that runs: KORVALE_VERSION as it was built. */
KORVALE_API int32_t korvale_version(void);

/*
 * Copies the message of the last failure of korvale_load, korvale_load_vehicle, init_com,
 * send_msg or send_msg_plot called on this thread into buffer (at most size - 1 bytes, cut where
 * a UTF-8 character starts, and a terminating zero; nothing for a null buffer or a size of 0).
 * The message is the last line that the library printed for that failure, without its line
 * feed (e.g. "Can not load file for Korvale", "gethostbyname() failed: <code>",
 * "korvale_load_vehicle: vehicle refused: vehicle_mass -1 is not above 0"); it is empty after
 * such a call succeeded, and at most 511 bytes. Other functions, and those five with a null
 * handle, leave it as it is. A send that its time stamp kept back, or on a link that is not
 * open, succeeded. Returns the message's length in bytes (without the zero). Allocates nothing.
 */
KORVALE_API size_t korvale_last_error(char* buffer, size_t size);

/* The levels of korvale_log_function: a line that goes to standard output without a log
 * function, and one that goes to standard error. */
#define KORVALE_LOG_OUTPUT 0
#define KORVALE_LOG_ERROR 1

/* Receives one line of the library, without its line feed, and the user pointer given to
 * korvale_set_log(). It runs on the thread that printed the line and may call any function of
 * the library. */
typedef void (*korvale_log_function)(int32_t level, const char* line, void* user);

/*
 * Sends every line that the library prints, from every thread of the process, to fn instead of
 * standard output and standard error (a line longer than 1023 bytes reaches it cut there). A
 * null fn sends them back where they go by default, byte for byte as before. Takes effect for
 * the next line. Returns once no other thread is still in the function it replaced: from then
 * on that function and its user data may be freed. Called from within a log function, it
 * returns at once, and the function it replaced may still get the lines of other threads.
 */
KORVALE_API void korvale_set_log(korvale_log_function fn, void* user);

/* ------------------------------------------------------------------ lifecycle and columns */

/*
 * Builds the profile of the route file at path with the eight vehicle parameters:
 * drag_coefficient, frontal_area (m^2), air_density (kg/m^3), vehicle_mass (kg), gravity (m/s²),
 * rolling_resistance, coast_power (W) and model_switch. When coast_power and model_switch are
 * both 0 or below, a built-in car (1644 kg) coasts; otherwise the parameters drive the coasting
 * model.
 *
 * The route file holds one row per line: x y z (m), curve radius (m), speed limit (km/h),
 * superelevation (fraction). Lines that do not start with six numbers are skipped.
 *
 * Returns the handle, to be released with deinitialize_korvale(). A file that yields no row
 * (missing, without a line feed, no line of six numbers, too large for memory) prints
 * "Can not load file for Korvale" and ENDS THE HOST PROCESS with exit code -1.
 */
KORVALE_API korvale_profile* initialize_korvale(const char* path, double drag_coefficient,
                                                double frontal_area, double air_density,
                                                double vehicle_mass, double gravity,
                                                double rolling_resistance, double coast_power,
                                                double model_switch);

/*
 * As initialize_korvale, with the same arguments and the same lines printed, but a route file
 * that yields no rows gives a null handle instead of ending the process. For hosts that must
 * survive a bad file.
 */
KORVALE_API korvale_profile* korvale_load(const char* path, double drag_coefficient,
                                          double frontal_area, double air_density,
                                          double vehicle_mass, double gravity,
                                          double rolling_resistance, double coast_power,
                                          double model_switch);

/* ------------------------------------------------------------------ vehicles and models */

/* The speed models korvale_load_vehicle builds a profile with. */
#define KORVALE_MODEL_DEFAULT 0       /* the built-in car coasting (initialize_korvale's default) */
#define KORVALE_MODEL_PARAMETERISED 1 /* constant deceleration per segment, with coast_power */
#define KORVALE_MODEL_ECO 2           /* coasting, gentle braking on descents, no crawl */
#define KORVALE_MODEL_PREDICTIVE 3    /* the energy-optimal drive within a trip-time budget */

/* The powertrains of korvale_vehicle's powertrain field (only the predictive model uses it). */
#define KORVALE_POWERTRAIN_EV 0  /* battery-electric, recovers braking energy */
#define KORVALE_POWERTRAIN_ICE 1 /* combustion engine, idles whenever it does not drive */

/*
 * A vehicle for korvale_load_vehicle. size is the size of the struct in bytes, so that later
 * versions can add members at the end: set it to sizeof(korvale_vehicle), or fill the struct
 * with korvale_default_vehicle() and change what differs.
 */
typedef struct korvale_vehicle {
    uint32_t size;
    double vehicle_mass;       /* kg, above 0 */
    double drag_coefficient;   /* not below 0 */
    double frontal_area;       /* m^2, above 0 */
    double air_density;        /* kg/m^3, not below 0 */
    double rolling_resistance; /* not below 0 */
    double gravity;            /* m/s^2, above 0 */
    double coast_power;        /* W; only the parameterised model uses it */
    double brake_deceleration; /* m/s^2, above 0; only the eco model: braking on descents */
    double least_deceleration; /* m/s^2, not below 0; only the eco model: the least it plans */
    /* Since 0.3: the vehicle's drive, which only the predictive model uses. A struct whose size
     * ends before these (a caller built against an older header) is still taken: every field
     * it does not hold takes the built-in car's value (korvale_default_vehicle). */
    int32_t powertrain;          /* KORVALE_POWERTRAIN_EV or KORVALE_POWERTRAIN_ICE */
    int32_t reserved;            /* 0; keeps the layout alike on every compiler */
    double max_power;            /* W, above 0: the most the drive gives at the wheels */
    double max_acceleration;     /* m/s^2, above 0: the most the drive speeds up (net) */
    double comfortable_braking;  /* m/s^2, in (0, 3]: how late the limit-following driver brakes */
    double rotating_mass_factor; /* not below 0: the inertia is vehicle_mass * (1 + factor) */
    double drive_efficiency;     /* ev: battery to wheels, in (0, 1] */
    double regen_efficiency;     /* ev: wheels to battery when braking, in (0, 1] */
    double max_regen_power;      /* ev: W at the wheels, above 0: the most braking recovers */
    double aux_power;            /* ev: W, not below 0: drawn all the time */
    double engine_efficiency;    /* ice: fuel to wheels, in (0, 1] */
    double idle_power;           /* ice: fuel power (W) whenever the engine does not drive, not
                                    below 0 */
    double time_budget;          /* not below 0: the predictive plan's trip time is at most
                                    (1 + time_budget) times the limit-following driver's */
} korvale_vehicle;

/*
 * Fills the first size bytes of vehicle with the built-in car (1644 kg, drag coefficient 0.3,
 * 2.3 m^2, air 1.293 kg/m^3, rolling resistance 0.015, gravity 9.81 m/s^2, coast_power 0),
 * brake_deceleration 1.0, least_deceleration 0.15 and its drive (KORVALE_POWERTRAIN_EV, the
 * preset "car"'s drive values, time_budget 0.02): every field that lies wholly within size, and
 * size with the bytes written. Pass sizeof(korvale_vehicle). Nothing for a null pointer or a size
 * below that of the fields up to least_deceleration (the struct of version 0.2).
 */
KORVALE_API void korvale_fill_default_vehicle(korvale_vehicle* vehicle, uint32_t size);

/*
 * Fills the first size bytes of vehicle with the preset of that name, as
 * korvale_fill_default_vehicle() fills them: "car" (the built-in car), "van", "truck" or "bus"
 * (typical part-laden vehicles of each class, each with its drive). Returns 1 for a preset's
 * name, even with a null vehicle or a size too small (then nothing is written); 0 for any other
 * name or a null one, nothing written.
 */
KORVALE_API int32_t korvale_fill_vehicle_preset(const char* name, korvale_vehicle* vehicle,
                                                uint32_t size);

/*
 * The forms that take the struct's size from this header: korvale_default_vehicle(&v) and
 * korvale_vehicle_preset(name, &v) fill all of this header's korvale_vehicle. The functions of
 * those names themselves (taken by address, through a foreign-function interface, or by a
 * program built against an older header) fill the struct of version 0.2 only, the fields up to
 * least_deceleration, and set size to its size; korvale_load_vehicle then gives every later field
 * its default.
 */
KORVALE_API void korvale_default_vehicle(korvale_vehicle* vehicle);
KORVALE_API int32_t korvale_vehicle_preset(const char* name, korvale_vehicle* vehicle);
#define korvale_default_vehicle(vehicle)                                                           \
    korvale_fill_default_vehicle((vehicle), (uint32_t)sizeof(korvale_vehicle))
#define korvale_vehicle_preset(name, vehicle)                                                      \
    korvale_fill_vehicle_preset((name), (vehicle), (uint32_t)sizeof(korvale_vehicle))

/* The name of the preset at index (0, 1, ...): "car", "van", "truck", "bus"; NULL past the last
 * and for a negative index. The string is the library's own and lives as long as it. */
KORVALE_API const char* korvale_vehicle_preset_name(int32_t index);

/* The number of the model of that name ("default", "parameterised", "eco" or "predictive"), or
 * -1 for any other name or a null one. */
KORVALE_API int32_t korvale_model_from_name(const char* name);

/* The name of a model number, NULL for a number that is no model. The string is the library's
 * own and lives as long as it. A host that lets the vehicle choose the model when none is
 * named takes eco, unless coast_power or model_switch was given: then the parameterised model
 * for either above 0, else the default one. */
KORVALE_API const char* korvale_model_name(int32_t model);

/*
 * Builds the profile of the route file at path for the vehicle with a speed model:
 * - KORVALE_MODEL_DEFAULT: the built-in car's coasting, as initialize_korvale with coast_power
 *   and model_switch 0 (it ignores every field of the vehicle);
 * - KORVALE_MODEL_PARAMETERISED: as initialize_korvale with a positive model_switch, the
 *   vehicle's fields as its parameters (brake and least deceleration unused);
 * - KORVALE_MODEL_ECO: from the last row backwards, the speed from which the vehicle arrives at
 *   the next row's recommended speed: coasting where coasting slows it
 *   (m dv/dt = -(m g (c_rr cos(theta) + sin(theta)) + 0.5 rho c_d A v^2)), braking at
 *   brake_deceleration where coasting would speed it up, and never planning with less than
 *   least_deceleration; the recommended speed is the smaller of that and the allowed speed.
 *   No speed is carried back unchanged: a stop gets a ramp that ends at it, a descent is
 *   ridden at a speed from which gentle braking reaches what its foot needs.
 * - KORVALE_MODEL_PREDICTIVE: the recommended speed is that of the energy-optimal drive of the
 *   vehicle with its drive (powertrain, max_power, ... idle_power) from rest at the start to
 *   rest at the end, never above the maximum speed, whose trip time is at most
 *   (1 + time_budget) times that of a driver who follows the maximum speed and brakes at
 *   comfortable_braking; the coasting speed is the eco model's rule carried back from the next
 *   row's recommended speed (it lies below the recommended speed where the plan slows down
 *   harder than coasting, above it where the plan drives).
 * The drive's fields are read and checked by the predictive model only. A struct of an older
 * header (size from that of version 0.2, the fields up to least_deceleration, up to this one's)
 * is taken: every field that does not lie wholly within size takes korvale_default_vehicle()'s
 * value. (Version 0.2's struct is 80 bytes wherever doubles align to 8 bytes, as on Windows and
 * every 64-bit system; 76 where they align to 4, as on 32-bit x86 Linux.)
 * Prints the lines initialize_korvale prints. Returns the handle, to be released with
 * deinitialize_korvale(), or NULL with a line on standard error for a vehicle that makes no
 * physical sense (a field out of the range given above, NaN or infinite, an unknown
 * powertrain), a vehicle whose size is below version 0.2's, a null vehicle or an unknown model;
 * NULL too for a route file that yields no rows (as korvale_load) and, with the predictive
 * model, when no drive within the vehicle's limits reaches the end ("korvale_load_vehicle: no
 * plan: ..." on standard error). Never ends the process.
 */
KORVALE_API korvale_profile* korvale_load_vehicle(const char* path, const korvale_vehicle* vehicle,
                                                  int32_t model);

/* Releases the profile and all it owns; the handle is invalid afterwards. Null: nothing. */
KORVALE_API void deinitialize_korvale(korvale_profile* handle);

/* Number of rows of the route, at least 1. Null: -1. */
KORVALE_API int32_t get_korvale_rows(korvale_profile* handle);

/*
 * Copy the first min(count, rows) values of a column into destination (count doubles at
 * most); a count of 0 or below copies nothing. Null handle: nothing.
 * x, y, z: route point coordinates (m); dist: cumulative distance along the route (m).
 */
KORVALE_API void get_korvale_x_vec(korvale_profile* handle, double* destination, int32_t count);
KORVALE_API void get_korvale_y_vec(korvale_profile* handle, double* destination, int32_t count);
KORVALE_API void get_korvale_z_vec(korvale_profile* handle, double* destination, int32_t count);
KORVALE_API void get_korvale_dist_vec(korvale_profile* handle, double* destination, int32_t count);

/* Length of the route (m): the distance of its last row. Null: -1.0. */
KORVALE_API double get_max_distance_korvale(korvale_profile* handle);

/* ------------------------------------------------------------------ queries by distance */

/*
 * Maximum speed (km/h) at a distance (m), interpolated between the rows around it. Below the
 * first row it extrapolates the line through the first two rows; beyond the route it gives the
 * last row's value. Null: -1.0.
 */
KORVALE_API double get_max_speed_at_distance(korvale_profile* handle, double distance);

/*
 * Recommended and coasting speed (km/h) at a distance (m), interpolated; outside the route they
 * hold the first or last row's value. Null: -1.0. (The spelling "recomended" is part of the
 * interface.)
 */
KORVALE_API double get_recomended_speed_at_distance(korvale_profile* handle, double distance);
KORVALE_API double get_coasting_speed_at_distance(korvale_profile* handle, double distance);

/*
 * All three speeds (km/h) at a distance (m), written to max_speed, recommended_speed and
 * coasting_speed in that order; no hold at the ends (as get_max_speed_at_distance).
 * Returns 1. Null: -1, nothing written.
 */
KORVALE_API int32_t get_all_at_distance(korvale_profile* handle, double distance, double* max_speed,
                                        double* recommended_speed, double* coasting_speed);

/*
 * The route point at a distance (m), written to x, y, z. Before the start the first segment
 * is extended backwards; beyond the end the point moves along the diagonal (1,1,1)/sqrt(3)
 * from the last point. Returns 1. Null: 0, nothing written.
 */
KORVALE_API int32_t get_pos_at_distance(korvale_profile* handle, double distance, double* x,
                                        double* y, double* z);

/* As get_pos_at_distance, writing x, y, z to xyz[0], xyz[1], xyz[2]; unused is not read.
 * Returns 1. Null: 0, nothing written. */
KORVALE_API int32_t get_pos_at_polyline_location(korvale_profile* handle, double distance,
                                                 double* xyz, int32_t unused);

/* ------------------------------------------------------------------ queries by position */

/*
 * The queries by position map a vehicle position (x, y, z in the route file's frame) to the
 * nearest point of the route, searching only the segments within search_window metres of route
 * distance on each side of the previous query's result on this handle, so that successive calls
 * follow the vehicle. The first query on a new profile searches the whole route; a query at
 * exactly the previous position is answered from a cache (its options are then ignored).
 * The three speed queries search a window of 100 m.
 */

/*
 * Distance along the route (m) of the nearest route point. full_search equal to 1 searches
 * the whole route (any other value searches the window). Null: -1.0.
 */
KORVALE_API double get_distance_at_position(korvale_profile* handle, double x, double y, double z,
                                            int32_t full_search, double search_window);

/* Maximum, recommended and coasting speed (km/h) at a position. Null: -1.0. */
KORVALE_API double get_max_speed_at_position(korvale_profile* handle, double x, double y, double z);
KORVALE_API double get_recomended_speed_at_position(korvale_profile* handle, double x, double y,
                                                    double z);
KORVALE_API double get_coasting_speed_at_position(korvale_profile* handle, double x, double y,
                                                  double z);

/*
 * Distance (m) and the three speeds (km/h) at a position, written in the order distance,
 * max_speed, recommended_speed, coasting_speed. Any nonzero full_search searches the whole
 * route. Returns 1. Null: -1, nothing written.
 */
KORVALE_API int32_t get_all_at_position(korvale_profile* handle, double x, double y, double z,
                                        int32_t full_search, double search_window, double* distance,
                                        double* max_speed, double* recommended_speed,
                                        double* coasting_speed);

/* ------------------------------------------------------------------ advice ahead */

/*
 * The next slow-down ahead of a vehicle at `distance` (m) driving at speed_kmh: the first row
 * beyond distance and no farther than distance + horizon_m where the recommended speed has a
 * local minimum (lower than the row before it, not higher than the row after it; the last row
 * when lower than the one before) below speed_kmh; on a predictive profile only a minimum at
 * least 2 km/h below the local maximum before it (the top of the fall into it) counts. Writes
 * its route distance (m) and recommended speed (km/h), and the lift-off distance (m): where a
 * vehicle at speed_kmh has to start coasting (the profile's own coasting model over the route's
 * grades) to arrive there at that speed;
 * `distance` itself when it is already too late ("lift off now"), never beyond the slow-down.
 * Returns 1 when there is a slow-down within the horizon, 0 when there is none (nothing
 * written). Null: -1, nothing written. Does not change the position tracking.
 */
KORVALE_API int32_t korvale_next_slowdown(korvale_profile* handle, double distance,
                                          double speed_kmh, double horizon_m,
                                          double* slowdown_distance, double* target_speed_kmh,
                                          double* liftoff_distance);

/* What korvale_advice advises. */
#define KORVALE_ADVICE_KEEP 0     /* no slow-down within the horizon */
#define KORVALE_ADVICE_LIFT_OFF 1 /* lift off at liftoff_distance and coast */
#define KORVALE_ADVICE_BRAKE 2    /* coasting is too late: brake at deceleration */

/*
 * Advice for a vehicle at `distance` (m) driving at speed_kmh about the slow-down that
 * korvale_next_slowdown finds within horizon_m. Walking back from the slow-down towards
 * `distance` with the profile's own rule (the eco rule for an eco or predictive profile, the
 * coasting model's physics otherwise, as korvale_next_slowdown walks):
 * - KORVALE_ADVICE_LIFT_OFF when the walked-back speed reaches speed_kmh at or ahead of
 *   `distance`: liftoff_distance is that point (`distance` itself: lift off now), deceleration 0;
 * - KORVALE_ADVICE_BRAKE when at `distance` it is still below speed_kmh: liftoff_distance is
 *   `distance`, and deceleration (m/s^2) the braking needed on top of coasting,
 *   (v^2 - v_target^2) / (2 (target_distance - distance)) - (F0 + k v^2) / m with v the
 *   vehicle's speed and F0 = m g (c_rr cos(theta) + sin(theta)) on the grade at `distance`
 *   (speeds in m/s; the built-in car's values for the default model), never below 0.
 * Both write the slow-down's distance (m) and recommended speed (km/h) to target_distance and
 * target_speed_kmh. Returns 1 with a slow-down; 0 without one, writing KORVALE_ADVICE_KEEP to
 * action and nothing else. Null: -1, nothing written. Does not change the position tracking.
 */
KORVALE_API int32_t korvale_advice(korvale_profile* handle, double distance, double speed_kmh,
                                   double horizon_m, int32_t* action, double* liftoff_distance,
                                   double* target_distance, double* target_speed_kmh,
                                   double* deceleration);

/*
 * Distance (m) between the position of the last query by position on this handle and the route
 * point it was mapped to: compare it with a threshold to notice that the vehicle has left the
 * route or that tracking was lost, then ask for a full search. -1.0 before any query by
 * position. Null: -1.0.
 */
KORVALE_API double korvale_offset_from_route(korvale_profile* handle);

/* ------------------------------------------------------------------ dashboard link */

/*
 * A dashboard link sends datagrams over UDP on IPv4 to one dashboard process; it never
 * receives. Two kinds of datagram, neither with a header:
 * - the status record, 76 bytes, little-endian: r1, r2, r4, (4 zero bytes), r3, (4 zero bytes),
 *   r5, r7, r8 as 32-bit floats at offsets 0, 4, 8, 16, 24, 28, 32; i1 as int32 at 36; the low
 *   byte of flag at 40; zero bytes 41-71; i2 as int32 at 72;
 * - the plot, count_a doubles of a then count_b doubles of b, 8 bytes each, little-endian.
 * Records and plots share one time-stamp gate: each is sent only if its time stamp is newer
 * than the last one accepted on the link (the gate starts at 0.0, so a first stamp of 0.0 or
 * below is dropped; an equal or NaN stamp is dropped too). A stamp that passes the gate counts
 * as used even if the send then fails. Failures are reported by lines on standard output, and
 * by korvale_last_error().
 */

/*
 * Prints "Creating new connection for port <port>" and opens a link to the dashboard at host
 * (a dotted IPv4 address or a host name) on UDP port port (its low 16 bits). unused is not
 * read. plot_delay_ms is the pause, in milliseconds, after every plot sent (a negative one is
 * no pause).
 *
 * Returns the handle, to be released with close_com(). When opening fails (a line on standard
 * output says why, e.g. "gethostbyname() failed: <code>" for a name that cannot be resolved)
 * the handle is still returned: such a link applies the gate and sends nothing;
 * korvale_link_is_open() tells it apart, korvale_last_error() gives that line. Returns NULL
 * only when the link cannot be allocated, after printing "Not enough memory!".
 */
KORVALE_API korvale_link* init_com(int32_t port, const char* host, int32_t unused,
                                   int32_t plot_delay_ms);

/* 1 when init_com opened the link's socket and resolved its host, 0 when it did not (such a
 * link sends nothing). Null: 0. */
KORVALE_API int32_t korvale_link_is_open(korvale_link* handle);

/*
 * Sends one status record (layout above) if time_stamp passes the gate. r6 and time_stamp are
 * not on the wire. A failed send prints "sendto() failed; <code>".
 * Null handle: prints "Dashboard message -  wrong pointer", nothing else.
 */
KORVALE_API void send_msg(korvale_link* handle, int32_t i1, double r1, double r2, double r3,
                          double r4, double r5, double r6, double r7, double r8, int32_t flag,
                          double time_stamp, int32_t i2);

/*
 * Sends one plot datagram of (count_a + count_b) * 8 bytes if time_stamp passes the gate, then
 * pauses the calling thread for the link's plot_delay_ms (also when the send failed). a and b
 * must hold count_a and count_b doubles; either may be NULL when its count is 0. A plot larger
 * than one UDP datagram (65507 bytes, i.e. more than 8188 values in all) is not sent: it prints
 * "sendto() failed; <code>" with the platform's message-too-long code.
 * Returns time_stamp, in every case. Null handle: returns time_stamp, nothing else.
 */
KORVALE_API double send_msg_plot(korvale_link* handle, const double* a, const double* b,
                                 uint64_t count_a, uint64_t count_b, double time_stamp);

/*
 * Prints "Closing connection for port <port>", closes the socket and releases the link; the
 * handle is invalid afterwards. Null handle: nothing.
 */
KORVALE_API void close_com(korvale_link* handle);

#ifdef __cplusplus
}
#endif

#endif /* KORVALE_H */
