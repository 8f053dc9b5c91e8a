// quarnkit curve: parameters and their errors, sampling, and the three
// renderings; the SVG is read back point by point.
#include "tools/quarnkit/curve/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/animation/spring_interpolation.h"

namespace quarn::tool {
namespace {

std::string errorOf(const std::string& name, const std::vector<std::string>& params) {
  try {
    (void)makeCurve(name, params);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(CurveTest, ParameterErrors) {
  struct Case {
    std::string name;
    std::vector<std::string> params;
    std::string error;
  };
  const Case cases[] = {
      {"bounce",
       {},
       "unknown curve \"bounce\" (expected linear, easeIn, easeOut, easeInOut, "
       "spring, keyvalues)"},
      {"easeIn", {"mass=1"}, "easeIn takes no parameters, not \"mass\""},
      {"spring",
       {"springiness=3"},
       "spring takes damping, mass, stiffness, velocity, not \"springiness\""},
      {"spring", {"damping"}, "expected a parameter KEY=VALUE, not \"damping\""},
      {"spring", {"=3"}, "expected a parameter KEY=VALUE, not \"=3\""},
      {"spring", {"mass=heavy"}, "mass: expected a finite number, not \"heavy\""},
      {"spring", {"mass=nan"}, "mass: expected a finite number, not \"nan\""},
      {"spring", {"mass=1e999"}, "mass: expected a finite number, not \"1e999\""},
      {"spring", {"mass=2", "mass=3"}, "mass is given twice"},
      {"spring", {"mass=+-2"}, "mass: expected a finite number, not \"+-2\""},
      {"spring", {"mass=++2"}, "mass: expected a finite number, not \"++2\""},
      {"spring", {"mass=+"}, "mass: expected a finite number, not \"+\""},
      {"spring", {"mass= 2"}, "mass: expected a finite number, not \" 2\""},
      {"spring",
       {"damping=0"},
       "damping: Incorrect animation values: damping, mass and stiffness must be positive "
       "(damping 0, mass 1, stiffness 100)"},
      {"spring",
       {"stiffness=-5", "mass=-0"},
       "mass, stiffness: Incorrect animation values: damping, mass and stiffness must be "
       "positive (damping 10, mass -0, stiffness -5)"},
      // Positive values that put the curve beyond the range of numbers name
      // the parameter whose default alone would make it a curve...
      {"spring",
       {"mass=1e-300"},
       "mass: Incorrect animation values: the curve is not a finite number with these values "
       "(damping 10, mass 1e-300, stiffness 100)"},
      {"spring",
       {"mass=1e-320", "stiffness=1e308"},
       "mass: Incorrect animation values: the curve is not a finite number with these values "
       "(damping 10, mass 1e-320, stiffness 1e+308)"},
      {"spring",
       {"damping=1e-320", "stiffness=5"},
       "damping: Incorrect animation values: the curve is not a finite number with these "
       "values (damping 1e-320, mass 1, stiffness 5)"},
      // ... or every one given when no single one does.
      {"spring",
       {"damping=1e200", "mass=1e-200"},
       "damping, mass: Incorrect animation values: the curve is not a finite number with these "
       "values (damping 1e+200, mass 1e-200, stiffness 100)"},
      {"spring",
       {"damping=20.000001", "velocity=1.7976931348623157e308"},
       "velocity: Incorrect animation values: the velocity carries the spring beyond the range "
       "of numbers (velocity 1.7976931348623157e+308)"},
      {"keyvalues", {}, "keyvalues needs values=V,V,... (at least one number)"},
      {"keyvalues", {"values="}, "values: expected a finite number, not \"\""},
      {"keyvalues", {"values=1,,2"}, "values: expected a finite number, not \"\""},
      {"keyvalues",
       {"values=0,1", "function=bounce"},
       "function: expected linear, easeIn, easeOut, easeInOut or spring, not \"bounce\""},
      {"keyvalues", {"values=0,1", "damping=3"}, "damping applies to function=spring only"},
      {"keyvalues",
       {"values=0,1", "function=spring", "mass=0"},
       "mass: Incorrect animation values: damping, mass and stiffness must be positive "
       "(damping 10, mass 0, stiffness 100)"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorOf(c.name, c.params), c.error) << c.name;
}

TEST(CurveTest, NumbersMayCarryAPlusSign) {
  const Curve spring = makeCurve("spring", {"damping=+4", "velocity=+2.5e0"});
  EXPECT_EQ(spring.title, "spring damping=4 mass=1 stiffness=100 velocity=2.5");
  EXPECT_EQ(sampleCurve(makeCurve("keyvalues", {"values=+1,-2,+3"}), 3)[1].value, -2);
}

TEST(CurveTest, KeyValuesBeyondTheRangeOfNumbersNameTheValues) {
  // The spring overshoots the largest key value by a sixth: past the largest double.
  const Curve curve = makeCurve("keyvalues", {"values=-1.7e308,1.7e308", "function=spring"});
  try {
    (void)sampleCurve(curve, 5);
    ADD_FAILURE() << "sampled";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "values: the curve is not a finite number at t = 0.5");
  }
}

TEST(CurveTest, SamplesIncludeBothEnds) {
  const auto samples = sampleCurve(makeCurve("easeInOut", {}), 5);
  ASSERT_EQ(samples.size(), 5u);
  EXPECT_EQ(samples[0].t, 0);
  EXPECT_EQ(samples[4].t, 1);
  EXPECT_NEAR(samples[1].value, 0.0625, 1e-12);
  EXPECT_THROW(sampleCurve(makeCurve("linear", {}), 1), std::invalid_argument);

  const auto keyed = sampleCurve(makeCurve("keyvalues", {"values=0,10,30"}), 5);
  EXPECT_EQ(keyed[1].value, 5);
  EXPECT_EQ(keyed[3].value, 20);
  const Curve one = makeCurve("keyvalues", {"values=7"});
  EXPECT_EQ(one.function(0.5), 7);

  const Curve spring = makeCurve("spring", {"damping=4", "velocity=-2"});
  const SpringInterpolation expected(4, -2, 1, 100);
  EXPECT_EQ(spring.function(0.3), expected(0.3));
  EXPECT_EQ(spring.title, "spring damping=4 mass=1 stiffness=100 velocity=-2");
}

TEST(CurveTest, CSVAndText) {
  EXPECT_EQ(renderCurveCSV(sampleCurve(makeCurve("linear", {}), 3)),
            "t,value\n0,0\n0.5,0.5\n1,1\n");
  const Curve spring = makeCurve("spring", {});
  const std::string text = renderCurveText(spring, sampleCurve(spring, 101));
  EXPECT_EQ(text.rfind("spring damping=10 mass=1 stiffness=100 velocity=0\n"
                       "101 samples from t = 0 to t = 1\n",
                       0),
            0u);
  EXPECT_NE(text.find(", max 1.162971 at t = 0.360000, overshoot 16.30%\n"), std::string::npos);
  EXPECT_NE(text.find("\n  0.500000  "), std::string::npos);
  const Curve ease = makeCurve("easeOut", {});
  EXPECT_NE(renderCurveText(ease, sampleCurve(ease, 11)).find(", no overshoot\n"),
            std::string::npos);
}

// A curve of any scale prints lines of a table's width: exponent notation
// for values a million and up or below a thousandth, the whole column alike.
TEST(CurveTest, TextLinesStayShortWhateverTheScale) {
  const Curve huge = makeCurve("keyvalues", {"values=0,-1e300"});
  const std::string text = renderCurveText(huge, sampleCurve(huge, 3));
  EXPECT_NE(text.find("min -1.000000e+300 at t = 1.000000, max 0.000000e+00 at t = 0.000000"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n  0.500000  -5.000000e+299\n"), std::string::npos) << text;
  const Curve tiny = makeCurve("keyvalues", {"values=0,1e-9"});
  EXPECT_NE(renderCurveText(tiny, sampleCurve(tiny, 3)).find("\n  0.500000    5.000000e-10\n"),
            std::string::npos);
  // A velocity near the largest double: an overshoot of 1e306 times the travel.
  const Curve wild = makeCurve("spring", {"velocity=1e308"});
  const std::string wildText = renderCurveText(wild, sampleCurve(wild, 101));
  EXPECT_NE(wildText.find(", overshoot 5.46e+306 times the travel\n"), std::string::npos)
      << wildText;
  for (const std::string* t : {&text, &wildText}) {
    std::size_t from = 0;
    while (from < t->size()) {
      const std::size_t end = t->find('\n', from);
      EXPECT_LE(end - from, 110u) << t->substr(from, 120);
      from = end + 1;
    }
  }
}

double attribute(const std::string& svg, const std::string& name) {
  const std::regex pattern(name + "=\"([^\"]+)\"");
  std::smatch m;
  if (!std::regex_search(svg, m, pattern)) ADD_FAILURE() << "no " << name;
  return std::stod(m[1]);
}

struct Point {
  double x;
  double y;
};

// The points of the plot's one polyline, in order.
std::vector<Point> polyline(const std::string& svg) {
  std::smatch points;
  if (!std::regex_search(svg, points, std::regex("class=\"curve\"[^>]*points=\"([^\"]+)\""))) {
    ADD_FAILURE() << "no polyline";
    return {};
  }
  const std::string list = points[1];
  const std::regex pair("([-0-9.]+),([-0-9.]+)");
  std::vector<Point> out;
  for (auto it = std::sregex_iterator(list.begin(), list.end(), pair); it != std::sregex_iterator();
       ++it) {
    out.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
  }
  return out;
}

TEST(CurveTest, SVGPlotsEverySampleOverARangeThatShowsTheOvershoot) {
  const Curve spring = makeCurve("spring", {"damping=6"});
  const auto samples = sampleCurve(spring, 51);
  const std::string svg = renderCurveSVG(spring, samples);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
  EXPECT_NE(svg.find("<title>spring damping=6 mass=1 stiffness=100 velocity=0</title>"),
            std::string::npos);
  EXPECT_NE(svg.find("class=\"axis x\""), std::string::npos);
  EXPECT_NE(svg.find("class=\"axis y\""), std::string::npos);
  EXPECT_NE(svg.find("class=\"extreme max\""), std::string::npos);
  EXPECT_EQ(svg.find("class=\"extreme min\""), std::string::npos);
  EXPECT_TRUE(svg.ends_with("</svg>\n"));

  const double left = attribute(svg, "data-left"), top = attribute(svg, "data-top");
  const double width = attribute(svg, "data-width"), height = attribute(svg, "data-height");
  const double low = attribute(svg, "data-value-min"), high = attribute(svg, "data-value-max");
  auto valueAt = [&](double py) { return high - (py - top) / height * (high - low); };
  // The reference lines sit at 0 and 1.
  const std::regex reference(
      "class=\"reference\" data-value=\"([^\"]+)\" x1=\"[^\"]+\" "
      "y1=\"([^\"]+)\"");
  std::vector<double> references;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), reference);
       it != std::sregex_iterator(); ++it) {
    references.push_back(std::stod((*it)[1]));
    EXPECT_NEAR(valueAt(std::stod((*it)[2])), std::stod((*it)[1]), 0.01);
  }
  EXPECT_EQ(references, (std::vector<double>{0, 1}));
  EXPECT_LT(low, 0);
  EXPECT_GT(high, 1);

  // Every sample is a point of the one polyline, in order.
  const std::vector<Point> points = polyline(svg);
  ASSERT_EQ(points.size(), samples.size());
  double highest = INFINITY;
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_NEAR((points[i].x - left) / width, samples[i].t, 0.01) << i;
    EXPECT_NEAR(valueAt(points[i].y), samples[i].value, 0.01) << i;
    highest = std::min(highest, points[i].y);
  }
  // The overshoot is drawn above the line of 1.
  EXPECT_LT(valueAt(highest), high);
  EXPECT_GT(valueAt(highest), 1.05);
}

struct SVGText {
  std::string cls, text, anchor;
  double x = 0, y = 0;
  bool rotated = false;
};

std::vector<SVGText> texts(const std::string& svg) {
  std::vector<SVGText> out;
  const std::regex element("<text ([^>]*)>([^<]*)</text>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element);
       it != std::sregex_iterator(); ++it) {
    const std::string attributes = (*it)[1];
    auto attribute = [&](const std::string& name) {
      std::smatch m;
      return std::regex_search(attributes, m, std::regex(" ?" + name + "=\"([^\"]*)\""))
                 ? std::string(m[1])
                 : std::string();
    };
    SVGText t{attribute("class"),        (*it)[2],
              attribute("text-anchor"),  std::stod(attribute("x")),
              std::stod(attribute("y")), !attribute("transform").empty()};
    if (t.anchor.empty()) t.anchor = "start";
    out.push_back(t);
  }
  return out;
}

std::vector<SVGText> textsOf(const std::vector<SVGText>& all, const std::string& cls) {
  std::vector<SVGText> out;
  for (const auto& t : all) {
    if (t.cls == cls) out.push_back(t);
  }
  return out;
}

// Whether every label lies on the 640 x 400 canvas, for glyphs up to 7.2
// pixels wide (a 12-pixel sans-serif digit is about 6.7).
void expectOnCanvas(const std::string& svg) {
  for (const SVGText& t : texts(svg)) {
    std::size_t characters = 0;
    for (const unsigned char c : t.text) characters += (c & 0xC0) != 0x80;
    const double width = 7.2 * static_cast<double>(characters);
    // A rotated title runs up the left edge: its x is minus its middle's height.
    const double along = t.rotated ? -t.x : t.x;
    const double from = t.anchor == "middle" ? along - width / 2
                        : t.anchor == "end"  ? along - width
                                             : along;
    if (t.rotated) {
      EXPECT_GE(t.y - 12, 0) << t.text;
      EXPECT_GE(from, 0) << t.text;
      EXPECT_LE(from + width, 400) << t.text;
    } else {
      EXPECT_GE(from, 0) << t.cls << " " << t.text;
      EXPECT_LE(from + width, 640) << t.cls << " " << t.text;
      EXPECT_GE(t.y - 12, 0) << t.cls << " " << t.text;
      EXPECT_LE(t.y + 3, 400) << t.cls << " " << t.text;
    }
  }
}

// The ticks of an axis are round: equally spaced by 1, 2 or 5 times a power
// of ten, at multiples of that step, each labelled with its own value.
void expectRoundTicks(const std::vector<SVGText>& ticks, const std::string& svg,
                      const std::string& axis) {
  ASSERT_GE(ticks.size(), 3u) << axis;
  ASSERT_LE(ticks.size(), 11u) << axis;
  std::vector<double> values;
  for (const auto& t : ticks) values.push_back(std::stod(t.text));
  const double rough = values[1] - values[0];
  const double power = std::pow(10, std::floor(std::log10(rough) + 1e-9));
  double step = 0;
  for (const double leading : {1.0, 2.0, 5.0}) {
    if (std::fabs(rough / power - leading) < 1e-6) step = leading * power;
  }
  ASSERT_GT(step, 0) << axis << " step " << rough;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double tolerance = step * 1e-3 + std::fabs(values[i]) * 1e-15;
    // In halves: ticks near the largest doubles are further apart than any double.
    EXPECT_NEAR(values[i] / 2 - values[0] / 2, static_cast<double>(i) * (step / 2), tolerance)
        << axis;
    EXPECT_NEAR(values[i], std::round(values[i] / step) * step, tolerance) << axis;
  }
  // Ticks in order along their axis, and a tick mark beside each label.
  for (std::size_t i = 1; i < ticks.size(); ++i) {
    if (axis == "x") {
      EXPECT_GT(ticks[i].x, ticks[i - 1].x);
    } else {
      EXPECT_LT(ticks[i].y, ticks[i - 1].y);
    }
  }
  EXPECT_NE(svg.find("class=\"tick " + axis + "\""), std::string::npos);
}

TEST(CurveTest, SVGAxesHaveTitlesAndRoundTicks) {
  const Curve spring = makeCurve("spring", {"damping=4"});
  const std::string svg = renderCurveSVG(spring, sampleCurve(spring, 101));
  const auto all = texts(svg);
  const auto xTitle = textsOf(all, "axis-title x"), yTitle = textsOf(all, "axis-title y");
  ASSERT_EQ(xTitle.size(), 1u);
  ASSERT_EQ(yTitle.size(), 1u);
  EXPECT_EQ(xTitle[0].text, "t (time)");
  EXPECT_EQ(yTitle[0].text, "value");
  EXPECT_TRUE(yTitle[0].rotated);
  const auto xTicks = textsOf(all, "tick-label x"), yTicks = textsOf(all, "tick-label y");
  expectRoundTicks(xTicks, svg, "x");
  expectRoundTicks(yTicks, svg, "y");
  EXPECT_EQ(xTicks.front().text, "0.0");
  EXPECT_EQ(xTicks.back().text, "1.0");
  std::vector<std::string> labels;
  for (const auto& t : yTicks) labels.push_back(t.text);
  EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.5", "1.0", "1.5"}));
  expectOnCanvas(svg);
}

TEST(CurveTest, SVGMinLabelClearsTheXAxis) {
  // A negative start velocity dips well below 0 before it rises.
  const Curve spring = makeCurve("spring", {"velocity=-30"});
  const auto samples = sampleCurve(spring, 101);
  const std::string svg = renderCurveSVG(spring, samples);
  const auto min = textsOf(texts(svg), "extreme min");
  ASSERT_EQ(min.size(), 1u);
  const double axis = attribute(svg, "data-top") + attribute(svg, "data-height");
  EXPECT_LT(min[0].y + 3, axis) << "the label's descenders reach the x axis";
  // Below its point: the lowest point of the polyline.
  double lowest = 0;
  for (const Point& p : polyline(svg)) lowest = std::max(lowest, p.y);
  EXPECT_GT(min[0].y - 9, lowest);
  expectOnCanvas(svg);
}

// Values near the largest double, a long title, values a millionth apart
// around a million, start and end a hair apart: every label stays on the
// canvas, short, and every coordinate is a number inside the plot.
TEST(CurveTest, SVGStaysOnTheCanvasWhateverTheValues) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> curves{
      {"keyvalues", {"values=-1.7e308,1.7e308"}},
      {"keyvalues", {"values=1.7e308,0,1.7e308"}},
      {"keyvalues", {"values=1000000,1000000.001,999999.9985", "function=easeInOut"}},
      {"keyvalues", {"values=0,1e-300", "function=spring"}},
      {"keyvalues", {"values=1e300,1e300"}},
      {"keyvalues",
       {"values=0.30000000000000004,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,"
        "23,24,25,26,27,28,29,30,31,32,33,34,35,-0.30000000000000004"}},
      {"spring", {"velocity=1e308"}},
      {"spring", {"velocity=-1e308"}},
  };
  for (const auto& [name, params] : curves) {
    SCOPED_TRACE(params.front());
    const Curve curve = makeCurve(name, params);
    const auto samples = sampleCurve(curve, 101);
    const std::string svg = renderCurveSVG(curve, samples);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    expectOnCanvas(svg);
    const auto all = texts(svg);
    for (const auto& t : all) EXPECT_LE(t.text.size(), 90u) << t.text;
    if (curve.start != curve.end) {
      const auto references = textsOf(all, "reference-label");
      ASSERT_EQ(references.size(), 2u);
      EXPECT_GE(std::fabs(references[0].y - references[1].y), 12);
    }
    const double left = attribute(svg, "data-left"), top = attribute(svg, "data-top");
    const double width = attribute(svg, "data-width"), height = attribute(svg, "data-height");
    for (const Point& p : polyline(svg)) {
      EXPECT_GE(p.x, left);
      EXPECT_LE(p.x, left + width);
      EXPECT_GE(p.y, top);
      EXPECT_LE(p.y, top + height);
    }
    const auto yTicks = textsOf(all, "tick-label y");
    if (curve.start != curve.end) expectRoundTicks(yTicks, svg, "y");
  }
}

TEST(CurveTest, DocumentsFollowTheFormat) {
  CurveOptions options;
  options.name = "keyvalues";
  options.params = {"values=0,10,30", "function=easeIn"};
  options.samples = 3;
  options.format = CurveFormat::csv;
  EXPECT_EQ(curveDocument(options), "t,value\n0,0\n0.5,2.5\n1,30\n");
  options.format = CurveFormat::svg;
  const std::string svg = curveDocument(options);
  EXPECT_NE(svg.find("data-value=\"30\""), std::string::npos);  // the end value's line
  options.samples = 0;
  EXPECT_THROW(curveDocument(options), std::invalid_argument);
}

}  // namespace
}  // namespace quarn::tool
