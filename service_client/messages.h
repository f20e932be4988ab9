// The template service's message records. The classes are generated from
// schema/ into C++ namespace osl_soap, one class per complex type and
// one member per element in schema order:
//   - nillable members are pointers (null = absent, written as xsi:nil);
//   - always-present members are values;
//   - arrays hold vectors (record items are pointers, null = a nil item);
//   - enumerations have the numeric values of their literals, in order.
// A new record has every pointer null, every number 0, every boolean false,
// every string empty and every enumeration at its first literal.
//
// Records made with soap_new_<type>(soap) and the copies made below belong to
// that context and are freed with it; records received in a response belong
// to the context that received them.
#pragma once

#include <string>

#include "host/PMString.h"
#include "osl_soapH.h"

namespace osl_soap {

// Records of the template manager (ns2) by their schema names.
using libraryTemplate = ns2__libraryTemplate;
using OstrFieldInfo = ns2__OstrFieldInfo;
using fieldLockDown = ns2__fieldLockDown;
using PaletteInfo = ns2__PaletteInfo;
using assetInfo = ns2__assetInfo;
using logicGroup = ns2__logicGroup;
using ArrayOfOstrFieldInfo = ns2__ArrayOfOstrFieldInfo;
using ArrayOfAssetInfo = ns2__ArrayOfAssetInfo;
using ArrayOfLogicGroup = ns2__ArrayOfLogicGroup;
using ArrayOfString = ns2__ArrayOfString;
using ArrayOfInt = ns2__ArrayOfInt;
// The document builder's copy of the template record (ns4).
using docBuilderLibraryTemplate = ns4__libraryTemplate;
using ArrayOfLibraryTemplate = ns4__ArrayOfLibraryTemplate;

}  // namespace osl_soap

// A UTF-8 copy of `text` owned by `soap` (freed with the context), for a
// nillable string member. Null when `soap` is null or memory runs out.
std::string* OslNewString(struct soap* soap, const PMString& text);
std::string* OslNewString(struct soap* soap, const std::string& utf8);
// A context-owned int for a nillable int member (paletteID). Null as above.
int* OslNewInt(struct soap* soap, int value);
