// Scalar types and identifier spaces shared by the host and its plug-ins.
#pragma once

#include <cstdint>
#include <vector>

using int16 = int16_t;
using int32 = int32_t;
using int64 = int64_t;
using uint16 = uint16_t;
using uint32 = uint32_t;
using uint64 = uint64_t;
using uchar = unsigned char;
using bool16 = int16_t;
using textchar = char16_t;

// 32-bit result of host-style operations; 0 is success.
using ErrorCode = int32;
constexpr ErrorCode kSuccess = 0;
constexpr ErrorCode kFailure = 1;
constexpr ErrorCode kCancel = 2;

// Identifier spaces. They share numeric ranges: the same number may mean an
// interface, an implementation, an action and a widget at the same time.
using PMIID = uint32;            // interface identifier
using ImplementationID = int32;  // implementation identifier (registry)
using ClassID = uint32;          // boss class identifier
using PluginID = int32;          // plug-in identifier
using ActionID = uint32;         // menu action identifier
using WidgetID = uint32;         // widget identifier
using ScriptID = uint32;         // scripting element identifier (four characters)
using RsrcID = int32;            // resource identifier
using UID = uint32;              // persistent object identifier in a database

constexpr UID kInvalidUID = 0;
constexpr WidgetID kInvalidWidgetID = 0;
constexpr WidgetID kDefaultWidgetId = 0;
constexpr PluginID kInvalidPlugin = 0;

// Real numbers of geometry and measurements.
using PMReal = double;

// The host's growable array.
template <class T>
using K2Vector = std::vector<T>;
