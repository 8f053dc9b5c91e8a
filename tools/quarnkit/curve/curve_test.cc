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
      {"spring",
       {"damping=0"},
       "Incorrect animation values: damping, mass and stiffness must be positive (damping 0, "
       "mass 1, stiffness 100)"},
      {"spring",
       {"stiffness=-5"},
       "Incorrect animation values: damping, mass and stiffness must be positive (damping 10, "
       "mass 1, stiffness -5)"},
      {"spring",
       {"mass=1e-320", "stiffness=1e308"},
       "Incorrect animation values: damping / (2 mass) or stiffness / mass is too large (damping "
       "10, mass 1e-320, stiffness 1e+308)"},
      {"spring",
       {"damping=20.000001", "velocity=1.7976931348623157e308"},
       "Incorrect animation values: the velocity carries the spring beyond the range of numbers "
       "(velocity 1.7976931348623157e+308)"},
      {"keyvalues", {}, "keyvalues needs values=V,V,... (at least one number)"},
      {"keyvalues", {"values="}, "values: expected a finite number, not \"\""},
      {"keyvalues", {"values=1,,2"}, "values: expected a finite number, not \"\""},
      {"keyvalues",
       {"values=0,1", "function=bounce"},
       "function: expected linear, easeIn, easeOut, easeInOut or spring, not \"bounce\""},
      {"keyvalues", {"values=0,1", "damping=3"}, "damping applies to function=spring only"},
      {"keyvalues",
       {"values=0,1", "function=spring", "mass=0"},
       "Incorrect animation values: damping, mass and stiffness must be positive (damping 10, "
       "mass 0, stiffness 100)"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorOf(c.name, c.params), c.error) << c.name;
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

double attribute(const std::string& svg, const std::string& name) {
  const std::regex pattern(name + "=\"([^\"]+)\"");
  std::smatch m;
  if (!std::regex_search(svg, m, pattern)) ADD_FAILURE() << "no " << name;
  return std::stod(m[1]);
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
  std::smatch points;
  ASSERT_TRUE(
      std::regex_search(svg, points, std::regex("class=\"curve\"[^>]*points=\"([^\"]+)\"")));
  const std::string list = points[1];
  const std::regex pair("([-0-9.]+),([-0-9.]+)");
  std::size_t i = 0;
  double highest = INFINITY;
  for (auto it = std::sregex_iterator(list.begin(), list.end(), pair); it != std::sregex_iterator();
       ++it, ++i) {
    ASSERT_LT(i, samples.size());
    const double px = std::stod((*it)[1]), py = std::stod((*it)[2]);
    EXPECT_NEAR((px - left) / width, samples[i].t, 0.01) << i;
    EXPECT_NEAR(valueAt(py), samples[i].value, 0.01) << i;
    highest = std::min(highest, py);
  }
  EXPECT_EQ(i, samples.size());
  // The overshoot is drawn above the line of 1.
  EXPECT_LT(valueAt(highest), high);
  EXPECT_GT(valueAt(highest), 1.05);
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
