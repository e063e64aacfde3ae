// The C# route binding against the native libraries: a map's route, a route along lanes and a GPS
// recording's route loaded by Route, failures as RouteException with the native message and no
// file left, the local frame there and back, and every function of korvale_routes.h bound.
// A console program:
//
//   mono korvale_csharp_route_tests.exe HEADER MAP RIDE
//   (libkorvale_routes.so and libkorvale.so on LD_LIBRARY_PATH)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using Korvale;

static class KorvaleRoutesTests
{
    static string header, map, ride, work;

    static void Check(bool condition, string what)
    {
        if (!condition)
        {
            throw new Exception("check failed: " + what);
        }
    }

    static string Fails(Action action, string what)
    {
        try
        {
            action();
        }
        catch (RouteException failure)
        {
            return failure.Message;
        }
        throw new Exception(what + ": no RouteException");
    }

    static void RoutesFromAMapAndARecordingLoad()
    {
        string route = Path.Combine(work, "map.txt");
        KorvaleRoutes.FromOpenDrive(map, route, "1,2", lane: -1);
        using (var profile = new Route(route))
        {
            Check(profile.Rows == 932, "map route rows: " + profile.Rows);
        }

        string junction = Path.Combine(Path.GetDirectoryName(map), "junction.xodr");
        string lanes = Path.Combine(work, "lanes.txt");
        KorvaleRoutes.ThroughOpenDrive(junction, lanes, "1:-3", "2:-2");
        using (var profile = new Route(lanes))
        {
            Check(profile.Rows > 100, "lane route rows: " + profile.Rows);
        }

        string gps = Path.Combine(work, "ride.txt");
        GpsRouteSummary summary = KorvaleRoutes.FromGps(ride, gps, limitKmh: 50);
        Check(summary.Fixes == 850 && summary.RepeatedPoints == 0 && summary.Outliers == 2,
              "summary " + summary.Fixes + " " + summary.RepeatedPoints + " " + summary.Outliers);
        using (var profile = new Route(gps))
        {
            Check(profile.Rows == summary.Rows, "ride route rows: " + profile.Rows);
        }
    }

    static void FailuresCarryTheNativeMessageAndLeaveNoFile()
    {
        string folder = Path.Combine(work, "failures");
        Directory.CreateDirectory(folder);
        string route = Path.Combine(folder, "route.txt");
        string missing = Path.Combine(work, "missing.xodr");
        string message = Fails(() => KorvaleRoutes.FromOpenDrive(missing, route, "1"), "map");
        Check(message.StartsWith("cannot read the map '" + missing + "': "), message);
        string junction = Path.Combine(Path.GetDirectoryName(map), "junction.xodr");
        message = Fails(() => KorvaleRoutes.ThroughOpenDrive(junction, route, "9:-1", "2:-1"),
                        "unknown road");
        Check(message.Contains("has no road '9'"), message);
        message = Fails(() => KorvaleRoutes.FromGps(ride, route), "no limit");
        Check(message.StartsWith("no speed limit 0 m along the route"), message);
        Check(Directory.GetFiles(folder).Length == 0, "files left behind");
    }

    static void TheLocalFrameGoesThereAndBack()
    {
        var frame = new KorvaleRoutes.LocalFrame(new GeoPoint(48.137, 11.575, 520.0));
        RoutePoint p = frame.Forward(new GeoPoint(48.138, 11.576, 530.0));
        Check(Math.Abs(p.Y - 111.2) < 0.2 && Math.Abs(p.X - 74.4) < 0.2 && Math.Abs(p.Z - 10) < 0.01,
              "forward " + p.X + " " + p.Y + " " + p.Z);
        GeoPoint back = frame.Reverse(p);
        Check(Math.Abs(back.Latitude - 48.138) < 1e-9 && Math.Abs(back.Longitude - 11.576) < 1e-9 &&
              Math.Abs(back.Height - 530.0) < 1e-6, "reverse");
        string message = Fails(() => frame.Reverse(new RoutePoint { X = double.NaN }), "NaN");
        Check(message.Contains("not finite"), message);
    }

    static void EveryFunctionOfTheHeaderIsBound()
    {
        string text = string.Join(" ", File.ReadAllLines(header)
                                               .Where(line => !line.TrimStart().StartsWith("#")));
        var declared = new SortedSet<string>(
            Regex.Matches(text, @"KORVALE_ROUTES_API[^(;]*?(\w+)\(").Cast<Match>()
                .Select(m => m.Groups[1].Value));
        var bound = new SortedSet<string>();
        foreach (MethodInfo method in typeof(RoutesNativeMethods).GetMethods())
        {
            if (Attribute.GetCustomAttribute(method, typeof(DllImportAttribute)) != null)
            {
                bound.Add(method.Name);
                Marshal.Prelink(method); // EntryPointNotFoundException when missing
            }
        }
        Check(declared.Count >= 4, "functions found in the header: " + declared.Count);
        Check(declared.SetEquals(bound),
              "declared but not bound: " + string.Join(", ", declared.Except(bound)) +
              "; bound but not declared: " + string.Join(", ", bound.Except(declared)));
    }

    static int Main(string[] arguments)
    {
        header = arguments[0];
        map = arguments[1];
        ride = arguments[2];
        work = Path.Combine(Path.GetTempPath(), "korvale_csharp_routes_" + Guid.NewGuid());
        Directory.CreateDirectory(work);
        var tests = new Action[] {
            RoutesFromAMapAndARecordingLoad, FailuresCarryTheNativeMessageAndLeaveNoFile,
            TheLocalFrameGoesThereAndBack, EveryFunctionOfTheHeaderIsBound
        };
        int failed = 0;
        try
        {
            foreach (Action test in tests)
            {
                try
                {
                    test();
                    Console.WriteLine("passed: " + test.Method.Name);
                }
                catch (Exception failure)
                {
                    ++failed;
                    Console.WriteLine("FAILED: " + test.Method.Name + ": " + failure.Message);
                }
            }
        }
        finally
        {
            Directory.Delete(work, true);
        }
        return failed == 0 ? 0 : 1;
    }
}
