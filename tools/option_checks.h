// The checks of the tool's option values, as CLI11 validators that run while the command line
// is parsed. Each refusal reads "OPTION: 'VALUE' is not WHAT" (the value as it was given), and
// the tool ends with it as with any other error: "korvale: error: ..." and exit status 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace korvale_tool {

// A number of 0 or more (infinity too).
CLI::Validator not_negative();
// A finite number of 0 or more.
CLI::Validator finite_not_negative();
// A finite number above 0.
CLI::Validator above_zero();
// A number from low to high; unit (when given) follows the range in the message.
CLI::Validator within(double low, double high, const std::string& unit = "");
// A number as the option reads it (NaN and infinity too: what reads it checks the value).
CLI::Validator number();
// Any number but NaN.
CLI::Validator number_not_nan();
// A whole number as the option reads it.
CLI::Validator whole_number();
// A whole number from low to high.
CLI::Validator whole_within(std::int64_t low, std::int64_t high);
// count numbers separated by commas ("X,Y,Z").
CLI::Validator number_list(std::size_t count);
// One of the names ("a, b or c").
CLI::Validator one_of(const std::vector<std::string>& names);
// HOST:PORT with a port from 1 to 65535.
CLI::Validator host_and_port();

// "3 comma-separated numbers".
std::string number_list_text(std::size_t count);
// "a, b or c".
std::string listed(const std::vector<std::string>& names);

// Prints an error of the command line (a value refused, an option missing or unknown) as the
// tool's other errors, "korvale: error: MESSAGE", and returns the exit status, 1; --help prints
// the help and returns 0.
int command_line_error(const CLI::App& app, const CLI::ParseError& error);

} // namespace korvale_tool
