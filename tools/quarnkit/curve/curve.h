// quarnkit curve: samples a timing function and prints a table, a CSV or an
// SVG plot, so that a spring is tuned by looking at its curve.
//
//   quarnkit curve spring --param damping=8 --param stiffness=120 --format svg -o spring.svg
//   quarnkit curve easeInOut --samples 11
//   quarnkit curve keyvalues --param values=0,10,30 --param function=spring
//
// Curves: linear, easeIn, easeOut, easeInOut; spring (damping, mass,
// stiffness, velocity; the library's defaults otherwise); keyvalues (values:
// key values separated by commas; function: any of the others, with the
// spring's parameters when it is the spring). Time runs from 0 to 1 in
// `samples` evenly spaced steps, both ends included.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarn::tool {

enum class CurveFormat { text, csv, svg };

struct CurveOptions {
  std::string name;
  /// "KEY=VALUE" parameters.
  std::vector<std::string> params;
  std::size_t samples = 101;
  CurveFormat format = CurveFormat::text;
  std::optional<std::string> output;
};

/// The curve names, in the order help lists them.
const std::vector<std::string>& curveNames();

/// A curve ready to sample: its title, its function and the values it
/// starts from and settles at (0 and 1 for timing functions).
struct Curve {
  std::string title;
  std::function<double(double)> function;
  double start = 0;
  double end = 1;
  /// The parameter whose numbers the values scale with ("values" for key
  /// values), named when a value leaves the range of numbers.
  std::string scaledBy;
};

/// The curve `name` with `params` (numbers as readNumber() takes them);
/// std::invalid_argument saying what is wrong with an unknown name or
/// parameter, a malformed or repeated one, a number that is not finite,
/// missing key values, or spring values the library refuses (naming the
/// parameters to change).
Curve makeCurve(const std::string& name, const std::vector<std::string>& params);

struct CurveSample {
  double t = 0;
  double value = 0;
};

/// `count` (at least 2) samples from t = 0 to t = 1; std::invalid_argument
/// when a value is not a finite number (naming `scaledBy`).
std::vector<CurveSample> sampleCurve(const Curve& curve, std::size_t count);

/// The table: a summary line and one line per sample, values with six
/// decimals or, for a curve of values from a million up or below a
/// thousandth, in exponent notation, so no line outgrows the table.
std::string renderCurveText(const Curve& curve, const std::vector<CurveSample>& samples);
std::string renderCurveCSV(const std::vector<CurveSample>& samples);
/// A 640 x 400 plot: axes with titles and round ticks (1, 2 or 5 times a
/// power of ten), dashed lines at the start and end values, the extremes
/// beyond them labelled, and the curve as one polyline, over a value range
/// that takes in any overshoot. Margins grow with the labels, so every label
/// stays on the canvas whatever the values. The plot group carries its frame
/// and ranges as data- attributes.
std::string renderCurveSVG(const Curve& curve, const std::vector<CurveSample>& samples);

/// The document the options ask for.
std::string curveDocument(const CurveOptions& options);
/// Writes it; OutputError when that fails.
int runCurve(const CurveOptions& options);

}  // namespace quarn::tool
