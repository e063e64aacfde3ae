// Several threads, each with route profiles and dashboard links of its own, get the same answers
// and send the same datagrams as one thread doing all the work alone. Handles may move from one
// thread to another between uses. Run under ThreadSanitizer, this is the proof that handles
// share nothing.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "comm/udp_receiver.h"
#include "korvale.h"
#include "support/temp_dir.h"
#include "support/vehicles.h"

using korvale::test::UdpReceiver;
using korvale_test::DEFAULT_CAR;
using korvale_test::Row;
using korvale_test::TempDir;

namespace {

constexpr int THREADS = 4;
constexpr int PROFILES_PER_THREAD = 2;
constexpr int ROUTES = 3;
// Drive steps per profile, split in two halves that may run on different threads.
constexpr int STEPS = 160;
constexpr int PLOT_EVERY = 16;
constexpr int PLOT_VALUES = 24;
// Values that one drive step records.
constexpr std::size_t ANSWERS_PER_STEP = 19;

// A winding, hilly road of a few hundred rows with curves, changing limits and a stop at the
// end; each variant is shaped differently.
std::vector<Row> winding_road(int variant) {
    std::vector<Row> rows;
    double x = 0, y = 0, heading = 0.3 * variant;
    const int n = 300 + 70 * variant;
    for (int i = 0; i < n; ++i) {
        const double turn = 0.02 * std::sin(i / (9.0 + variant));
        heading += turn;
        const double radius = std::fabs(turn) > 1e-4 ? 5.0 / std::fabs(turn) : 10000.0;
        const double limit = i == n - 1 ? 0.0 : (i / 60) % 2 == 0 ? 90.0 : 60.0 - 10 * variant;
        const double z = 12.0 * std::sin(i / (25.0 + 5 * variant));
        rows.push_back({x, y, z, radius, limit, 0.02 * (i % 3)});
        x += 5.0 * std::cos(heading);
        y += 5.0 * std::sin(heading);
    }
    return rows;
}

korvale_profile* open_route(const std::string& path, int variant) {
    const double* c = DEFAULT_CAR;
    // Odd variants coast with the parameterised model.
    const double power = variant % 2 == 1 ? 1000.0 : c[6];
    return korvale_load(path.c_str(), c[0], c[1], c[2], c[3], c[4], c[5], power, c[7]);
}

// What one profile and its link answered and sent over a drive.
struct Trace {
    std::vector<double> answers;
    std::vector<std::vector<std::uint8_t>> datagrams;
};

// One vehicle: a profile, the link that reports it, the receiver behind the link, and what
// they produced so far.
struct Vehicle {
    int variant = 0;
    korvale_profile* profile = nullptr;
    korvale_link* link = nullptr;
    std::unique_ptr<UdpReceiver> receiver;
    Trace trace;
};

void record(Vehicle& v) {
    const std::optional<korvale::test::Datagram> d = v.receiver->receive();
    v.trace.datagrams.push_back(d ? d->bytes : std::vector<std::uint8_t>{0xEE});
}

// Drive steps [first, last) of a vehicle: queries of every kind, a status record per step and
// a plot now and then, as a simulator would.
void drive(Vehicle& v, int first, int last) {
    std::vector<double>& out = v.trace.answers;
    const double length = get_max_distance_korvale(v.profile);
    double plot[PLOT_VALUES] = {};
    for (int step = first; step < last; ++step) {
        const double s = length * step / STEPS;
        double x = 0, y = 0, z = 0;
        get_pos_at_distance(v.profile, s, &x, &y, &z);
        const double lateral = 1.5 * std::sin(step * 0.7 + v.variant);
        double d = 0, max = 0, rec = 0, coast = 0;
        get_all_at_position(v.profile, x + lateral, y - lateral, z, 0, 100.0, &d, &max, &rec,
                            &coast);
        out.insert(out.end(), {x, y, z, d, max, rec, coast});
        out.push_back(get_distance_at_position(v.profile, x, y + 0.5, z, step % 40 == 0, 50.0));
        out.push_back(get_max_speed_at_position(v.profile, x, y, z + 0.25));
        out.push_back(get_recomended_speed_at_position(v.profile, x - 0.5, y, z));
        out.push_back(get_coasting_speed_at_position(v.profile, x, y, z));
        out.push_back(korvale_offset_from_route(v.profile));
        out.push_back(get_max_speed_at_distance(v.profile, s + 3));
        out.push_back(get_recomended_speed_at_distance(v.profile, s + 3));
        out.push_back(get_coasting_speed_at_distance(v.profile, s + 3));
        double at = -1, target = -1, liftoff = -1;
        out.push_back(korvale_next_slowdown(v.profile, d, 85.0, 800.0, &at, &target, &liftoff));
        out.insert(out.end(), {at, target, liftoff});

        send_msg(v.link, step, d, max, rec, coast, x, y, z, liftoff, step, 1.0 + step, v.variant);
        record(v);
        plot[step % PLOT_VALUES] = rec;
        if (step % PLOT_EVERY == PLOT_EVERY - 1) {
            send_msg_plot(v.link, plot, plot, PLOT_VALUES, PLOT_VALUES / 2, 1.5 + step);
            record(v);
        }
    }
}

class Fleet {
public:
    Fleet() {
        for (int r = 0; r < ROUTES; ++r) {
            paths.push_back(dir.write("route" + std::to_string(r) + ".txt",
                                      korvale_test::route_text(winding_road(r))));
        }
        fleet.resize(THREADS * PROFILES_PER_THREAD);
        for (std::size_t i = 0; i < fleet.size(); ++i) {
            fleet[i].variant = static_cast<int>(i) % ROUTES;
            fleet[i].receiver = std::make_unique<UdpReceiver>();
        }
    }
    ~Fleet() {
        for (Vehicle& v : fleet) {
            deinitialize_korvale(v.profile);
            close_com(v.link);
        }
    }
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    bool ready() const {
        for (const Vehicle& v : fleet) {
            if (!v.receiver->ready()) {
                return false;
            }
        }
        return true;
    }

    // Opens the profile and the link of vehicle i.
    void open(std::size_t i) {
        Vehicle& v = fleet[i];
        v.profile = open_route(paths[static_cast<std::size_t>(v.variant)], v.variant);
        v.link = init_com(v.receiver->port(), i % 2 == 0 ? "127.0.0.1" : "localhost", 0, 0);
    }

    // Everything on the calling thread, one vehicle after the other.
    void run_alone() {
        for (std::size_t i = 0; i < fleet.size(); ++i) {
            open(i);
            drive(fleet[i], 0, STEPS / 2);
            drive(fleet[i], STEPS / 2, STEPS);
        }
    }

    // Each thread opens its vehicles and drives the first half; then every vehicle moves on to
    // the next thread for the second half.
    void run_on_threads() {
        const auto half = [this](int thread, int shift, bool opening) {
            for (int k = 0; k < PROFILES_PER_THREAD; ++k) {
                const auto i = static_cast<std::size_t>(
                    ((thread + shift) % THREADS) * PROFILES_PER_THREAD + k);
                if (opening) {
                    open(i);
                    drive(fleet[i], 0, STEPS / 2);
                } else {
                    drive(fleet[i], STEPS / 2, STEPS);
                }
            }
        };
        for (int phase = 0; phase < 2; ++phase) {
            std::vector<std::thread> threads;
            for (int t = 0; t < THREADS; ++t) {
                threads.emplace_back(half, t, phase, phase == 0);
            }
            for (std::thread& t : threads) {
                t.join();
            }
        }
    }

    const std::vector<Vehicle>& vehicles() const { return fleet; }

private:
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<Vehicle> fleet;
};

// Equal bit for bit, NaN included.
bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

} // namespace

TEST(Concurrency, ProfilesAndLinksOnSeveralThreadsAnswerAsOnOne) {
    testing::internal::CaptureStdout();
    Fleet alone;
    Fleet together;
    ASSERT_TRUE(alone.ready() && together.ready());
    alone.run_alone();
    together.run_on_threads();
    testing::internal::GetCapturedStdout();

    for (std::size_t i = 0; i < alone.vehicles().size(); ++i) {
        const Trace& expected = alone.vehicles()[i].trace;
        const Trace& got = together.vehicles()[i].trace;
        ASSERT_NE(alone.vehicles()[i].profile, nullptr);
        EXPECT_EQ(expected.answers.size(), STEPS * ANSWERS_PER_STEP);
        EXPECT_TRUE(same_bits(expected.answers, got.answers)) << "vehicle " << i;
        EXPECT_EQ(expected.datagrams.size(), static_cast<std::size_t>(STEPS + STEPS / PLOT_EVERY));
        EXPECT_EQ(expected.datagrams, got.datagrams) << "vehicle " << i;
        EXPECT_EQ(expected.datagrams.front().size(), 76u);
    }
}

TEST(Concurrency, ProfilesBuiltAndReleasedOnSeveralThreadsAtOnce) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int r = 0; r < ROUTES; ++r) {
        paths.push_back(dir.write("route" + std::to_string(r) + ".txt",
                                  korvale_test::route_text(winding_road(r))));
    }
    paths.push_back(dir.path() + "/missing.txt");
    // Reference: the length and the distance column of each route, built alone.
    std::vector<std::vector<double>> expected;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int r = 0; r < ROUTES; ++r) {
        korvale_profile* p = open_route(paths[static_cast<std::size_t>(r)], r);
        std::vector<double> column(static_cast<std::size_t>(get_korvale_rows(p)));
        get_korvale_dist_vec(p, column.data(), static_cast<int32_t>(column.size()));
        column.push_back(get_recomended_speed_at_distance(p, 123.0));
        expected.push_back(column);
        deinitialize_korvale(p);
    }
    std::vector<int> mismatches(THREADS, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                const int r = (t + round) % (ROUTES + 1);
                korvale_profile* p = open_route(paths[static_cast<std::size_t>(r)], r);
                if (r == ROUTES) {
                    mismatches[t] += p != nullptr;
                    continue;
                }
                std::vector<double> column(static_cast<std::size_t>(get_korvale_rows(p)));
                get_korvale_dist_vec(p, column.data(), static_cast<int32_t>(column.size()));
                column.push_back(get_recomended_speed_at_distance(p, 123.0));
                mismatches[t] += !same_bits(column, expected[static_cast<std::size_t>(r)]);
                deinitialize_korvale(p);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(mismatches, std::vector<int>(THREADS, 0));
}

// A log function replaced while another thread prints is no longer called once korvale_set_log
// has returned: a host may free what it handed to it.
TEST(Concurrency, AReplacedLogFunctionIsDoneWithWhenSetLogReturns) {
    struct Taker {
        std::atomic<bool> freed{false};
        std::atomic<int> calls_after_freed{0};
        std::atomic<int> calls{0};
    };
    const auto take = [](int32_t, const char*, void* user) {
        auto* taker = static_cast<Taker*>(user);
        std::this_thread::sleep_for(std::chrono::microseconds(200)); // a slow host
        taker->calls_after_freed += taker->freed.load() ? 1 : 0;
        ++taker->calls;
    };
    constexpr int ROUNDS = 40;
    std::vector<Taker> takers(ROUNDS);
    std::atomic<bool> done{false};
    testing::internal::CaptureStdout();
    std::thread printer([&] {
        while (!done) {
            send_msg(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0); // prints a line
        }
    });
    for (Taker& taker : takers) {
        korvale_set_log(take, &taker);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        korvale_set_log(nullptr, nullptr);
        taker.freed = true;
    }
    done = true;
    printer.join();
    testing::internal::GetCapturedStdout();
    int calls = 0;
    for (const Taker& taker : takers) {
        EXPECT_EQ(taker.calls_after_freed, 0);
        calls += taker.calls;
    }
    EXPECT_GT(calls, 0);
}
