#include "tools/quarnkit/curve/curve.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/interpolator.h"
#include "quarnkit/animation/spring_interpolation.h"
#include "tools/quarnkit/common/numbers.h"
#include "tools/quarnkit/common/output.h"

namespace quarn::tool {

namespace {

[[noreturn]] void fail(const std::string& message) { throw std::invalid_argument(message); }

const std::map<std::string, BasicInterpolation>& easings() {
  static const std::map<std::string, BasicInterpolation> e{
      {"linear", BasicInterpolation::linear},
      {"easeIn", BasicInterpolation::easeIn},
      {"easeOut", BasicInterpolation::easeOut},
      {"easeInOut", BasicInterpolation::easeInOut}};
  return e;
}

double parseNumber(const std::string& key, const std::string& text) {
  const auto value = readNumber(text);
  if (!value) fail(fmt::format("{}: expected a finite number, not \"{}\"", key, text));
  return *value;
}

// KEY=VALUE pairs, each key once and among `allowed`.
std::map<std::string, std::string> parseParams(const std::string& curve,
                                               const std::vector<std::string>& params,
                                               const std::vector<std::string>& allowed) {
  std::map<std::string, std::string> out;
  for (const std::string& param : params) {
    const auto eq = param.find('=');
    if (eq == std::string::npos || eq == 0) {
      fail(fmt::format("expected a parameter KEY=VALUE, not \"{}\"", param));
    }
    std::string key = param.substr(0, eq);
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
      fail(allowed.empty()
               ? fmt::format("{} takes no parameters, not \"{}\"", curve, key)
               : fmt::format("{} takes {}, not \"{}\"", curve, fmt::join(allowed, ", "), key));
    }
    if (!out.emplace(key, param.substr(eq + 1)).second) fail(key + " is given twice");
  }
  return out;
}

double numberOr(const std::map<std::string, std::string>& params, const std::string& key,
                double fallback) {
  const auto it = params.find(key);
  return it == params.end() ? fallback : parseNumber(key, it->second);
}

const std::vector<std::string> kSpringParams{"damping", "mass", "stiffness", "velocity"};

std::shared_ptr<SpringInterpolation> makeSpring(const std::map<std::string, std::string>& p,
                                                std::string& title) {
  const SpringInterpolation defaults;
  const double damping = numberOr(p, "damping", defaults.damping());
  const double mass = numberOr(p, "mass", defaults.mass());
  const double stiffness = numberOr(p, "stiffness", defaults.stiffness());
  const double velocity = numberOr(p, "velocity", defaults.velocity());
  const std::string values =
      fmt::format("(damping {}, mass {}, stiffness {})", damping, mass, stiffness);
  if (!SpringInterpolation::areValid(damping, mass, stiffness)) {
    // Name what the user can change: the parameters that are not positive,
    // or else those given whose default alone would make the spring usable
    // (with the default damping, a mass of 1e-300 overflows its rates).
    const std::array<const char*, 3> names{"damping", "mass", "stiffness"};
    const std::array<double, 3> given{damping, mass, stiffness};
    const std::array<double, 3> fallbacks{defaults.damping(), defaults.mass(),
                                          defaults.stiffness()};
    std::vector<std::string> culprits;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!(given[i] > 0)) culprits.emplace_back(names[i]);
    }
    if (!culprits.empty()) {
      fail(fmt::format(
          "{}: Incorrect animation values: damping, mass and stiffness must be positive {}",
          fmt::join(culprits, ", "), values));
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::array<double, 3> changed = given;
      changed[i] = fallbacks[i];
      if (p.count(names[i]) && SpringInterpolation::areValid(changed[0], changed[1], changed[2])) {
        culprits.emplace_back(names[i]);
      }
    }
    if (culprits.empty()) {  // only together: name all that were given
      for (const char* name : names) {
        if (p.count(name)) culprits.emplace_back(name);
      }
    }
    fail(fmt::format(
        "{}: Incorrect animation values: the curve is not a finite number with these values {}",
        fmt::join(culprits, ", "), values));
  }
  auto spring = std::make_shared<SpringInterpolation>(damping, velocity, mass, stiffness);
  if (!spring->isValid()) {
    fail(
        fmt::format("velocity: Incorrect animation values: the velocity carries the spring beyond "
                    "the range of numbers (velocity {})",
                    velocity));
  }
  title = fmt::format("spring damping={} mass={} stiffness={} velocity={}", damping, mass,
                      stiffness, velocity);
  return spring;
}

std::vector<double> parseValues(const std::string& text) {
  std::vector<double> values;
  std::size_t from = 0;
  for (;;) {
    const auto comma = text.find(',', from);
    values.push_back(parseNumber("values", text.substr(from, comma - from)));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return values;
}

Curve makeKeyValues(const std::vector<std::string>& params) {
  std::vector<std::string> allowed{"values", "function"};
  allowed.insert(allowed.end(), kSpringParams.begin(), kSpringParams.end());
  const auto p = parseParams("keyvalues", params, allowed);
  const auto values = p.find("values");
  if (values == p.end()) fail("keyvalues needs values=V,V,... (at least one number)");
  const std::vector<double> keys = parseValues(values->second);
  const std::string functionName = p.count("function") ? p.at("function") : "linear";
  TimingFunction function;
  std::string functionTitle = functionName;
  if (functionName == "spring") {
    function = makeSpring(p, functionTitle);
  } else if (auto easing = easings().find(functionName); easing != easings().end()) {
    for (const auto& key : kSpringParams) {
      if (p.count(key)) fail(fmt::format("{} applies to function=spring only", key));
    }
    function = easing->second;
  } else {
    fail(fmt::format("function: expected linear, easeIn, easeOut, easeInOut or spring, not \"{}\"",
                     functionName));
  }
  auto interpolator = std::make_shared<Interpolator<double>>(keys, std::move(function));
  return {fmt::format("keyvalues values={} function={}", fmt::join(keys, ","), functionTitle),
          [interpolator](double t) { return interpolator->interpolateValue(t); }, keys.front(),
          keys.back(), "values"};
}

struct Extremes {
  CurveSample min, max;
};

Extremes extremes(const std::vector<CurveSample>& samples) {
  Extremes e{samples.front(), samples.front()};
  for (const auto& s : samples) {
    if (s.value < e.min.value) e.min = s;
    if (s.value > e.max.value) e.max = s;
  }
  return e;
}

// How far the curve goes beyond its end value, as a fraction of its travel.
double overshoot(const Curve& curve, const Extremes& e) {
  const double travel = curve.end - curve.start;
  if (travel > 0) return std::max(0.0, (e.max.value - curve.end) / travel);
  if (travel < 0) return std::max(0.0, (e.min.value - curve.end) / travel);
  return 0;
}

// Whether numbers up to `largest` in size read better in exponent notation:
// from a million on they outgrow a column, below a thousandth six places
// round them to nothing.
bool needsExponent(double largest) { return largest >= 1e6 || (largest > 0 && largest < 1e-3); }

std::string number(double v, int decimals, bool exponent) {
  return exponent ? fmt::format("{:.{}e}", v, decimals) : fmt::format("{:.{}f}", v, decimals);
}

// A label's width in the plot's 12-pixel sans-serif font, a little more than
// digits, signs and lower-case letters take.
constexpr double kCharWidth = 7;
double labelWidth(std::string_view text) { return kCharWidth * static_cast<double>(text.size()); }

// An axis's ticks: the multiples of a round step (1, 2 or 5 times a power of
// ten) from `low` to `high`, about `intervals` steps apart in all, each with
// its label. The labels show the step's decimals, or exponent notation with
// the digits that tell the ticks apart when that is shorter. No ticks (and a
// step of 0) when no such step is a number.
struct Tick {
  double value = 0;
  std::string label;
};
struct Axis {
  double step = 0;
  int stepDigit = 0;  // the power of ten of the step's leading digit
  std::vector<Tick> ticks;

  // A value between the ticks, to four more digits than the step's.
  [[nodiscard]] std::string label(double v) const {
    if (ticks.empty() || v == 0) return fmt::format("{:.6g}", v);
    const int digits = static_cast<int>(std::floor(std::log10(std::fabs(v)))) - stepDigit + 4;
    return fmt::format("{:.{}g}", v, std::clamp(digits, 1, 17));
  }
};

Axis niceAxis(double low, double high, int intervals) {
  // The span's logarithm, without forming the span (which may overflow).
  const double rough = std::log10(high / 4 - low / 4) + std::log10(4.0 / intervals);
  const double power = std::floor(rough);
  const double fraction = std::pow(10.0, rough - power);
  const double round = fraction < 1.5 ? 1 : fraction < 3 ? 2 : fraction < 7 ? 5 : 10;
  const double step = round * std::pow(10.0, power);
  if (!(step > 0) || !std::isfinite(step)) return {};
  const double first = std::ceil(low / step - 1e-9), last = std::floor(high / step + 1e-9);
  if (!(last >= first && last - first <= 4.0 * intervals)) return {};
  Axis axis{step, static_cast<int>(std::floor(std::log10(step) + 1e-9)), {}};
  double largest = 0;
  for (double i = first; i <= last; ++i) {
    const double value = i * step + 0.0;  // no -0
    axis.ticks.push_back({value, ""});
    largest = std::max(largest, std::fabs(value));
  }
  const int decimals = std::max(0, -axis.stepDigit);
  const int digits =
      std::clamp(static_cast<int>(std::floor(std::log10(largest) + 1e-9)) - axis.stepDigit, 0, 16);
  const bool exponent = fmt::format("{:.{}e}", largest, digits).size() <
                        fmt::format("{:.{}f}", largest, decimals).size();
  for (Tick& tick : axis.ticks) {
    tick.label = exponent && tick.value == 0
                     ? "0"
                     : number(tick.value, exponent ? digits : decimals, exponent);
  }
  return axis;
}

}  // namespace

const std::vector<std::string>& curveNames() {
  static const std::vector<std::string> names{"linear",    "easeIn", "easeOut",
                                              "easeInOut", "spring", "keyvalues"};
  return names;
}

Curve makeCurve(const std::string& name, const std::vector<std::string>& params) {
  if (auto easing = easings().find(name); easing != easings().end()) {
    parseParams(name, params, {});
    const BasicInterpolation f = easing->second;
    return {name, [f](double t) { return f(t); }, 0, 1, ""};
  }
  if (name == "spring") {
    std::string title;
    auto spring = makeSpring(parseParams(name, params, kSpringParams), title);
    return {title, [spring](double t) { return (*spring)(t); }, 0, 1, ""};
  }
  if (name == "keyvalues") return makeKeyValues(params);
  fail(fmt::format("unknown curve \"{}\" (expected {})", name, fmt::join(curveNames(), ", ")));
}

std::vector<CurveSample> sampleCurve(const Curve& curve, std::size_t count) {
  if (count < 2) fail("at least 2 samples are needed");
  std::vector<CurveSample> samples;
  samples.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(count - 1);
    const double value = curve.function(t);
    if (!std::isfinite(value)) {
      fail(fmt::format("{}{}the curve is not a finite number at t = {}", curve.scaledBy,
                       curve.scaledBy.empty() ? "" : ": ", t));
    }
    samples.push_back({t, value});
  }
  return samples;
}

std::string renderCurveText(const Curve& curve, const std::vector<CurveSample>& samples) {
  const Extremes e = extremes(samples);
  const bool exponent = needsExponent(std::max(std::fabs(e.min.value), std::fabs(e.max.value)));
  std::string out =
      fmt::format("{}\n{} samples from t = 0 to t = 1\n", curve.title, samples.size());
  out += fmt::format("min {} at t = {:.6f}, max {} at t = {:.6f}", number(e.min.value, 6, exponent),
                     e.min.t, number(e.max.value, 6, exponent), e.max.t);
  // As a percentage of the travel; a far one (a huge velocity) in times.
  const double over = overshoot(curve, e);
  out += over >= 1e4 ? fmt::format(", overshoot {:.2e} times the travel\n\n", over)
         : over > 0  ? fmt::format(", overshoot {:.2f}%\n\n", over * 100)
                     : ", no overshoot\n\n";
  out += fmt::format("{:>10}  {:>14}\n", "t", "value");
  for (const auto& s : samples) {
    out += fmt::format("{:>10.6f}  {:>14}\n", s.t, number(s.value, 6, exponent));
  }
  return out;
}

std::string renderCurveCSV(const std::vector<CurveSample>& samples) {
  std::string out = "t,value\n";
  for (const auto& s : samples) out += fmt::format("{},{}\n", s.t, s.value);
  return out;
}

// The title is made of curve and parameter names and numbers only, so it
// needs no escaping.
std::string renderCurveSVG(const Curve& curve, const std::vector<CurveSample>& samples) {
  constexpr double kWidth = 640, kHeight = 400, kTop = 40, kPlotHeight = 310;
  constexpr double kBottom = kTop + kPlotHeight;
  // Room between the frame and the highest and lowest values, for the max
  // and min labels.
  constexpr double kRoom = 24;
  const Extremes e = extremes(samples);
  double low = std::min({curve.start, curve.end, e.min.value});
  double high = std::max({curve.start, curve.end, e.max.value});
  // Halves throughout: the difference of two finite numbers may not be one.
  const double halfSpan = high / 2 - low / 2;
  const double pad = halfSpan > 0 ? halfSpan * (2 * kRoom / (kPlotHeight - 2 * kRoom))
                                  : std::max(0.5, std::fabs(high) * 0.05);
  low = std::max(low - pad, std::numeric_limits<double>::lowest());
  high = std::min(high + pad, std::numeric_limits<double>::max());

  const Axis xAxis = niceAxis(0, 1, 5);
  const Axis yAxis = niceAxis(low, high, 5);
  std::vector<std::pair<double, std::string>> references{
      {curve.start, fmt::format("{}", curve.start)}};
  if (curve.end != curve.start) references.emplace_back(curve.end, fmt::format("{}", curve.end));
  // The margins grow with the labels: the value axis's title, its tick
  // labels, the plot, the labels of the start and end values.
  double widest = 0;
  for (const Tick& tick : yAxis.ticks) widest = std::max(widest, labelWidth(tick.label));
  const double left = std::max(70.0, 34 + widest);
  widest = 0;
  for (const auto& reference : references) {
    widest = std::max(widest, labelWidth(reference.second));
  }
  const double plotWidth = kWidth - left - std::max(30.0, 12 + widest);
  auto x = [&](double t) { return left + t * plotWidth; };
  auto y = [&](double v) { return kTop + (high / 2 - v / 2) / (high / 2 - low / 2) * kPlotHeight; };

  // A heading wider than the canvas is cut; <title> keeps it whole.
  std::string heading = curve.title;
  const auto headingChars = static_cast<std::size_t>((kWidth - left - 20) / kCharWidth);
  if (heading.size() > headingChars) heading = heading.substr(0, headingChars - 1) + "\u2026";
  std::string out = fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" "
      "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\" font-size=\"12\">\n"
      "  <title>{2}</title>\n"
      "  <rect class=\"background\" width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n"
      "  <text class=\"heading\" x=\"{3}\" y=\"24\">{4}</text>\n",
      kWidth, kHeight, curve.title, left, heading);
  out += fmt::format(
      "  <g class=\"plot\" data-left=\"{}\" data-top=\"{}\" data-width=\"{}\" data-height=\"{}\" "
      "data-t-min=\"0\" data-t-max=\"1\" data-value-min=\"{}\" data-value-max=\"{}\">\n",
      left, kTop, plotWidth, kPlotHeight, low, high);
  // Faint lines at the value ticks, under everything else.
  for (const Tick& tick : yAxis.ticks) {
    out += fmt::format(
        "    <line class=\"grid\" x1=\"{0}\" y1=\"{2:.2f}\" x2=\"{1}\" y2=\"{2:.2f}\" "
        "stroke=\"#eee\"/>\n",
        left, left + plotWidth, y(tick.value));
  }
  // Axes along the bottom and the left of the plot, with ticks and titles.
  out += fmt::format(
      "    <line class=\"axis x\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\" stroke=\"black\"/>\n"
      "    <line class=\"axis y\" x1=\"{0}\" y1=\"{3}\" x2=\"{0}\" y2=\"{2}\" stroke=\"black\"/>\n",
      left, left + plotWidth, kBottom, kTop);
  for (const Tick& tick : xAxis.ticks) {
    out += fmt::format(
        "    <line class=\"tick x\" x1=\"{0:.2f}\" y1=\"{1}\" x2=\"{0:.2f}\" y2=\"{2}\" "
        "stroke=\"black\"/>\n"
        "    <text class=\"tick-label x\" x=\"{0:.2f}\" y=\"{3}\" "
        "text-anchor=\"middle\">{4}</text>\n",
        x(tick.value), kBottom, kBottom + 5, kBottom + 18, tick.label);
  }
  for (const Tick& tick : yAxis.ticks) {
    out += fmt::format(
        "    <line class=\"tick y\" x1=\"{0}\" y1=\"{2:.2f}\" x2=\"{1}\" y2=\"{2:.2f}\" "
        "stroke=\"black\"/>\n"
        "    <text class=\"tick-label y\" data-value=\"{3}\" x=\"{4}\" y=\"{5:.2f}\" "
        "text-anchor=\"end\">{6}</text>\n",
        left - 5, left, y(tick.value), tick.value, left - 8, y(tick.value) + 4, tick.label);
  }
  out += fmt::format(
      "    <text class=\"axis-title x\" x=\"{:.2f}\" y=\"{}\" text-anchor=\"middle\">t "
      "(time)</text>\n"
      "    <text class=\"axis-title y\" transform=\"rotate(-90)\" x=\"{:.2f}\" y=\"16\" "
      "text-anchor=\"middle\">value</text>\n",
      x(0.5), kHeight - 8, -(kTop + kPlotHeight / 2));
  // The start and end values, dashed: what the curve leaves and settles at,
  // labelled on the right, the labels a line apart however close the values.
  std::vector<double> baselines;
  for (const auto& reference : references) baselines.push_back(y(reference.first) + 4);
  if (baselines.size() == 2 && std::fabs(baselines[0] - baselines[1]) < 13) {
    const double middle = (baselines[0] + baselines[1]) / 2;
    const double apart = references[0].first > references[1].first ? -6.5 : 6.5;
    baselines = {middle + apart, middle - apart};
  }
  for (std::size_t i = 0; i < references.size(); ++i) {
    const auto& [v, label] = references[i];
    out += fmt::format(
        "    <line class=\"reference\" data-value=\"{0}\" x1=\"{1}\" y1=\"{3:.2f}\" x2=\"{2}\" "
        "y2=\"{3:.2f}\" stroke=\"#888\" stroke-dasharray=\"4 4\"/>\n"
        "    <text class=\"reference-label\" x=\"{4}\" y=\"{5:.2f}\">{6}</text>\n",
        v, left, left + plotWidth, y(v), left + plotWidth + 6, baselines[i], label);
  }
  // The extremes beyond the start and end values: "max" above its point,
  // "min" below, both kept whole on the canvas.
  auto extreme = [&](const char* kind, const CurveSample& s, double below) {
    const std::string label = fmt::format("{} {}", kind, yAxis.label(s.value));
    const double half = labelWidth(label) / 2;
    out += fmt::format(
        "    <text class=\"extreme {}\" x=\"{:.2f}\" y=\"{:.2f}\" "
        "text-anchor=\"middle\">{}</text>\n",
        kind, std::clamp(x(s.t), half + 4, kWidth - half - 4), y(s.value) + below, label);
  };
  if (e.max.value > std::max(curve.start, curve.end)) extreme("max", e.max, -6);
  if (e.min.value < std::min(curve.start, curve.end)) extreme("min", e.min, 16);
  out +=
      "    <polyline class=\"curve\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"2\" points=\"";
  for (std::size_t i = 0; i < samples.size(); ++i) {
    out += fmt::format("{}{:.2f},{:.2f}", i ? " " : "", x(samples[i].t), y(samples[i].value));
  }
  out += "\"/>\n  </g>\n</svg>\n";
  return out;
}

std::string curveDocument(const CurveOptions& options) {
  const Curve curve = makeCurve(options.name, options.params);
  const auto samples = sampleCurve(curve, options.samples);
  switch (options.format) {
    case CurveFormat::csv:
      return renderCurveCSV(samples);
    case CurveFormat::svg:
      return renderCurveSVG(curve, samples);
    case CurveFormat::text:
      break;
  }
  return renderCurveText(curve, samples);
}

int runCurve(const CurveOptions& options) {
  writeOutput(options.output, curveDocument(options));
  return 0;
}

}  // namespace quarn::tool
