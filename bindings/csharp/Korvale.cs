// korvale for C# hosts (.NET, Mono, Unity): the speed profile of a known road route, and a UDP
// link to a dashboard, over the native library (korvale.dll on Windows, libkorvale.so on Linux).
//
// NativeMethods declares every function of korvale.h with its exact C types; Route and
// DashboardLink wrap them in C#'s idiom. The native handles live in SafeHandle subclasses, which
// release them when disposed or, failing that, when collected. A route file that yields no rows
// raises LoadException (Route loads with korvale_load, never with initialize_korvale, which would
// end the host process); every exception carries the library's own message (korvale_last_error).
// The library's lines reach KorvaleLibrary.LogLine's handlers while it has any.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;
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

        // ---------------------------------------------------------- library

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_version();

        /// <summary>size is a size_t: UIntPtr.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern UIntPtr korvale_last_error([Out] byte[] buffer, UIntPtr size);

        /// <summary>A null fn sends the lines back to standard output and error. The delegate
        /// must stay alive until it is replaced.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void korvale_set_log(LogFunction fn, IntPtr user);

        /// <summary>korvale_log_function: line is a zero-terminated UTF-8 string.</summary>
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void LogFunction(int level, IntPtr line, IntPtr user);

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

        /// <summary>size: Marshal.SizeOf(typeof(NativeVehicle)); fills every field within it
        /// and sets Size to the bytes written.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void korvale_fill_default_vehicle(ref NativeVehicle vehicle,
                                                               uint size);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_fill_vehicle_preset(
            [MarshalAs(UnmanagedType.LPStr)] string name, ref NativeVehicle vehicle, uint size);

        /// <summary>Fills the struct of version 0.2 only (up to LeastDeceleration): use
        /// korvale_fill_default_vehicle.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void korvale_default_vehicle(out NativeVehicle vehicle);

        /// <summary>Fills the struct of version 0.2 only (up to LeastDeceleration): use
        /// korvale_fill_vehicle_preset.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_vehicle_preset(
            [MarshalAs(UnmanagedType.LPStr)] string name, out NativeVehicle vehicle);

        /// <summary>The library's own string (never to be freed), or IntPtr.Zero.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr korvale_vehicle_preset_name(int index);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int korvale_model_from_name(
            [MarshalAs(UnmanagedType.LPStr)] string name);

        /// <summary>The library's own string (never to be freed), or IntPtr.Zero.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr korvale_model_name(int model);

        /// <summary>model: a SpeedModel as int (KORVALE_MODEL_DEFAULT, _PARAMETERISED, _ECO,
        /// _PREDICTIVE).</summary>
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
        public static extern int korvale_link_is_open(LinkHandle handle);

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

    /// <summary>A line of the library: Output is one that goes to standard output without a
    /// handler of KorvaleLibrary.LogLine, Error one that goes to standard error.</summary>
    public enum LogLevel
    {
        Output = 0,
        Error = 1,
    }

    /// <summary>The library as a whole: its version, the message of the last failure on this
    /// thread, its lines, and its tables of presets and models.</summary>
    public static class KorvaleLibrary
    {
        /// <summary>The version this binding was written for: a library of the same major
        /// version and at least this minor version has every function it uses.</summary>
        public const int WrittenForMajor = 0, WrittenForMinor = 3;

        private static readonly object logLock = new object();
        private static Action<LogLevel, string> logHandlers;
        private static NativeMethods.LogFunction logFunction; // kept alive while installed
        private static bool versionChecked;

        /// <summary>The library's version, KORVALE_VERSION (major * 1000000 + minor * 1000 +
        /// patch); KorvaleException when the library is older than korvale_version.</summary>
        public static int Version
        {
            get
            {
                try
                {
                    return NativeMethods.korvale_version();
                }
                catch (EntryPointNotFoundException)
                {
                    throw new KorvaleException("the korvale library is older than 0.2; this " +
                                               "binding needs " + WrittenForMajor + "." +
                                               WrittenForMinor + " or a later " +
                                               WrittenForMajor + ".x");
                }
            }
        }

        /// <summary>Throws KorvaleException unless the library is of the major version this
        /// binding was written for and at least its minor version. Route, DashboardLink,
        /// NativeVehicle.Preset and the tables of this class check first.</summary>
        public static void CheckVersion()
        {
            if (versionChecked)
            {
                return;
            }
            int version = Version;
            int major = version / 1000000, minor = version / 1000 % 1000;
            if (major != WrittenForMajor || minor < WrittenForMinor)
            {
                throw new KorvaleException("the korvale library is version " + major + "." +
                                           minor + "." + version % 1000 + "; this binding " +
                                           "needs " + WrittenForMajor + "." + WrittenForMinor +
                                           " or a later " + WrittenForMajor + ".x");
            }
            versionChecked = true;
        }

        /// <summary>The message of the last failure of a load, a link's opening or a send on
        /// this thread; empty after such a call succeeded.</summary>
        public static string LastError
        {
            get
            {
                var buffer = new byte[512];
                int length = (int)NativeMethods.korvale_last_error(buffer, (UIntPtr)buffer.Length);
                return Encoding.UTF8.GetString(buffer, 0, Math.Min(length, buffer.Length - 1));
            }
        }

        /// <summary>Every line of the library, from every thread of the process, while it has a
        /// handler (a handler that does nothing silences them); without one, the lines go to
        /// standard output and error. Handlers run on the thread that printed the line; an
        /// exception that one throws is dropped.</summary>
        public static event Action<LogLevel, string> LogLine
        {
            add
            {
                lock (logLock)
                {
                    logHandlers += value;
                    if (logFunction == null)
                    {
                        logFunction = Deliver;
                        NativeMethods.korvale_set_log(logFunction, IntPtr.Zero);
                    }
                }
            }
            remove
            {
                lock (logLock)
                {
                    logHandlers -= value;
                    if (logHandlers == null && logFunction != null)
                    {
                        NativeMethods.korvale_set_log(null, IntPtr.Zero);
                        logFunction = null;
                    }
                }
            }
        }

        // Runs inside the library's call: no exception may leave it, or it would unwind through
        // the library's frames. A handler that throws loses the line (and the handlers after
        // it).
        private static void Deliver(int level, IntPtr line, IntPtr user)
        {
            Action<LogLevel, string> handlers = logHandlers;
            if (handlers != null)
            {
                try
                {
                    handlers((LogLevel)level, Utf8(line));
                }
                catch (Exception)
                {
                }
            }
        }

        /// <summary>The names of the library's vehicle presets ("car" first).</summary>
        public static IList<string> PresetNames
        {
            get { return Names(NativeMethods.korvale_vehicle_preset_name); }
        }

        /// <summary>The names of the speed models, by SpeedModel.</summary>
        public static IList<string> ModelNames
        {
            get { return Names(NativeMethods.korvale_model_name); }
        }

        /// <summary>The model of that name; ArgumentException for any other.</summary>
        public static SpeedModel ModelNamed(string name)
        {
            CheckVersion();
            int model = NativeMethods.korvale_model_from_name(name);
            if (model < 0)
            {
                throw new ArgumentException("model '" + name + "' is none of " +
                                            string.Join(", ", ModelNames));
            }
            return (SpeedModel)model;
        }

        /// <summary>The model's name, as the library names it.</summary>
        public static string ModelName(SpeedModel model)
        {
            CheckVersion();
            return Utf8(NativeMethods.korvale_model_name((int)model));
        }

        /// <summary>The model when none is named: Eco, unless coastPower or modelSwitch is
        /// given; then Parameterised for either above 0, else Default.</summary>
        public static SpeedModel ChooseModel(SpeedModel? named, double? coastPower = null,
                                             double? modelSwitch = null)
        {
            if (named.HasValue)
            {
                return named.Value;
            }
            if (!coastPower.HasValue && !modelSwitch.HasValue)
            {
                return SpeedModel.Eco;
            }
            return (coastPower ?? 0) <= 0 && (modelSwitch ?? 0) <= 0 ? SpeedModel.Default
                                                                      : SpeedModel.Parameterised;
        }

        private static IList<string> Names(Func<int, IntPtr> nameAt)
        {
            CheckVersion();
            var names = new List<string>();
            for (IntPtr name; (name = nameAt(names.Count)) != IntPtr.Zero;)
            {
                names.Add(Utf8(name));
            }
            return names;
        }

        private static string Utf8(IntPtr text)
        {
            if (text == IntPtr.Zero)
            {
                return null;
            }
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0)
            {
                ++length;
            }
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }
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

        /// <summary>The library's built-in car: with CoastPower and ModelSwitch both 0 or below
        /// the library coasts it, whatever the other six say.</summary>
        public static Vehicle BuiltIn
        {
            get { return From(NativeVehicle.Default); }
        }

        /// <summary>The eight parameters of a NativeVehicle, ModelSwitch 0.</summary>
        public static Vehicle From(NativeVehicle vehicle)
        {
            return new Vehicle
            {
                DragCoefficient = vehicle.DragCoefficient, FrontalArea = vehicle.FrontalArea,
                AirDensity = vehicle.AirDensity, VehicleMass = vehicle.VehicleMass,
                Gravity = vehicle.Gravity, RollingResistance = vehicle.RollingResistance,
                CoastPower = vehicle.CoastPower, ModelSwitch = 0
            };
        }
    }

    /// <summary>The speed models of korvale_load_vehicle (KORVALE_MODEL_*).</summary>
    public enum SpeedModel
    {
        Default = 0,       // the built-in car coasting, whatever the vehicle
        Parameterised = 1, // constant deceleration per segment, with the coast power
        Eco = 2,           // coasting, gentle braking on descents, no crawl carried back
        Predictive = 3,    // the energy-optimal drive of the vehicle's drive within a time budget
    }

    /// <summary>The powertrains of NativeVehicle.Powertrain (KORVALE_POWERTRAIN_*).</summary>
    public enum Powertrain
    {
        Ev = 0,  // battery-electric, recovers braking energy
        Ice = 1, // combustion engine, idles whenever it does not drive
    }

    /// <summary>korvale_vehicle of korvale.h, field for field: Size (its size in bytes) first,
    /// then the fields of the speed models, then the drive that only the predictive model plans
    /// with. NativeVehicle.Default is the built-in car with the eco model's default
    /// decelerations and the car's drive (Powertrain.Ev, TimeBudget 0.02).</summary>
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
        public double BrakeDeceleration; // m/s², eco and predictive models: braking on descents
        public double LeastDeceleration; // m/s², eco and predictive: the least they plan with
        // The drive (only the predictive model uses it).
        public Powertrain Powertrain;
        public int Reserved;               // 0
        public double MaxPower;            // W: the most the drive gives at the wheels
        public double MaxAcceleration;     // m/s² (net)
        public double ComfortableBraking;  // m/s²: how late the limit-following driver brakes
        public double RotatingMassFactor;  // the inertia is VehicleMass * (1 + factor)
        public double DriveEfficiency;     // ev: battery to wheels, in (0, 1]
        public double RegenEfficiency;     // ev: wheels to battery when braking, in (0, 1]
        public double MaxRegenPower;       // ev: W at the wheels, the most braking recovers
        public double AuxPower;            // ev: W drawn all the time
        public double EngineEfficiency;    // ice: fuel to wheels, in (0, 1]
        public double IdlePower;           // ice: W of fuel whenever the engine does not drive
        public double TimeBudget;          // the plan's trip time is at most 1 + this times the
                                           // limit-following driver's (0.02: 2 %)

        /// <summary>What korvale_fill_default_vehicle and korvale_fill_vehicle_preset take.</summary>
        private static uint NativeSize
        {
            get { return (uint)Marshal.SizeOf(typeof(NativeVehicle)); }
        }

        public static NativeVehicle Default
        {
            get
            {
                KorvaleLibrary.CheckVersion();
                var vehicle = new NativeVehicle();
                NativeMethods.korvale_fill_default_vehicle(ref vehicle, NativeSize);
                return vehicle;
            }
        }

        /// <summary>The library's preset of that name (KorvaleLibrary.PresetNames);
        /// ArgumentException for any other.</summary>
        public static NativeVehicle Preset(string name)
        {
            KorvaleLibrary.CheckVersion();
            var vehicle = new NativeVehicle();
            if (NativeMethods.korvale_fill_vehicle_preset(name, ref vehicle, NativeSize) != 1)
            {
                throw new ArgumentException("unknown vehicle preset '" + name +
                                            "'; the presets are " +
                                            string.Join(", ", KorvaleLibrary.PresetNames));
            }
            return vehicle;
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
            KorvaleLibrary.CheckVersion();
            handle = NativeMethods.korvale_load(
                path, vehicle.DragCoefficient, vehicle.FrontalArea, vehicle.AirDensity,
                vehicle.VehicleMass, vehicle.Gravity, vehicle.RollingResistance,
                vehicle.CoastPower, vehicle.ModelSwitch);
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new LoadException(path, "cannot load route file '" + path + "': " +
                                                  KorvaleLibrary.LastError);
            }
            Path = path;
            Vehicle = vehicle;
            // Both selectors are given with the eight parameters.
            Model = KorvaleLibrary.ChooseModel(null, vehicle.CoastPower, vehicle.ModelSwitch);
        }

        /// <summary>Loads the route file for a preset of the library ("car", ...) with the
        /// model, or with the eco model when none is named.</summary>
        public Route(string path, string preset, SpeedModel? model = null)
            : this(path, NativeVehicle.Preset(preset), KorvaleLibrary.ChooseModel(model)) { }

        /// <summary>Loads the route file for the vehicle with a speed model
        /// (korvale_load_vehicle); LoadException with the library's message when the file
        /// yields no rows or the vehicle makes no physical sense.</summary>
        public Route(string path, NativeVehicle vehicle, SpeedModel model)
        {
            if (path == null)
            {
                throw new ArgumentNullException("path");
            }
            KorvaleLibrary.CheckVersion();
            vehicle.Size = (uint)Marshal.SizeOf(typeof(NativeVehicle));
            handle = NativeMethods.korvale_load_vehicle(path, ref vehicle, (int)model);
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new LoadException(path, "cannot load route file '" + path + "' with the " +
                                                  KorvaleLibrary.ModelName(model) + " model: " +
                                                  KorvaleLibrary.LastError);
            }
            Path = path;
            Vehicle = Vehicle.From(vehicle);
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
    /// plotDelayMs after each plot. A link that cannot be opened (a host that cannot be
    /// resolved) raises KorvaleException with the library's message.</summary>
    public sealed class DashboardLink : IDisposable
    {
        private readonly LinkHandle handle;

        public DashboardLink(string host, int port, int plotDelayMs = 0)
        {
            if (host == null)
            {
                throw new ArgumentNullException("host");
            }
            KorvaleLibrary.CheckVersion();
            handle = NativeMethods.init_com(port, host, 0, plotDelayMs);
            if (handle.IsInvalid || NativeMethods.korvale_link_is_open(handle) != 1)
            {
                string why = KorvaleLibrary.LastError;
                if (handle.IsInvalid)
                {
                    handle.SetHandleAsInvalid();
                }
                else
                {
                    handle.Dispose();
                }
                throw new KorvaleException("cannot open a dashboard link to " + host + ":" +
                                           port + ": " + why);
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
