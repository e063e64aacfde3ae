// The one error type of the route layer: a message for the user that names what is wrong and
// where (the map, the road, the position along it).
#pragma once

#include <stdexcept>
#include <string>

namespace korvale::routes {

class RouteError : public std::runtime_error {
public:
    explicit RouteError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace korvale::routes
