// Exact inks for the CMYK output: the markers the builder draws with, their replacement in content
// streams, and the walk over a QDF file's content streams. The whole path (builder, qpdf,
// Ghostscript) is checked on printed pixels in RenderE2eTest.CmykOutputGivesFieldsTheirRecordsInks.
#include "refservice/render/ink_markers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "colour/cmyk_conversion.h"
#include "refservice/render/qdf_content_streams.h"

namespace refservice {
namespace {

// A marker's RGB as cairo prints it: six decimals.
std::string Printed(const InkMarker& marker) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%.6f %.6f %.6f", marker.r, marker.g, marker.b);
  return buffer;
}

TEST(InkMarkersTest, OneMarkerPerInkBetweenGridPointsNextToItsRgb) {
  InkMarkers inks;
  const double swatches[][4] = {{100, 0, 0, 0}, {0, 0, 0, 100}, {100, 60, 0, 10}, {40, 0, 0, 0}};
  for (const auto& ink : swatches) {
    double r, g, b, again[3];
    inks.ColourFor(ink[0], ink[1], ink[2], ink[3], &r, &g, &b);
    inks.ColourFor(ink[0], ink[1], ink[2], ink[3], &again[0], &again[1], &again[2]);
    EXPECT_EQ(r, again[0]);
    EXPECT_EQ(b, again[2]);
    double usual[3];
    colour::DefaultCmykConversion().Convert(ink, usual);
    const double drawn[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
      EXPECT_LT(std::fabs(drawn[c] - usual[c]), 1.0 / 65536) << c;
      EXPECT_EQ(0.5, drawn[c] * 65536 - std::floor(drawn[c] * 65536)) << c;
    }
  }
  ASSERT_EQ(4u, inks.markers().size());
  EXPECT_NE(Printed(inks.markers()[0]), Printed(inks.markers()[3]));
  // Inks clamped to one are one; the limit holds: kMaxInkMarkers marked, the next drawn plainly.
  double r, g, b;
  inks.ColourFor(140, -5, 0, 0, &r, &g, &b);
  EXPECT_EQ(4u, inks.markers().size());
  EXPECT_EQ(inks.markers()[0].b, b);
  for (size_t i = inks.markers().size(); i < kMaxInkMarkers; ++i) {
    inks.ColourFor(0, 0, 0, 10 + static_cast<double>(i) / 100, &r, &g, &b);
  }
  EXPECT_EQ(kMaxInkMarkers, inks.markers().size());
  inks.ColourFor(0, 0, 0, 0, &r, &g, &b);
  EXPECT_EQ(kMaxInkMarkers, inks.markers().size());
  double white[3];
  const double paper[4] = {0, 0, 0, 0};
  colour::DefaultCmykConversion().Convert(paper, white);
  EXPECT_EQ(white[0], r);  // paper white, the usual RGB
}

TEST(InkMarkersTest, ReplacesExactlyTheMarkersColourOperators) {
  InkMarkers inks;
  double r, g, b;
  inks.ColourFor(100, 60, 0, 10, &r, &g, &b);
  inks.ColourFor(0, 0, 0, 100, &r, &g, &b);
  const std::string navy = Printed(inks.markers()[0]);
  const std::string black = Printed(inks.markers()[1]);
  const struct {
    std::string content, expected;
  } cases[] = {
      {navy + " rg BT", "1 0.6 0 0.1 k BT"},
      {"q\n" + black + " RG\n" + navy + " rg", "q\n0 0 0 1 K\n1 0.6 0 0.1 k"},
      {"<< /MCID 0 >> BDC " + navy + " rg", "<< /MCID 0 >> BDC 1 0.6 0 0.1 k"},
      // Not a colour operator of the builder: strings, comments, inline image data, names,
      // colours on the grid (the master page's), four operands, other operators.
      {"(" + navy + " rg) Tj", ""},
      {"<41> Tj % " + navy + " rg\n", ""},
      {"BI /W 1 /H 1 ID \x01" + navy + " rg EI Q", ""},
      {"/" + navy + " rg", ""},
      {"0.5 0.25 0.125 rg 0 0 0 RG", ""},
      {navy + " 0.5 rg", ""},
      {navy + " sc", ""},
      // Cut short: kept as it is.
      {"(" + navy + " rg", ""},
      {"BI ID " + navy + " rg", ""},
      {navy, ""},
  };
  for (const auto& test : cases) {
    const std::string& expected = test.expected.empty() ? test.content : test.expected;
    EXPECT_EQ(expected, ReplaceInkMarkers(test.content, inks.markers())) << test.content;
  }
}

TEST(InkMarkersTest, QdfWalkRewritesOnlyUnfilteredContentStreams) {
  const std::string head = "%PDF-1.7\n%\xbf\xf7\xa2\xfe\n%QDF-1.0\n\n";
  auto object = [](int number, const std::string& dictionary, const std::string& data) {
    return "%% Original object ID: " + std::to_string(number) + " 0\n" + std::to_string(number) +
           " 0 obj\n<<\n" + dictionary + ">>\nstream\n" + data + "endstream\nendobj\n\n";
  };
  const std::string qdf =
      head + "%% Contents for page 1\n" + object(4, "  /Length 5 0 R\n", "a rg\n") +
      object(6, "  /Subtype /Form\n  /Length 7 0 R\n", "b rg\n") +
      object(8, "  /PatternType 1\n", "c rg\n") +
      object(9, "  /Subtype /Image\n", "d\nendstreamX\n") + object(10, "  /Length1 9\n", "e rg\n") +
      object(11, "  /Subtype /Form\n  /Filter /DCTDecode\n", "f rg\n") + "trailer <<\n>>\n";
  std::string out, error;
  auto mark = [](const std::string& data) { return "[" + data + "]"; };
  ASSERT_TRUE(RewriteQdfContentStreams(qdf, mark, &out, &error)) << error;
  std::string expected = qdf;
  for (const char* data : {"a rg\n", "b rg\n", "c rg\n"}) {
    const size_t at = expected.find(data);
    expected.replace(at, 5, "[" + std::string(data) + "]");
  }
  EXPECT_EQ(expected, out);
  // Not QDF, or a stream that does not end: refused, nothing written.
  out = "kept";
  EXPECT_FALSE(RewriteQdfContentStreams("%PDF-1.7\n1 0 obj\n", mark, &out, &error));
  const std::string cut = head + object(4, "", "a rg\n");
  EXPECT_FALSE(RewriteQdfContentStreams(cut.substr(0, cut.find("endstream")), mark, &out, &error));
  EXPECT_EQ("kept", out);
  EXPECT_EQ("a stream of the PDF does not end", error);
}

}  // namespace
}  // namespace refservice
