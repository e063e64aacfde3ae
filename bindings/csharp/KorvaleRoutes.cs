// korvale routes for C# hosts: route files made from OpenDRIVE maps and GPS recordings, and the
// local frame of a GPS route, over the native route library (korvale_routes.dll on Windows,
// libkorvale_routes.so on Linux). Beside Korvale.cs, whose Route loads the files made here.
//
// RoutesNativeMethods declares every function of korvale_routes.h with its exact C types;
// KorvaleRoutes wraps them: a failed call raises RouteException with the native message.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Korvale
{
    /// <summary>A route function that failed; the message is the native library's.</summary>
    public class RouteException : KorvaleException
    {
        public RouteException(string message) : base(message) { }
    }

    /// <summary>What a route from a GPS recording was made of.</summary>
    public struct GpsRouteSummary
    {
        public long Fixes;          // read from the track
        public long RepeatedPoints; // left out: at the position of the fix before
        public long Outliers;       // left out: a single fix that jumps away and back
        public long Rows;           // written
    }

    /// <summary>A point on the WGS84 ellipsoid: degrees, and metres of height.</summary>
    public struct GeoPoint
    {
        public double Latitude, Longitude, Height;

        public GeoPoint(double latitude, double longitude, double height)
        {
            Latitude = latitude;
            Longitude = longitude;
            Height = height;
        }
    }

    /// <summary>The functions of korvale_routes.h, one for one: int32_t is int, int64_t* is
    /// long[], size_t is UIntPtr, const char* is a string, a const double* input is double[]
    /// (null where the header allows it), a double* output is double[], and the error buffer a
    /// byte[] of UTF-8.</summary>
    public static class RoutesNativeMethods
    {
        /// <summary>"korvale_routes": korvale_routes.dll on Windows, libkorvale_routes.so
        /// elsewhere.</summary>
        public const string Library = "korvale_routes";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_route_from_opendrive(
            [MarshalAs(UnmanagedType.LPStr)] string map_path,
            [MarshalAs(UnmanagedType.LPStr)] string roads, int lane, double step,
            double limit_kmh, int reverse, [MarshalAs(UnmanagedType.LPStr)] string route_path,
            byte[] error, UIntPtr error_size);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_route_through_opendrive(
            [MarshalAs(UnmanagedType.LPStr)] string map_path,
            [MarshalAs(UnmanagedType.LPStr)] string from, [MarshalAs(UnmanagedType.LPStr)] string to,
            [MarshalAs(UnmanagedType.LPStr)] string via, double step, double limit_kmh,
            double lane_change, [MarshalAs(UnmanagedType.LPStr)] string route_path, byte[] error,
            UIntPtr error_size);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_route_from_gps(
            [MarshalAs(UnmanagedType.LPStr)] string track_path, double step, double limit_kmh,
            [MarshalAs(UnmanagedType.LPStr)] string limits_path, double superelevation, int flat,
            double[] origin, [MarshalAs(UnmanagedType.LPStr)] string route_path,
            [Out] long[] summary, byte[] error, UIntPtr error_size);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_local_frame_forward(
            double origin_latitude, double origin_longitude, double origin_height,
            double latitude, double longitude, double height, [Out] double[] xyz, byte[] error,
            UIntPtr error_size);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_local_frame_reverse(
            double origin_latitude, double origin_longitude, double origin_height, double x,
            double y, double z, [Out] double[] lat_lon_height, byte[] error, UIntPtr error_size);
    }

    /// <summary>Route files for Route from road maps and GPS recordings. A failed build leaves
    /// no file behind and raises RouteException; the functions may be called from several
    /// threads at once.</summary>
    public static class KorvaleRoutes
    {
        const int Ok = 0;
        const int ErrorBytes = 1024;

        /// <summary>Writes the route file routePath for a chain of roads of the OpenDRIVE map:
        /// roads are ids in driving order, comma-separated ("12,3,7"), null for a map of one
        /// road; lane 0 is the reference line, else an OpenDRIVE lane id; step in metres
        /// between rows; limitKmh for rows where the map gives none (0: none, an error
        /// there).</summary>
        public static void FromOpenDrive(string mapPath, string routePath, string roads = null,
                                         int lane = 0, double step = 1.0, double limitKmh = 0.0,
                                         bool reverse = false)
        {
            var error = new byte[ErrorBytes];
            Check(RoutesNativeMethods.korvale_route_from_opendrive(
                      mapPath, roads, lane, step, limitKmh, reverse ? 1 : 0, routePath, error,
                      (UIntPtr)error.Length),
                  error);
        }

        /// <summary>Writes the route file routePath for the shortest way along lanes from
        /// `from` to `to` ("ROAD:LANE", "ROAD:LANE@S" or a position "X,Y") through the map,
        /// passing the roads of via ("ROAD,ROAD", null for none) in order; rows at most step
        /// metres apart along the lane centre, lane changes blended over laneChange metres.</summary>
        public static void ThroughOpenDrive(string mapPath, string routePath, string from, string to,
                                            string via = null, double step = 1.0,
                                            double limitKmh = 0.0, double laneChange = 100.0)
        {
            var error = new byte[ErrorBytes];
            Check(RoutesNativeMethods.korvale_route_through_opendrive(
                      mapPath, from, to, via, step, limitKmh, laneChange, routePath, error,
                      (UIntPtr)error.Length),
                  error);
        }

        /// <summary>Writes the route file routePath for a GPS recording (GPX, or CSV with lat
        /// and lon columns): rows every step metres of the smoothed line; limitKmh for rows
        /// that the limits file (distance_m,limit_kmh lines) and the track's maxspeed leave
        /// without one; origin of the local frame, null for the first fix.</summary>
        public static GpsRouteSummary FromGps(string trackPath, string routePath,
                                              double limitKmh = 0.0, string limitsPath = null,
                                              double step = 2.0, double superelevation = 0.0,
                                              bool flat = false, GeoPoint? origin = null)
        {
            var error = new byte[ErrorBytes];
            var summary = new long[4];
            double[] originValues = null;
            if (origin.HasValue)
            {
                GeoPoint o = origin.Value;
                originValues = new[] { o.Latitude, o.Longitude, o.Height };
            }
            Check(RoutesNativeMethods.korvale_route_from_gps(
                      trackPath, step, limitKmh, limitsPath, superelevation, flat ? 1 : 0,
                      originValues, routePath, summary, error, (UIntPtr)error.Length),
                  error);
            return new GpsRouteSummary
            {
                Fixes = summary[0],
                RepeatedPoints = summary[1],
                Outliers = summary[2],
                Rows = summary[3]
            };
        }

        /// <summary>The local frame of a route made from GPS fixes around its origin (the
        /// route file's "# origin LAT LON H" line): x east, y north, z up, in metres.</summary>
        public sealed class LocalFrame
        {
            public LocalFrame(GeoPoint origin)
            {
                Origin = origin;
            }

            public GeoPoint Origin { get; private set; }

            public RoutePoint Forward(GeoPoint point)
            {
                var error = new byte[ErrorBytes];
                var xyz = new double[3];
                Check(RoutesNativeMethods.korvale_local_frame_forward(
                          Origin.Latitude, Origin.Longitude, Origin.Height, point.Latitude,
                          point.Longitude, point.Height, xyz, error, (UIntPtr)error.Length),
                      error);
                return new RoutePoint { X = xyz[0], Y = xyz[1], Z = xyz[2] };
            }

            public GeoPoint Reverse(RoutePoint point)
            {
                var error = new byte[ErrorBytes];
                var values = new double[3];
                Check(RoutesNativeMethods.korvale_local_frame_reverse(
                          Origin.Latitude, Origin.Longitude, Origin.Height, point.X, point.Y,
                          point.Z, values, error, (UIntPtr)error.Length),
                      error);
                return new GeoPoint(values[0], values[1], values[2]);
            }
        }

        static void Check(int result, byte[] error)
        {
            if (result != Ok)
            {
                int length = Array.IndexOf(error, (byte)0);
                throw new RouteException(
                    Encoding.UTF8.GetString(error, 0, length < 0 ? error.Length : length));
            }
        }
    }
}
