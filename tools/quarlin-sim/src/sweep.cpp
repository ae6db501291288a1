#include "sweep.h"

#include <cmath>
#include <cstdio>

#include "failure.h"
#include "floats.h"

namespace quarlin_sim {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

std::string numberText(double value) {
    char text[kMaxNumberText];
    return std::string(text, writeDouble(text, value));
}

double finiteNumber(std::string_view option, std::string_view whole, std::string_view part) {
    const auto value = readDouble(part);
    if (!value) usageFail(std::string(option) + ": \"" + std::string(part) + "\" in \"" + std::string(whole) + "\" is not a number");
    if (!std::isfinite(*value)) usageFail(std::string(option) + ": every value must be finite");
    return *value;
}

// start + i*step carries the rounding of every binary step ("0.1:0.3:0.1"
// gives 0.30000000000000004); the value the user meant is the one with
// twelve significant digits when that is within a billionth of a step.
double rangeValue(double start, double step, size_t i) {
    if (i == 0) return start;
    const double raw = start + static_cast<double>(i) * step;
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", raw);
    const auto tidy = readDouble(text);
    return tidy && std::abs(*tidy - raw) <= 1e-9 * std::abs(step) ? *tidy : raw;
}

}  // namespace

std::vector<double> parseAxis(std::string_view option, std::string_view text) {
    const std::string name(option);
    std::vector<double> values;
    if (text.find(':') != std::string_view::npos) {
        const auto parts = split(text, ':');
        if (parts.size() != 3) usageFail(name + ": \"" + std::string(text) + "\" is not start:stop:step");
        const double start = finiteNumber(option, text, parts[0]);
        const double stop = finiteNumber(option, text, parts[1]);
        const double step = finiteNumber(option, text, parts[2]);
        if (step == 0.0) usageFail(name + ": the step of \"" + std::string(text) + "\" is zero");
        const double count = std::floor((stop - start) / step + 1e-9) + 1.0;
        if (count < 1.0) usageFail(name + ": \"" + std::string(text) + "\" steps away from its stop");
        if (!(count <= static_cast<double>(kMaxSweepCells))) {
            usageFail(name + ": \"" + std::string(text) + "\" has more than " + std::to_string(kMaxSweepCells) + " values");
        }
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) values.push_back(rangeValue(start, step, i));
        return values;
    }
    for (std::string_view part : split(text, ',')) values.push_back(finiteNumber(option, text, part));
    return values;
}

std::vector<SweepCell> gridCells(std::span<const double> rpm, std::span<const double> psi,
                                 std::span<const double> iq, std::span<const double> ramp) {
    double size = 1.0;
    for (size_t n : {rpm.size(), psi.size(), iq.size(), ramp.size()}) size *= static_cast<double>(n);
    if (size > static_cast<double>(kMaxSweepCells)) {
        usageFail("the grid has " + numberText(size) + " cells, more than " + std::to_string(kMaxSweepCells));
    }
    std::vector<SweepCell> cells;
    cells.reserve(static_cast<size_t>(size));
    for (double r : rpm) {
        for (double p : psi) {
            for (double i : iq) {
                for (double t : ramp) cells.push_back({r, p, i, t});
            }
        }
    }
    return cells;
}

double Tolerances::speedFor(double rpm) const {
    return speedInPercent ? std::max(speed / 100.0 * std::abs(rpm), 1.0) : speed;
}

std::vector<std::string> Tolerances::arguments() const {
    return {"--angle-tol", numberText(angle), "--speed-tol", numberText(speed) + (speedInPercent ? "%" : "")};
}

Tolerances parseTolerances(std::optional<std::string> angle, std::optional<std::string> speed) {
    Tolerances tolerances;
    if (angle) {
        tolerances.angle = finiteNumber("--angle-tol", *angle, *angle);
        if (tolerances.angle <= 0.0) usageFail("--angle-tol must be above 0");
    }
    if (speed) {
        std::string_view text = *speed;
        tolerances.speedInPercent = !text.empty() && text.back() == '%';
        if (tolerances.speedInPercent) text.remove_suffix(1);
        tolerances.speed = finiteNumber("--speed-tol", *speed, text);
        if (tolerances.speed <= 0.0) usageFail("--speed-tol must be above 0");
    }
    return tolerances;
}

const char* className(CellClass cellClass) {
    switch (cellClass) {
        case CellClass::tracks: return "tracks";
        case CellClass::losesLock: return "loses-lock";
        case CellClass::diverges: return "diverges";
    }
    return "";
}

CellClass classify(const Tracking& tracking, double rpm, const Tolerances& tolerances) {
    if (tracking.divergedAt()) return CellClass::diverges;
    const bool within = tracking.counted() > 0 && tracking.largestAngleError() < tolerances.angle &&
                        tracking.largestSpeedError() < tolerances.speedFor(rpm);
    return within ? CellClass::tracks : CellClass::losesLock;
}

std::string sweepHeader() { return "rpm,psi,iq,ramp,class,angle_error,speed_error_rpm,diverged_at_step\n"; }

std::string cellText(const SweepCell& cell) {
    return numberText(cell.rpm) + ',' + numberText(cell.psi) + ',' + numberText(cell.iq) + ',' + numberText(cell.ramp);
}

std::string sweepRow(const SweepCell& cell, const Tracking& tracking, const Tolerances& tolerances) {
    std::string row = cellText(cell) + ',' + className(classify(tracking, cell.rpm, tolerances)) + ',';
    if (tracking.counted() > 0) {
        row += numberText(tracking.largestAngleError()) + ',' + numberText(tracking.largestSpeedError());
    } else {
        row += ',';
    }
    row += ',';
    if (auto step = tracking.divergedAt()) row += std::to_string(*step);
    return row + '\n';
}

std::string_view rowClass(std::string_view row) {
    const auto fields = split(row, ',');
    return fields.size() > 4 ? fields[4] : std::string_view();
}

std::string cellsText(std::span<const SweepCell> cells) {
    std::string text;
    for (const auto& cell : cells) {
        if (!text.empty()) text += ';';
        text += cellText(cell);
    }
    return text;
}

std::vector<SweepCell> parseCells(std::string_view text) {
    std::vector<SweepCell> cells;
    for (std::string_view part : split(text, ';')) {
        const auto values = split(part, ',');
        if (values.size() != 4) usageFail("--cells: \"" + std::string(part) + "\" is not rpm,psi,iq,ramp");
        cells.push_back({finiteNumber("--cells", part, values[0]), finiteNumber("--cells", part, values[1]),
                         finiteNumber("--cells", part, values[2]), finiteNumber("--cells", part, values[3])});
    }
    if (cells.size() > kMaxSweepCells) usageFail("--cells: more than " + std::to_string(kMaxSweepCells) + " cells");
    return cells;
}

}  // namespace quarlin_sim
