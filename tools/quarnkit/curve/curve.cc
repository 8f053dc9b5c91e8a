#include "tools/quarnkit/curve/curve.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>

#include "quarnkit/animation/basic_interpolation.h"
#include "quarnkit/animation/interpolator.h"
#include "quarnkit/animation/spring_interpolation.h"
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
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    fail(fmt::format("{}: expected a finite number, not \"{}\"", key, text));
  }
  return value;
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
  if (!SpringInterpolation::areValid(damping, mass, stiffness)) {
    // Positive values can still be unusable: a tiny mass overflows the rates.
    const bool positive = damping > 0 && mass > 0 && stiffness > 0;
    fail(fmt::format("Incorrect animation values: {} (damping {}, mass {}, stiffness {})",
                     positive ? "damping / (2 mass) or stiffness / mass is too large"
                              : "damping, mass and stiffness must be positive",
                     damping, mass, stiffness));
  }
  auto spring = std::make_shared<SpringInterpolation>(damping, velocity, mass, stiffness);
  if (!spring->isValid()) {
    fail(
        fmt::format("Incorrect animation values: the velocity carries the spring beyond the "
                    "range of numbers (velocity {})",
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
          keys.back()};
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
    return {name, [f](double t) { return f(t); }, 0, 1};
  }
  if (name == "spring") {
    std::string title;
    auto spring = makeSpring(parseParams(name, params, kSpringParams), title);
    return {title, [spring](double t) { return (*spring)(t); }, 0, 1};
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
      fail(fmt::format("the curve is not a finite number at t = {}", t));
    }
    samples.push_back({t, value});
  }
  return samples;
}

std::string renderCurveText(const Curve& curve, const std::vector<CurveSample>& samples) {
  const Extremes e = extremes(samples);
  std::string out =
      fmt::format("{}\n{} samples from t = 0 to t = 1\n", curve.title, samples.size());
  out += fmt::format("min {:.6f} at t = {:.6f}, max {:.6f} at t = {:.6f}", e.min.value, e.min.t,
                     e.max.value, e.max.t);
  const double over = overshoot(curve, e);
  out += over > 0 ? fmt::format(", overshoot {:.2f}%\n\n", over * 100) : ", no overshoot\n\n";
  out += fmt::format("{:>10}  {:>14}\n", "t", "value");
  for (const auto& s : samples) out += fmt::format("{:>10.6f}  {:>14.6f}\n", s.t, s.value);
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
  constexpr double kWidth = 640, kHeight = 400;
  constexpr double kLeft = 70, kTop = 40, kPlotWidth = 540, kPlotHeight = 310;
  const Extremes e = extremes(samples);
  double low = std::min({curve.start, curve.end, e.min.value});
  double high = std::max({curve.start, curve.end, e.max.value});
  const double pad = high > low ? (high - low) * 0.05 : 0.5;
  low -= pad;
  high += pad;
  auto x = [&](double t) { return kLeft + t * kPlotWidth; };
  auto y = [&](double v) { return kTop + (high - v) / (high - low) * kPlotHeight; };

  std::string out = fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" "
      "viewBox=\"0 0 {0} {1}\" font-family=\"sans-serif\" font-size=\"12\">\n"
      "  <title>{2}</title>\n"
      "  <rect class=\"background\" width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n"
      "  <text class=\"heading\" x=\"{3}\" y=\"24\">{2}</text>\n",
      kWidth, kHeight, curve.title, kLeft);
  out += fmt::format(
      "  <g class=\"plot\" data-left=\"{}\" data-top=\"{}\" data-width=\"{}\" data-height=\"{}\" "
      "data-t-min=\"0\" data-t-max=\"1\" data-value-min=\"{}\" data-value-max=\"{}\">\n",
      kLeft, kTop, kPlotWidth, kPlotHeight, low, high);
  // Axes along the bottom and the left of the plot, with ticks.
  out += fmt::format(
      "    <line class=\"axis x\" x1=\"{0}\" y1=\"{2}\" x2=\"{1}\" y2=\"{2}\" stroke=\"black\"/>\n"
      "    <line class=\"axis y\" x1=\"{0}\" y1=\"{3}\" x2=\"{0}\" y2=\"{2}\" stroke=\"black\"/>\n",
      kLeft, kLeft + kPlotWidth, kTop + kPlotHeight, kTop);
  for (const double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
    out += fmt::format(
        "    <line class=\"tick x\" x1=\"{0:.2f}\" y1=\"{1}\" x2=\"{0:.2f}\" y2=\"{2}\" "
        "stroke=\"black\"/>\n"
        "    <text class=\"tick-label x\" x=\"{0:.2f}\" y=\"{3}\" "
        "text-anchor=\"middle\">{4}</text>\n",
        x(t), kTop + kPlotHeight, kTop + kPlotHeight + 5, kTop + kPlotHeight + 20, t);
  }
  // The start and end values, dashed: what the curve leaves and settles at.
  for (const double v : {curve.start, curve.end}) {
    out += fmt::format(
        "    <line class=\"reference\" data-value=\"{0}\" x1=\"{1}\" y1=\"{3:.2f}\" x2=\"{2}\" "
        "y2=\"{3:.2f}\" stroke=\"#888\" stroke-dasharray=\"4 4\"/>\n"
        "    <text class=\"tick-label y\" x=\"{4}\" y=\"{5:.2f}\" text-anchor=\"end\">{0}</text>\n",
        v, kLeft, kLeft + kPlotWidth, y(v), kLeft - 6, y(v) + 4);
  }
  if (e.max.value > std::max(curve.start, curve.end)) {
    out += fmt::format(
        "    <text class=\"extreme max\" x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\">max "
        "{:.4f}</text>\n",
        x(e.max.t), y(e.max.value) - 6, e.max.value);
  }
  if (e.min.value < std::min(curve.start, curve.end)) {
    out += fmt::format(
        "    <text class=\"extreme min\" x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\">min "
        "{:.4f}</text>\n",
        x(e.min.t), y(e.min.value) + 16, e.min.value);
  }
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
