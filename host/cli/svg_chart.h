// Static line charts as inline SVG for the HTML room report: two axes with
// ticks and unit labels (linear, or logarithmic with the nominal band labels
// as ticks), lines with optional markers, shaded time ranges, vertical
// markers and a legend below the plot, so that no text overlaps the data.
// Only the few chart kinds the report draws; no scripting, no styles outside
// the element's own attributes and the report's class names.
#pragma once

#include <string>
#include <vector>

namespace cli::svg {

struct Tick {
  double value;
  std::string label;  // empty: a tick without a label
};

struct Axis {
  std::string label;  // name and unit, e.g. "Time (s)"
  double min = 0.0, max = 1.0;
  bool logarithmic = false;
  std::vector<Tick> ticks;  // empty: about five round-numbered ticks
};

enum class Dash { Solid, Dashed, Dotted };

struct Series {
  std::string name;          // legend text; empty: no legend entry
  std::string color;         // any SVG colour
  std::vector<double> x, y;  // a non-finite y breaks the line
  double width = 1.5;
  Dash dash = Dash::Solid;
  bool markers = false;  // a dot at every point
  bool line = true;
};

// A shaded range of x over the whole plot height.
struct Region {
  double from, to;
  std::string label;  // legend text; empty: none
  std::string color;
};

// A vertical line at x.
struct Marker {
  double x;
  std::string label;  // legend text
  std::string color;
};

struct Chart {
  std::string id;     // unique within the page (used for the clip path and the tests)
  std::string title;  // drawn above the plot
  double width = 360.0, plotHeight = 190.0;
  Axis x, y;
  std::vector<Series> series;
  std::vector<Region> regions;
  std::vector<Marker> markers;
  std::vector<std::string> notes;  // plain lines in the legend (e.g. why a fit is missing)
};

// The chart as an <svg> element.
std::string Render(const Chart& chart);

// Round-numbered ticks (1, 2, 2.5 or 5 times a power of ten) covering
// [min, max], about `target` of them.
std::vector<Tick> NiceTicks(double min, double max, int target = 5);

// Text with &, <, >, " and ' escaped for HTML and SVG.
std::string Escape(const std::string& text);

}  // namespace cli::svg
