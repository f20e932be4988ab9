// The objects of a .tlvd document as the stand-in holds them in memory:
// swatches, font overrides, spreads with pages, page items (with their
// stories, strokes and placed images) and text runs. Every object keeps
// the JSON members the stand-in does not know (`extras`), and only those:
// known members are held as typed values and written back from them.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/ITextModel.h"
#include "host/PMGeometry.h"
#include "host/PMString.h"
#include "host/UIDRef.h"
#include "standin/core/boss.h"
#include "standin/document/story_text.h"

namespace standin {

enum class ItemKind { kTextFrame, kGraphicFrame, kGroup, kGuide, kOther };

// "text", "graphic", "group", "guide", "other".
const char* ItemKindName(ItemKind kind);

// A colour as the document defines it: process CMYK, or a spot colour with
// a name (and its process equivalent). Components in percent (0 to 100).
struct Color {
  ColorInfo::Kind kind = ColorInfo::kProcess;
  std::string name;  // required for spot colours; empty for unnamed process colours
  double cmyk[4] = {0, 0, 0, 0};

  // The host's form (components 0 to 1).
  ColorInfo Info() const;
};

// A named colour of the document ("swatches").
struct Swatch {
  Color color;  // color.name is the swatch's name
  nlohmann::json extras;
};

// A colour in use: a swatch by name, or an inline colour.
struct ColorUse {
  std::string swatch;     // non-empty: the colour is the swatch of this name
  Color color;            // the colour (resolved from the swatch when named)
  nlohmann::json extras;  // unknown members of an inline colour object
};

// Where the files of a font come from, overriding the machine's fonts.
// An empty list marks a protected font. Paths as stored (relative ones are
// relative to the document's folder).
struct FontOverride {
  std::string family;
  std::string style;
  std::vector<std::string> files;
  nlohmann::json extras;
};

// The attributes of a run of characters. An attribute the run does not
// carry is empty.
struct TextRun {
  int32 start = 0;   // first character (UTF-32 index into the story)
  int32 length = 0;  // characters
  std::optional<std::string> family;
  std::optional<std::string> style;
  std::optional<double> size;      // points
  std::optional<ColorUse> fill;    // no member: the run has no fill colour
  std::optional<double> tint;      // percent, -1 = none
  std::optional<double> tracking;  // fraction of an em
  std::optional<double> leading;   // points
  std::optional<bool> underline;
  std::optional<int32> align;    // ITextAttributes::Alignment
  std::optional<double> hscale;  // percent
  std::optional<double> vscale;  // percent
  nlohmann::json extras;
  std::unique_ptr<Boss> boss;  // carries ITextAttributes for this run
};

// The text of a text frame. `text` holds the characters without the closing
// end-of-story character, which the text model adds; its attributes are in
// the table of runs (not per character).
struct Story {
  UID uid = kInvalidUID;
  StoryText text;
  std::vector<TextRun> runs;  // in order, without gaps, from character 0
  bool inFile = false;        // the document spelled out a "story" member
  nlohmann::json extras;
  // A story without runs carries no attributes: `plain`, shown through
  // `plainAttributes`.
  TextRun plain;
  std::unique_ptr<Boss> plainAttributes;

  // The run in force at character `index` (the last run also covers the
  // end-of-story character); null when no run covers it.
  const TextRun* RunAt(int32 index) const;
};

struct Stroke {
  double weight = 0;              // points
  std::optional<ColorUse> color;  // none: a stroke without a colour the host can name
  nlohmann::json extras;
};

struct Page;
struct Spread;

struct PageItem {
  UID uid = kInvalidUID;
  ItemKind kind = ItemKind::kOther;
  PMRect bounds;    // inner bounds
  PMMatrix matrix;  // inner-to-parent
  bool matrixInFile = false;
  WideString label;
  bool labelInFile = false;
  bool visible = true;
  bool visibleInFile = false;
  std::optional<Stroke> stroke;
  std::optional<double> opacity;  // percent
  std::string image;              // graphic frames: the placed file as stored
  UID imageUID = kInvalidUID;     // graphic frames with an image: the placed image object
  std::unique_ptr<Story> story;   // text frames (an empty story when the file has none)
  std::optional<int32> verticalJustification;  // ITextFrameOptions::VerticalJustification
  UID contentUID = kInvalidUID;                // text frames: the text content object
  UID storyUID = kInvalidUID;                  // text frames: the story
  Page* page = nullptr;                        // null for pasteboard items
  Spread* spread = nullptr;                    // the spread the item lies in
  PageItem* parent = nullptr;                  // the group, for group members
  int depth = 0;                               // 0 for top-level items, +1 per enclosing group
  std::vector<std::unique_ptr<PageItem>> children;
  nlohmann::json extras;

  // Inner-to-spread matrix (through enclosing groups).
  PMMatrix InnerToSpread() const;
};

struct Page {
  UID uid = kInvalidUID;
  PMRect bounds;
  PMMatrix matrix;  // inner-to-spread
  bool matrixInFile = false;
  std::vector<std::unique_ptr<PageItem>> items;  // back to front
  Spread* spread = nullptr;
  int number = 0;  // 1-based, over the whole document
  nlohmann::json extras;
};

struct Spread {
  UID uid = kInvalidUID;
  std::vector<std::unique_ptr<Page>> pages;
  std::vector<std::unique_ptr<PageItem>> pasteboard;  // items on no page, back to front
  nlohmann::json extras;
};

}  // namespace standin
