// korvale for C# hosts (.NET, Mono, Unity): the speed profile of a known road route, and a UDP
// link to a dashboard, over the native library (korvale.dll on Windows, libkorvale.so on Linux).
//
// NativeMethods declares every function of korvale.h with its exact C types; Route and
// DashboardLink wrap them in C#'s idiom. The native handles live in SafeHandle subclasses, which
// release them when disposed or, failing that, when collected. A route file that yields no rows
// raises LoadException (Route loads with korvale_load, never with initialize_korvale, which would
// end the host process).
using System;
using System.Runtime.InteropServices;
using Microsoft.Win32.SafeHandles;

namespace Korvale
{
    /// <summary>A failure of the native library.</summary>
    public class KorvaleException : Exception
    {
        public KorvaleException(string message) : base(message) { }
    }

    /// <summary>A route file that yields no rows: missing, without a line feed, without a line
    /// of six numbers, or too large for memory.</summary>
    public class LoadException : KorvaleException
    {
        public LoadException(string path)
            : this(path, "cannot load route file '" + path + "': it yields no rows") { }

        public LoadException(string path, string message) : base(message)
        {
            Path = path;
        }

        public string Path { get; private set; }
    }

    /// <summary>The handle of a route profile; releases it with deinitialize_korvale.</summary>
    public sealed class ProfileHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        public ProfileHandle() : base(true) { }

        protected override bool ReleaseHandle()
        {
            NativeMethods.deinitialize_korvale(handle);
            return true;
        }
    }

    /// <summary>The handle of a dashboard link; closes it with close_com.</summary>
    public sealed class LinkHandle : SafeHandleZeroOrMinusOneIsInvalid
    {
        public LinkHandle() : base(true) { }

        protected override bool ReleaseHandle()
        {
            NativeMethods.close_com(handle);
            return true;
        }
    }

    /// <summary>The functions of korvale.h, one for one: int32_t is int, uint64_t is ulong,
    /// double is double, const char* is a string, a double* output is out double, a column or
    /// plot array is double[]. The two release functions take the raw handle, for the
    /// SafeHandles' use.</summary>
    public static class NativeMethods
    {
        /// <summary>"korvale": korvale.dll on Windows, libkorvale.so elsewhere.</summary>
        public const string Library = "korvale";

        // ---------------------------------------------------------- lifecycle and columns

        /// <summary>Ends the host process when the file yields no rows: use korvale_load.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern ProfileHandle initialize_korvale(
            [MarshalAs(UnmanagedType.LPStr)] string path, double drag_coefficient,
            double frontal_area, double air_density, double vehicle_mass, double gravity,
            double rolling_resistance, double coast_power, double model_switch);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern ProfileHandle korvale_load(
            [MarshalAs(UnmanagedType.LPStr)] string path, double drag_coefficient,
            double frontal_area, double air_density, double vehicle_mass, double gravity,
            double rolling_resistance, double coast_power, double model_switch);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void korvale_default_vehicle(out NativeVehicle vehicle);

        /// <summary>model: a SpeedModel as int (KORVALE_MODEL_DEFAULT, _PARAMETERISED,
        /// _ECO).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern ProfileHandle korvale_load_vehicle(
            [MarshalAs(UnmanagedType.LPStr)] string path, [In] ref NativeVehicle vehicle,
            int model);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void deinitialize_korvale(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int get_korvale_rows(ProfileHandle handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void get_korvale_x_vec(ProfileHandle handle,
                                                    [Out] double[] destination, int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void get_korvale_y_vec(ProfileHandle handle,
                                                    [Out] double[] destination, int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void get_korvale_z_vec(ProfileHandle handle,
                                                    [Out] double[] destination, int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void get_korvale_dist_vec(ProfileHandle handle,
                                                       [Out] double[] destination, int count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_max_distance_korvale(ProfileHandle handle);

        // ---------------------------------------------------------- queries by distance

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_max_speed_at_distance(ProfileHandle handle,
                                                              double distance);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_recomended_speed_at_distance(ProfileHandle handle,
                                                                     double distance);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_coasting_speed_at_distance(ProfileHandle handle,
                                                                   double distance);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int get_all_at_distance(ProfileHandle handle, double distance,
                                                     out double max_speed,
                                                     out double recommended_speed,
                                                     out double coasting_speed);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int get_pos_at_distance(ProfileHandle handle, double distance,
                                                     out double x, out double y, out double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int get_pos_at_polyline_location(ProfileHandle handle,
                                                              double distance,
                                                              [Out] double[] xyz, int unused);

        // ---------------------------------------------------------- queries by position

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_distance_at_position(ProfileHandle handle, double x,
                                                             double y, double z, int full_search,
                                                             double search_window);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_max_speed_at_position(ProfileHandle handle, double x,
                                                              double y, double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_recomended_speed_at_position(ProfileHandle handle,
                                                                     double x, double y,
                                                                     double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double get_coasting_speed_at_position(ProfileHandle handle,
                                                                   double x, double y, double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int get_all_at_position(ProfileHandle handle, double x, double y,
                                                     double z, int full_search,
                                                     double search_window, out double distance,
                                                     out double max_speed,
                                                     out double recommended_speed,
                                                     out double coasting_speed);

        // ---------------------------------------------------------- advice ahead

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_next_slowdown(ProfileHandle handle, double distance,
                                                       double speed_kmh, double horizon_m,
                                                       out double slowdown_distance,
                                                       out double target_speed_kmh,
                                                       out double liftoff_distance);

        /// <summary>action: an AdviceAction as int.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_advice(ProfileHandle handle, double distance,
                                                double speed_kmh, double horizon_m, out int action,
                                                out double liftoff_distance,
                                                out double target_distance,
                                                out double target_speed_kmh,
                                                out double deceleration);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double korvale_offset_from_route(ProfileHandle handle);

        // ---------------------------------------------------------- dashboard link

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern LinkHandle init_com(int port,
                                                 [MarshalAs(UnmanagedType.LPStr)] string host,
                                                 int unused, int plot_delay_ms);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void send_msg(LinkHandle handle, int i1, double r1, double r2,
                                           double r3, double r4, double r5, double r6, double r7,
                                           double r8, int flag, double time_stamp, int i2);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern double send_msg_plot(LinkHandle handle, [In] double[] a,
                                                  [In] double[] b, ulong count_a, ulong count_b,
                                                  double time_stamp);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void close_com(IntPtr handle);
    }

    /// <summary>The eight vehicle parameters of a profile.</summary>
    public struct Vehicle
    {
        public double DragCoefficient;   // -
        public double FrontalArea;       // m²
        public double AirDensity;        // kg/m³
        public double VehicleMass;       // kg
        public double Gravity;           // m/s²
        public double RollingResistance; // -
        public double CoastPower;        // W
        public double ModelSwitch;       // -

        /// <summary>The built-in car: with CoastPower and ModelSwitch both 0 or below the
        /// library coasts its own 1644 kg car, whatever the other six say.</summary>
        public static Vehicle BuiltIn
        {
            get
            {
                return new Vehicle
                {
                    DragCoefficient = 0.3, FrontalArea = 2.3, AirDensity = 1.293,
                    VehicleMass = 1644, Gravity = 9.81, RollingResistance = 0.015,
                    CoastPower = 0, ModelSwitch = 0
                };
            }
        }
    }

    /// <summary>The speed models of korvale_load_vehicle (KORVALE_MODEL_*).</summary>
    public enum SpeedModel
    {
        Default = 0,       // the built-in car coasting, whatever the vehicle
        Parameterised = 1, // constant deceleration per segment, with the coast power
        Eco = 2,           // coasting, gentle braking on descents, no crawl carried back
    }

    /// <summary>korvale_vehicle of korvale.h, field for field: Size (its size in bytes) first.
    /// NativeVehicle.Default is the built-in car with the eco model's default decelerations.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct NativeVehicle
    {
        public uint Size;
        public double VehicleMass;       // kg
        public double DragCoefficient;   // -
        public double FrontalArea;       // m²
        public double AirDensity;        // kg/m³
        public double RollingResistance; // -
        public double Gravity;           // m/s²
        public double CoastPower;        // W, the parameterised model only
        public double BrakeDeceleration; // m/s², the eco model only: braking on descents
        public double LeastDeceleration; // m/s², the eco model only: the least it plans with

        public static NativeVehicle Default
        {
            get
            {
                NativeVehicle vehicle;
                NativeMethods.korvale_default_vehicle(out vehicle);
                return vehicle;
            }
        }
    }

    /// <summary>What korvale_advice advises (KORVALE_ADVICE_*).</summary>
    public enum AdviceAction
    {
        Keep = 0,    // no slow-down within the horizon
        LiftOff = 1, // coast from LiftoffDistance
        Brake = 2,   // coasting is too late: brake at Deceleration
    }

    public struct Advice
    {
        public AdviceAction Action;
        public double LiftoffDistance; // m (the vehicle's distance for Brake)
        public double TargetDistance;  // m: the slow-down
        public double TargetSpeed;     // km/h
        public double Deceleration;    // m/s² of braking on top of coasting (Brake), else 0
    }

    public struct SpeedsAtDistance
    {
        public double MaxSpeed;         // km/h
        public double RecommendedSpeed; // km/h
        public double CoastingSpeed;    // km/h
    }

    public struct SpeedsAtPosition
    {
        public double Distance;         // m along the route
        public double MaxSpeed;         // km/h
        public double RecommendedSpeed; // km/h
        public double CoastingSpeed;    // km/h
    }

    public struct RoutePoint
    {
        public double X, Y, Z; // m, in the route file's frame
    }

    public struct Slowdown
    {
        public double Distance;        // m along the route
        public double TargetSpeed;     // km/h
        public double LiftoffDistance; // m: where to start coasting to arrive at TargetSpeed
    }

    /// <summary>The speed profile of one route file. Not for use from two threads at
    /// once.</summary>
    public sealed class Route : IDisposable
    {
        public const double DefaultWindow = 100.0; // m
        public const double DefaultHorizon = 1000.0; // m

        private readonly ProfileHandle handle;

        /// <summary>Loads the route file with the built-in car.</summary>
        public Route(string path) : this(path, Vehicle.BuiltIn) { }

        /// <summary>Loads the route file; LoadException when it yields no rows.</summary>
        public Route(string path, Vehicle vehicle)
        {
            if (path == null)
            {
                throw new ArgumentNullException("path");
            }
            handle = NativeMethods.korvale_load(
                path, vehicle.DragCoefficient, vehicle.FrontalArea, vehicle.AirDensity,
                vehicle.VehicleMass, vehicle.Gravity, vehicle.RollingResistance,
                vehicle.CoastPower, vehicle.ModelSwitch);
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new LoadException(path);
            }
            Path = path;
            Vehicle = vehicle;
            Model = vehicle.CoastPower > 0 || vehicle.ModelSwitch > 0 ? SpeedModel.Parameterised
                                                                        : SpeedModel.Default;
        }

        /// <summary>Loads the route file for the vehicle with a speed model
        /// (korvale_load_vehicle); LoadException when the file yields no rows or the vehicle
        /// makes no physical sense (the library says which on standard error).</summary>
        public Route(string path, NativeVehicle vehicle, SpeedModel model)
        {
            if (path == null)
            {
                throw new ArgumentNullException("path");
            }
            vehicle.Size = (uint)Marshal.SizeOf(typeof(NativeVehicle));
            handle = NativeMethods.korvale_load_vehicle(path, ref vehicle, (int)model);
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new LoadException(path, "cannot load route file '" + path + "' with the " +
                                                  model + " model: it yields no rows, or the " +
                                                  "vehicle was refused (see standard error)");
            }
            Path = path;
            Vehicle = new Vehicle
            {
                DragCoefficient = vehicle.DragCoefficient, FrontalArea = vehicle.FrontalArea,
                AirDensity = vehicle.AirDensity, VehicleMass = vehicle.VehicleMass,
                Gravity = vehicle.Gravity, RollingResistance = vehicle.RollingResistance,
                CoastPower = vehicle.CoastPower, ModelSwitch = 0
            };
            Model = model;
        }

        public string Path { get; private set; }
        public Vehicle Vehicle { get; private set; }
        public SpeedModel Model { get; private set; }

        /// <summary>The native handle, for calls of NativeMethods.</summary>
        public ProfileHandle Handle { get { return handle; } }

        public int Rows { get { return NativeMethods.get_korvale_rows(handle); } }

        /// <summary>Length of the route along its points, m.</summary>
        public double Length { get { return NativeMethods.get_max_distance_korvale(handle); } }

        public double[] X { get { return Column(NativeMethods.get_korvale_x_vec); } }
        public double[] Y { get { return Column(NativeMethods.get_korvale_y_vec); } }
        public double[] Z { get { return Column(NativeMethods.get_korvale_z_vec); } }

        /// <summary>Cumulative distance along the route at each row, m.</summary>
        public double[] Distance { get { return Column(NativeMethods.get_korvale_dist_vec); } }

        /// <summary>The three speeds (km/h) at a distance (m), interpolated; below the start
        /// extrapolated, beyond the end the last row's values.</summary>
        public SpeedsAtDistance AtDistance(double distance)
        {
            var speeds = new SpeedsAtDistance();
            NativeMethods.get_all_at_distance(handle, distance, out speeds.MaxSpeed,
                                              out speeds.RecommendedSpeed,
                                              out speeds.CoastingSpeed);
            return speeds;
        }

        public double MaxSpeedAt(double distance)
        {
            return NativeMethods.get_max_speed_at_distance(handle, distance);
        }

        /// <summary>Recommended speed (km/h); outside the route, the first or last row's
        /// value.</summary>
        public double RecommendedSpeedAt(double distance)
        {
            return NativeMethods.get_recomended_speed_at_distance(handle, distance);
        }

        /// <summary>Coasting speed (km/h); outside the route, the first or last row's
        /// value.</summary>
        public double CoastingSpeedAt(double distance)
        {
            return NativeMethods.get_coasting_speed_at_distance(handle, distance);
        }

        /// <summary>The point of the route at a distance (m), extrapolated beyond the
        /// ends.</summary>
        public RoutePoint PositionAt(double distance)
        {
            var point = new RoutePoint();
            NativeMethods.get_pos_at_distance(handle, distance, out point.X, out point.Y,
                                              out point.Z);
            return point;
        }

        /// <summary>Distance (m) and the three speeds (km/h) at the route point nearest to
        /// (x, y, z), searched within `window` metres of the previous result (the whole route
        /// with fullSearch, and always on the first call).</summary>
        public SpeedsAtPosition AtPosition(double x, double y, double z, bool fullSearch = false,
                                           double window = DefaultWindow)
        {
            var speeds = new SpeedsAtPosition();
            NativeMethods.get_all_at_position(handle, x, y, z, fullSearch ? 1 : 0, window,
                                              out speeds.Distance, out speeds.MaxSpeed,
                                              out speeds.RecommendedSpeed,
                                              out speeds.CoastingSpeed);
            return speeds;
        }

        public double DistanceAt(double x, double y, double z, bool fullSearch = false,
                                 double window = DefaultWindow)
        {
            return NativeMethods.get_distance_at_position(handle, x, y, z, fullSearch ? 1 : 0,
                                                          window);
        }

        /// <summary>The next slow-down ahead of a vehicle at `distance` (m) driving at
        /// speedKmh, or null when none lies within the horizon (m).</summary>
        public Slowdown? NextSlowdown(double distance, double speedKmh,
                                      double horizon = DefaultHorizon)
        {
            var slowdown = new Slowdown();
            int found = NativeMethods.korvale_next_slowdown(
                handle, distance, speedKmh, horizon, out slowdown.Distance,
                out slowdown.TargetSpeed, out slowdown.LiftoffDistance);
            return found == 1 ? slowdown : (Slowdown?)null;
        }

        /// <summary>What to do about the next slow-down within the horizon (m): keep, lift off
        /// where, or brake how hard (korvale_advice).</summary>
        public Advice AdviceAt(double distance, double speedKmh, double horizon = DefaultHorizon)
        {
            var advice = new Advice();
            int action;
            NativeMethods.korvale_advice(handle, distance, speedKmh, horizon, out action,
                                         out advice.LiftoffDistance, out advice.TargetDistance,
                                         out advice.TargetSpeed, out advice.Deceleration);
            advice.Action = (AdviceAction)action;
            return advice;
        }

        /// <summary>Distance (m) between the last position asked for and the route point it was
        /// mapped to; -1.0 before any query by position.</summary>
        public double OffsetFromRoute
        {
            get { return NativeMethods.korvale_offset_from_route(handle); }
        }

        public void Dispose()
        {
            handle.Dispose();
        }

        private delegate void ColumnCopy(ProfileHandle handle, double[] destination, int count);

        private double[] Column(ColumnCopy copy)
        {
            int rows = NativeMethods.get_korvale_rows(handle);
            var values = new double[rows];
            copy(handle, values, rows);
            return values;
        }
    }

    /// <summary>A UDP link to a dashboard process: 76-byte status records and plot datagrams.
    /// Records and plots share one time-stamp gate: one is sent only when its time stamp is
    /// greater than the last one accepted (the first must be above 0). SendPlot blocks for
    /// plotDelayMs after each plot. A link whose host cannot be resolved sends nothing (the
    /// library prints why).</summary>
    public sealed class DashboardLink : IDisposable
    {
        private readonly LinkHandle handle;

        public DashboardLink(string host, int port, int plotDelayMs = 0)
        {
            if (host == null)
            {
                throw new ArgumentNullException("host");
            }
            handle = NativeMethods.init_com(port, host, 0, plotDelayMs);
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new KorvaleException("not enough memory for a dashboard link");
            }
        }

        public LinkHandle Handle { get { return handle; } }

        public void SendStatus(int i1, double r1, double r2, double r3, double r4, double r5,
                               double r6, double r7, double r8, int flag, double timeStamp,
                               int i2)
        {
            NativeMethods.send_msg(handle, i1, r1, r2, r3, r4, r5, r6, r7, r8, flag, timeStamp,
                                   i2);
        }

        /// <summary>Sends the values of a followed by those of b in one datagram; returns
        /// timeStamp.</summary>
        public double SendPlot(double[] a, double[] b, double timeStamp)
        {
            a = a ?? new double[0];
            b = b ?? new double[0];
            return NativeMethods.send_msg_plot(handle, a, b, (ulong)a.Length, (ulong)b.Length,
                                               timeStamp);
        }

        public void Dispose()
        {
            handle.Dispose();
        }
    }
}
