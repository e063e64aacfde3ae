// The C# binding against the native library: the worked example's numbers, the eco model and
// its advice, load failures as exceptions, a drive with tracking, datagrams received on 127.0.0.1, the
// predictive model with the vehicle's drive, and every function of the header bound. A console program (no test framework needed under Mono):
//
//   mono korvale_csharp_tests.exe HEADER EXAMPLE_ROUTE     (libkorvale.so on LD_LIBRARY_PATH)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Reflection;
using System.Text;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using Korvale;

static class KorvaleTests
{
    static string header;
    static string exampleRoute;
    static string workDirectory;

    static void Check(bool condition, string what)
    {
        if (!condition)
        {
            throw new Exception("check failed: " + what);
        }
    }

    static void Near(double actual, double expected, double tolerance, string what)
    {
        Check(Math.Abs(actual - expected) <= tolerance,
              what + ": " + actual + ", expected " + expected);
    }

    static T Throws<T>(Action action, string what) where T : Exception
    {
        try
        {
            action();
        }
        catch (T expected)
        {
            return expected;
        }
        throw new Exception(what + ": no " + typeof(T).Name);
    }

    static string WriteRoute(string name, string text)
    {
        string path = Path.Combine(workDirectory, name);
        File.WriteAllText(path, text);
        return path;
    }

    // Four rows, the third in a 100 m curve with 5 % superelevation.
    static void WorkedExampleGivesItsSpeeds()
    {
        string path = WriteRoute("worked.txt", "0 0 0 10000 100 0\n100 0 0 10000 100 0\n" +
                                               "200 0 0 100 100 0.05\n300 0 0 10000 100 0\n");
        using (var route = new Route(path))
        {
            Check(route.Rows == 4, "rows");
            Near(route.Length, 300, 0, "length");
            Check(route.Distance.SequenceEqual(new double[] { 0, 100, 200, 300 }), "distance");
            Check(route.X.SequenceEqual(new double[] { 0, 100, 200, 300 }), "x");
            Check(route.Y.All(v => v == 0) && route.Z.All(v => v == 0), "y and z");
            double[] coasting = { 100, 57.338, 52.371, 100 };
            for (int row = 0; row < 4; ++row)
            {
                SpeedsAtDistance speeds = route.AtDistance(100 * row);
                Near(speeds.CoastingSpeed, coasting[row], 5e-4, "coasting at row " + row);
                Near(speeds.RecommendedSpeed, coasting[row], 5e-4, "recommended at row " + row);
                Near(speeds.MaxSpeed, 100, 0, "speed limit at row " + row);
                Check(route.CoastingSpeedAt(100 * row) == speeds.CoastingSpeed, "coasting");
                Check(route.RecommendedSpeedAt(100 * row) == speeds.RecommendedSpeed, "rec.");
                Check(route.MaxSpeedAt(100 * row) == speeds.MaxSpeed, "max");
            }
            RoutePoint point = route.PositionAt(150);
            Check(point.X == 150 && point.Y == 0 && point.Z == 0, "point at 150 m");
            var xyz = new double[3];
            Check(NativeMethods.get_pos_at_polyline_location(route.Handle, 250, xyz, 0) == 1 &&
                  xyz[0] == 250, "get_pos_at_polyline_location");
            Slowdown? slowdown = route.NextSlowdown(0, 90);
            Check(slowdown.HasValue && slowdown.Value.Distance == 200 &&
                  slowdown.Value.LiftoffDistance <= 200, "slow-down for the curve");
            Check(route.NextSlowdown(0, 30) == null, "no slow-down below 30 km/h");
        }
        Vehicle powered = Vehicle.BuiltIn;
        powered.CoastPower = 1000;
        using (var route = new Route(path, powered))
        {
            Near(route.CoastingSpeedAt(100), 57.899, 5e-4, "parameterised coasting speed");
        }
    }

    // The eco model on the worked example, its advice on a stop, a refused vehicle.
    static void EcoModelAndAdvice()
    {
        string path = WriteRoute("worked_eco.txt", "0 0 0 10000 100 0\n100 0 0 10000 100 0\n" +
                                                   "200 0 0 100 100 0.05\n300 0 0 10000 100 0\n");
        NativeVehicle car = NativeVehicle.Default;
        Check(car.Size == Marshal.SizeOf(typeof(NativeVehicle)) && car.VehicleMass == 1644 &&
              car.BrakeDeceleration == 1.0 && car.LeastDeceleration == 0.15, "default vehicle");
        using (var route = new Route(path, car, SpeedModel.Eco))
        {
            double[] recommended = { 62.152, 57.338, 52.371, 100 };
            for (int row = 0; row < 4; ++row)
            {
                Near(route.RecommendedSpeedAt(100 * row), recommended[row], 5e-4, "row " + row);
            }
            Check(route.Model == SpeedModel.Eco, "model");
            Advice advice = route.AdviceAt(0, 80);
            Check(advice.Action == AdviceAction.Brake && advice.TargetDistance == 200 &&
                  advice.LiftoffDistance == 0 && advice.Deceleration > 0, "brake at 80 km/h");
            Check(route.AdviceAt(0, 60).Action == AdviceAction.LiftOff, "lift off at 60 km/h");
            Check(route.AdviceAt(0, 30).Action == AdviceAction.Keep, "keep at 30 km/h");
        }
        car.VehicleMass = 0;
        Throws<LoadException>(() => new Route(path, car, SpeedModel.Eco), "a vehicle of 0 kg");
    }

    static void FailedLoadsRaiseAndHandlesReleaseOnce()
    {
        string missing = Path.Combine(workDirectory, "missing.txt");
        LoadException error = Throws<LoadException>(() => new Route(missing), "missing file");
        Check(error.Path == missing && error.Message.Contains("missing.txt"), "message");
        Throws<LoadException>(() => new Route(WriteRoute("nofeed.txt", "1 2 3 4 5 6")),
                              "a file without a line feed");
        Throws<LoadException>(() => new Route(WriteRoute("words.txt", "x y z r v e\n")),
                              "a file without a row");
        Throws<ArgumentNullException>(() => new Route(null), "null path");

        var route = new Route(exampleRoute);
        ProfileHandle handle = route.Handle;
        route.Dispose();
        route.Dispose();
        Check(handle.IsClosed, "handle closed");
        Throws<ObjectDisposedException>(() => { var rows = route.Rows; }, "use after Dispose");
    }

    // A drive 1 m to the left of the example road, every tenth point: the tracked distance
    // follows the road's own.
    static void ADriveIsTracked()
    {
        using (var route = new Route(exampleRoute))
        {
            double[] x = route.X, y = route.Y, z = route.Z, distance = route.Distance;
            Check(route.OffsetFromRoute == -1.0, "offset before any query");
            for (int i = 0; i + 1 < 600; i += 10)
            {
                double hx = x[i + 1] - x[i], hy = y[i + 1] - y[i];
                double norm = Math.Sqrt(hx * hx + hy * hy);
                SpeedsAtPosition at = route.AtPosition(x[i] - hy / norm, y[i] + hx / norm, z[i]);
                Near(at.Distance, distance[i], 0.1, "tracked distance at row " + i);
                Near(route.OffsetFromRoute, 1.0, 0.02, "offset at row " + i);
                SpeedsAtDistance there = route.AtDistance(at.Distance);
                Near(at.MaxSpeed, there.MaxSpeed, 1e-9, "max speed at row " + i);
                Near(at.RecommendedSpeed, there.RecommendedSpeed, 1e-9, "rec. speed at row " + i);
                Near(at.CoastingSpeed, there.CoastingSpeed, 1e-9, "coasting speed at row " + i);
            }
            // Far along the road, found again by a full search only.
            double far = route.DistanceAt(x[1100], y[1100], z[1100], true);
            Near(far, distance[1100], 1e-6, "full search");
            Near(NativeMethods.get_max_speed_at_position(route.Handle, x[1100], y[1100], z[1100]),
                 route.MaxSpeedAt(distance[1100]), 1e-9, "max speed at the position");
        }
    }

    static void DatagramsReachTheDashboard()
    {
        using (var receiver = new UdpClient(new IPEndPoint(IPAddress.Loopback, 0)))
        using (var link = new DashboardLink("127.0.0.1",
                                            ((IPEndPoint)receiver.Client.LocalEndPoint).Port))
        {
            receiver.Client.ReceiveTimeout = 5000;
            var from = new IPEndPoint(IPAddress.Any, 0);
            link.SendStatus(7, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 0x101, 1.0, -42);
            byte[] record = receiver.Receive(ref from);
            Check(record.Length == 76, "record of 76 bytes");
            Check(BitConverter.ToSingle(record, 0) == 1.5f && BitConverter.ToSingle(record, 4) == 2.5f &&
                  BitConverter.ToSingle(record, 8) == 4.5f && BitConverter.ToSingle(record, 16) == 3.5f &&
                  BitConverter.ToSingle(record, 24) == 5.5f && BitConverter.ToSingle(record, 28) == 7.5f &&
                  BitConverter.ToSingle(record, 32) == 8.5f, "reals of the record");
            Check(BitConverter.ToInt32(record, 36) == 7 && record[40] == 1 &&
                  BitConverter.ToInt32(record, 72) == -42, "integers of the record");

            link.SendStatus(8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0); // not newer: dropped
            Check(link.SendPlot(new double[] { 1, 2 }, new double[] { 3 }, 2.0) == 2.0, "stamp");
            byte[] plot = receiver.Receive(ref from);
            Check(plot.Length == 24 && BitConverter.ToDouble(plot, 0) == 1 &&
                  BitConverter.ToDouble(plot, 8) == 2 && BitConverter.ToDouble(plot, 16) == 3,
                  "plot datagram (the record with the old stamp was dropped)");
            link.SendPlot(null, new double[0], 3.0);
            Check(receiver.Receive(ref from).Length == 0, "empty plot");
        }
    }

    // The library's own messages in the exceptions, its lines through the event (and back on
    // the streams without a handler), its version and its tables.
    static void LibraryMessagesLinesVersionAndTables()
    {
        var lines = new List<string>();
        Action<LogLevel, string> take = (level, line) => lines.Add(level + " " + line);
        KorvaleLibrary.LogLine += take;
        string missing = Path.Combine(workDirectory, "missing.txt");
        try
        {
            LoadException error = Throws<LoadException>(() => new Route(missing), "missing");
            Check(error.Message.EndsWith("': Can not load file for Korvale"), error.Message);
            NativeVehicle heavy = NativeVehicle.Preset("truck");
            heavy.VehicleMass = -1;
            error = Throws<LoadException>(() => new Route(missing, heavy, SpeedModel.Eco), "-1 kg");
            Check(error.Message.EndsWith("with the eco model: korvale_load_vehicle: vehicle " +
                                         "refused: vehicle_mass -1 is not above 0"), error.Message);
            KorvaleException link = Throws<KorvaleException>(() => new DashboardLink("", 9),
                                                             "a host that cannot be resolved");
            Check(link.Message.StartsWith("cannot open a dashboard link to :9: gethostbyname() " +
                                          "failed: "), link.Message);
        }
        finally
        {
            KorvaleLibrary.LogLine -= take;
        }
        Check(lines.Contains("Error Can't open output file " + missing + "!") &&
              lines.Contains("Output Can not load file for Korvale") &&
              lines.Any(line => line.StartsWith("Output gethostbyname() failed: ")),
              "lines: " + string.Join(" | ", lines));
        int seen = lines.Count;
        Throws<LoadException>(() => new Route(missing), "missing, on the streams");
        Check(lines.Count == seen, "no handler, no line");
        // A handler that throws loses its exception, not the host.
        Action<LogLevel, string> faulty = (level, line) =>
        {
            throw new InvalidOperationException();
        };
        KorvaleLibrary.LogLine += faulty;
        try
        {
            Throws<LoadException>(() => new Route(missing), "missing, a faulty handler");
        }
        finally
        {
            KorvaleLibrary.LogLine -= faulty;
        }

        Check(KorvaleLibrary.Version / 1000 == KorvaleLibrary.WrittenForMajor * 1000 +
              KorvaleLibrary.WrittenForMinor, "version " + KorvaleLibrary.Version);
        Check(KorvaleLibrary.PresetNames[0] == "car" && KorvaleLibrary.PresetNames.Count == 4,
              "presets");
        Check(Vehicle.BuiltIn.VehicleMass == NativeVehicle.Preset("car").VehicleMass, "the car");
        Throws<ArgumentException>(() => NativeVehicle.Preset("plane"), "no such preset");
        Check(KorvaleLibrary.ModelNamed(KorvaleLibrary.ModelName(SpeedModel.Parameterised)) ==
              SpeedModel.Parameterised && KorvaleLibrary.ModelNames.Count == 4, "model names");
        Check(KorvaleLibrary.ChooseModel(null) == SpeedModel.Eco &&
              KorvaleLibrary.ChooseModel(null, 0) == SpeedModel.Default &&
              KorvaleLibrary.ChooseModel(null, null, 1) == SpeedModel.Parameterised, "choice");
        using (var route = new Route(exampleRoute, "van"))
        {
            Check(route.Model == SpeedModel.Eco && route.Vehicle.VehicleMass > 2000, "the van");
        }
    }

    [DllImport(NativeMethods.Library, CallingConvention = CallingConvention.Cdecl,
               EntryPoint = "korvale_fill_default_vehicle")]
    static extern void FillDefaultVehicle([Out] byte[] vehicle, uint size);

    // NativeVehicle is the header's korvale_vehicle: the library, given more room, writes as
    // many bytes as NativeVehicle has, and its last field lands where the binding reads it. The
    // predictive model by name, built for an ice truck, and a drive field refused by name.
    static void PredictiveModelAndTheVehicleOfThisHeader()
    {
        var bytes = new byte[Marshal.SizeOf(typeof(NativeVehicle)) + 64];
        FillDefaultVehicle(bytes, (uint)bytes.Length);
        Check(BitConverter.ToUInt32(bytes, 0) == Marshal.SizeOf(typeof(NativeVehicle)),
              "size written " + BitConverter.ToUInt32(bytes, 0) + ", NativeVehicle's " +
              Marshal.SizeOf(typeof(NativeVehicle)));
        NativeVehicle car = NativeVehicle.Default, truck = NativeVehicle.Preset("truck");
        Check(car.Powertrain == Powertrain.Ev && car.TimeBudget == 0.02 && car.Reserved == 0 &&
              car.IdlePower > 6000 && truck.MaxPower > car.MaxPower, "the drives");
        Check(KorvaleLibrary.ModelNamed("predictive") == SpeedModel.Predictive &&
              KorvaleLibrary.ModelName(SpeedModel.Predictive) == "predictive", "its name");

        // A crest on a flat road ending in a stop.
        var rows = new StringBuilder();
        for (int x = 0; x <= 3000; x += 10)
        {
            double z = x > 1000 && x < 2000 ? 20 - Math.Abs(x - 1500) / 25.0 : 0;
            rows.Append(x + " 0 " + z + " 10000 " + (x == 3000 ? 0 : 80) + " 0\n");
        }
        string path = WriteRoute("crest.txt", rows.ToString());
        truck.Powertrain = Powertrain.Ice;
        using (var route = new Route(path, truck, SpeedModel.Predictive))
        {
            Check(route.Model == SpeedModel.Predictive, "model");
            for (double d = 0; d <= 3000; d += 100)
            {
                SpeedsAtDistance at = route.AtDistance(d);
                Check(at.RecommendedSpeed >= 0 && at.RecommendedSpeed <= at.MaxSpeed + 1e-9,
                      "recommended at " + d + ": " + at.RecommendedSpeed);
            }
            Check(route.RecommendedSpeedAt(1500) > 30, "the plan drives over the crest");
        }
        truck.IdlePower = -1;
        LoadException refused = Throws<LoadException>(
            () => new Route(path, truck, SpeedModel.Predictive), "a negative idle power");
        Check(refused.Message.Contains("vehicle refused: idle_power -1 "), refused.Message);
    }

    // Every function that korvale.h declares has its P/Invoke declaration, and every
    // declaration finds its function in the library.
    static void EveryFunctionOfTheHeaderIsBound()
    {
        string text = string.Join(" ", File.ReadAllLines(header)
                                               .Where(line => !line.TrimStart().StartsWith("#")));
        var declared = new SortedSet<string>(
            Regex.Matches(text, @"KORVALE_API[^(;]*?(\w+)\(").Cast<Match>()
                .Select(m => m.Groups[1].Value));
        var bound = new SortedSet<string>();
        foreach (MethodInfo method in typeof(NativeMethods).GetMethods())
        {
            var import = (DllImportAttribute)Attribute.GetCustomAttribute(
                method, typeof(DllImportAttribute));
            if (import != null)
            {
                bound.Add(method.Name);
                Marshal.Prelink(method); // EntryPointNotFoundException when missing
            }
        }
        Check(declared.Count >= 26, "functions found in the header: " + declared.Count);
        Check(declared.SetEquals(bound),
              "declared but not bound: " + string.Join(", ", declared.Except(bound)) +
              "; bound but not declared: " + string.Join(", ", bound.Except(declared)));
    }

    static int Main(string[] arguments)
    {
        if (arguments.Length != 2)
        {
            Console.Error.WriteLine("usage: korvale_csharp_tests HEADER EXAMPLE_ROUTE");
            return 2;
        }
        header = arguments[0];
        exampleRoute = arguments[1];
        workDirectory = Path.Combine(Path.GetTempPath(), "korvale_csharp_" + Guid.NewGuid());
        Directory.CreateDirectory(workDirectory);
        var tests = new List<KeyValuePair<string, Action>>
        {
            new KeyValuePair<string, Action>("WorkedExampleGivesItsSpeeds",
                                             WorkedExampleGivesItsSpeeds),
            new KeyValuePair<string, Action>("EcoModelAndAdvice", EcoModelAndAdvice),
            new KeyValuePair<string, Action>("FailedLoadsRaiseAndHandlesReleaseOnce",
                                             FailedLoadsRaiseAndHandlesReleaseOnce),
            new KeyValuePair<string, Action>("ADriveIsTracked", ADriveIsTracked),
            new KeyValuePair<string, Action>("DatagramsReachTheDashboard",
                                             DatagramsReachTheDashboard),
            new KeyValuePair<string, Action>("LibraryMessagesLinesVersionAndTables",
                                             LibraryMessagesLinesVersionAndTables),
            new KeyValuePair<string, Action>("PredictiveModelAndTheVehicleOfThisHeader",
                                             PredictiveModelAndTheVehicleOfThisHeader),
            new KeyValuePair<string, Action>("EveryFunctionOfTheHeaderIsBound",
                                             EveryFunctionOfTheHeaderIsBound),
        };
        int passed = 0, failed = 0;
        try
        {
            foreach (var test in tests)
            {
                try
                {
                    test.Value();
                    Console.WriteLine("PASS " + test.Key);
                    ++passed;
                }
                catch (Exception error)
                {
                    Console.WriteLine("FAIL " + test.Key + ": " + error);
                    ++failed;
                }
            }
        }
        finally
        {
            Directory.Delete(workDirectory, true);
        }
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
