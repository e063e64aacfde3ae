// Records that hold from their start s onwards (geometry, lane sections, speed records), and
// the cubic polynomials in ds = s - start that OpenDRIVE uses for elevation, superelevation,
// lane offset and lane width.
#pragma once

#include <algorithm>
#include <vector>

namespace korvale::routes {

// Where a record starts along the road (records with another shape overload it).
template <class Record>
double record_start(const Record& record) {
    return record.s;
}

// The record in force at s in records sorted by start: the last one that starts at or before
// s; null when s lies before the first (or there is none).
template <class Record>
const Record* record_in_force(const std::vector<Record>& records, double s) {
    const auto after =
        std::upper_bound(records.begin(), records.end(), s,
                         [](double at, const Record& r) { return at < record_start(r); });
    return after == records.begin() ? nullptr : &*(after - 1);
}

// Sorts records by start, keeping the map's order among records that start at the same s.
// Starts must be numbers (not NaN).
template <class Record>
void sort_by_start(std::vector<Record>& records) {
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return record_start(a) < record_start(b);
    });
}

// a + b ds + c ds^2 + d ds^3 from s onwards.
struct Cubic {
    double s = 0.0;
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
};

// A value and its first and second derivative with respect to s.
struct CubicValue {
    double value = 0.0;
    double first = 0.0;
    double second = 0.0;
};

// A piecewise cubic: the record in force at s gives the value; where none is in force (before
// the first record, or no record at all) the value and its derivatives are 0.
class CubicRecords {
public:
    CubicRecords() = default;
    explicit CubicRecords(std::vector<Cubic> given) : records(std::move(given)) {
        sort_by_start(records);
    }

    CubicValue at(double s) const { return value_of(record_in_force(records, s), s); }

    // The same with the record in force just before s: one that starts exactly at s is not
    // yet in force (unless no record starts before s).
    CubicValue just_before(double s) const {
        const auto first_at = std::lower_bound(records.begin(), records.end(), s,
                                               [](const Cubic& r, double at) { return r.s < at; });
        return first_at == records.begin() ? at(s) : value_of(&*(first_at - 1), s);
    }

    bool empty() const { return records.empty(); }

private:
    static CubicValue value_of(const Cubic* r, double s) {
        if (r == nullptr) {
            return {};
        }
        const double ds = s - r->s;
        return {r->a + ds * (r->b + ds * (r->c + ds * r->d)),
                r->b + ds * (2 * r->c + ds * 3 * r->d), 2 * r->c + ds * 6 * r->d};
    }

    std::vector<Cubic> records;
};

} // namespace korvale::routes
