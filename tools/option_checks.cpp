#include "option_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>

#include "commands.h"
#include "json_forwarder.h"
#include "tool_output.h"

namespace korvale_tool {

namespace {

// "'VALUE' is not WHAT" unless the value (read as the option reads it) passes the test.
template <typename Number>
CLI::Validator check(std::string what, std::function<bool(Number)> passes) {
    return CLI::Validator(
        [what, passes](std::string& text) {
            Number value{};
            if (CLI::detail::lexical_cast(text, value) && passes(value)) {
                return std::string();
            }
            return "'" + text + "' is not " + what;
        },
        what);
}

std::string number_text(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

CLI::Validator not_negative() {
    return check<double>("0 or more", [](double v) { return v >= 0.0; });
}

CLI::Validator finite_not_negative() {
    return check<double>("a finite number of 0 or more",
                         [](double v) { return v >= 0.0 && std::isfinite(v); });
}

CLI::Validator above_zero() {
    return check<double>("a finite number above 0",
                         [](double v) { return v > 0.0 && std::isfinite(v); });
}

CLI::Validator within(double low, double high, const std::string& unit) {
    return check<double>(number_text(low) + " to " + number_text(high) +
                             (unit.empty() ? "" : " " + unit),
                         [low, high](double v) { return v >= low && v <= high; });
}

CLI::Validator number() {
    return check<double>("a number", [](double) { return true; });
}

CLI::Validator number_not_nan() {
    return check<double>("a number", [](double v) { return !std::isnan(v); });
}

CLI::Validator whole_number() {
    return check<std::int64_t>("a whole number", [](std::int64_t) { return true; });
}

CLI::Validator whole_within(std::int64_t low, std::int64_t high) {
    return check<std::int64_t>("a whole number from " + std::to_string(low) + " to " +
                                   std::to_string(high),
                               [low, high](std::int64_t v) { return v >= low && v <= high; });
}

CLI::Validator number_list(std::size_t count) {
    return check<std::string>(number_list_text(count), [count](const std::string& text) {
        return read_number_list(text, count).has_value();
    });
}

CLI::Validator one_of(const std::vector<std::string>& names) {
    return check<std::string>(listed(names), [names](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    });
}

CLI::Validator host_and_port() {
    return check<std::string>(
        HOST_PORT, [](const std::string& text) { return read_host_port(text).has_value(); });
}

std::string number_list_text(std::size_t count) {
    return std::to_string(count) + " comma-separated numbers";
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return text;
}

int command_line_error(const CLI::App& app, const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app.exit(error); // --help
    }
    return report_error(error.what());
}

} // namespace korvale_tool
