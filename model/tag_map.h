// Field tags and template data: small ordered maps of named strings kept in
// the label string of page items (field tags) and of the document
// (template data). This file owns the text format; everything else reads
// and writes the maps through the helpers below.
//
// Format: for every entry in ascending key order, key ":::" value
// separator, where the separator is "|||" for labels and "---" for the
// nested list of stacking groups. Parsing is forgiving: segments without
// ":::" or with an empty key are dropped, and text after the last
// separator is ignored.
#pragma once

#include <map>

#include "host/ISelectionManager.h"
#include "host/PMString.h"
#include "host/UIDRef.h"

// Ordered map of key to value. Subscript lookup of an absent key inserts it
// with an empty value, so an absent key reads as the empty string.
using TagMap = std::map<PMString, PMString>;

namespace tagkeys {
// Keys of a page item's field tag.
constexpr char kFieldName[] = "fieldName";
constexpr char kPromptText[] = "promptText";
constexpr char kControlType[] = "controlType";
constexpr char kMemberOfGroup[] = "MemberofGroup";
constexpr char kDependsOn[] = "Dependson";
// Keys of the document's template data.
constexpr char kDocID[] = "docID";
constexpr char kDocPassword[] = "docPassword";
constexpr char kDocName[] = "docName";
constexpr char kClientType[] = "clientType";
constexpr char kStackingGroups[] = "StackingGroups";
// Separators.
constexpr char kLabelSeparator[] = "|||";
constexpr char kGroupSeparator[] = "---";
constexpr char kKeyValueSeparator[] = ":::";
}  // namespace tagkeys

// Parses `text` into a map (rules in the file comment).
TagMap ParseStringMap(const PMString& text, const PMString& separator);

// Serialises `map` with `separator`. The result always parses back to the
// same entries: text a user typed can never add, drop or rename entries.
// So a key or value is written without any occurrence of the separator, a
// value without trailing characters that would merge with the separator
// that follows it, and a key without ":::" or a trailing ':'; a key left
// empty by this is not written. Text that needs none of this (all real
// tags) is written exactly as given.
PMString JoinStringMap(const TagMap& map, const PMString& separator);

// `text` as JoinStringMap would store it as a value with `separator`.
PMString CleanMapValue(const PMString& text, const PMString& separator);

// The map in the label of the object `ref`; empty when the object has no
// label interface or an empty label.
TagMap ReadStringMap(const UIDRef& ref);

// Replaces the label of the object `ref` with the serialised `map`. An
// object without the label interface is left alone.
void WriteStringMap(const UIDRef& ref, const TagMap& map);

// Selection-side access through the label suite of `selection` (a
// selection manager). GetSelectionLabels returns one label per selected
// item (none when the suite is missing). ReadSelectionStringMap parses the
// label when exactly one comes back and returns false otherwise.
K2Vector<WideString> GetSelectionLabels(const IPMUnknown* selection);
bool ReadSelectionStringMap(const IPMUnknown* selection, TagMap* map);
// Gives every selected item the label serialised from `map`. Returns false
// when the selection has no label suite.
bool WriteSelectionStringMap(const IPMUnknown* selection, const TagMap& map);
