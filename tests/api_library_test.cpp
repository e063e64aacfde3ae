// What a host relies on besides profiles and links, through the shared library: the message of
// the last failure, the log function, the version, and the library's tables of presets and
// models.
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "korvale.h"
#include "support/temp_dir.h"

namespace {

std::string last_error() {
    char text[512];
    const size_t length = korvale_last_error(text, sizeof text);
    EXPECT_EQ(length, std::strlen(text));
    return text;
}

// Collects the lines as "level line".
void collect(int32_t level, const char* line, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(std::to_string(level) + " " + line);
}

} // namespace

TEST(LastError, EachFailureLeavesItsLastLineAndASuccessClearsIt) {
    korvale_test::TempDir dir;
    const std::string route = dir.write("route.txt", "0 0 0 1e4 50 0\n10 0 0 1e4 50 0\n");
    const std::string missing = dir.path() + "/missing.txt";
    korvale_vehicle heavy;
    ASSERT_EQ(korvale_vehicle_preset("truck", &heavy), 1);
    heavy.vehicle_mass = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();

    EXPECT_EQ(korvale_load_vehicle(route.c_str(), &heavy, KORVALE_MODEL_ECO), nullptr);
    EXPECT_EQ(last_error(),
              "korvale_load_vehicle: vehicle refused: vehicle_mass -1 is not above 0");
    // Queries, null handles and the other exports leave it alone.
    EXPECT_EQ(get_korvale_rows(nullptr), -1);
    send_msg(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0);
    korvale_vehicle_preset("plane", &heavy);
    EXPECT_EQ(last_error(),
              "korvale_load_vehicle: vehicle refused: vehicle_mass -1 is not above 0");
    // Another thread has a message of its own.
    std::string other = "unset";
    std::thread([&] { other = last_error(); }).join();
    EXPECT_EQ(other, "");

    EXPECT_EQ(korvale_load(missing.c_str(), 0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0), nullptr);
    EXPECT_EQ(last_error(), "Can not load file for Korvale");
    char small[5] = "????";
    EXPECT_EQ(korvale_last_error(small, sizeof small),
              std::strlen("Can not load file for Korvale"));
    EXPECT_STREQ(small, "Can ");
    korvale_profile* profile =
        korvale_load(route.c_str(), 0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0);
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(last_error(), "");
    deinitialize_korvale(profile);

    // A link whose host cannot be resolved is returned, but says so (not "": Windows resolves the
    // empty name to the local host).
    korvale_link* failed = init_com(9, "no-such-host.invalid", 0, 0);
    EXPECT_EQ(korvale_link_is_open(failed), 0);
    EXPECT_EQ(last_error().rfind("gethostbyname() failed: ", 0), 0u) << last_error();
    send_msg(failed, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, 0); // sends nothing, fails at nothing
    EXPECT_EQ(last_error(), "");
    close_com(failed);

    korvale_link* link = init_com(9, "127.0.0.1", 0, 0);
    EXPECT_EQ(korvale_link_is_open(link), 1);
    EXPECT_EQ(last_error(), "");
    const std::vector<double> too_many(9000, 1.0);
    send_msg_plot(link, too_many.data(), nullptr, too_many.size(), 0, 1.0);
    EXPECT_EQ(last_error().rfind("sendto() failed; ", 0), 0u) << last_error();
    close_com(link);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    if (HasFailure()) {
        std::cout << out << err; // the failures' own lines were captured with the library's
    }
}

TEST(Log, AFunctionTakesEveryLineAndNullRestoresTheStreamsByteForByte) {
    korvale_test::TempDir dir;
    const std::string missing = dir.path() + "/missing.txt";
    const auto load_missing = [&] {
        return korvale_load(missing.c_str(), 0.3, 2.3, 1.293, 1644, 9.81, 0.015, 0, 0);
    };
    std::vector<std::string> lines;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    korvale_set_log(collect, &lines);
    EXPECT_EQ(load_missing(), nullptr);
    korvale_set_log(nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "0 === KORVALE_DLL Library === (START)",
                         "1 Can't open output file " + missing + "!",
                         "0 [KORVALE_DLL] data parser FAILED reading file " + missing,
                         "0 [KORVALE_DLL] '" + missing + "' data parser has -1 rows",
                         "0 Can not load file for Korvale",
                     }));

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(load_missing(), nullptr);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "=== KORVALE_DLL Library === (START)\n[KORVALE_DLL] data parser FAILED reading file " +
            missing + "\n[KORVALE_DLL] '" + missing +
            "' data parser has -1 rows\nCan not load file for Korvale");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't open output file " + missing + "!\n");
    EXPECT_EQ(lines.size(), 5u);

    // A log function may call the library: the failure of its call is not the one it logs.
    korvale_set_log(
        [](int32_t, const char* line, void*) {
            if (std::strcmp(line, "Can not load file for Korvale") == 0) {
                korvale_load_vehicle(nullptr, nullptr, KORVALE_MODEL_ECO);
            }
        },
        nullptr);
    EXPECT_EQ(load_missing(), nullptr);
    korvale_set_log(nullptr, nullptr);
    EXPECT_EQ(last_error(), "Can not load file for Korvale");
}

TEST(LibraryTables, VersionPresetsAndModelNames) {
    EXPECT_EQ(korvale_version(), KORVALE_VERSION);
    EXPECT_EQ(KORVALE_VERSION, KORVALE_VERSION_MAJOR * 1000000 + KORVALE_VERSION_MINOR * 1000 +
                                   KORVALE_VERSION_PATCH);

    std::vector<std::string> presets;
    for (int32_t i = 0; korvale_vehicle_preset_name(i) != nullptr; ++i) {
        presets.emplace_back(korvale_vehicle_preset_name(i));
    }
    EXPECT_EQ(presets, (std::vector<std::string>{"car", "van", "truck", "bus"}));
    EXPECT_EQ(korvale_vehicle_preset_name(-1), nullptr);
    korvale_vehicle car, preset;
    std::memset(&car, 0, sizeof car); // the padding after size too, for the comparison below
    std::memset(&preset, 0, sizeof preset);
    korvale_default_vehicle(&car);
    ASSERT_EQ(korvale_vehicle_preset("car", &preset), 1);
    EXPECT_EQ(std::memcmp(&car, &preset, sizeof car), 0);
    ASSERT_EQ(korvale_vehicle_preset("truck", &preset), 1);
    EXPECT_EQ(preset.size, sizeof(korvale_vehicle));
    EXPECT_GT(preset.vehicle_mass, 10 * car.vehicle_mass);
    EXPECT_EQ(preset.gravity, car.gravity);
    EXPECT_EQ(korvale_vehicle_preset("bus", nullptr), 1);
    EXPECT_EQ(korvale_vehicle_preset("Truck", &preset), 0);
    EXPECT_EQ(korvale_vehicle_preset(nullptr, &preset), 0);

    for (int32_t model : {KORVALE_MODEL_DEFAULT, KORVALE_MODEL_PARAMETERISED, KORVALE_MODEL_ECO,
                          KORVALE_MODEL_PREDICTIVE}) {
        ASSERT_NE(korvale_model_name(model), nullptr);
        EXPECT_EQ(korvale_model_from_name(korvale_model_name(model)), model);
    }
    EXPECT_STREQ(korvale_model_name(KORVALE_MODEL_ECO), "eco");
    EXPECT_STREQ(korvale_model_name(KORVALE_MODEL_PREDICTIVE), "predictive");
    EXPECT_EQ(korvale_model_name(4), nullptr);
    EXPECT_EQ(korvale_model_from_name("fast"), -1);
    EXPECT_EQ(korvale_model_from_name(nullptr), -1);
}
