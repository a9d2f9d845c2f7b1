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

enum class Dash { Solid, Dashed, Dotted, DashDot };

struct Series {
  std::string name;          // legend text; empty: no legend entry
  std::string color;         // any SVG colour
  std::vector<double> x, y;  // a non-finite y breaks the line
  double width = 1.5;
  Dash dash = Dash::Solid;
  bool markers = false;  // a dot at every point
  bool line = true;
  // Per point (empty, or one per x): a non-empty note marks the point as
  // flagged: a hollow dot of class "warn" whose tooltip is the note.
  std::vector<std::string> notes;
  // Points beyond the y axis are drawn on the frame's edge with a triangle
  // (class "outlier", tooltip the value) instead of leaving the plot.
  bool clampOutliers = false;
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

// A horizontal line at y over the whole plot width.
struct Level {
  double y;
  std::string label;  // legend text; empty: none
  std::string color;
  Dash dash = Dash::Dotted;
  double width = 1.0;
};

struct Chart {
  std::string id;     // unique within the page (used for the clip path and the tests)
  std::string title;  // drawn above the plot
  double width = 360.0, plotHeight = 190.0;
  Axis x, y;
  std::vector<Series> series;
  std::vector<Region> regions;
  std::vector<Marker> markers;
  std::vector<Level> levels;
  std::vector<std::string> notes;  // plain lines in the legend (e.g. why a fit is missing)
  // false: the series, regions, markers and levels are named in a shared
  // key (Key) instead of the chart's own legend; the notes stay.
  bool legend = true;
};

// One legend entry of a shared key.
struct KeyEntry {
  std::string text;
  std::string color;
  Dash dash = Dash::Solid;
  double width = 1.5;
  bool marker = false;  // a dot
  bool hollow = false;  // the dot hollow (a flagged point)
  bool line = true;
};

// The chart as an <svg> element. Lines are drawn at screen resolution: a
// point closer than half a pixel to the line through its neighbours is left
// out.
std::string Render(const Chart& chart);

// A legend alone, `width` wide, as an <svg> element (the key of a grid of
// charts drawn without their own legends).
std::string Key(const std::string& id, const std::vector<KeyEntry>& entries, double width);

// Round-numbered ticks (1, 2, 2.5 or 5 times a power of ten) covering
// [min, max], about `target` of them.
std::vector<Tick> NiceTicks(double min, double max, int target = 5);

// Text with &, <, >, " and ' escaped for HTML and SVG.
std::string Escape(const std::string& text);

}  // namespace cli::svg
