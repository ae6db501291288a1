// A sweep: the pmsm scenario over a grid of final speed, flux linkage,
// torque current and ramp time, each cell run on a fresh block and
// classified by how well the estimates follow the machine over the run's
// last 0.1 s.  Whichever process runs a cell, this is the code that names
// its class and writes its row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tracking.h"

namespace quarlin_sim {

// Values of one swept parameter, from "a,b,c" or "start:stop:step" (stop
// included when the steps reach it; a negative step counts down).  A single
// number is a list of one.  Throws a usage Failure naming `option` when
// the text is neither.
std::vector<double> parseAxis(std::string_view option, std::string_view text);

// The scenario values of one cell; the hold time is the scenario's default.
struct SweepCell {
    double rpm = 0.0;   // final mechanical speed, rev/min
    double psi = 0.0;   // flux linkage, V*s
    double iq = 0.0;    // torque current, A
    double ramp = 0.0;  // s from standstill to the final speed
};

// The cells of the grid in grid order: speed varies slowest, then flux
// linkage, torque current and ramp time, which varies fastest.
std::vector<SweepCell> gridCells(std::span<const double> rpm, std::span<const double> psi,
                                 std::span<const double> iq, std::span<const double> ramp);

// The largest grid a sweep takes: a row is about 60 bytes, so a grid this
// large is about 60 MB of CSV.
inline constexpr size_t kMaxSweepCells = 1000000;

// A cell tracks when, over the tracking window, the largest angle error is
// below `angle` and the largest speed error below the speed tolerance.
struct Tolerances {
    double angle = 0.05;  // rad
    // Either a fixed speed error in rpm, or a percentage of each cell's
    // final speed, but never below 1 rpm.
    double speed = 1.0;
    bool speedInPercent = true;

    double speedFor(double rpm) const;
    // The options that give a worker these tolerances, to the bit.
    std::vector<std::string> arguments() const;
};
// "--speed-tol": "RPM" or "PERCENT%".
Tolerances parseTolerances(std::optional<std::string> angle, std::optional<std::string> speed);

enum class CellClass { tracks, losesLock, diverges };
const char* className(CellClass cellClass);

CellClass classify(const Tracking& tracking, double rpm, const Tolerances& tolerances);

// The CSV: the header line, and a cell's row: its parameters, class, both
// largest errors (empty when no finite output counted), and the step at
// which an output first became non-finite (empty when none did).  Every
// number in its shortest round-trip form; each line ends in '\n'.
std::string sweepHeader();
// "rpm,psi,iq,ramp" of a cell: the start of its row, and its text in --cells.
std::string cellText(const SweepCell& cell);
std::string sweepRow(const SweepCell& cell, const Tracking& tracking, const Tolerances& tolerances);
// The class field of a row written by sweepRow; empty for a malformed row.
std::string_view rowClass(std::string_view row);

// "--cells": cells as "rpm,psi,iq,ramp;rpm,psi,iq,ramp;...".
std::string cellsText(std::span<const SweepCell> cells);
std::vector<SweepCell> parseCells(std::string_view text);

}  // namespace quarlin_sim
